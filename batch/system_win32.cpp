#include "batch/system.h"

#include <windows.h>

#include <io.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <random>
#include <string>

#include "batch/files.h"
#include "batch/system_win32.h"

namespace quorvel::batch::sys {

namespace fs = std::filesystem;

namespace {

// Open handles by number; slot numbers start high so that no one takes them for descriptors.
constexpr int kFirstSlot = 1000;

struct Slot {
    HANDLE handle = INVALID_HANDLE_VALUE;
    std::wstring path;  // for names looked up in a folder
};

std::mutex slotsMutex;
std::vector<std::optional<Slot>>& slots() {
    static std::vector<std::optional<Slot>> table;
    return table;
}

int addSlot(HANDLE handle, std::wstring path) {
    const std::lock_guard lock(slotsMutex);
    auto& table = slots();
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (!table[i]) {
            table[i] = Slot{handle, std::move(path)};
            return kFirstSlot + static_cast<int>(i);
        }
    }
    table.push_back(Slot{handle, std::move(path)});
    return kFirstSlot + static_cast<int>(table.size() - 1);
}

std::optional<Slot> slotOf(int number) {
    const std::lock_guard lock(slotsMutex);
    const auto& table = slots();
    const std::size_t index = static_cast<std::size_t>(number - kFirstSlot);
    if (number < kFirstSlot || index >= table.size())
        return std::nullopt;
    return table[index];
}

HANDLE handleOf(int number) {
    const std::optional<Slot> slot = slotOf(number);
    return slot ? slot->handle : INVALID_HANDLE_VALUE;
}

// errno for the last Win32 error, so that messages read as on POSIX.
void setErrnoFrom(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
            errno = ENOENT;
            break;
        case ERROR_ACCESS_DENIED:
        case ERROR_PRIVILEGE_NOT_HELD:
            errno = EACCES;
            break;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            errno = EBUSY;
            break;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            errno = ENOSPC;
            break;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            errno = EEXIST;
            break;
        case ERROR_WRITE_PROTECT:
            errno = EROFS;
            break;
        case ERROR_FILENAME_EXCED_RANGE:
            errno = ENAMETOOLONG;
            break;
        case ERROR_NOT_SAME_DEVICE:
            errno = EXDEV;
            break;
        case ERROR_CANT_ACCESS_FILE:
        case ERROR_CANT_RESOLVE_FILENAME:
            errno = ELOOP;
            break;
        default:
            errno = EIO;
    }
}

bool failed() {
    setErrnoFrom(GetLastError());
    return false;
}

std::wstring wide(std::string_view text) {
    if (text.empty())
        return {};
    const int length =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), length);
    return out;
}

// A name inside the folder open as `folder` ("backups/1" names a file in a subfolder).
std::optional<std::wstring> pathIn(int folder, const std::string& name) {
    const std::optional<Slot> slot = slotOf(folder);
    if (!slot || name.empty()) {
        errno = slot ? ENOENT : EBADF;
        return std::nullopt;
    }
    std::wstring path = slot->path + L'\\' + wide(name);
    for (wchar_t& c : path) {
        if (c == L'/')
            c = L'\\';
    }
    return path;
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

std::int64_t nanoseconds(const LARGE_INTEGER& time) {
    // 100-nanosecond units since 1601; only compared, never shown.
    return time.QuadPart * 100;
}

bool stampOfHandle(HANDLE handle, FileStamp& stamp) {
    stamp = FileStamp{};
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        stamp.mode = 0020000;  // a pipe, a console or another device: never a drawing
        return true;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    FILE_BASIC_INFO basic{};
    if (!GetFileInformationByHandle(handle, &info) ||
        !GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic))
        return failed();
    stamp.device = info.dwVolumeSerialNumber;
    stamp.inode = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    stamp.size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    stamp.modified = nanoseconds(basic.LastWriteTime);
    stamp.changed = nanoseconds(basic.ChangeTime);
    stamp.born = nanoseconds(basic.CreationTime);
    stamp.links = info.nNumberOfLinks;
    const DWORD attributes = info.dwFileAttributes;
    const unsigned permissions = (attributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0644;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        stamp.mode = 0120000 | 0777;  // a symbolic link or junction: treated as a link
    else if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        stamp.mode = 0040000 | 0755;
    else
        stamp.mode = 0100000 | permissions;
    return true;
}

bool isReparsePoint(HANDLE handle) {
    FILE_BASIC_INFO basic{};
    return GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic) &&
           (basic.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// Opens `path`; a reparse point (link, junction) is refused with ELOOP when `noFollow`.
int openHandle(const std::wstring& path, DWORD access, DWORD share, DWORD disposition, DWORD flags,
               bool noFollow, bool folder) {
    if (noFollow)
        flags |= FILE_FLAG_OPEN_REPARSE_POINT;
    if (folder)
        flags |= FILE_FLAG_BACKUP_SEMANTICS;
    const HANDLE handle =
        CreateFileW(path.c_str(), access, share, nullptr, disposition, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        failed();
        return -1;
    }
    if (noFollow && disposition == OPEN_EXISTING && isReparsePoint(handle)) {
        CloseHandle(handle);
        errno = ELOOP;
        return -1;
    }
    if (folder) {
        BY_HANDLE_FILE_INFORMATION info{};
        if (!GetFileInformationByHandle(handle, &info) ||
            !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            CloseHandle(handle);
            errno = ENOTDIR;
            return -1;
        }
    }
    return addSlot(handle, path);
}

// A folder stays where it is while it is open here: no delete sharing, so no rename.
int openFolderPath(const std::wstring& path, bool noFollow) {
    return openHandle(path, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                      FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, 0, noFollow, true);
}

std::wstring absoluteWide(const fs::path& path) {
    std::error_code error;
    const fs::path absolute = fs::absolute(path.empty() ? fs::path(".") : path, error);
    std::wstring text = (error ? path : absolute).lexically_normal().wstring();
    while (text.size() > 3 && (text.back() == L'\\' || text.back() == L'/'))
        text.pop_back();
    return text;
}

}  // namespace

fs::path pathFromUtf8(std::string_view text) {
    return fs::path(std::u8string(text.begin(), text.end()));
}

fs::path resolvedPath(const fs::path& path) {
    const std::wstring absolute = absoluteWide(path);
    const HANDLE handle = CreateFileW(absolute.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return fs::path(absolute);
    std::wstring resolved(MAX_PATH, L'\0');
    DWORD length =
        GetFinalPathNameByHandleW(handle, resolved.data(), static_cast<DWORD>(resolved.size()), 0);
    if (length >= resolved.size()) {
        resolved.resize(length + 1);
        length = GetFinalPathNameByHandleW(handle, resolved.data(),
                                           static_cast<DWORD>(resolved.size()), 0);
    }
    CloseHandle(handle);
    if (length == 0 || length >= resolved.size())
        return fs::path(absolute);
    resolved.resize(length);
    // "\\?\C:\..." and "\\?\UNC\server\..." as the user writes them.
    if (resolved.rfind(L"\\\\?\\UNC\\", 0) == 0)
        return fs::path(L"\\\\" + resolved.substr(8));
    if (resolved.rfind(L"\\\\?\\", 0) == 0)
        return fs::path(resolved.substr(4));
    return fs::path(resolved);
}

std::string environmentText(const char* name) {
    const wchar_t* value = _wgetenv(wide(name).c_str());
    if (!value)
        return {};
    const fs::path text(value);
    const std::u8string utf8 = text.u8string();
    return std::string(utf8.begin(), utf8.end());
}

fs::path userDataFolder() {
    const wchar_t* local = _wgetenv(L"LOCALAPPDATA");
    if (!local || !*local || !fs::path(local).is_absolute())
        throw FileError("没有用户数据文件夹（LOCALAPPDATA 没有设置），不能使用运行记录");
    return fs::path(local);
}

const char* programDataName() {
    return "Quorvel";
}

int openFolder(const fs::path& folder, bool followLink) {
    return openFolderPath(absoluteWide(folder), !followLink);
}

int openFolderAt(int parent, const std::string& name) {
    const std::optional<std::wstring> path = pathIn(parent, name);
    return path ? openFolderPath(*path, true) : -1;
}

int makeFolderAt(int parent, const std::string& name) {
    const std::optional<std::wstring> path = pathIn(parent, name);
    if (!path)
        return -1;
    // Inherits the access list of %LOCALAPPDATA%: the user's own.
    return CreateDirectoryW(path->c_str(), nullptr) ? 0 : (failed(), -1);
}

int openReadAt(int folder, const std::string& name) {
    const std::optional<std::wstring> path = pathIn(folder, name);
    // Delete sharing: the run renames its new file over a drawing it holds open.
    return path ? openHandle(*path, GENERIC_READ, kShareAll, OPEN_EXISTING, 0, true, false) : -1;
}

int openRead(const fs::path& file) {
    return openHandle(absoluteWide(file), GENERIC_READ, kShareAll, OPEN_EXISTING, 0, false, false);
}

int createAt(int folder, const std::string& name) {
    const std::optional<std::wstring> path = pathIn(folder, name);
    return path ? openHandle(*path, GENERIC_READ | GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_DELETE, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                             true, false)
                : -1;
}

int openAppendAt(int folder, const std::string& name, bool createNew) {
    const std::optional<std::wstring> path = pathIn(folder, name);
    return path ? openHandle(*path, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                             FILE_SHARE_READ, createNew ? CREATE_NEW : OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, true, false)
                : -1;
}

void closeHandle(int handle) {
    const std::lock_guard lock(slotsMutex);
    auto& table = slots();
    const std::size_t index = static_cast<std::size_t>(handle - kFirstSlot);
    if (handle < kFirstSlot || index >= table.size() || !table[index])
        return;
    CloseHandle(table[index]->handle);
    table[index].reset();
}

long long readAt(int handle, char* data, std::size_t size, std::uint64_t offset) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    if (!ReadFile(handleOf(handle), data, chunk, &got, &at)) {
        if (GetLastError() == ERROR_HANDLE_EOF)
            return 0;
        failed();
        return -1;
    }
    return got;
}

bool writeAll(int handle, std::string_view bytes) {
    const HANDLE file = handleOf(handle);
    while (!bytes.empty()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
        if (!WriteFile(file, bytes.data(), chunk, &written, nullptr))
            return failed();
        bytes.remove_prefix(written);
    }
    return true;
}

bool flushToDisk(int handle) {
    return FlushFileBuffers(handleOf(handle)) || failed();
}

void syncFolder(int) {
    // NTFS journals its folders: a rename is on disk with the file system's next flush.
}

bool stampOf(int handle, FileStamp& stamp) {
    return stampOfHandle(handleOf(handle), stamp);
}

bool stampAt(int folder, const std::string& name, FileStamp& stamp) {
    const std::optional<std::wstring> path = pathIn(folder, name);
    if (!path)
        return false;
    const HANDLE handle =
        CreateFileW(path->c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return failed();
    const bool done = stampOfHandle(handle, stamp);
    CloseHandle(handle);
    return done;
}

bool stampOfPath(const fs::path& path, FileStamp& stamp) {
    const HANDLE handle = CreateFileW(absoluteWide(path).c_str(), FILE_READ_ATTRIBUTES, kShareAll,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return failed();
    const bool done = stampOfHandle(handle, stamp);
    CloseHandle(handle);
    return done;
}

bool renameAt(int folder, const std::string& from, const std::string& to) {
    const std::optional<std::wstring> source = pathIn(folder, from);
    const std::optional<std::wstring> target = pathIn(folder, to);
    if (!source || !target)
        return false;
    // A read-only file is refused, as Windows itself refuses it (Wine would replace it).
    const DWORD attributes = GetFileAttributesW(target->c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        errno = EACCES;
        return false;
    }
    // A reparse point at `to` is replaced as a name, never followed.
    return MoveFileExW(source->c_str(), target->c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ||
           failed();
}

bool linkAt(int fromFolder, const std::string& name, int toFolder, const std::string& newName) {
    const std::optional<std::wstring> existing = pathIn(fromFolder, name);
    const std::optional<std::wstring> made = pathIn(toFolder, newName);
    if (!existing || !made)
        return false;
    return CreateHardLinkW(made->c_str(), existing->c_str(), nullptr) || failed();
}

bool removeAt(int folder, const std::string& name) {
    const std::optional<std::wstring> path = pathIn(folder, name);
    return path && (DeleteFileW(path->c_str()) || failed());
}

bool tryLock(int handle) {
    // Far beyond any drawing's end: the lock keeps other runs out but lets the worker read.
    OVERLAPPED at{};
    at.OffsetHigh = 0x40000000;
    return LockFileEx(handleOf(handle), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1,
                      0, &at) ||
           failed();
}

bool mayReplace(const FileStamp& stamp) {
    return (stamp.mode & 0222) != 0;
}

void releaseBeforeReplace(int& handle) {
    closeHandle(handle);
    handle = -1;
}

// A new file in the folder takes the folder's inherited access list, as the engine's saves do:
// `like` has nothing to pass on. A read-only drawing is not saved at all (see mayReplace).
TemporaryWrite writeTemporary(int folder, std::string_view bytes, const FileStamp*,
                              const std::string&, std::vector<std::string>&, std::string& name) {
    static constexpr char kLetters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::mt19937 random{std::random_device{}()};
    const std::string prefix = ".~qv" + std::to_string(processId()) + ".";
    std::string made;
    int handle = -1;
    for (int attempt = 0; attempt < 100 && handle < 0; ++attempt) {
        made = prefix;
        for (int i = 0; i < 6; ++i)
            made += kLetters[random() % (sizeof kLetters - 1)];
        handle = createAt(folder, made);
        if (handle < 0 && errno != EEXIST)
            return TemporaryWrite::NotMade;
    }
    if (handle < 0)
        return TemporaryWrite::NotMade;  // errno is EEXIST
    const int error = writeAll(handle, bytes) && flushToDisk(handle) ? 0 : errno;
    closeHandle(handle);
    if (error != 0) {
        removeAt(folder, made);
        errno = error;
        return TemporaryWrite::NotWritten;
    }
    name = std::move(made);  // only a file this call made is ever named back
    return TemporaryWrite::Written;
}

bool renameIntoPlace(int folder, const std::string& temporary, const std::string& name) {
    if (!renameAt(folder, temporary, name)) {
        const int error = errno;
        removeAt(folder, temporary);
        errno = error;
        return false;
    }
    syncFolder(folder);
    return true;
}

bool ownedByUser(const FileStamp&) {
    return true;
}

bool makePrivate(int, const FileStamp&) {
    return true;
}

unsigned userGroup() {
    return 0;
}

unsigned long processId() {
    return GetCurrentProcessId();
}

std::tm localTime(std::time_t time) {
    std::tm local{};
    localtime_s(&local, &time);
    return local;
}

bool stderrIsTerminal() {
    return _isatty(_fileno(stderr)) != 0;
}

void removeStaleTemporaries(const fs::path&, int) {
    // A run cut short leaves its ".~qv<number>.*" file; the next run's names never meet it.
}

void* nativeHandle(int handle) {
    return handleOf(handle);
}

int adoptNativeHandle(void* handle) {
    return addSlot(static_cast<HANDLE>(handle), L"");
}

}  // namespace quorvel::batch::sys
