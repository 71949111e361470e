#include "platform/runlock.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace quorvel::platform {

namespace {

QString lockFolder() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty()) {
        return runtime;
    }
    return QDir::tempPath() + QStringLiteral("/quorvel-%1").arg(::getuid());
}

}  // namespace

HostRunLock::HostRunLock(const QString& hostKey) {
    const QByteArray digest =
        QCryptographicHash::hash(hostKey.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    path_ = lockFolder() + QStringLiteral("/quorvel-run-") + QString::fromLatin1(digest) +
            QStringLiteral(".lock");
}

HostRunLock::~HostRunLock() {
    unlock();
}

bool HostRunLock::tryLock() {
    if (fd_ >= 0) {
        return false;  // this object already runs
    }
    const QString folder = QFileInfo(path_).absolutePath();
    if (!QFileInfo::exists(folder) && QDir().mkpath(folder)) {
        QFile::setPermissions(
            folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    const QByteArray name = QFile::encodeName(path_);
    const int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
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

QString sessionHostKey() {
    return qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS", QStringLiteral("session"));
}

}  // namespace quorvel::platform
