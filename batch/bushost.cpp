#include "batch/hosts.h"

#include <QString>
#include <cstdlib>

#include "batch/hostrun.h"
#include "platform/dbus/busautomation.h"
#include "platform/filestamps.h"
#include "platform/runlock.h"

namespace quorvel::batch {

std::vector<DrawingOutcome> processOverBus(const std::vector<std::filesystem::path>& drawings,
                                           const Options& options, Journal& journal,
                                           Progress& progress) {
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    platform::dbus::BusHostConnector connector(QString::fromUtf8(address ? address : ""));
    platform::dbus::BusWindowControl windows(QString::fromUtf8(address ? address : ""));
    // The same lock as the windows' runs: never two runs driving one host.
    platform::HostRunLock runLock(platform::sessionHostKey());
    platform::StatFileStamps stamps;
    HostServices host{connector, windows, runLock, stamps, {}, "cad-host"};
    return processOnHost(drawings, options, journal, progress, host);
}

}  // namespace quorvel::batch
