#include "batch/files.h"

#include <fcntl.h>
#include <sys/stat.h>
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
            return "磁盘空间不足";
        case EROFS:
            return "文件系统是只读的";
        case EBUSY:
        case ETXTBSY:
            return "文件正被占用";
        case EIO:
            return "读写设备出错";
        default:
            return "系统错误 " + std::to_string(error);
    }
}

[[noreturn]] void fail(const std::string& what, int error) {
    throw FileError(what + "：" + reasonFor(error));
}

void writeAll(int fd, const std::string& bytes, const std::string& shown) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            const int error = errno;
            ::close(fd);
            fail("不能写入“" + shown + "”", error);
        }
        done += static_cast<std::size_t>(written);
    }
}

// A rename or a new file lasts a power cut only once its folder is on disk too.
void syncFolder(const std::filesystem::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

std::string readWholeFile(const std::filesystem::path& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        fail("不能读取“" + file.string() + "”", errno);
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        ::close(fd);
        throw FileError("“" + file.string() + "”是文件夹");
    }
    std::string bytes;
    if (info.st_size > 0)
        bytes.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[1 << 16];
    while (true) {
        const ssize_t read = ::read(fd, buffer, sizeof buffer);
        if (read < 0) {
            if (errno == EINTR)
                continue;
            const int error = errno;
            ::close(fd);
            fail("不能读取“" + file.string() + "”", error);
        }
        if (read == 0)
            break;
        bytes.append(buffer, static_cast<std::size_t>(read));
    }
    ::close(fd);
    return bytes;
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
    std::filesystem::path folder = file.parent_path();
    if (folder.empty())
        folder = ".";
    std::string temporary = (folder / ("." + file.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0)
        fail("不能在“" + folder.string() + "”中写文件", errno);
    writeAll(fd, bytes, file.string());
    struct stat existing {};
    const mode_t mode = ::stat(file.c_str(), &existing) == 0 ? existing.st_mode & 07777 : 0644;
    ::fchmod(fd, mode);
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        fail("不能写入“" + file.string() + "”", error);
    }
    if (::rename(temporary.c_str(), file.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        fail("不能替换“" + file.string() + "”", error);
    }
    syncFolder(folder);
}

void appendDurably(const std::filesystem::path& file, const std::string& bytes) {
    const bool existed = std::filesystem::exists(file);
    const int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        fail("不能写入“" + file.string() + "”", errno);
    writeAll(fd, bytes, file.string());
    if (::fsync(fd) != 0 || ::close(fd) != 0)
        fail("不能写入“" + file.string() + "”", errno);
    if (!existed)
        syncFolder(file.parent_path());
}

}  // namespace quorvel::batch
