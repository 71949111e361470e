#include "batch/files.h"

#include <cerrno>
#include <string>
#include <vector>

#include "batch/system.h"

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
#ifdef EDQUOT
        case EDQUOT:
#endif
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

int openFolder(const std::filesystem::path& folder) {
    const int fd = sys::openFolder(folder);
    if (fd < 0)
        failWith("不能打开文件夹“" + folder.string() + "”", errno);
    return fd;
}

}  // namespace

void failWith(const std::string& what, int error) {
    throw FileError(what + "：" + reasonFor(error));
}

FileStamp stampOfOpen(int fd, const std::string& shown) {
    FileStamp stamp;
    if (!sys::stampOf(fd, stamp))
        failWith("不能读取“" + shown + "”", errno);
    return stamp;
}

FileStamp stampAt(int folderFd, const std::string& name, bool& exists) {
    FileStamp stamp;
    exists = sys::stampAt(folderFd, name, stamp);
    if (!exists && errno != ENOENT)
        failWith("不能读取“" + name + "”", errno);
    return exists ? stamp : FileStamp{};
}

std::string readOpenFile(int fd, const std::string& shown) {
    const FileStamp status = stampOfOpen(fd, shown);
    if (isFolderMode(status.mode))
        throw FileError("“" + shown + "”是文件夹");
    if (!isRegularMode(status.mode))
        throw FileError("“" + shown + "”不是普通文件（管道、设备等），不能读入");
    // Never more than the file's size: a file that grows without end cannot fill the memory.
    std::string bytes(static_cast<std::size_t>(status.size) + 1, '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
        const long long got = sys::readAt(fd, bytes.data() + done, bytes.size() - done, done);
        if (got < 0)
            failWith("不能读取“" + shown + "”", errno);
        if (got == 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    if (done > static_cast<std::size_t>(status.size))
        throw FileError("“" + shown + "”在读取时被其他程序修改");
    bytes.resize(done);
    return bytes;
}

std::string readWholeFile(const std::filesystem::path& file) {
    // Not blocking on open: a FIFO must be refused, not waited on.
    const int fd = sys::openRead(file);
    if (fd < 0)
        failWith("不能读取“" + file.string() + "”", errno);
    try {
        std::string bytes = readOpenFile(fd, file.string());
        sys::closeHandle(fd);
        return bytes;
    } catch (...) {
        sys::closeHandle(fd);
        throw;
    }
}

std::string writeTemporary(int folderFd, const std::string& bytes, const FileStamp* like,
                           const std::string& shown, const std::string& shownFolder,
                           std::vector<std::string>& notes) {
    std::string name;
    switch (sys::writeTemporary(folderFd, bytes, like, shown, notes, name)) {
        case sys::TemporaryWrite::Written:
            return name;
        case sys::TemporaryWrite::NotMade:
            failWith("不能在“" + shownFolder + "”中写文件", errno);
        case sys::TemporaryWrite::NotWritten:
            break;
    }
    failWith("不能写入“" + shown + "”", errno);
}

void renameIntoPlace(int folderFd, const std::string& temporary, const std::string& name,
                     const std::string& failure) {
    if (!sys::renameIntoPlace(folderFd, temporary, name))
        failWith(failure, errno);
}

void writeAndClose(int fd, const std::string& bytes, int folderFd, const std::string& name,
                   const std::string& shown) {
    int error = sys::writeAll(fd, bytes) ? 0 : errno;
    if (error == 0 && !sys::flushToDisk(fd))
        error = errno;
    sys::closeHandle(fd);
    if (error != 0) {
        if (!name.empty())
            sys::removeAt(folderFd, name);
        failWith("不能写入“" + shown + "”", error);
    }
}

void syncFolder(int folderFd) {
    sys::syncFolder(folderFd);
}

void writeNewFile(const std::filesystem::path& file, const std::string& bytes) {
    const int folderFd = openFolder(file.parent_path());
    try {
        std::vector<std::string> notes;  // a new file has no owner to keep
        const std::string temporary = writeTemporary(folderFd, bytes, nullptr, file.string(),
                                                     file.parent_path().string(), notes);
        // A rename replaces a link planted at `file`; it never follows it.
        renameIntoPlace(folderFd, temporary, file.filename().string(),
                        "不能写入“" + file.string() + "”");
    } catch (...) {
        sys::closeHandle(folderFd);
        throw;
    }
    sys::closeHandle(folderFd);
}

void writeFileAtomically(const std::filesystem::path& requested, const std::string& bytes) {
    // A link stays a link: the file it names is replaced.
    std::error_code error;
    std::filesystem::path file = requested;
    if (std::filesystem::is_symlink(file, error)) {
        const std::filesystem::path target = std::filesystem::canonical(file, error);
        if (!error)
            file = target;
    }
    const int folderFd = openFolder(file.parent_path());
    try {
        FileStamp existing;
        // Only a file passes on its mode: a dangling link's 0777 would open the drawing to all.
        const bool keepMode = sys::stampAt(folderFd, file.filename().string(), existing) &&
                              isRegularMode(existing.mode);
        std::vector<std::string> notes;  // the caller tells the user what was restored
        const std::string temporary =
            writeTemporary(folderFd, bytes, keepMode ? &existing : nullptr, file.string(),
                           file.parent_path().string(), notes);
        renameIntoPlace(folderFd, temporary, file.filename().string(),
                        "不能替换“" + file.string() + "”");
    } catch (...) {
        sys::closeHandle(folderFd);
        throw;
    }
    sys::closeHandle(folderFd);
}

}  // namespace quorvel::batch
