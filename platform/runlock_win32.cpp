#include <QCryptographicHash>
#include <QDir>

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/locking.h>
#include <sys/stat.h>

#include "platform/runlock.h"

namespace quorvel::platform {

// The same lock file as elsewhere, in the user's temporary folder, held with a byte-range lock
// that the system drops with the process.
HostRunLock::HostRunLock(const QString& hostKey) {
    const QByteArray digest =
        QCryptographicHash::hash(hostKey.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    path_ = QDir::tempPath() + QStringLiteral("/quorvel-run-") + QString::fromLatin1(digest) +
            QStringLiteral(".lock");
}

HostRunLock::~HostRunLock() {
    unlock();
}

bool HostRunLock::tryLock() {
    if (fd_ >= 0) {
        return false;  // this object already runs
    }
    const std::wstring name = QDir::toNativeSeparators(path_).toStdWString();
    int fd = -1;
    if (_wsopen_s(&fd, name.c_str(), _O_RDWR | _O_CREAT | _O_BINARY | _O_NOINHERIT, _SH_DENYNO,
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
QString sessionHostKey() {
    return QStringLiteral("session");
}

}  // namespace quorvel::platform
