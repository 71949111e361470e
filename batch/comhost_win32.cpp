#include "batch/comhost.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/locking.h>
#include <sys/stat.h>

#include "batch/hostrun.h"
#include "batch/sha256.h"
#include "engine/textutil.h"
#include "platform/windows/comautomation.h"
#include "platform/windows/filestamps.h"
#include "platform/windows/windowservices.h"

namespace quorvel::batch {

namespace {

// The lock of Quorvel.exe's runs (platform/runlock_win32.cpp): the same file in the temporary
// folder, so that this program and the windows never drive the host at once.
class SessionRunLock final : public engine::RunLock {
public:
    SessionRunLock() {
        wchar_t folder[MAX_PATH + 1] = {};
        const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
        const std::string key = sha256Hex("session").substr(0, 16);
        path_ = std::wstring(folder, length) + L"quorvel-run-" +
                std::wstring(key.begin(), key.end()) + L".lock";
    }
    ~SessionRunLock() override { unlock(); }
    SessionRunLock(const SessionRunLock&) = delete;
    SessionRunLock& operator=(const SessionRunLock&) = delete;

    bool tryLock() override {
        if (fd_ >= 0)
            return false;
        int fd = -1;
        if (_wsopen_s(&fd, path_.c_str(), _O_RDWR | _O_CREAT | _O_BINARY | _O_NOINHERIT, _SH_DENYNO,
                      _S_IREAD | _S_IWRITE) != 0)
            return false;
        if (_locking(fd, _LK_NBLCK, 1) != 0) {
            _close(fd);
            return false;
        }
        fd_ = fd;
        return true;
    }
    void unlock() override {
        if (fd_ >= 0)
            _close(fd_);
        fd_ = -1;
    }

private:
    std::wstring path_;
    int fd_ = -1;
};

}  // namespace

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
    SessionRunLock runLock;
    platform::windows::Win32FileStamps stamps;
    HostServices host{connector, windows, runLock, stamps, {}, "CAD 主机"};
    return processOnHost(drawings, options, journal, progress, host);
}

}  // namespace quorvel::batch
