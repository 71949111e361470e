#pragma once
// The CAD host link of the platform the program is built for: cad-host over D-Bus on Linux,
// the host's COM server on Windows. Made once, on the user-interface thread.

#include <memory>

#include "engine/automation.h"

namespace quorvel::platform {

struct HostLink {
    std::unique_ptr<engine::HostConnector> connector;
    std::unique_ptr<engine::WindowControl> windows;
    std::shared_ptr<void> session;  // what the link needs alive while it is used (COM)
};

HostLink makeHostLink();

// Picks the Qt window-system plugin the windows need, unless the user chose one: X11 on Linux,
// where absolute window positions need it; the default elsewhere.
void chooseWindowSystem();

// True when the program runs with the system's highest rights (root on Linux).
bool runsAsSuperuser();

}  // namespace quorvel::platform
