#include <QDir>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "drawinglist/regularfile.h"

namespace quorvel::drawinglist {

ListFileOutcome openRegularFile(const QString& path, qint64 limit, QFile& file, qint64& size) {
    const std::wstring name = QDir::toNativeSeparators(path).toStdWString();
    HANDLE handle = CreateFileW(name.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return GetLastError() == ERROR_ACCESS_DENIED ? ListFileOutcome::Refused
                                                     : ListFileOutcome::Failed;
    }
    // Only a file on a disk: a pipe, a console or another device.
    LARGE_INTEGER length{};
    if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileSizeEx(handle, &length) ||
        length.QuadPart > limit) {
        CloseHandle(handle);
        return ListFileOutcome::Failed;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
        return ListFileOutcome::Failed;
    }
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        _close(fd);
        return ListFileOutcome::Failed;
    }
    size = length.QuadPart;
    return ListFileOutcome::Done;
}

}  // namespace quorvel::drawinglist
