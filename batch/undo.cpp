#include "batch/undo.h"

#include <cerrno>
#include <ctime>
#include <map>
#include <sstream>
#include <vector>

#include "batch/drawingfile.h"
#include "batch/files.h"
#include "batch/journal.h"
#include "batch/system.h"
#include "platform/sha256.h"

namespace quorvel::batch {

namespace fs = std::filesystem;
using platform::sha256Hex;

namespace {

constexpr const char* kJournalName = "journal.tsv";

struct Entry {
    SavedDrawing saved;
    bool identityKnown = false;  // journals of earlier versions did not note it
    bool undone = false;
};

// "backups/<n>", "backups/<n>.bak" or, from journals of earlier versions, "backups/<n>-<name>":
// nothing else is read from a journal as a backup.
bool isBackupName(const std::string& name) {
    const std::string prefix = "backups/";
    if (name.compare(0, prefix.size(), prefix) != 0)
        return false;
    const std::string rest = name.substr(prefix.size());
    const std::size_t digits = rest.find_first_not_of("0123456789");
    if (digits == 0 || rest.empty() || rest.find('/') != std::string::npos)
        return false;
    return digits == std::string::npos || rest.substr(digits) == ".bak" ||
           (rest[digits] == '-' && digits + 1 < rest.size());
}

class Closer {
public:
    explicit Closer(int fd) : fd_(fd) {}
    ~Closer() {
        if (fd_ >= 0)
            sys::closeHandle(fd_);
    }
    Closer(const Closer&) = delete;
    Closer& operator=(const Closer&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

std::string readAt(int folderFd, const std::string& name, const std::string& shown) {
    const int fd = sys::openReadAt(folderFd, name);
    if (fd < 0)
        failWith("不能读取“" + shown + "”", errno);
    const Closer closer(fd);
    return readOpenFile(fd, shown);
}

class Undo {
public:
    Undo(int runFd, const fs::path& runFolder, bool force, bool dryRun, std::ostream& out)
        : runFd_(runFd), runFolder_(runFolder), force_(force), dryRun_(dryRun), out_(out) {}

    // Returns false when the drawing could not be put back.
    bool undo(const Entry& entry);
    void interrupted(const fs::path& drawing, const std::string& backup);

private:
    [[noreturn]] void refuse(const std::string& why) { throw FileError(why); }
    void restoreBak(int folderFd, const SavedDrawing& saved);
    void say(const std::string& what, const fs::path& drawing) {
        out_ << what << "：" << drawing.string() << "\n";
    }
    int runFd_;
    fs::path runFolder_;
    bool force_, dryRun_;
    std::ostream& out_;
};

void Undo::interrupted(const fs::path& drawing, const std::string& backup) {
    try {
        if (isBackupName(backup) &&
            sha256Hex(readWholeFile(drawing)) == sha256Hex(readAt(runFd_, backup, backup)))
            return;  // never saved: nothing to put back
    } catch (const FileError&) {
    }
    say("注意（运行在保存这个图形时中断或保存被拒绝，不能确认是否已保存；原图在“" +
            (runFolder_ / backup).string() + "”）",
        drawing);
}

bool Undo::undo(const Entry& entry) {
    const SavedDrawing& saved = entry.saved;
    const std::string name = saved.drawing.filename().string();
    try {
        if (!isBackupName(saved.backup))
            refuse("备份不在本次运行的记录文件夹中，不恢复");
        const std::string original = readAt(runFd_, saved.backup, saved.backup);
        if (sha256Hex(original) != saved.before)
            refuse("备份“" + (runFolder_ / saved.backup).string() + "”已损坏");
        const Closer folder(sys::openFolder(saved.drawing.parent_path(), false));
        if (folder.get() < 0)
            failWith("不能打开文件夹“" + saved.drawing.parent_path().string() + "”", errno);
        const FileStamp folderNow = stampOfOpen(folder.get(), saved.drawing.parent_path().string());
        if (entry.identityKnown &&
            (folderNow.device != saved.folder.device || folderNow.inode != saved.folder.inode))
            refuse("所在文件夹已不是运行时的文件夹，不恢复");
        bool exists = false;
        const FileStamp now = stampAt(folder.get(), name, exists);
        const FileStamp* expected = exists ? &now : nullptr;
        FileStamp like = now;
        if (!exists) {
            if (!force_ || !entry.identityKnown)
                refuse("图形已不存在；确要恢复请加 --force");
            like = FileStamp{};
            like.owner = saved.saved.owner;
            like.group = sys::userGroup();
            like.mode = 0644;
        } else if (isLinkMode(now.mode)) {
            refuse("图形现在是符号链接，运行时不是；不经链接写入，不恢复");
        } else if (!isRegularMode(now.mode)) {
            refuse("图形现在不是普通文件，不恢复");
        } else {
            const std::string current =
                sha256Hex(readAt(folder.get(), name, saved.drawing.string()));
            if (current == saved.before) {
                say(entry.undone ? "已经恢复过" : "与原图相同，无需恢复", saved.drawing);
                return true;
            }
            if (entry.identityKnown ? !now.sameFile(saved.saved) : !sys::ownedByUser(now))
                refuse(
                    "图形已被另一个文件取代（设备、索引节点或所有者与运行时保存的不同），不恢复");
            if (current != saved.after && (!force_ || !entry.identityKnown))
                refuse("运行之后图形又被修改过；确要恢复请加 --force");
        }
        if (dryRun_) {
            say(saved.oldBak.empty() ? "将恢复" : "将恢复（连同原有的 .bak）", saved.drawing);
            return true;
        }
        std::vector<std::string> notes;
        replaceInFolder(folder.get(), name, original, like, expected, saved.drawing.string(),
                        notes);
        if (sha256Hex(readAt(folder.get(), name, saved.drawing.string())) != saved.before)
            refuse("写回后核对不一致");
        if (entry.identityKnown)
            restoreBak(folder.get(), saved);
        const int journal = sys::openAppendAt(runFd_, kJournalName, false);
        if (journal >= 0) {
            const std::string line = "undone\t" + escapeField(saved.drawing.string()) + "\t" +
                                     std::to_string(std::time(nullptr)) + "\n";
            writeAndClose(journal, line, runFd_, "", kJournalName);
        }
        for (const std::string& note : notes)
            out_ << note << "\n";
        say("已恢复", saved.drawing);
        return true;
    } catch (const std::exception& error) {
        say(std::string("失败（") + error.what() + "）", saved.drawing);
        return false;
    }
}

// The .bak beside the drawing goes back to what it was before the run: the old one, or none.
void Undo::restoreBak(int folderFd, const SavedDrawing& saved) {
    if (saved.bak.empty())
        return;
    FileStamp now;
    const bool exists = sys::stampAt(folderFd, saved.bak, now);
    if (exists && (now.device != saved.bakStamp.device || now.inode != saved.bakStamp.inode ||
                   !isRegularMode(now.mode))) {
        out_ << "注意：备份文件“" << saved.bak << "”在运行之后被更换过，没有改动\n";
        return;
    }
    if (saved.oldBak.empty()) {
        if (exists)
            sys::removeAt(folderFd, saved.bak);
        return;
    }
    if (!isBackupName(saved.oldBak))
        return;
    const int fd = sys::openReadAt(runFd_, saved.oldBak);
    if (fd < 0)
        failWith("不能读取“" + saved.oldBak + "”", errno);
    const Closer closer(fd);
    std::vector<std::string> notes;
    replaceInFolder(folderFd, saved.bak, readOpenFile(fd, saved.oldBak),
                    stampOfOpen(fd, saved.oldBak), exists ? &now : nullptr, saved.bak, notes);
}

struct RunJournal {
    std::vector<std::string> order;  // the drawings saved, in the order of their saves
    std::map<std::string, Entry> entries;
    std::map<std::string, std::string> saving;  // drawing -> backup, when never noted saved
};

Entry savedEntry(const std::vector<std::string>& fields, const fs::path& runFolder) {
    Entry entry;
    SavedDrawing& saved = entry.saved;
    saved.drawing = sys::pathFromUtf8(fields[1]);
    saved.before = fields[2];
    saved.after = fields[3];
    saved.backup = fields[4];
    if (fields.size() >= 10) {
        entry.identityKnown =
            parseStampField(fields[5], saved.folder) && parseStampField(fields[6], saved.saved);
        saved.bak = fields[7];
        parseStampField(fields[8], saved.bakStamp);
        saved.oldBak = fields[9];
    } else if (fs::path(fields[4]).parent_path() == runFolder / "backups") {
        saved.backup = "backups/" + fs::path(fields[4]).filename().string();  // earlier versions
    }
    return entry;
}

RunJournal readJournal(const std::string& text, const fs::path& runFolder) {
    RunJournal journal;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const std::vector<std::string> fields = splitJournalLine(line);
        if (fields[0] == "saving" && fields.size() >= 3) {
            journal.saving[fields[1]] = fields[2];
        } else if (fields[0] == "notsaved" && fields.size() >= 2) {
            journal.saving.erase(fields[1]);
        } else if (fields[0] == "saved" && (fields.size() == 5 || fields.size() >= 10)) {
            const Entry entry = savedEntry(fields, runFolder);
            if (!entry.saved.drawing.is_absolute() || entry.saved.drawing.filename().empty())
                continue;
            journal.saving.erase(fields[1]);
            if (!journal.entries.count(fields[1]))
                journal.order.push_back(fields[1]);
            journal.entries[fields[1]] = entry;
        } else if (fields[0] == "undone" && fields.size() >= 2 &&
                   journal.entries.count(fields[1])) {
            journal.entries[fields[1]].undone = true;
        }
    }
    return journal;
}

}  // namespace

int undoRun(const std::string& id, bool force, bool dryRun, std::ostream& out) {
    std::string journalText;
    int runFd = -1;
    try {
        if (!validRunId(id))
            throw FileError("");
        const Closer runs(openRunsFolder(false));
        runFd = openRunFolder(runs.get(), id);
        journalText = readAt(runFd, kJournalName, kJournalName);
    } catch (const FileError& error) {
        if (runFd >= 0)
            sys::closeHandle(runFd);
        std::string where;
        try {
            where = runsFolder().string();
        } catch (const FileError& noData) {
            where = noData.what();
        }
        out << "找不到运行编号为“" << id << "”的运行记录（" << where << "）";
        if (*error.what())
            out << "：" << error.what();
        out << "\n";
        return -1;
    }
    const Closer run(runFd);
    const fs::path runFolder = runsFolder() / id;
    RunJournal journal = readJournal(journalText, runFolder);
    std::vector<std::string>& order = journal.order;
    std::map<std::string, Entry>& entries = journal.entries;
    std::map<std::string, std::string>& saving = journal.saving;
    Undo undo(run.get(), runFolder, force, dryRun, out);
    int failed = 0;
    for (const std::string& drawing : order)
        failed += undo.undo(entries[drawing]) ? 0 : 1;
    for (const auto& [drawing, backup] : saving)
        undo.interrupted(sys::pathFromUtf8(drawing), backup);
    out << (dryRun ? "试恢复完成（未修改任何文件）" : "恢复完成") << "：图形 " << order.size()
        << " 个，失败 " << failed << " 个\n";
    return failed;
}

}  // namespace quorvel::batch
