#include "cadhost/dxf/filereplace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "cadhost/dxf/drawing.h"

namespace quorvel::dxf {

namespace {

[[noreturn]] void ioError(const std::string& what, int error) {
    throw DxfError(DxfError::Kind::Io, what + "：" + std::strerror(error));
}

// Copies a file's bytes; used for the backup where hard links are not possible.
bool copyFile(const std::filesystem::path& from, const std::filesystem::path& to) {
    std::error_code error;
    return std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing,
                                      error);
}

}  // namespace

void replaceFile(const std::filesystem::path& target, const std::filesystem::path& folder,
                 const std::filesystem::path& backup, const std::string& shown,
                 const std::function<void(const ByteSink&)>& produce) {
    struct stat existing {};
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    if (exists && ::access(target.c_str(), W_OK) != 0) {
        ioError("图形文件“" + shown + "”不能写入", errno);
    }

    std::string temporary = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0)
        ioError("不能在文件夹“" + folder.string() + "”中保存图形", errno);

    int failure = 0;
    const auto writeOut = [&](std::string_view piece) {
        while (failure == 0 && !piece.empty()) {
            const ssize_t written = ::write(fd, piece.data(), piece.size());
            if (written < 0) {
                if (errno == EINTR)
                    continue;
                failure = errno;
                break;
            }
            piece.remove_prefix(static_cast<std::size_t>(written));
        }
    };
    // Edited records are small: gather them so that a drawing with many edits does not cost a
    // system call per record.
    constexpr std::size_t kBufferSize = 1 << 20;
    std::string buffer;
    buffer.reserve(kBufferSize);
    produce([&](std::string_view piece) {
        if (buffer.size() + piece.size() > kBufferSize) {
            writeOut(buffer);
            buffer.clear();
        }
        if (piece.size() >= kBufferSize / 4) {
            writeOut(piece);
        } else {
            buffer.append(piece);
        }
    });
    writeOut(buffer);
    // The drawing keeps its permissions; a new one gets those of any new file (mkstemp's are
    // private).
    mode_t mode = existing.st_mode & 07777;
    if (!exists) {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    if (failure == 0 && ::fchmod(fd, mode) != 0)
        failure = errno;
    if (failure == 0 && ::fsync(fd) != 0)
        failure = errno;
    if (::close(fd) != 0 && failure == 0)
        failure = errno;
    if (failure != 0) {
        ::unlink(temporary.c_str());
        ioError("保存图形“" + shown + "”失败", failure);
    }

    if (exists) {
        if (backup != target) {
            ::unlink(backup.c_str());
            if (::link(target.c_str(), backup.c_str()) != 0 && !copyFile(target, backup)) {
                const int backupError = errno;
                ::unlink(temporary.c_str());
                ioError("不能建立备份文件“" + backup.string() + "”", backupError);
            }
        }
    }
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        const int renameError = errno;
        ::unlink(temporary.c_str());
        ioError("保存图形“" + shown + "”失败", renameError);
    }
    const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (folderFd >= 0) {
        ::fsync(folderFd);
        ::close(folderFd);
    }
}

}  // namespace quorvel::dxf
