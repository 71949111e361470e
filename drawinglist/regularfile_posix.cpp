#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "drawinglist/regularfile.h"

namespace quorvel::drawinglist {

ListFileOutcome openRegularFile(const QString& path, qint64 limit, QFile& file, qint64& size) {
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return errno == EACCES || errno == EPERM ? ListFileOutcome::Refused
                                                 : ListFileOutcome::Failed;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size > limit) {
        ::close(fd);
        return S_ISDIR(status.st_mode) ? ListFileOutcome::Refused : ListFileOutcome::Failed;
    }
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return ListFileOutcome::Failed;
    }
    size = status.st_size;
    return ListFileOutcome::Done;
}

}  // namespace quorvel::drawinglist
