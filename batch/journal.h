#pragma once
// The journal of a run: which drawings it saved, their checksums before and after, and a copy of
// each drawing's original bytes, kept in the user's data folder so that a whole run can be undone
// later from any folder.

#include <filesystem>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

namespace quorvel::batch {

// $XDG_DATA_HOME/quorvel/runs, else ~/.local/share/quorvel/runs.
std::filesystem::path runsFolder();

class Journal {
public:
    // A new run folder with its journal; raises FileError when it cannot be made.
    static Journal create(const std::vector<std::string>& arguments);

    const std::string& id() const { return id_; }
    const std::filesystem::path& folder() const { return folder_; }

    // Keeps the original bytes of a drawing about to be saved; returns where. Thread-safe.
    std::filesystem::path keepOriginal(const std::filesystem::path& drawing,
                                       const std::string& bytes);
    // Notes a drawing about to be saved, with what it will hold. Thread-safe.
    void recordSaved(const std::filesystem::path& drawing, const std::string& checksumBefore,
                     const std::string& checksumAfter, const std::filesystem::path& backup);

    Journal(Journal&& other) noexcept
        : id_(std::move(other.id_)), folder_(std::move(other.folder_)), backups_(other.backups_) {}

private:
    Journal() = default;
    void append(const std::string& line);
    std::string id_;
    std::filesystem::path folder_;
    std::mutex mutex_;
    unsigned backups_ = 0;
};

// Puts back every drawing a run saved, each from its own backup, and checks the result. A drawing
// changed since the run is left alone unless `force`. Returns the number of drawings that could
// not be put back; writes one line per drawing to `out`.
int undoRun(const std::string& id, bool force, std::ostream& out);

}  // namespace quorvel::batch
