#pragma once
// Whole-file reads and writes that either complete or leave the old file in place.

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorvel::batch {

// A file-system failure, with a message for the user.
class FileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Why a drawing was not saved when another program changed it meanwhile.
inline constexpr const char* kChangedDuringRun = "图形在处理期间被其他程序修改";

[[noreturn]] void failWith(const std::string& what, int error);

// What tells one file from another (device, inode, owner) and one version of it from the next.
struct FileStamp {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modified = 0;  // nanoseconds
    std::int64_t changed = 0;   // nanoseconds, status change
    unsigned owner = 0;
    unsigned group = 0;
    unsigned mode = 0;
    unsigned links = 0;
    std::int64_t born = 0;  // nanoseconds; 0 where the file system does not tell
    // Birth time tells a new file that got a freed inode's number from the old one.
    bool sameFile(const FileStamp& other) const {
        return device == other.device && inode == other.inode && owner == other.owner &&
               (born == 0 || other.born == 0 || born == other.born);
    }
    bool sameVersion(const FileStamp& other) const {
        return sameFile(other) && size == other.size && modified == other.modified &&
               changed == other.changed;
    }
};
// The kind of file a stamp's mode tells, with the same bits on every system.
inline bool isRegularMode(unsigned mode) {
    return (mode & 0170000) == 0100000;
}
inline bool isFolderMode(unsigned mode) {
    return (mode & 0170000) == 0040000;
}
inline bool isLinkMode(unsigned mode) {
    return (mode & 0170000) == 0120000;
}
// The file open as `fd`; raises FileError naming `shown`.
FileStamp stampOfOpen(int fd, const std::string& shown);
// The entry `name` of the folder open as `folderFd`, not following a link; `exists` false when
// there is none. Raises FileError for other failures.
FileStamp stampAt(int folderFd, const std::string& name, bool& exists);

// Regular files only (a FIFO or a device is refused, never waited on), read up to the size the
// file had when opened.
std::string readWholeFile(const std::filesystem::path& file);
// The same for a file already open; `shown` names it in messages.
std::string readOpenFile(int fd, const std::string& shown);
// A temporary file in the folder open as `folderFd` holding `bytes`, flushed to disk, with the
// owner and mode of `like` where given (sys::writeTemporary); returns its name. Raises FileError
// naming `shownFolder` when it cannot be made, `shown` when it cannot be written.
std::string writeTemporary(int folderFd, const std::string& bytes, const FileStamp* like,
                           const std::string& shown, const std::string& shownFolder,
                           std::vector<std::string>& notes);
// sys::renameIntoPlace; raises FileError with `failure` (the temporary file is gone then).
void renameIntoPlace(int folderFd, const std::string& temporary, const std::string& name,
                     const std::string& failure);
// Writes, flushes to disk and closes `fd`; on failure removes `name` from `folderFd` and raises.
void writeAndClose(int fd, const std::string& bytes, int folderFd, const std::string& name,
                   const std::string& shown);
void syncFolder(int folderFd);
// A new file in the place of `file`: written beside it to a temporary file of its own and renamed
// over it, so a link planted at `file` is replaced, never written through. Mode 0666 less umask.
void writeNewFile(const std::filesystem::path& file, const std::string& bytes);
// A temporary file in the same folder, flushed to disk, renamed over `file`; the file keeps its
// owner and permissions as far as this process may, and a symbolic link keeps pointing at it.
void writeFileAtomically(const std::filesystem::path& file, const std::string& bytes);

}  // namespace quorvel::batch
