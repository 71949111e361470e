#include "batch/hosts.h"

#include <windows.h>

#include "batch/hostrun.h"
#include "engine/textutil.h"
#include "platform/filestamps.h"
#include "platform/runlock.h"
#include "platform/windows/comautomation.h"
#include "platform/windows/windowservices.h"

namespace quorvel::batch {

std::vector<DrawingOutcome> processOverCom(const std::vector<std::filesystem::path>& drawings,
                                           const Options& options, Journal& journal,
                                           Progress& progress) {
    // COM on this thread, with the message filter that rides out a busy host.
    platform::windows::ComApartment apartment;
    // --progid, else the ProgID setting Quorvel.exe reads, else the usual one.
    platform::windows::ComHostConnector connector(options.progId.empty()
                                                      ? platform::windows::hostProgIdSetting()
                                                      : engine::fromUtf8(options.progId));
    platform::windows::Win32WindowControl windows;
    // The same lock as Quorvel.exe's runs: never two runs driving one host.
    platform::HostRunLock runLock(platform::sessionHostKey());
    platform::StatFileStamps stamps;
    HostServices host{connector, windows, runLock, stamps, {}, "CAD 主机"};
    return processOnHost(drawings, options, journal, progress, host);
}

}  // namespace quorvel::batch
