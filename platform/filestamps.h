#pragma once
#include "engine/services.h"

namespace quorvel::platform {

// File identity and change stamps from stat(2) (on Windows from the file's handle); links are
// followed, so every name of one file gives the same device and inode.
class StatFileStamps final : public engine::FileStamps {
public:
    std::optional<engine::FileStamp> stamp(const std::u16string& path) override;
};

}  // namespace quorvel::platform
