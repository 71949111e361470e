#include "batch/drawingfile.h"

#include <cerrno>
#include <chrono>
#include <thread>

#include "batch/system.h"
#include "platform/sha256.h"

namespace quorvel::batch {

using platform::sha256Hex;

namespace fs = std::filesystem;

namespace {

// Another run edits one drawing for seconds at most; a lock held longer is someone else's.
constexpr auto kLockPatience = std::chrono::seconds(120);
constexpr int kStaleAfterSeconds = 10 * 60;

FileStamp writeTemporaryLike(int folderFd, std::string& name, const std::string& bytes,
                             const FileStamp& like, const std::string& shown,
                             std::vector<std::string>& notes) {
    name = writeTemporary(folderFd, bytes, &like, shown, shown, notes);
    try {
        bool exists = false;
        return stampAt(folderFd, name, exists);
    } catch (...) {
        sys::removeAt(folderFd, name);
        name.clear();
        throw;
    }
}

}  // namespace

FileStamp replaceInFolder(int folderFd, const std::string& name, const std::string& bytes,
                          const FileStamp& like, const FileStamp* expected,
                          const std::string& shown, std::vector<std::string>& notes) {
    std::string temporary;
    const FileStamp written = writeTemporaryLike(folderFd, temporary, bytes, like, shown, notes);
    bool exists = false;
    const FileStamp now = stampAt(folderFd, name, exists);
    if (expected ? !exists || !now.sameVersion(*expected) : exists) {
        sys::removeAt(folderFd, temporary);
        throw FileError(kChangedDuringRun);
    }
    if (expected) {
        renameIntoPlace(folderFd, temporary, name, "不能写入“" + shown + "”");
        return written;
    }
    // A new file never takes the place of one made meanwhile.
    const int error = sys::linkAt(folderFd, temporary, folderFd, name) ? 0 : errno;
    sys::removeAt(folderFd, temporary);
    if (error != 0)
        failWith("不能写入“" + shown + "”", error);
    syncFolder(folderFd);
    return written;
}

DrawingFile::DrawingFile(const fs::path& drawing) {
    path_ = sys::resolvedPath(drawing);
    name_ = path_.filename().string();
    folderFd_ = sys::openFolder(path_.parent_path());
    if (folderFd_ < 0)
        failWith("不能读取“" + drawing.string() + "”", errno);
    folder_ = stampOfOpen(folderFd_, path_.parent_path().string());
    const auto deadline = std::chrono::steady_clock::now() + kLockPatience;
    while (true) {
        bool exists = false;
        const FileStamp named = stampAt(folderFd_, name_, exists);
        if (!exists)
            failWith("不能读取“" + drawing.string() + "”", ENOENT);
        // Only regular files are drawings: a FIFO or a device is never opened.
        if (!isRegularMode(named.mode))
            throw FileError("“" + drawing.string() + "”不是普通文件，不能作为图形读入");
        fd_ = sys::openReadAt(folderFd_, name_);
        if (fd_ < 0)
            failWith("不能读取“" + drawing.string() + "”", errno);
        // Runs of this program edit one drawing at a time; the lock is on the file read.
        while (!sys::tryLock(fd_)) {
            if (std::chrono::steady_clock::now() > deadline)
                throw FileError("“" + drawing.string() + "”正被另一个程序编辑");
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        read_ = stampOfOpen(fd_, path_.string());
        const FileStamp locked = stampAt(folderFd_, name_, exists);
        if (exists && locked.sameFile(read_) && isRegularMode(read_.mode))
            return;
        sys::closeHandle(fd_);  // replaced while waiting: the lock belongs on the new file
        fd_ = -1;
    }
}

DrawingFile::~DrawingFile() {
    if (fd_ >= 0)
        sys::closeHandle(fd_);
    if (folderFd_ >= 0)
        sys::closeHandle(folderFd_);
}

std::string DrawingFile::read() {
    std::string bytes = readOpenFile(fd_, path_.string());
    read_ = stampOfOpen(fd_, path_.string());
    checksum_ = sha256Hex(bytes);
    return bytes;
}

void DrawingFile::readElsewhere(const std::string& checksum) {
    read_ = stampOfOpen(fd_, path_.string());
    checksum_ = checksum;
}

void DrawingFile::checkUnchanged() const {
    bool exists = false;
    const FileStamp now = stampAt(folderFd_, name_, exists);
    if (!exists || !now.sameVersion(read_))
        throw FileError(std::string(kChangedDuringRun) + "，未保存");
}

std::string DrawingFile::chooseBak(Journal& journal, std::vector<std::string>& notes) const {
    const std::string usual = sys::pathFromUtf8(name_).replace_extension(".bak").string();
    if (usual == name_)
        return "";
    if (journal.claimBak(path_.parent_path() / sys::pathFromUtf8(usual)))
        return usual;
    // plan.dwg and plan.dxf: the second keeps its own backup instead of replacing the first's.
    const std::string own = name_ + ".bak";
    if (!journal.claimBak(path_.parent_path() / sys::pathFromUtf8(own)))
        throw FileError("备份文件“" + own + "”已被本次运行的另一个图形使用，未保存");
    notes.push_back("注意：“" + usual + "”已保存同名图形的备份，“" + path_.string() + "”的备份是“" +
                    own + "”");
    return own;
}

SavedDrawing DrawingFile::keepInJournal(const std::string& edited, Journal& journal,
                                        std::vector<std::string>& notes) {
    if (read_.links > 1) {
        throw FileError("图形有 " + std::to_string(read_.links) +
                        " 个硬链接（同一文件的多个名字），保存会把它们分开，未保存；"
                        "请先把它复制成单独的文件");
    }
    checkUnchanged();
    std::string original = readOpenFile(fd_, path_.string());
    if (sha256Hex(original) != checksum_)
        throw FileError(std::string(kChangedDuringRun) + "，未保存");
    SavedDrawing saved;
    saved.drawing = path_;
    saved.before = checksum_;
    saved.after = sha256Hex(edited);
    saved.folder = folder_;
    saved.backup = journal.keepOriginal(folderFd_, name_, fd_, original);
    original.clear();
    // A link in the journal moved the file's change time and link count, nothing else.
    const FileStamp linked = stampOfOpen(fd_, path_.string());
    if (linked.size != read_.size || linked.modified != read_.modified)
        throw FileError(std::string(kChangedDuringRun) + "，未保存");
    read_.changed = linked.changed;
    read_.links = linked.links;
    saved.bak = chooseBak(journal, notes);
    if (!saved.bak.empty()) {
        bool exists = false;
        const FileStamp oldBak = stampAt(folderFd_, saved.bak, exists);
        if (exists && !isRegularMode(oldBak.mode))
            throw FileError("备份文件“" + saved.bak + "”不是普通文件，未保存");
        if (exists)
            saved.oldBak = journal.keepOldBak(folderFd_, saved.bak, saved.backup);
    }
    return saved;
}

void DrawingFile::swapIn(SavedDrawing& saved, const std::string& temporary) {
    checkUnchanged();
    if (!sys::mayReplace(read_))
        throw FileError("“" + path_.string() + "”是只读文件，未保存");
    if (!saved.bak.empty()) {
        // The file read becomes the .bak: linked beside it first, then renamed over the old.
        const std::string nextBak = temporary + "b";
        if (!sys::linkAt(folderFd_, name_, folderFd_, nextBak) ||
            !sys::renameAt(folderFd_, nextBak, saved.bak)) {
            const int error = errno;
            sys::removeAt(folderFd_, nextBak);
            failWith("不能建立备份文件“" + saved.bak + "”", error);
        }
        saved.bakStamp = read_;
    }
    // The link count and change time moved with the .bak; the file must still be the same.
    bool exists = false;
    if (!stampAt(folderFd_, name_, exists).sameFile(read_) || !exists)
        throw FileError(std::string(kChangedDuringRun) + "，未保存");
    sys::releaseBeforeReplace(fd_);
    if (!sys::renameAt(folderFd_, temporary, name_))
        failWith("不能保存“" + path_.string() + "”", errno);
}

SavedDrawing DrawingFile::replace(const std::string& edited, Journal& journal,
                                  std::vector<std::string>& notes, std::string& journalFailure) {
    SavedDrawing saved = keepInJournal(edited, journal, notes);
    journal.recordSaving(path_, saved.backup);
    // Leftovers of saves that were cut short, once per folder and run, as the engine's saves do.
    if (journal.firstVisit(path_.parent_path()))
        sys::removeStaleTemporaries(path_.parent_path(), kStaleAfterSeconds);
    std::string temporary;
    try {
        saved.saved =
            writeTemporaryLike(folderFd_, temporary, edited, read_, path_.string(), notes);
        swapIn(saved, temporary);
    } catch (...) {
        if (!temporary.empty())
            sys::removeAt(folderFd_, temporary);
        journal.recordNotSaved(path_);
        throw;
    }
    syncFolder(folderFd_);
    try {
        journal.recordSaved(saved);
    } catch (const FileError& error) {
        // The drawing is saved: what failed is the journal, and the user must know which.
        journalFailure = error.what();
    }
    return saved;
}

bool DrawingFile::restore(const SavedDrawing& saved, const std::string& original) {
    std::vector<std::string> notes;
    bool exists = false;
    const FileStamp now = stampAt(folderFd_, name_, exists);
    if (!exists || !now.sameFile(saved.saved) || now.size != saved.saved.size)
        return false;
    try {
        replaceInFolder(folderFd_, name_, original, read_, &now, path_.string(), notes);
    } catch (const FileError&) {
        return false;
    }
    return true;
}

}  // namespace quorvel::batch
