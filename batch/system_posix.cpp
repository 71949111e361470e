#include "batch/system.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <optional>

#include "batch/files.h"
#include "dxf/atomicfile.h"

namespace quorvel::batch::sys {

namespace fs = std::filesystem;

namespace {

FileStamp stampOfStatus(const struct stat& status) {
    FileStamp stamp;
    stamp.device = static_cast<std::uint64_t>(status.st_dev);
    stamp.inode = static_cast<std::uint64_t>(status.st_ino);
    stamp.size = static_cast<std::uint64_t>(status.st_size);
    stamp.modified =
        static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1'000'000'000 + status.st_mtim.tv_nsec;
    stamp.changed =
        static_cast<std::int64_t>(status.st_ctim.tv_sec) * 1'000'000'000 + status.st_ctim.tv_nsec;
    stamp.owner = status.st_uid;
    stamp.group = status.st_gid;
    stamp.mode = status.st_mode;
    stamp.links = static_cast<unsigned>(status.st_nlink);
    return stamp;
}

}  // namespace

fs::path pathFromUtf8(std::string_view text) {
    return fs::path(std::string(text));
}

fs::path resolvedPath(const fs::path& path) {
    std::error_code error;
    const fs::path resolved = fs::weakly_canonical(fs::absolute(path), error);
    return error ? fs::absolute(path).lexically_normal() : resolved;
}

std::string environmentText(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

fs::path userDataFolder() {
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data == '/')
        return fs::path(data);
    if (const char* home = std::getenv("HOME"); home && *home == '/')
        return fs::path(home) / ".local" / "share";
    throw FileError("没有用户数据文件夹（HOME 和 XDG_DATA_HOME 都没有设置），不能使用运行记录");
}

const char* programDataName() {
    return "quorvel";
}

int openFolder(const fs::path& folder, bool followLink) {
    return ::open(folder.empty() ? "." : folder.c_str(),
                  O_RDONLY | O_DIRECTORY | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW));
}

int openFolderAt(int parent, const std::string& name) {
    return ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

int makeFolderAt(int parent, const std::string& name) {
    return ::mkdirat(parent, name.c_str(), 0700);
}

int openReadAt(int folder, const std::string& name) {
    return ::openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
}

int openRead(const fs::path& file) {
    return ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
}

int createAt(int folder, const std::string& name) {
    return ::openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                    0600);
}

int openAppendAt(int folder, const std::string& name, bool createNew) {
    const int flags = O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC;
    return ::openat(folder, name.c_str(), createNew ? flags | O_CREAT | O_EXCL : flags, 0600);
}

void closeHandle(int handle) {
    ::close(handle);
}

long long readAt(int handle, char* data, std::size_t size, std::uint64_t offset) {
    while (true) {
        const ssize_t got = ::pread(handle, data, size, static_cast<off_t>(offset));
        if (got >= 0 || errno != EINTR)
            return got;
    }
}

bool writeAll(int handle, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(handle, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

bool flushToDisk(int handle) {
    return ::fsync(handle) == 0;
}

void syncFolder(int folder) {
    ::fsync(folder);
}

bool stampOf(int handle, FileStamp& stamp) {
    struct stat status {};
    if (::fstat(handle, &status) != 0)
        return false;
    stamp = stampOfStatus(status);
    return true;
}

bool stampAt(int folder, const std::string& name, FileStamp& stamp) {
    struct statx extended {};
    if (::statx(folder, name.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME,
                &extended) != 0)
        return false;
    stamp = FileStamp{};
    stamp.device = ::makedev(extended.stx_dev_major, extended.stx_dev_minor);
    stamp.inode = extended.stx_ino;
    stamp.size = extended.stx_size;
    const auto nanoseconds = [](const struct statx_timestamp& time) {
        return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
    };
    stamp.modified = nanoseconds(extended.stx_mtime);
    stamp.changed = nanoseconds(extended.stx_ctime);
    if (extended.stx_mask & STATX_BTIME)
        stamp.born = nanoseconds(extended.stx_btime);
    stamp.owner = extended.stx_uid;
    stamp.group = extended.stx_gid;
    stamp.mode = extended.stx_mode;
    stamp.links = extended.stx_nlink;
    return true;
}

bool stampOfPath(const fs::path& path, FileStamp& stamp) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0)
        return false;
    stamp = stampOfStatus(status);
    return true;
}

bool renameAt(int folder, const std::string& from, const std::string& to) {
    return ::renameat(folder, from.c_str(), folder, to.c_str()) == 0;
}

bool linkAt(int fromFolder, const std::string& name, int toFolder, const std::string& newName) {
    return ::linkat(fromFolder, name.c_str(), toFolder, newName.c_str(), 0) == 0;
}

bool removeAt(int folder, const std::string& name) {
    return ::unlinkat(folder, name.c_str(), 0) == 0;
}

bool tryLock(int handle) {
    return ::flock(handle, LOCK_EX | LOCK_NB) == 0;
}

bool mayReplace(const FileStamp&) {
    return true;  // the folder decides; the new file keeps the mode
}

void releaseBeforeReplace(int&) {}

TemporaryWrite writeTemporary(int folder, std::string_view bytes, const FileStamp* like,
                              const std::string& shown, std::vector<std::string>& notes,
                              std::string& name) {
    std::optional<dxf::FileOwnership> ownership;
    if (like)
        ownership = dxf::FileOwnership{like->owner, like->group, like->mode};
    try {
        const dxf::WrittenTemporary made = dxf::writeTemporaryIn(
            folder, [&](dxf::OrderedFileWriter& out) { out.append(bytes); }, ownership);
        if (made.ownerNotKept) {
            notes.push_back(
                "注意：“" + shown + "”原属" + dxf::ownerAndGroupNames(like->owner, like->group) +
                "，本程序无权保留，现在属于" +
                dxf::ownerAndGroupNames(made.ownerNotKept->owner, made.ownerNotKept->group));
        }
        name = made.name;
        return TemporaryWrite::Written;
    } catch (const dxf::FileWriteError& failure) {
        errno = failure.error;
        return failure.step == dxf::FileWriteError::Step::Create ? TemporaryWrite::NotMade
                                                                 : TemporaryWrite::NotWritten;
    }
}

bool renameIntoPlace(int folder, const std::string& temporary, const std::string& name) {
    try {
        dxf::renameIntoPlace(folder, temporary, name);
        return true;
    } catch (const dxf::FileWriteError& failure) {
        errno = failure.error;
        return false;
    }
}

bool ownedByUser(const FileStamp& stamp) {
    return stamp.owner == ::geteuid();
}

bool makePrivate(int folder, const FileStamp& stamp) {
    return (stamp.mode & 077) == 0 || ::fchmod(folder, 0700) == 0;
}

unsigned userGroup() {
    return ::getegid();
}

unsigned long processId() {
    return static_cast<unsigned long>(::getpid());
}

std::tm localTime(std::time_t time) {
    std::tm local{};
    ::localtime_r(&time, &local);
    return local;
}

bool stderrIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

void removeStaleTemporaries(const fs::path& folder, int minimumAgeSeconds) {
    dxf::removeStaleTemporaryFiles(folder, minimumAgeSeconds);
}

}  // namespace quorvel::batch::sys
