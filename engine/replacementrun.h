#pragma once
// The batch replacement run (Command9) and the replacement preview (xpcmdbutton7).

#include <optional>
#include <string>
#include <vector>

#include "engine/automation.h"
#include "engine/module1.h"
#include "engine/services.h"

namespace quorvel::engine {

struct RunServices {
    Module1* module1 = nullptr;
    WindowControl* windows = nullptr;
    ReplaceOptions* options = nullptr;
    DrawingList* drawings = nullptr;
    ProgressWindow* progress = nullptr;
    MainWindowVisibility* mainWindow = nullptr;
    Messages* messages = nullptr;
    Clock* clock = nullptr;
    RandomNumbers* random = nullptr;
    ScriptFileWriter* scriptWriter = nullptr;
    std::u16string programFolder;  // folder of the program's executable
    // Optional: without them a run cannot tell listed files apart, check a typed save, or keep
    // a second run away from the host.
    FileStamps* files = nullptr;
    RunLock* runLock = nullptr;
};

// The texts the runs hand to the host. Typed commands start with two Escapes, as scripts do, so
// that a command the user left waiting (nested ones included) does not take them as answers.
inline constexpr char16_t kFileDialogsOffCommand[] = u"filedia\r0\r";
inline constexpr char16_t kFileDialogsOnCommand[] = u"filedia\r1\r";
inline constexpr char16_t kFileDialogsOffKeys[] = u"{ESC}{ESC}filedia~0~";
inline constexpr char16_t kFileDialogsOnKeys[] = u"{ESC}{ESC}filedia~1~";
inline constexpr char16_t kSaveKeys[] = u"{ESC}{ESC}qsave~";

inline constexpr char16_t kHostBusyMessage[] =
    u"另一个批量替换或预览正在使用 CAD 主机，请等它结束后再试。";
// A host that kept rejecting calls as busy for longer than calls wait.
inline constexpr char16_t kHostNotRespondingMessage[] = u"CAD 主机忙，没有响应！";

// "正在替换第 i 页   共 n 页"
std::u16string progressLine(int drawingNumber, int drawingCount);

// The host's template drawing: its executable's folder (FullName without its last 9 characters,
// the separator and the 8-character file name) + "/TEMPLATE/acad.dwt".
std::u16string templatePath(const std::u16string& hostFullName);

class ReplacementRun {
public:
    explicit ReplacementRun(RunServices services);

    // Command9: every drawing of the list, saved and taken off the list.
    void runBatch();
    // xpcmdbutton7: the first drawing only, left open and unsaved; the list stays as it is.
    void runPreview();

private:
    enum class Mode { Batch, Preview };

    bool searchTextMissing();
    bool hostTaken();
    void reportFailure(const std::exception* failure);
    std::optional<FileStamp> stampOf(const std::u16string& path);
    bool doneInThisRun(const std::optional<FileStamp>& stamp) const;
    void checkTypedSave(const std::u16string& path, const std::optional<FileStamp>& before);
    std::shared_ptr<Application> host();
    std::shared_ptr<Document> activeDocument();
    bool newerGeneration() const;
    void switchFileDialogs(bool on);
    void fileDialogsBackOn();
    void fileDialogsBackAfterFailure();
    std::shared_ptr<Document> openDrawing(const std::u16string& path);
    bool closeOpenCopies(Documents& documents, const std::u16string& path);
    bool sameDrawing(const std::u16string& a, const std::u16string& b);
    bool leftByPreview(const std::u16string& path);
    // Returns how many texts were rewritten.
    int replaceInActiveDrawing();
    bool processEntity(TextEntity& entity);
    void processBatchDrawing(int index, int drawingCount);
    void runSteps(void (ReplacementRun::*steps)(), bool batch);
    void batchSteps();
    void previewSteps();

    RunServices s_;
    std::u16string currentDrawing_;   // for the failure's details
    std::vector<FileStamp> touched_;  // files this batch run has saved, before and after
    bool fileDialogsOff_ = false;     // switched off by this run and not back on yet
    // The document the last preview left open with its unsaved replacement.
    std::shared_ptr<Document> previewDocument_;
};

}  // namespace quorvel::engine
