#pragma once
#include <QString>

#include "engine/services.h"

namespace quorvel::platform {

// One run at a time per host: an advisory lock (flock) on a file in the user's runtime folder,
// named after the host's address, so every program that drives that host (Quorvel windows, a
// batch tool) shares it. The system drops the lock with the process that held it.
class HostRunLock final : public engine::RunLock {
public:
    // hostKey: what tells hosts apart, e.g. the address of the bus the host is reached on.
    explicit HostRunLock(const QString& hostKey);
    ~HostRunLock() override;
    HostRunLock(const HostRunLock&) = delete;
    HostRunLock& operator=(const HostRunLock&) = delete;

    bool tryLock() override;
    void unlock() override;

    const QString& lockFilePath() const { return path_; }

private:
    QString path_;
    int fd_ = -1;
};

// The key of the host on the user's own session bus.
QString sessionHostKey();

}  // namespace quorvel::platform
