#include "platform/filestamps.h"

#include <QFile>
#include <QString>

#include <sys/stat.h>

namespace quorvel::platform {

std::optional<engine::FileStamp> StatFileStamps::stamp(const std::u16string& path) {
    struct stat status {};
    const QByteArray name = QFile::encodeName(QString::fromStdU16String(path));
    if (name.isEmpty() || ::stat(name.constData(), &status) != 0) {
        return std::nullopt;
    }
    return engine::FileStamp{
        static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino),
        static_cast<std::int64_t>(status.st_size),
        static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec};
}

}  // namespace quorvel::platform
