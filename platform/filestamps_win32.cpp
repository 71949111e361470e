#include "platform/filestamps.h"

#include <windows.h>

namespace quorvel::platform {

// The volume's serial number and the file's index tell one file under every name, as device
// and inode do elsewhere.
std::optional<engine::FileStamp> StatFileStamps::stamp(const std::u16string& path) {
    if (path.empty()) {
        return std::nullopt;
    }
    const std::wstring name(path.begin(), path.end());
    // Opened for its attributes only, so a drawing in use by the host can still be looked at.
    const HANDLE file = CreateFileW(name.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = GetFileInformationByHandle(file, &info) != FALSE;
    CloseHandle(file);
    if (!known) {
        return std::nullopt;
    }
    const auto join = [](DWORD high, DWORD low) {
        return (static_cast<std::uint64_t>(high) << 32) | low;
    };
    // FILETIME counts 100 ns steps.
    const auto written =
        join(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime);
    return engine::FileStamp{info.dwVolumeSerialNumber,
                             join(info.nFileIndexHigh, info.nFileIndexLow),
                             static_cast<std::int64_t>(join(info.nFileSizeHigh, info.nFileSizeLow)),
                             static_cast<std::int64_t>(written) * 100};
}

}  // namespace quorvel::platform
