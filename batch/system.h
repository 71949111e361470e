#pragma once
// The operating system's file services quorvel-batch needs, behind one small interface: POSIX in
// system_posix.cpp, Win32 in system_win32.cpp. Handles are small integers on both (descriptors
// here, slots of a table of HANDLEs on Windows). Failures return -1 (or false) with an errno
// value in errno (Win32 errors are mapped), so messages read the same on both systems.
//
// A folder handle pins its folder: names are looked up in it, never through a link. On Windows a
// folder open here cannot be renamed or removed meanwhile (it is open without delete sharing).

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::batch {

struct FileStamp;

namespace sys {

// A path from a UTF-8 string: on Windows a narrow path would be read in the ANSI code page.
std::filesystem::path pathFromUtf8(std::string_view text);

// The absolute path of the file `path` names, links resolved (as far as it exists).
std::filesystem::path resolvedPath(const std::filesystem::path& path);

// An environment variable in UTF-8 (on Windows the narrow one is in the ANSI code page); empty
// when unset.
std::string environmentText(const char* name);

// $XDG_DATA_HOME or ~/.local/share here, %LOCALAPPDATA% on Windows, and the name of this
// program's folder in it. Raises FileError when there is none.
std::filesystem::path userDataFolder();
const char* programDataName();

// `followLink` false refuses a folder that is itself a link (ELOOP).
int openFolder(const std::filesystem::path& folder, bool followLink = true);
int openFolderAt(int parent, const std::string& name);  // refuses a link (ELOOP)
int makeFolderAt(int parent, const std::string& name);  // private to this user
// Read only, refusing a link (ELOOP); never waits on a FIFO.
int openReadAt(int folder, const std::string& name);
int openRead(const std::filesystem::path& file);  // follows a link; never waits on a FIFO
// A new file made exclusively (never a link or file already there), private to this user.
int createAt(int folder, const std::string& name);
// Appending; `createNew` makes it exclusively, else it must be there. Refuses a link.
int openAppendAt(int folder, const std::string& name, bool createNew);
void closeHandle(int handle);

// Bytes read at `offset`, 0 at the end, -1 on failure.
long long readAt(int handle, char* data, std::size_t size, std::uint64_t offset);
bool writeAll(int handle, std::string_view bytes);
bool flushToDisk(int handle);
void syncFolder(int folder);

bool stampOf(int handle, FileStamp& stamp);
// The entry itself, not a link's target; false with ENOENT when there is none.
bool stampAt(int folder, const std::string& name, FileStamp& stamp);
bool stampOfPath(const std::filesystem::path& path, FileStamp& stamp);  // follows links

// Within one folder, replacing `to` (a link there is replaced, never followed).
bool renameAt(int folder, const std::string& from, const std::string& to);
bool linkAt(int fromFolder, const std::string& name, int toFolder, const std::string& newName);
bool removeAt(int folder, const std::string& name);

// An exclusive lock between runs of this program on the file open as `handle`; false when
// another run holds it.
bool tryLock(int handle);

// False where the system renames nothing over this file (a read-only file on Windows).
bool mayReplace(const FileStamp& stamp);

// Windows renames nothing over a file that is open: there the handle (and with it the lock) is
// closed just before its name is replaced, and `handle` becomes -1. POSIX keeps both.
void releaseBeforeReplace(int& handle);

// The one writer of files in place, for drawings, restores and reports: on POSIX the DXF
// engine's (the hosts' saves use it too), on Windows the same steps over this layer.
enum class TemporaryWrite { Written, NotMade, NotWritten };
// A temporary file named as the engine's saves name theirs, made exclusively in the folder open
// as `folder` (never through a link already there), holding `bytes`, flushed to disk and closed;
// `name` gets its name. It takes the owner, group and mode of `like` as far as this process may
// (a note for the user, naming `shown`, says what could not be kept), without `like` those of
// any new file. On failure nothing is left behind and errno tells why.
TemporaryWrite writeTemporary(int folder, std::string_view bytes, const FileStamp* like,
                              const std::string& shown, std::vector<std::string>& notes,
                              std::string& name);
// Renames `temporary` over `name` in the folder (a link there is replaced, never followed) and
// flushes the folder. On failure `temporary` is removed, and errno tells why.
bool renameIntoPlace(int folder, const std::string& temporary, const std::string& name);
// True where this user owns the file (always on Windows, where folders under %LOCALAPPDATA%
// are the user's own by their access list).
bool ownedByUser(const FileStamp& stamp);
// Takes group and other users' access away from a folder of the journal.
bool makePrivate(int folder, const FileStamp& stamp);
unsigned userGroup();
unsigned long processId();
std::tm localTime(std::time_t time);
bool stderrIsTerminal();

// Leftovers of saves that were cut short, as the DXF engine's saves remove them.
void removeStaleTemporaries(const std::filesystem::path& folder, int minimumAgeSeconds);

}  // namespace sys
}  // namespace quorvel::batch
