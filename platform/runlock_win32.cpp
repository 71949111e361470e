#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/locking.h>
#include <sys/stat.h>
#include <windows.h>

#include "platform/runlock.h"

namespace quorvel::platform {

namespace fs = std::filesystem;

namespace {

fs::path temporaryFolder() {
    wchar_t folder[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH) {
        return L"C:\\tmp";
    }
    return fs::path(std::wstring(folder, length)).parent_path();  // without the last backslash
}

}  // namespace

// The same lock file as elsewhere, in the user's temporary folder, held with a byte-range lock
// that the system drops with the process.
HostRunLock::HostRunLock(std::string_view hostKey)
    : path_(temporaryFolder() / runLockFileName(hostKey)) {}

HostRunLock::~HostRunLock() {
    unlock();
}

bool HostRunLock::tryLock() {
    if (fd_ >= 0) {
        return false;  // this object already runs
    }
    int fd = -1;
    if (_wsopen_s(&fd, path_.c_str(), _O_RDWR | _O_CREAT | _O_BINARY | _O_NOINHERIT, _SH_DENYNO,
                  _S_IREAD | _S_IWRITE) != 0) {
        return false;
    }
    if (_locking(fd, _LK_NBLCK, 1) != 0) {
        _close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

void HostRunLock::unlock() {
    if (fd_ >= 0) {
        _close(fd_);  // drops the lock; the file stays for the next run
        fd_ = -1;
    }
}

// One host per user session on Windows: the one in the running-object table.
std::string sessionHostKey() {
    return "session";
}

}  // namespace quorvel::platform
