#pragma once
// The automation objects of the stand-in host: Application, Documents, Document, the spaces and
// Utility, SelectionSets, SelectionSet and entities, over the host's core.

#include <string>

#include "cadhost/standin/dispatchbase.h"
#include "cadhost/standin/hostcore.h"

namespace quorvel::cadhost::standin {

// What the objects need of the host besides its core: its window and its executable.
class HostContext {
public:
    explicit HostContext(HostCore& core) : core(core) {}
    virtual ~HostContext() = default;
    virtual bool isWindowVisible() const = 0;
    virtual void setWindowVisible(bool visible) = 0;
    // After every call: the title follows the caption, the command line its state.
    virtual void refresh() = 0;
    virtual std::string executablePath() const = 0;

    HostCore& core;
};

// The application object; every other object is reached from it.
DispatchBase* newApplicationObject(HostContext& context);

}  // namespace quorvel::cadhost::standin
