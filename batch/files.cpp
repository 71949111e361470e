#include "batch/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace quorvel::batch {

namespace {

std::string reasonFor(int error) {
    switch (error) {
        case ENOENT:
            return "文件或文件夹不存在";
        case EACCES:
        case EPERM:
            return "没有权限";
        case EISDIR:
            return "这是文件夹";
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return "磁盘空间不足";
        case EROFS:
            return "文件系统是只读的";
        case EBUSY:
        case ETXTBSY:
            return "文件正被占用";
        case EIO:
            return "读写设备出错";
        case ELOOP:
            return "这是符号链接";
        case ENAMETOOLONG:
            return "文件名太长";
        default:
            return "系统错误 " + std::to_string(error);
    }
}

bool writeAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return false;
        done += static_cast<std::size_t>(written);
    }
    return true;
}

int openFolder(const std::filesystem::path& folder) {
    const int fd =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        failWith("不能打开文件夹“" + folder.string() + "”", errno);
    return fd;
}

}  // namespace

void failWith(const std::string& what, int error) {
    throw FileError(what + "：" + reasonFor(error));
}

FileStamp stampOf(const struct stat& status) {
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

FileStamp stampAt(int folderFd, const std::string& name, bool& exists) {
    struct statx extended {};
    exists = ::statx(folderFd, name.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME,
                     &extended) == 0;
    if (!exists && errno != ENOENT)
        failWith("不能读取“" + name + "”", errno);
    if (!exists)
        return {};
    FileStamp stamp;
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
    return stamp;
}

std::string readOpenFile(int fd, const std::string& shown) {
    struct stat status {};
    if (::fstat(fd, &status) != 0)
        failWith("不能读取“" + shown + "”", errno);
    if (S_ISDIR(status.st_mode))
        throw FileError("“" + shown + "”是文件夹");
    if (!S_ISREG(status.st_mode))
        throw FileError("“" + shown + "”不是普通文件（管道、设备等），不能读入");
    // Never more than the file's size: a file that grows without end cannot fill the memory.
    std::string bytes(static_cast<std::size_t>(status.st_size) + 1, '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t got =
            ::pread(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            failWith("不能读取“" + shown + "”", errno);
        if (got == 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    if (done > static_cast<std::size_t>(status.st_size))
        throw FileError("“" + shown + "”在读取时被其他程序修改");
    bytes.resize(done);
    return bytes;
}

std::string readWholeFile(const std::filesystem::path& file) {
    // Not blocking on open: a FIFO must be refused, not waited on.
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        failWith("不能读取“" + file.string() + "”", errno);
    try {
        std::string bytes = readOpenFile(fd, file.string());
        ::close(fd);
        return bytes;
    } catch (...) {
        ::close(fd);
        throw;
    }
}

dxf::WrittenTemporary writeTemporary(int folderFd, const std::string& bytes,
                                     const std::optional<dxf::FileOwnership>& like,
                                     const std::string& shown, const std::string& shownFolder) {
    try {
        return dxf::writeTemporaryIn(
            folderFd, [&](dxf::OrderedFileWriter& out) { out.append(bytes); }, like);
    } catch (const dxf::FileWriteError& failure) {
        if (failure.step == dxf::FileWriteError::Step::Create)
            failWith("不能在“" + shownFolder + "”中写文件", failure.error);
        failWith("不能写入“" + shown + "”", failure.error);
    }
}

void renameInFolder(int folderFd, const std::string& temporary, const std::string& name,
                    const std::string& failure) {
    try {
        dxf::renameIntoPlace(folderFd, temporary, name);
    } catch (const dxf::FileWriteError& error) {
        failWith(failure, error.error);
    }
}

void writeAndClose(int fd, const std::string& bytes, int folderFd, const std::string& name,
                   const std::string& shown) {
    int error = writeAll(fd, bytes) ? 0 : errno;
    if (error == 0 && ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error != 0) {
        ::unlinkat(folderFd, name.c_str(), 0);
        failWith("不能写入“" + shown + "”", error);
    }
}

void syncFolder(int folderFd) {
    ::fsync(folderFd);
}

void writeNewFile(const std::filesystem::path& file, const std::string& bytes) {
    const int folderFd = openFolder(file.parent_path());
    try {
        const dxf::WrittenTemporary made = writeTemporary(
            folderFd, bytes, std::nullopt, file.string(), file.parent_path().string());
        // rename() replaces a link planted at `file`; it never follows it.
        renameInFolder(folderFd, made.name, file.filename().string(),
                       "不能写入“" + file.string() + "”");
    } catch (...) {
        ::close(folderFd);
        throw;
    }
    ::close(folderFd);
}

void writeFileAtomically(const std::filesystem::path& requested, const std::string& bytes) {
    // A link stays a link: the file it names is replaced.
    const std::filesystem::path file = dxf::savedFileFor(requested);
    const int folderFd = openFolder(file.parent_path());
    try {
        struct stat existing {};
        std::optional<dxf::FileOwnership> like;
        if (::fstatat(folderFd, file.filename().c_str(), &existing, 0) == 0)
            like = dxf::FileOwnership{existing.st_uid, existing.st_gid, existing.st_mode};
        const dxf::WrittenTemporary made =
            writeTemporary(folderFd, bytes, like, file.string(), file.parent_path().string());
        renameInFolder(folderFd, made.name, file.filename().string(),
                       "不能替换“" + file.string() + "”");
    } catch (...) {
        ::close(folderFd);
        throw;
    }
    ::close(folderFd);
}

void appendDurably(const std::filesystem::path& file, const std::string& bytes) {
    const int fd =
        ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        failWith("不能写入“" + file.string() + "”", errno);
    struct stat status {};
    const bool created = ::fstat(fd, &status) == 0 && status.st_size == 0;
    int error = writeAll(fd, bytes) ? 0 : errno;
    if (error == 0 && ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error != 0)
        failWith("不能写入“" + file.string() + "”", error);
    if (created) {
        const int folderFd = openFolder(file.parent_path());
        syncFolder(folderFd);
        ::close(folderFd);
    }
}

}  // namespace quorvel::batch
