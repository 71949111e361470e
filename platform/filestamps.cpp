#include "platform/filestamps.h"

#include <sys/stat.h>

#include "textcodec/utf.h"

namespace quorvel::platform {

std::optional<engine::FileStamp> StatFileStamps::stamp(const std::u16string& path) {
    struct stat status {};
    // File names are UTF-8 here; a name that is not text names no file we wrote.
    const std::string name = textcodec::toUtf8(path);
    if (name.empty() || name.find('\0') != std::string::npos ||
        ::stat(name.c_str(), &status) != 0) {
        return std::nullopt;
    }
    return engine::FileStamp{
        static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino),
        static_cast<std::int64_t>(status.st_size),
        static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec};
}

}  // namespace quorvel::platform
