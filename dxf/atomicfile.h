#pragma once
// Reading a drawing file and replacing it so that at every moment the folder holds either the old
// file or the new one, and either the old backup or the new one.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
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

// Removes this process's user's temporary files of saves that were interrupted: recognisably
// named, untouched for `minimumAgeSeconds` and whose process is gone. Returns how many.
int removeStaleTemporaryFiles(const std::filesystem::path& folder, int minimumAgeSeconds);

}  // namespace quorvel::dxf
