#pragma once
// A drawing of a run, open and locked from its reading to its save, and replaced only while it is
// still the file that was read.

#include <filesystem>
#include <string>
#include <vector>

#include "batch/files.h"
#include "batch/journal.h"

namespace quorvel::batch {

class DrawingFile {
public:
    // Opens `drawing` (a symbolic link is followed: the file it names is the drawing), refuses
    // anything but a regular file and waits while another run of this program edits it.
    explicit DrawingFile(const std::filesystem::path& drawing);
    ~DrawingFile();
    DrawingFile(const DrawingFile&) = delete;
    DrawingFile& operator=(const DrawingFile&) = delete;

    // The whole file, as it was when locked.
    std::string read();
    // For a reading done by another process through descriptor(): the SHA-256 of what it read.
    void readElsewhere(const std::string& checksum);
    int descriptor() const { return fd_; }
    const std::filesystem::path& path() const { return path_; }

    // Keeps the original in the journal, keeps the file as its .bak (the .bak it replaces goes
    // to the journal too), and renames `edited` over it, only while the file on disk is still
    // the one read. Notes for the user (an owner that could not be kept, a .bak named otherwise)
    // go to `notes`. Noted in the journal as saved once on disk; when only that note fails, the
    // drawing stays saved and `journalFailure` says why. Raises FileError.
    SavedDrawing replace(const std::string& edited, Journal& journal,
                         std::vector<std::string>& notes, std::string& journalFailure);
    // Puts `original` back after a save whose check failed, unless the file was changed again
    // since the save. Returns false when it was.
    bool restore(const SavedDrawing& saved, const std::string& original);

private:
    void checkUnchanged() const;
    // The checks before a save, the original and the old .bak kept in the journal.
    SavedDrawing keepInJournal(const std::string& edited, Journal& journal,
                               std::vector<std::string>& notes);
    // The file read becomes the .bak and `temporary` takes its name, while it is still there.
    void swapIn(SavedDrawing& saved, const std::string& temporary);
    std::string chooseBak(Journal& journal, std::vector<std::string>& notes) const;
    std::filesystem::path path_;
    std::string name_;
    int folderFd_ = -1;
    int fd_ = -1;
    FileStamp folder_;
    FileStamp read_;
    std::string checksum_;
};

// Writes `bytes` to a new file in the folder open as `folderFd` with the owner, group and mode
// of `like` (as far as this process may; a note says otherwise) and renames it over `name`
// only while `expected` is still there. Returns the new file's stamp.
FileStamp replaceInFolder(int folderFd, const std::string& name, const std::string& bytes,
                          const FileStamp& like, const FileStamp* expected,
                          const std::string& shown, std::vector<std::string>& notes);

}  // namespace quorvel::batch
