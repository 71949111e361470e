#pragma once
// The automation objects of the stand-in host: Application, Documents, Document, the spaces and
// Utility, SelectionSets, SelectionSet and entities, over the host's core.

#include <windows.h>

#include <string>

#include "cadhost/standin/dispatchbase.h"
#include "cadhost/standin/standinhost.h"

namespace quorvel::cadhost::standin {

// How this host behaves where real hosts differ, chosen on its command line.
struct HostBehaviour {
    ULONGLONG busyAtStartMs = 0;       // rejects automation calls for so long after it starts
    ULONGLONG busyAfterCommandMs = 0;  // ... and after each SendCommand
    bool withoutErase = false;         // entities have Delete only
    bool refuseOpenTwice = false;      // Documents.Open fails for a drawing open already
};

// What the objects need of the host besides its model: its window and its executable.
class HostContext {
public:
    HostContext(StandinHost& host, HostBehaviour behaviour)
        : host(host), behaviour(behaviour), busyUntil(GetTickCount64() + behaviour.busyAtStartMs) {}
    virtual ~HostContext() = default;
    virtual bool isWindowVisible() const = 0;
    virtual void setWindowVisible(bool visible) = 0;
    // After every call: the title follows the caption, the command line its state.
    virtual void refresh() = 0;
    virtual std::string executablePath() const = 0;

    bool busy() const { return GetTickCount64() < busyUntil; }
    void busyFor(ULONGLONG milliseconds) { busyUntil = GetTickCount64() + milliseconds; }

    StandinHost& host;
    const HostBehaviour behaviour;

private:
    ULONGLONG busyUntil;
};

// The application object; every other object is reached from it.
DispatchBase* newApplicationObject(HostContext& context);

}  // namespace quorvel::cadhost::standin
