#pragma once
// Reading a drawing file and replacing it so that at every moment the folder holds either the old
// file or the new one, and either the old backup or the new one.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::dxf {

// What tells one version of a file from another without reading it.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modifiedSeconds = 0;
    std::int64_t modifiedNanoseconds = 0;
    bool operator==(const FileIdentity&) const = default;
};

// The file a drawing was read from: where it is (symbolic links resolved) and as it was.
struct FileOrigin {
    std::filesystem::path path;
    FileIdentity identity;
};

// The file a save replaces: the one a symbolic link names (the link stays), else `requested`.
inline std::filesystem::path savedFileFor(const std::filesystem::path& requested) {
    std::error_code error;
    if (std::filesystem::is_symlink(requested, error)) {
        std::filesystem::path resolved = std::filesystem::canonical(requested, error);
        if (!error)
            return resolved;
    }
    return requested;
}

// The resolved, absolute form of a path, as FileOrigin keeps it.
std::filesystem::path resolvedPath(const std::filesystem::path& file);

// The whole file, and the identity of what was read. Raises DxfError (Io).
std::string readFileWithIdentity(const std::filesystem::path& file, FileIdentity& identity);

// Writes pieces in the order they come. Small pieces (edited records) are gathered so that a
// drawing with many edits does not cost a system call per record; a large piece (an untouched
// run of the source) first lets everything gathered before it out.
class OrderedFileWriter {
public:
    explicit OrderedFileWriter(int fd);
    void append(std::string_view piece);
    void flush();
    int failure() const { return failure_; }  // the first errno, 0 while all went well

private:
    void writeAll(std::string_view piece);
    int fd_;
    int failure_ = 0;
    std::string buffer_;
};

struct ReplaceResult {
    FileIdentity written;
    std::vector<std::string> notes;  // what the save could not keep, for the user
};

// Writes a temporary file beside `requested` (a symbolic link is followed and kept), flushes it
// to disk and renames it over the file; an existing file is kept as backupPathFor(file). The new
// file keeps the old one's permissions, owner and group where this process may set them; a note
// says what could not be kept. When `origin` names the same file, a file that changed on disk
// since then is not overwritten. Stale temporary files of interrupted saves in the folder are
// removed first. Raises DxfError (Io); on failure the file on disk stays as it was.
ReplaceResult replaceFile(const std::filesystem::path& requested,
                          const std::function<void(OrderedFileWriter&)>& write,
                          const std::optional<FileOrigin>& origin);

// The one way a file is written in place on POSIX, for the hosts' saves and quorvel-batch's
// drawings, restores and reports: a new file in the same folder, made exclusively (never through
// a link that is already there), flushed to disk, renamed over the old name, and the folder
// flushed too.

// One step of that failed, with the system's error number: each caller says it in its own words.
class FileWriteError : public std::runtime_error {
public:
    enum class Step { Create, Write, Rename };
    FileWriteError(Step step, int error);
    Step step;
    int error;
};

// Who owns a file and how it may be used (st_uid, st_gid, st_mode).
struct FileOwnership {
    unsigned owner = 0;
    unsigned group = 0;
    unsigned mode = 0;
};

struct WrittenTemporary {
    std::string name;                           // in the folder
    FileIdentity written;                       // what was written, flushed to disk
    std::optional<FileOwnership> ownerNotKept;  // the owner and group it has instead
};

// A temporary file ".~qv<pid>.XXXXXX" in the folder open as `folderFd`, filled by `write`,
// flushed to disk and closed. It takes the owner, group and mode of `like` as far as this
// process may (the owner first: changing it may clear set-id bits); without `like` it gets those
// of any new file (0666 less the umask). On failure it is removed. Raises FileWriteError.
WrittenTemporary writeTemporaryIn(int folderFd,
                                  const std::function<void(OrderedFileWriter&)>& write,
                                  const std::optional<FileOwnership>& like);

// Renames `temporary` over `name` in the folder open as `folderFd` (a link at `name` is
// replaced, never followed) and flushes the folder. On failure `temporary` is removed. Raises
// FileWriteError (Rename).
void renameIntoPlace(int folderFd, const std::string& temporary, const std::string& name);

// "用户 <name>、组 <name>", for the notes on an owner that could not be kept.
std::string ownerAndGroupNames(unsigned owner, unsigned group);

// Removes this process's user's temporary files of saves that were interrupted: recognisably
// named, untouched for `minimumAgeSeconds` and whose process is gone. Returns how many.
int removeStaleTemporaryFiles(const std::filesystem::path& folder, int minimumAgeSeconds);

}  // namespace quorvel::dxf
