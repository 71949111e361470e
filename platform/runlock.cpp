#include "platform/runlock.h"

#include <cstdlib>
#include <string>
#include <system_error>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvel::platform {

namespace fs = std::filesystem;

namespace {

std::string environmentOr(const char* name, const std::string& fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? std::string(value) : fallback;
}

// The user's runtime folder, else a private folder in the temporary one: $TMPDIR when that is a
// folder, else /tmp (a $TMPDIR that does not exist must not leave every run locked out).
fs::path lockFolder() {
    const std::string runtime = environmentOr("XDG_RUNTIME_DIR", "");
    if (!runtime.empty()) {
        return runtime;
    }
    std::error_code unreadable;
    fs::path temp = environmentOr("TMPDIR", "/tmp");
    if (!fs::is_directory(temp, unreadable)) {
        temp = "/tmp";
    }
    return temp / ("quorvel-" + std::to_string(::getuid()));
}

}  // namespace

HostRunLock::HostRunLock(std::string_view hostKey)
    : path_(lockFolder() / runLockFileName(hostKey)) {}

HostRunLock::~HostRunLock() {
    unlock();
}

bool HostRunLock::tryLock() {
    if (fd_ >= 0) {
        return false;  // this object already runs
    }
    const fs::path folder = path_.parent_path();
    std::error_code ignored;
    if (!fs::exists(folder, ignored) && fs::create_directories(folder, ignored)) {
        ::chmod(folder.c_str(), 0700);
    }
    const int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

void HostRunLock::unlock() {
    if (fd_ >= 0) {
        ::close(fd_);  // drops the lock; the file stays for the next run
        fd_ = -1;
    }
}

std::string sessionHostKey() {
    return environmentOr("DBUS_SESSION_BUS_ADDRESS", "session");
}

}  // namespace quorvel::platform
