#include "platform/filestamps.h"
#include "platform/windows/filestamps.h"

namespace quorvel::platform {

std::optional<engine::FileStamp> StatFileStamps::stamp(const std::u16string& path) {
    return windows::fileStamp(path);
}

}  // namespace quorvel::platform
