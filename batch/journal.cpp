#include "batch/journal.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <random>
#include <utility>

#include "batch/system.h"

namespace quorvel::batch {

namespace fs = std::filesystem;

namespace {

constexpr const char* kJournalName = "journal.tsv";

std::string timestamp(const char* format) {
    const std::time_t now = std::time(nullptr);
    const std::tm local = sys::localTime(now);
    char text[64];
    std::strftime(text, sizeof text, format, &local);
    return text;
}

// A folder of the journal's own: made private when new, never a link, never another user's.
int openOwnFolder(int parentFd, const std::string& name, const fs::path& shown, bool create) {
    if (create && sys::makeFolderAt(parentFd, name) != 0 && errno != EEXIST)
        failWith("不能建立运行记录文件夹“" + shown.string() + "”", errno);
    const int fd = sys::openFolderAt(parentFd, name);
    if (fd < 0)
        failWith("不能打开运行记录文件夹“" + shown.string() + "”", errno);
    FileStamp status;
    if (!sys::stampOf(fd, status) || !sys::ownedByUser(status)) {
        sys::closeHandle(fd);
        throw FileError("运行记录文件夹“" + shown.string() + "”不属于当前用户，不能使用");
    }
    if (!sys::makePrivate(fd, status)) {
        const int error = errno;
        sys::closeHandle(fd);
        failWith("不能设置运行记录文件夹“" + shown.string() + "”的权限", error);
    }
    return fd;
}

}  // namespace

std::string escapeField(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::vector<std::string> splitJournalLine(const std::string& line) {
    std::vector<std::string> fields(1);
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\t') {
            fields.emplace_back();
        } else if (c == '\\' && i + 1 < line.size()) {
            const char next = line[++i];
            fields.back() += next == 't' ? '\t' : next == 'n' ? '\n' : next == 'r' ? '\r' : next;
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

std::string stampField(const FileStamp& stamp, bool withOwner) {
    std::string field = std::to_string(stamp.device) + ":" + std::to_string(stamp.inode);
    return withOwner ? field + ":" + std::to_string(stamp.owner) + ":" + std::to_string(stamp.born)
                     : field;
}

bool parseStampField(const std::string& field, FileStamp& stamp) {
    unsigned long long device = 0, inode = 0;
    unsigned owner = 0;
    long long born = 0;
    const int got = std::sscanf(field.c_str(), "%llu:%llu:%u:%lld", &device, &inode, &owner, &born);
    if (got < 2)
        return false;
    stamp.device = device;
    stamp.inode = inode;
    stamp.owner = owner;
    stamp.born = born;
    return true;
}

bool validRunId(const std::string& id) {
    if (id.empty() || id.size() > 64)
        return false;
    for (const char c : id) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-')
            return false;
    }
    return true;
}

fs::path runsFolder() {
    return sys::userDataFolder() / sys::programDataName() / "runs";
}

int openRunsFolder(bool create) {
    const fs::path runs = runsFolder();
    const fs::path data = runs.parent_path().parent_path();
    std::error_code error;
    if (create)
        fs::create_directories(data, error);
    const int dataFd = sys::openFolder(data);
    if (dataFd < 0)
        failWith("不能打开用户数据文件夹“" + data.string() + "”", errno);
    int quorvelFd = -1;
    try {
        quorvelFd = openOwnFolder(dataFd, sys::programDataName(), runs.parent_path(), create);
        const int runsFd = openOwnFolder(quorvelFd, "runs", runs, create);
        sys::closeHandle(quorvelFd);
        sys::closeHandle(dataFd);
        return runsFd;
    } catch (...) {
        if (quorvelFd >= 0)
            sys::closeHandle(quorvelFd);
        sys::closeHandle(dataFd);
        throw;
    }
}

int openRunFolder(int runsFd, const std::string& id) {
    return openOwnFolder(runsFd, id, runsFolder() / id, false);
}

Journal::Journal(Journal&& other) noexcept
    : id_(std::move(other.id_)),
      folder_(std::move(other.folder_)),
      folderFd_(std::exchange(other.folderFd_, -1)),
      backupsFd_(std::exchange(other.backupsFd_, -1)),
      journalFd_(std::exchange(other.journalFd_, -1)),
      backups_(other.backups_) {}

Journal::~Journal() {
    for (const int fd : {journalFd_, backupsFd_, folderFd_}) {
        if (fd >= 0)
            sys::closeHandle(fd);
    }
}

Journal Journal::create(const std::vector<std::string>& arguments) {
    const int runsFd = openRunsFolder(true);
    const fs::path runs = runsFolder();
    std::random_device random;
    Journal journal;
    for (int attempt = 0; attempt < 100 && journal.id_.empty(); ++attempt) {
        char suffix[8];
        std::snprintf(suffix, sizeof suffix, "%04x", random() & 0xFFFF);
        const std::string id = timestamp("%Y%m%d-%H%M%S-") + suffix;
        if (sys::makeFolderAt(runsFd, id) == 0) {
            journal.id_ = id;
            journal.folder_ = runs / id;
        } else if (errno != EEXIST) {
            const int error = errno;
            sys::closeHandle(runsFd);
            failWith("不能建立运行记录文件夹“" + (runs / id).string() + "”", error);
        }
    }
    if (journal.id_.empty()) {
        sys::closeHandle(runsFd);
        throw FileError("不能建立运行记录文件夹“" + runs.string() + "”");
    }
    try {
        journal.folderFd_ = openRunFolder(runsFd, journal.id_);
        sys::closeHandle(runsFd);
    } catch (...) {
        sys::closeHandle(runsFd);
        throw;
    }
    journal.backupsFd_ =
        openOwnFolder(journal.folderFd_, "backups", journal.folder_ / "backups", true);
    journal.journalFd_ = sys::openAppendAt(journal.folderFd_, kJournalName, true);
    if (journal.journalFd_ < 0)
        failWith("不能写入运行记录“" + (journal.folder_ / kJournalName).string() + "”", errno);
    std::string command;
    for (const std::string& argument : arguments)
        command += (command.empty() ? "" : " ") + argument;
    journal.append("quorvel-batch-journal\t2");
    journal.append("started\t" + timestamp("%Y-%m-%d %H:%M:%S"));
    journal.append("command\t" + escapeField(command));
    syncFolder(journal.folderFd_);
    return journal;
}

void Journal::append(const std::string& line, bool durably) {
    if (!sys::writeAll(journalFd_, line + "\n"))
        failWith("不能写入运行记录“" + (folder_ / kJournalName).string() + "”", errno);
    if (durably && !sys::flushToDisk(journalFd_))
        failWith("不能写入运行记录“" + (folder_ / kJournalName).string() + "”", errno);
}

std::string Journal::keepOriginal(const std::string& bytes) {
    unsigned number = 0;
    {
        std::lock_guard lock(mutex_);
        number = ++backups_;
    }
    // Named by number only: a drawing whose name is at the length limit still has its backup.
    const std::string name = std::to_string(number);
    const fs::path shown = folder_ / "backups" / name;
    const int fd = sys::createAt(backupsFd_, name);
    if (fd < 0)
        failWith("不能写入运行记录的备份“" + shown.string() + "”", errno);
    try {
        writeAndClose(fd, bytes, backupsFd_, name, shown.string());
    } catch (const FileError& error) {
        throw FileError(std::string("运行记录：") + error.what());
    }
    syncFolder(backupsFd_);
    return "backups/" + name;
}

std::string Journal::keepOriginal(int folderFd, const std::string& name, int fileFd,
                                  const std::string& bytes) {
    FileStamp original;
    // What is linked must be on disk as much as a copy would be.
    if (!sys::stampOf(fileFd, original) || !sys::flushToDisk(fileFd))
        return keepOriginal(bytes);
    unsigned number = 0;
    {
        std::lock_guard lock(mutex_);
        number = ++backups_;
    }
    const std::string kept = std::to_string(number);
    if (!sys::linkAt(folderFd, name, backupsFd_, kept))
        return keepOriginal(bytes);  // another file system, or links not allowed
    bool exists = false;
    if (!stampAt(backupsFd_, kept, exists).sameFile(original)) {
        sys::removeAt(backupsFd_, kept);
        throw FileError(std::string(kChangedDuringRun) + "，未保存");
    }
    syncFolder(backupsFd_);
    return "backups/" + kept;
}

std::string Journal::keepOldBak(int folderFd, const std::string& name, const std::string& backup) {
    const std::string kept = fs::path(backup).filename().string() + ".bak";
    if (!sys::linkAt(folderFd, name, backupsFd_, kept)) {
        const int fd = sys::openReadAt(folderFd, name);
        if (fd < 0)
            failWith("不能读取备份文件“" + name + "”", errno);
        std::string bytes;
        try {
            bytes = readOpenFile(fd, name);
        } catch (...) {
            sys::closeHandle(fd);
            throw;
        }
        sys::closeHandle(fd);
        const int out = sys::createAt(backupsFd_, kept);
        if (out < 0)
            failWith("运行记录：不能保存原有的备份文件“" + name + "”", errno);
        writeAndClose(out, bytes, backupsFd_, kept, (folder_ / "backups" / kept).string());
    }
    syncFolder(backupsFd_);
    return "backups/" + kept;
}

bool Journal::firstVisit(const fs::path& folder) {
    std::lock_guard lock(mutex_);
    return visitedFolders_.insert(folder).second;
}

bool Journal::claimBak(const fs::path& bak) {
    std::lock_guard lock(mutex_);
    return claimedBaks_.insert(bak).second;
}

void Journal::recordOptions(const std::vector<std::string>& arguments,
                            const std::vector<std::pair<std::string, std::string>>& pairs) {
    std::lock_guard lock(mutex_);
    std::string line = "options";
    for (const std::string& argument : arguments)
        line += "\t" + escapeField(argument);
    for (const auto& [find, replace] : pairs)
        line += "\npair\t" + escapeField(find) + "\t" + escapeField(replace);
    append(line);
}

void Journal::recordFailed(const fs::path& drawing, const std::string& reason,
                           bool leftAsItWas) noexcept {
    try {
        std::lock_guard lock(mutex_);
        append("failed\t" + escapeField(drawing.string()) + "\t" + escapeField(reason) + "\t" +
                   (leftAsItWas ? "1" : "0"),
               false);
    } catch (const std::exception&) {
        // Said on the output all the same; only a rerun of the run will not find it.
    }
}

void Journal::recordSaving(const fs::path& drawing, const std::string& backup) {
    std::lock_guard lock(mutex_);
    // Kept by the system if the run is killed; on disk with the next line noted durably.
    append("saving\t" + escapeField(drawing.string()) + "\t" + backup, false);
}

void Journal::recordNotSaved(const fs::path& drawing) noexcept {
    try {
        std::lock_guard lock(mutex_);
        append("notsaved\t" + escapeField(drawing.string()));
    } catch (const std::exception&) {
        // The journal's "saving" line stays: undo then names the drawing without touching it.
    }
}

void Journal::recordSaved(const SavedDrawing& saved) {
    std::lock_guard lock(mutex_);
    append("saved\t" + escapeField(saved.drawing.string()) + "\t" + saved.before + "\t" +
           saved.after + "\t" + saved.backup + "\t" + stampField(saved.folder, false) + "\t" +
           stampField(saved.saved, true) + "\t" + escapeField(saved.bak) + "\t" +
           (saved.bak.empty() ? "" : stampField(saved.bakStamp, false)) + "\t" + saved.oldBak);
}

void Journal::recordUndone(const fs::path& drawing) {
    std::lock_guard lock(mutex_);
    append("undone\t" + escapeField(drawing.string()) + "\t" + timestamp("%Y-%m-%d %H:%M:%S"));
}

std::string Journal::readKept(const std::string& backup) const {
    const std::string name = fs::path(backup).filename().string();
    const int fd = sys::openReadAt(backupsFd_, name);
    if (fd < 0)
        failWith("不能读取运行记录的备份“" + name + "”", errno);
    try {
        std::string bytes = readOpenFile(fd, (folder_ / backup).string());
        sys::closeHandle(fd);
        return bytes;
    } catch (...) {
        sys::closeHandle(fd);
        throw;
    }
}

fs::path Journal::keepOriginal(const fs::path&, const std::string& bytes) {
    return folder_ / keepOriginal(bytes);
}

void Journal::recordSaved(const fs::path& drawing, const std::string& checksumBefore,
                          const std::string& checksumAfter, const fs::path& backup) {
    SavedDrawing saved;
    saved.drawing = sys::resolvedPath(drawing);
    saved.before = checksumBefore;
    saved.after = checksumAfter;
    saved.backup = "backups/" + backup.filename().string();
    const int folderFd = sys::openFolder(saved.drawing.parent_path());
    bool exists = false;
    if (folderFd >= 0) {
        sys::stampOf(folderFd, saved.folder);
        saved.saved = stampAt(folderFd, saved.drawing.filename().string(), exists);
        sys::closeHandle(folderFd);
    }
    recordSaved(saved);
}

}  // namespace quorvel::batch
