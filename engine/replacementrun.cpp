#include "engine/replacementrun.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <vector>

#include "engine/leadingnumber.h"
#include "engine/programfolder.h"
#include "engine/replacestr.h"
#include "engine/textutil.h"

namespace quorvel::engine {

namespace {

constexpr char16_t kErrorCaption[] = u"错误";
constexpr char16_t kFinishedLine[] = u"文本替换完成 双击窗口返回";
constexpr char16_t kScriptFileName[] = u"batch.scr";
constexpr std::size_t kExecutableNameLength = 9;  // separator + "cad-host" / "acad.exe"

std::u16string decimal(int value) {
    const std::string digits = std::to_string(value);
    return std::u16string(digits.begin(), digits.end());
}

// Objects from the host are used only through a checked pointer that keeps them alive for the
// whole call.
template <typename T>
std::shared_ptr<T> checked(std::shared_ptr<T> object) {
    if (!object) {
        throw AutomationError(kErrorObjectNotSet, u"对象变量未设置");
    }
    return object;
}

// The drawing count is a 16-bit number like every count of the program.
int drawingCountOf(int entries) {
    if (entries > std::numeric_limits<std::int16_t>::max()) {
        throw AutomationError(kErrorOverflow, u"溢出");
    }
    return entries;
}

// Gives the host back when the run ends, however it ends.
class LockHeld {
public:
    explicit LockHeld(RunLock* lock) : lock_(lock) {}
    ~LockHeld() {
        if (lock_ != nullptr) {
            lock_->unlock();
        }
    }
    LockHeld(const LockHeld&) = delete;
    LockHeld& operator=(const LockHeld&) = delete;

private:
    RunLock* lock_;
};

struct EntityFilter {
    std::vector<std::int16_t> types;
    std::vector<FilterValue> values;
};

}  // namespace

std::u16string progressLine(int drawingNumber, int drawingCount) {
    std::u16string line = u"正在替换第 ";
    line += decimal(drawingNumber);
    line += u" 页   共 ";
    line += decimal(drawingCount);
    line += u" 页";
    return line;
}

std::u16string templatePath(const std::u16string& hostFullName) {
    if (hostFullName.size() < kExecutableNameLength) {
        throw AutomationError(kErrorInvalidCall, u"无效的过程调用或参数");
    }
    std::u16string path = hostFullName.substr(0, hostFullName.size() - kExecutableNameLength);
    for (const char16_t* part : {u"TEMPLATE", u"acad.dwt"}) {
        path += kPathSeparator;
        path += part;
    }
    return path;
}

ReplacementRun::ReplacementRun(RunServices services) : s_(std::move(services)) {}

bool ReplacementRun::searchTextMissing() {
    if (!s_.options->searchText().empty()) {
        return false;
    }
    s_.messages->showMessage(u"查找内容不能为空！", kErrorCaption, MessageIcon::Stop);
    return true;
}

bool ReplacementRun::hostTaken() {
    if (s_.runLock == nullptr || s_.runLock->tryLock()) {
        return false;
    }
    s_.messages->showMessage(kHostBusyMessage, kErrorCaption, MessageIcon::Stop);
    return true;
}

void ReplacementRun::reportFailure(const std::exception* failure) {
    const auto* automation = dynamic_cast<const AutomationError*>(failure);
    const std::int32_t number = automation ? automation->number() : 0;
    // The short text stays; the details tell a full disk from a drawing in use.
    std::u16string details;
    if (!currentDrawing_.empty()) {
        details = u"图形：" + currentDrawing_ + u"\n";
    }
    details += u"原因：" + (failure ? describeFailure(*failure) : std::u16string(u"未知错误"));
    std::u16string text = u"操作不当！";
    if (number == kErrorMemberNotSupported) {
        text = u"CAD版本不对！";
    } else if (number == kErrorHostBusy) {
        text = kHostNotRespondingMessage;
    } else if (number == kErrorFileAlreadyOpen) {
        text = automation->description();  // names the drawing and what to do
    }
    s_.messages->showDetailedMessage(text, kErrorCaption, MessageIcon::Stop, details);
}

std::optional<FileStamp> ReplacementRun::stampOf(const std::u16string& path) {
    return s_.files ? s_.files->stamp(path) : std::nullopt;
}

bool ReplacementRun::doneInThisRun(const std::optional<FileStamp>& stamp) const {
    return stamp && std::any_of(touched_.begin(), touched_.end(),
                                [&](const FileStamp& done) { return done.sameFile(*stamp); });
}

void ReplacementRun::checkTypedSave(const std::u16string& path,
                                    const std::optional<FileStamp>& before) {
    // Typed keys report nothing back; a save shows only as a rewritten file.
    if (!before) {
        return;
    }
    const std::optional<FileStamp> after = stampOf(path);
    if (!after || *after == *before) {
        throw AutomationError(kErrorAutomation, u"保存命令没有写入图形文件，修改没有保存。");
    }
}

std::shared_ptr<Application> ReplacementRun::host() {
    return checked(s_.module1->acadApp);
}

std::shared_ptr<Document> ReplacementRun::activeDocument() {
    return checked(host()->ActiveDocument());
}

bool ReplacementRun::newerGeneration() const {
    return s_.options->newerGeneration();
}

void ReplacementRun::switchFileDialogs(bool on) {
    if (!on) {
        fileDialogsOff_ = true;  // even a failed switch may have reached the host
    }
    if (newerGeneration()) {
        activeDocument()->SendCommand(on ? kFileDialogsOnCommand : kFileDialogsOffCommand);
    } else {
        s_.windows->sendKeys(on ? kFileDialogsOnKeys : kFileDialogsOffKeys, true);
    }
}

void ReplacementRun::fileDialogsBackOn() {
    switchFileDialogs(true);
    if (!newerGeneration()) {
        // Typed keys, unlike calls, can be swallowed by a host still busy with the drawing.
        s_.windows->sendKeys(kFileDialogsOnKeys, true);
    }
    fileDialogsOff_ = false;
}

void ReplacementRun::fileDialogsBackAfterFailure() {
    if (!fileDialogsOff_) {
        return;
    }
    // The user gets the host back with its file dialogs; the run's failure is what is reported.
    try {
        fileDialogsBackOn();
    } catch (...) {
        fileDialogsOff_ = false;
    }
}

std::shared_ptr<Document> ReplacementRun::openDrawing(const std::u16string& path) {
    if (!newerGeneration()) {
        return activeDocument()->Open(path);
    }
    const auto documents = checked(host()->Documents());
    try {
        return documents->Open(path);
    } catch (const AutomationError&) {
        // A host may refuse a drawing that is open already: once that document is out of the
        // way (closed, losing nothing), the drawing is opened afresh.
        if (!closeOpenCopies(*documents, path)) {
            throw;
        }
    }
    return documents->Open(path);
}

bool ReplacementRun::closeOpenCopies(Documents& documents, const std::u16string& path) {
    std::vector<std::shared_ptr<Document>> open;
    try {
        open = documents.items();
    } catch (const AutomationError&) {
        return false;
    }
    bool closed = false;
    for (const auto& document : open) {
        std::u16string name;
        try {
            name = checked(document)->FullName();
        } catch (const AutomationError&) {
            continue;
        }
        if (name.empty() || !sameDrawing(name, path)) {
            continue;
        }
        // The preview's replacement is made again by the run; the user's own edits are not ours
        // to drop.
        if (!document->Saved() && !leftByPreview(name)) {
            throw AutomationError(kErrorFileAlreadyOpen,
                                  u"图形“" + name +
                                      u"”已在 CAD 主机中打开，并有未保存的修改。请先在 CAD "
                                      u"主机中保存或关闭它，再重新开始。");
        }
        document->Close(false);
        closed = true;
    }
    return closed;
}

bool ReplacementRun::sameDrawing(const std::u16string& a, const std::u16string& b) {
    const std::optional<FileStamp> first = stampOf(a);
    const std::optional<FileStamp> second = stampOf(b);
    if (first && second) {
        return first->sameFile(*second);
    }
    // Without file identity: the same spelling, letter case and separators aside.
    const auto folded = [](std::u16string path) {
        for (char16_t& c : path) {
            c = c == u'\\' ? u'/' : (c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c);
        }
        return path;
    };
    return folded(a) == folded(b);
}

bool ReplacementRun::leftByPreview(const std::u16string& path) {
    if (!previewDocument_) {
        return false;
    }
    // Still open under that name: the user has not closed it and opened the file again.
    try {
        return sameDrawing(previewDocument_->FullName(), path);
    } catch (const AutomationError&) {
        return false;
    }
}

int ReplacementRun::replaceInActiveDrawing() {
    // Both filters are built for every drawing, from the layer name as it is now.
    const EntityFilter plain{{0}, {std::u16string(u"text")}};
    const EntityFilter layer{{0, 8}, {std::u16string(u"text"), s_.options->layerName()}};

    s_.random->reseedFromTimer();
    const std::string number = std::to_string(s_.random->next());
    const std::u16string name(number.begin(), number.end());
    auto selection = checked(activeDocument()->SelectionSets())->Add(name);

    const EntityFilter& filter = s_.options->layerTick() == kTicked ? layer : plain;
    checked(selection)->Select(kSelectAll, std::nullopt, std::nullopt, filter.types, filter.values);
    int rewritten = 0;
    for (const auto& entity : checked(selection)->entities()) {
        rewritten += processEntity(*checked(entity)) ? 1 : 0;
    }
    return rewritten;
}

bool ReplacementRun::processEntity(TextEntity& entity) {
    const std::u16string searchText = s_.options->searchText();
    const bool exact = s_.options->exactMatchTick() == kTicked;
    const std::u16string current = entity.TextString();
    const bool matches =
        exact ? current == searchText : current.find(searchText) != std::u16string::npos;
    if (!matches) {
        return false;
    }
    // The rewritten text is a new entity in place of the old one.
    const auto rewritten = checked(entity.Copy());
    entity.erase();
    if (newerGeneration() && s_.options->justificationTick() == kTicked) {
        // Runs on the drawing's last object, which is the copy.
        activeDocument()->SendCommand(u"justifytext\rl\r\r" +
                                      trimSpaces(s_.options->justificationCode()) + u"\r");
    }
    if (exact) {
        rewritten->setTextString(s_.options->replacementText());
    } else {
        rewritten->setTextString(replaceStr(rewritten->TextString(), s_.options->searchText(),
                                            s_.options->replacementText(), false));
    }
    if (s_.options->heightTick() == kTicked) {
        rewritten->setHeight(leadingNumber(trimSpaces(s_.options->heightText())));
    }
    return true;
}

void ReplacementRun::processBatchDrawing(int index, int drawingCount) {
    s_.progress->setLabel1(progressLine(index + 1, drawingCount));
    // The run keeps the event loop busy, so the window is painted on request.
    s_.progress->repaintNow();

    // Finished drawings leave the list, so the next one is always the first entry.
    const std::u16string path = trimSpaces(s_.drawings->text(0));
    currentDrawing_ = path;
    const std::optional<FileStamp> before = stampOf(path);
    // The same file listed again (another spelling, a link) is not rewritten a second time:
    // its backup would then hold the first pass instead of the original.
    if (!doneInThisRun(before)) {
        openDrawing(path);
        const int rewritten = replaceInActiveDrawing();
        fileDialogsBackOn();
        if (newerGeneration()) {
            activeDocument()->Close(true);
        } else {
            s_.windows->sendKeys(kSaveKeys, true);
            if (rewritten > 0) {
                checkTypedSave(path, before);
            }
        }
        // Saving may give the path a new file; both count as this drawing.
        for (const auto& stamp : {before, stampOf(path)}) {
            if (stamp) {
                touched_.push_back(*stamp);
            }
        }
    }
    s_.drawings->removeAt(0);
    currentDrawing_.clear();
    if (index == drawingCount - 1) {
        s_.progress->setLabel1(kFinishedLine);
        s_.progress->setLabel5(s_.clock->timeOfDayText());
    }
}

void ReplacementRun::batchSteps() {
    s_.module1->ConnectCad();
    s_.windows->activateByTitle(host()->Caption());
    s_.progress->show();
    s_.mainWindow->hideMainWindow();
    s_.windows->activateByTitle(host()->Caption());
    s_.progress->setLabel3(s_.clock->timeOfDayText());

    const std::u16string templateDrawing = templatePath(host()->FullName());
    if (newerGeneration()) {
        checked(host()->Documents())->Add(templateDrawing);
    }
    const std::u16string scriptPath = fileInProgramFolder(s_.programFolder, kScriptFileName);
    int drawingCount = 0;
    if (s_.drawings->count() > 0) {
        drawingCount = drawingCountOf(s_.drawings->count());
        s_.scriptWriter->writeScript(scriptPath, s_.options->searchText());
        switchFileDialogs(false);
    }
    for (int index = 0; index < drawingCount; ++index) {
        processBatchDrawing(index, drawingCount);
    }
    s_.drawings->removeAll();
}

void ReplacementRun::previewSteps() {
    s_.module1->ConnectCad();
    s_.windows->activateByTitle(host()->Caption());

    const std::u16string templateDrawing = templatePath(host()->FullName());
    if (newerGeneration()) {
        checked(host()->Documents())->Add(templateDrawing);
    }
    const std::u16string scriptPath = fileInProgramFolder(s_.programFolder, kScriptFileName);
    if (s_.drawings->count() == 0) {
        return;
    }
    s_.scriptWriter->writeScript(scriptPath, s_.options->searchText());

    currentDrawing_ = trimSpaces(s_.drawings->text(0));
    // From here on the document holds only what this preview does to it.
    previewDocument_ = openDrawing(currentDrawing_);
    // Dialogs go off only once the drawing is open, and come back on; nothing is saved.
    switchFileDialogs(false);
    replaceInActiveDrawing();
    fileDialogsBackOn();
}

void ReplacementRun::runBatch() {
    runSteps(&ReplacementRun::batchSteps, true);
}

void ReplacementRun::runPreview() {
    runSteps(&ReplacementRun::previewSteps, false);
}

// One run at a time on the host; whatever fails is reported, with the file dialogs back on.
void ReplacementRun::runSteps(void (ReplacementRun::*steps)(), bool batch) {
    if (searchTextMissing() || hostTaken()) {
        return;
    }
    const LockHeld held(s_.runLock);
    currentDrawing_.clear();
    if (batch) {
        touched_.clear();
    }
    fileDialogsOff_ = false;
    try {
        (this->*steps)();
    } catch (const std::exception& failure) {
        fileDialogsBackAfterFailure();
        reportFailure(&failure);
    } catch (...) {
        fileDialogsBackAfterFailure();
        reportFailure(nullptr);
    }
    if (batch) {
        s_.progress->runEnded();
    }
}

}  // namespace quorvel::engine
