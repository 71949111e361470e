#pragma once
// File identity and change stamps on Windows: the volume's serial number and the file's index
// tell one file under every name, as device and inode do elsewhere.

#include "engine/services.h"

namespace quorvel::platform::windows {

std::optional<engine::FileStamp> fileStamp(const std::u16string& path);

class Win32FileStamps final : public engine::FileStamps {
public:
    std::optional<engine::FileStamp> stamp(const std::u16string& path) override {
        return fileStamp(path);
    }
};

}  // namespace quorvel::platform::windows
