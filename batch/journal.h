#pragma once
// The journal of a run: which drawings it saved, their checksums before and after, the identity
// of each file the save made, and a copy of each drawing's original bytes (and of the .bak the
// save replaced), kept in the user's own data folder so that a whole run can be undone later
// from any folder.

#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "batch/files.h"

namespace quorvel::batch {

// $XDG_DATA_HOME/quorvel/runs, else $HOME/.local/share/quorvel/runs. Raises FileError when
// neither is set to an absolute path: a shared fallback could be made by anyone first.
std::filesystem::path runsFolder();
// Opens the runs folder (made first when `create`): it and its parent "quorvel" must be real
// folders (not links) owned by this user; they are made private (0700). Raises FileError.
int openRunsFolder(bool create);
// Opens one run's folder inside the runs folder, refusing links and other users' folders.
int openRunFolder(int runsFd, const std::string& id);
bool validRunId(const std::string& id);

// One drawing a run saved, as the journal notes it.
struct SavedDrawing {
    std::filesystem::path drawing;  // absolute, links resolved
    std::string before, after;      // SHA-256 of the file before and after the save
    std::string backup;             // "backups/<n>" in the run's folder
    FileStamp folder;               // the drawing's folder
    FileStamp saved;                // the file the save made
    std::string bak;                // the .bak beside the drawing the save made; empty if none
    FileStamp bakStamp;
    std::string oldBak;  // "backups/<n>.bak": the .bak that was there before; empty if none
};

class Journal {
public:
    // A new run folder with its journal; raises FileError when it cannot be made.
    static Journal create(const std::vector<std::string>& arguments);
    Journal(Journal&& other) noexcept;
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;
    ~Journal();

    const std::string& id() const { return id_; }
    const std::filesystem::path& folder() const { return folder_; }

    // The rest is thread-safe. Raises FileError with "运行记录" in its message.
    // Keeps the original bytes of a drawing about to be saved; returns "backups/<n>".
    std::string keepOriginal(const std::string& bytes);
    // The same for the file `name` of the folder open as `folderFd`, open as `fileFd` and holding
    // `bytes`: an atomic save never writes the original's inode again, so on the same file
    // system the journal links it instead of copying it. Raises FileError (kChangedDuringRun)
    // when the name no longer holds that file.
    std::string keepOriginal(int folderFd, const std::string& name, int fileFd,
                             const std::string& bytes);
    // Keeps the file `name` of the folder open as `folderFd` (a .bak about to be replaced) as
    // "<backup>.bak", linked when it can be, else copied; returns that name.
    std::string keepOldBak(int folderFd, const std::string& name, const std::string& backup);
    // True the first time a run asks about `folder`.
    bool firstVisit(const std::filesystem::path& folder);
    // False when this run already made the backup file `bak` for another drawing.
    bool claimBak(const std::filesystem::path& bak);
    // What a rerun of the run's failed drawings needs: its editing options (as
    // editingArguments() gives them) and its find/replace pairs in UTF-8.
    void recordOptions(const std::vector<std::string>& arguments,
                       const std::vector<std::pair<std::string, std::string>>& pairs);
    // A drawing that failed, with the reason; `leftAsItWas` false when the run's save of it could
    // not be put back. Never raises: the run says why it failed anyway.
    void recordFailed(const std::filesystem::path& drawing, const std::string& reason,
                      bool leftAsItWas) noexcept;
    // Noted before the save: a run cut short says which drawing it was saving.
    void recordSaving(const std::filesystem::path& drawing, const std::string& backup);
    // Noted when a save was given up and the drawing left as it was; never raises.
    void recordNotSaved(const std::filesystem::path& drawing) noexcept;
    // Noted once the save is on disk.
    void recordSaved(const SavedDrawing& saved);
    void recordUndone(const std::filesystem::path& drawing);
    // What keepOriginal kept under `backup`.
    std::string readKept(const std::string& backup) const;

    // For drawings a CAD host saved: the original kept as above, returned as a full path; the
    // file's identity is taken from the disk when it is noted as saved.
    std::filesystem::path keepOriginal(const std::filesystem::path& drawing,
                                       const std::string& bytes);
    void recordSaved(const std::filesystem::path& drawing, const std::string& checksumBefore,
                     const std::string& checksumAfter, const std::filesystem::path& backup);

private:
    Journal() = default;
    void append(const std::string& line, bool durably = true);
    std::string id_;
    std::filesystem::path folder_;
    int folderFd_ = -1;
    int backupsFd_ = -1;
    int journalFd_ = -1;
    std::mutex mutex_;
    unsigned backups_ = 0;
    std::set<std::filesystem::path> claimedBaks_;
    std::set<std::filesystem::path> visitedFolders_;
};

// Journal fields: tabs, line breaks and backslashes escaped.
std::string escapeField(const std::string& text);
std::vector<std::string> splitJournalLine(const std::string& line);
std::string stampField(const FileStamp& stamp, bool withOwner);
bool parseStampField(const std::string& field, FileStamp& stamp);

}  // namespace quorvel::batch
