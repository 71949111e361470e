#include "dxf/atomicfile.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <random>

#include "dxf/drawing.h"

namespace quorvel::dxf {

namespace fs = std::filesystem;

namespace {

// Temporary files are ".~qv<pid>.XXXXXX" (the new drawing) and the same with "b" (the next
// backup): short, so that a drawing whose name is at the length limit still saves, and telling
// which process made them.
constexpr std::string_view kTemporaryPrefix = ".~qv";
constexpr int kStaleAfterSeconds = 10 * 60;

[[noreturn]] void ioError(const std::string& what, int error) {
    throw DxfError(DxfError::Kind::Io, what + "：" + std::strerror(error));
}

FileIdentity identityOf(const struct stat& status) {
    FileIdentity identity;
    identity.device = static_cast<std::uint64_t>(status.st_dev);
    identity.inode = static_cast<std::uint64_t>(status.st_ino);
    identity.size = static_cast<std::uint64_t>(status.st_size);
    identity.modifiedSeconds = static_cast<std::int64_t>(status.st_mtim.tv_sec);
    identity.modifiedNanoseconds = static_cast<std::int64_t>(status.st_mtim.tv_nsec);
    return identity;
}

bool isAlnum(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool endsWithMkstempSuffix(std::string_view name) {
    if (name.size() < 7 || name[name.size() - 7] != '.')
        return false;
    for (std::size_t i = name.size() - 6; i < name.size(); ++i) {
        if (!isAlnum(name[i]))
            return false;
    }
    return true;
}

bool endsWithDrawingExtension(std::string_view name) {
    if (name.size() < 4)
        return false;
    std::string extension(name.substr(name.size() - 4));
    for (char& c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension == ".dxf" || extension == ".dwg";
}

// "<pid>.XXXXXX": the pid, or -1.
long pidOfTemporaryName(std::string_view rest) {
    const std::size_t dot = rest.find('.');
    if (dot == 0 || dot == std::string_view::npos || dot + 7 != rest.size() ||
        !endsWithMkstempSuffix(rest)) {
        return -1;
    }
    long pid = 0;
    for (std::size_t i = 0; i < dot; ++i) {
        if (rest[i] < '0' || rest[i] > '9' || pid > 100'000'000)
            return -1;
        pid = pid * 10 + (rest[i] - '0');
    }
    return pid > 0 ? pid : -1;
}

// The process that made a temporary file, 0 when the name does not tell; -1 when the name is
// not one of ours at all.
long temporaryFileOwner(std::string_view name) {
    if (name.substr(0, kTemporaryPrefix.size()) == kTemporaryPrefix) {
        const std::string_view rest = name.substr(kTemporaryPrefix.size());
        const long pid = pidOfTemporaryName(rest);
        if (pid > 0 || rest.empty() || rest.back() != 'b')
            return pid;
        return pidOfTemporaryName(rest.substr(0, rest.size() - 1));  // a backup on its way
    }
    // Earlier versions named them ".<drawing name>.XXXXXX".
    if (name.size() > 12 && name[0] == '.' && endsWithMkstempSuffix(name) &&
        endsWithDrawingExtension(name.substr(0, name.size() - 7))) {
        return 0;
    }
    return -1;
}

}  // namespace

FileWriteError::FileWriteError(Step failedStep, int errorNumber)
    : std::runtime_error(std::strerror(errorNumber)), step(failedStep), error(errorNumber) {}

std::string ownerAndGroupNames(unsigned owner, unsigned group) {
    const struct passwd* user = ::getpwuid(owner);
    const struct group* team = ::getgrgid(group);
    return "用户 " + (user ? std::string(user->pw_name) : std::to_string(owner)) + "、组 " +
           (team ? std::string(team->gr_name) : std::to_string(group));
}

fs::path resolvedPath(const fs::path& file) {
    std::error_code error;
    fs::path resolved = fs::weakly_canonical(fs::absolute(file, error), error);
    return error ? fs::absolute(file, error).lexically_normal() : resolved;
}

std::string readFileWithIdentity(const fs::path& file, FileIdentity& identity) {
    // Not blocking on open: a FIFO in the place of a drawing must not hang the host.
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        throw DxfError(DxfError::Kind::Io,
                       "无法打开图形文件“" + file.string() + "”：" + std::strerror(errno));
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        const bool folder = S_ISDIR(status.st_mode);
        ::close(fd);
        throw DxfError(DxfError::Kind::Io, "“" + file.string() +
                                               (folder ? "”是文件夹，不是图形文件"
                                                       : "”不是普通文件，不能作为图形读入"));
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::string bytes;
    bytes.resize(static_cast<std::size_t>(status.st_size));
    std::size_t done = 0;
    while (true) {
        if (done == bytes.size())
            bytes.resize(bytes.size() + 65536);  // the file grew while being read
        const ssize_t got = ::read(fd, bytes.data() + done, bytes.size() - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            const int error = errno;
            ::close(fd);
            ioError("读取图形文件“" + file.string() + "”失败", error);
        }
        if (got == 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    bytes.resize(done);
    ::fstat(fd, &status);
    ::close(fd);
    identity = identityOf(status);
    return bytes;
}

OrderedFileWriter::OrderedFileWriter(int fd) : fd_(fd) {
    buffer_.reserve(1 << 20);
}

void OrderedFileWriter::append(std::string_view piece) {
    const std::size_t capacity = buffer_.capacity();
    if (piece.size() >= capacity / 4) {
        flush();
        writeAll(piece);
        return;
    }
    if (buffer_.size() + piece.size() > capacity)
        flush();
    buffer_.append(piece);
}

void OrderedFileWriter::flush() {
    writeAll(buffer_);
    buffer_.clear();
}

void OrderedFileWriter::writeAll(std::string_view piece) {
    while (failure_ == 0 && !piece.empty()) {
        const ssize_t written = ::write(fd_, piece.data(), piece.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            failure_ = errno;
            break;
        }
        piece.remove_prefix(static_cast<std::size_t>(written));
    }
}

namespace {

int createTemporary(int folderFd, std::string& name) {
    static constexpr char kLetters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::mt19937 random{std::random_device{}()};
    const std::string prefix = std::string(kTemporaryPrefix) + std::to_string(::getpid()) + ".";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = prefix;
        for (int i = 0; i < 6; ++i)
            candidate += kLetters[random() % (sizeof kLetters - 1)];
        const int fd = ::openat(folderFd, candidate.c_str(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0) {
            name = std::move(candidate);  // only a file this call made is ever named back
            return fd;
        }
        if (errno != EEXIST)
            throw FileWriteError(FileWriteError::Step::Create, errno);
    }
    throw FileWriteError(FileWriteError::Step::Create, EEXIST);
}

// Owner and group first (changing them may clear set-id bits), then the mode. Returns 0 or the
// errno of the mode; `notKept` gets the owner and group the file has when they are not like's.
int takeOwnership(int fd, const std::optional<FileOwnership>& like,
                  std::optional<FileOwnership>& notKept) {
    mode_t mode = 0;
    if (like) {
        struct stat current {};
        if (::fstat(fd, &current) == 0 &&
            (current.st_uid != like->owner || current.st_gid != like->group) &&
            ::fchown(fd, like->owner, like->group) != 0) {
            if (current.st_gid != like->group)
                (void)::fchown(fd, static_cast<uid_t>(-1), like->group);
            ::fstat(fd, &current);
            notKept = FileOwnership{current.st_uid, current.st_gid, current.st_mode};
        }
        mode = like->mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    return ::fchmod(fd, mode) == 0 ? 0 : errno;
}

}  // namespace

WrittenTemporary writeTemporaryIn(int folderFd,
                                  const std::function<void(OrderedFileWriter&)>& write,
                                  const std::optional<FileOwnership>& like) {
    WrittenTemporary made;
    const int fd = createTemporary(folderFd, made.name);
    const auto removeIt = [&] { ::unlinkat(folderFd, made.name.c_str(), 0); };
    int failure = takeOwnership(fd, like, made.ownerNotKept);
    if (failure == 0) {
        OrderedFileWriter out(fd);
        try {
            write(out);
        } catch (...) {
            ::close(fd);
            removeIt();
            throw;
        }
        out.flush();
        failure = out.failure();
    }
    if (failure == 0 && ::fsync(fd) != 0)
        failure = errno;
    struct stat written {};
    if (failure == 0 && ::fstat(fd, &written) != 0)
        failure = errno;
    if (::close(fd) != 0 && failure == 0)
        failure = errno;
    if (failure != 0) {
        removeIt();
        throw FileWriteError(FileWriteError::Step::Write, failure);
    }
    made.written = identityOf(written);
    return made;
}

void renameIntoPlace(int folderFd, const std::string& temporary, const std::string& name) {
    if (::renameat(folderFd, temporary.c_str(), folderFd, name.c_str()) != 0) {
        const int error = errno;
        ::unlinkat(folderFd, temporary.c_str(), 0);
        throw FileWriteError(FileWriteError::Step::Rename, error);
    }
    ::fsync(folderFd);
}

int removeStaleTemporaryFiles(const fs::path& folder, int minimumAgeSeconds) {
    DIR* directory = ::opendir(folder.c_str());
    if (!directory)
        return 0;
    const std::time_t now = std::time(nullptr);
    int removed = 0;
    while (const struct dirent* entry = ::readdir(directory)) {
        const std::string_view name = entry->d_name;
        const long pid = temporaryFileOwner(name);
        if (pid < 0)
            continue;
        struct stat status {};
        if (::fstatat(::dirfd(directory), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(status.st_mode) || status.st_uid != ::geteuid() ||
            now - status.st_mtim.tv_sec < minimumAgeSeconds) {
            continue;
        }
        if (pid > 0 &&
            (pid == ::getpid() || ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM)) {
            continue;  // its save may still be under way
        }
        if (::unlinkat(::dirfd(directory), entry->d_name, 0) == 0)
            ++removed;
    }
    ::closedir(directory);
    return removed;
}

namespace {

// The file a save replaces: the one a symbolic link names (the link stays), never a folder.
fs::path replacedFile(const fs::path& requested, const std::string& shown) {
    std::error_code error;
    const fs::path target = savedFileFor(requested);
    if (fs::is_directory(target, error)) {
        throw DxfError(DxfError::Kind::Io, "“" + shown + "”是文件夹，不能保存为图形");
    }
    return target;
}

// The new backup is made beside the old one and renamed over it: there is always one. On
// failure the temporary drawing is removed too.
void replaceBackup(const fs::path& target, const std::string& temporary) {
    const fs::path backup = backupPathFor(target);
    if (backup == target)
        return;
    const std::string nextBackup = temporary + "b";
    std::error_code error;
    bool made = ::link(target.c_str(), nextBackup.c_str()) == 0;
    if (!made) {
        made = fs::copy_file(target, nextBackup, fs::copy_options::overwrite_existing, error);
    }
    int backupError = made ? 0 : (error ? error.value() : errno);
    if (made && ::rename(nextBackup.c_str(), backup.c_str()) != 0)
        backupError = errno;
    if (backupError != 0) {
        ::unlink(nextBackup.c_str());
        ::unlink(temporary.c_str());
        ioError("不能建立备份文件“" + backup.string() + "”", backupError);
    }
    ::unlink(nextBackup.c_str());  // still there when the backup already was this file
}

// The folder a save writes in, open for the *at calls and closed with the save.
class OpenFolder {
public:
    explicit OpenFolder(const fs::path& folder)
        : fd_(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        if (fd_ < 0)
            ioError("不能在文件夹“" + folder.string() + "”中保存图形", errno);
    }
    ~OpenFolder() { ::close(fd_); }
    OpenFolder(const OpenFolder&) = delete;
    OpenFolder& operator=(const OpenFolder&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

FileOwnership ownershipOf(const struct stat& status) {
    return {status.st_uid, status.st_gid, status.st_mode};
}

}  // namespace

ReplaceResult replaceFile(const fs::path& requested,
                          const std::function<void(OrderedFileWriter&)>& write,
                          const std::optional<FileOrigin>& origin) {
    const std::string shown = requested.string();
    const fs::path target = replacedFile(requested, shown);
    fs::path folder = target.parent_path();
    if (folder.empty())
        folder = ".";
    struct stat existing {};
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    if (exists && ::access(target.c_str(), W_OK) != 0) {
        ioError("图形文件“" + shown + "”不能写入", errno);
    }
    const bool sameAsOrigin = origin && resolvedPath(target) == origin->path;
    const auto refuseIfChanged = [&] {
        struct stat now {};
        if (sameAsOrigin && ::stat(target.c_str(), &now) == 0 &&
            identityOf(now) != origin->identity) {
            throw DxfError(
                DxfError::Kind::Io,
                "图形文件“" + shown + "”在读入之后已被其他程序修改，为免覆盖这些修改，没有保存");
        }
    };
    refuseIfChanged();
    removeStaleTemporaryFiles(folder, kStaleAfterSeconds);

    const OpenFolder open(folder);
    ReplaceResult result;
    WrittenTemporary made;
    try {
        made = writeTemporaryIn(open.fd(), write,
                                exists ? std::optional(ownershipOf(existing)) : std::nullopt);
    } catch (const FileWriteError& failure) {
        if (failure.step == FileWriteError::Step::Create)
            ioError("不能在文件夹“" + folder.string() + "”中保存图形", failure.error);
        ioError("保存图形“" + shown + "”失败", failure.error);
    }
    if (made.ownerNotKept) {
        result.notes.push_back(
            "注意：图形“" + shown + "”原属" + ownerAndGroupNames(existing.st_uid, existing.st_gid) +
            "，本程序无权保留，保存后属于" +
            ownerAndGroupNames(made.ownerNotKept->owner, made.ownerNotKept->group));
    }
    result.written = made.written;
    const std::string temporary = (folder / made.name).string();
    try {
        refuseIfChanged();
    } catch (...) {
        ::unlink(temporary.c_str());
        throw;
    }
    if (exists)
        replaceBackup(target, temporary);
    try {
        renameIntoPlace(open.fd(), made.name, target.filename().string());
    } catch (const FileWriteError& failure) {
        ioError("保存图形“" + shown + "”失败", failure.error);
    }
    return result;
}

}  // namespace quorvel::dxf
