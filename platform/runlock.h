#pragma once
#include <filesystem>
#include <string>
#include <string_view>

#include "engine/services.h"
#include "platform/sha256.h"

namespace quorvel::platform {

// One run at a time per host: an advisory lock on a file in the user's runtime folder (flock on
// POSIX, a byte-range lock on Windows), named after the host's address, so every program that
// drives that host (Quorvel windows, a batch tool) shares it. The system drops the lock with the
// process that held it.
class HostRunLock final : public engine::RunLock {
public:
    // hostKey (UTF-8): what tells hosts apart, e.g. the address of the bus the host is reached on.
    explicit HostRunLock(std::string_view hostKey);
    ~HostRunLock() override;
    HostRunLock(const HostRunLock&) = delete;
    HostRunLock& operator=(const HostRunLock&) = delete;

    bool tryLock() override;
    void unlock() override;

    const std::filesystem::path& lockFilePath() const { return path_; }

private:
    std::filesystem::path path_;
    int fd_ = -1;
};

// The file name of a host's lock: the first 16 hexadecimal digits of the key's SHA-256. Programs
// of other versions find the same file, so this must not change.
inline std::string runLockFileName(std::string_view hostKey) {
    return "quorvel-run-" + sha256Hex(hostKey).substr(0, 16) + ".lock";
}

// The key of the host on the user's own session bus.
std::string sessionHostKey();

}  // namespace quorvel::platform
