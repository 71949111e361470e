#pragma once
// The batch replacement run (Command9) and the replacement preview (xpcmdbutton7).

#include <string>

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
};

// The texts the runs hand to the host.
inline constexpr char16_t kFileDialogsOffCommand[] = u"filedia\r0\r";
inline constexpr char16_t kFileDialogsOnCommand[] = u"filedia\r1\r";
inline constexpr char16_t kFileDialogsOffKeys[] = u"filedia~0~";
inline constexpr char16_t kFileDialogsOnKeys[] = u"filedia~1~";
inline constexpr char16_t kSaveKeys[] = u"qsave~";

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
    void reportFailure(const std::exception* failure);
    std::shared_ptr<Application> host();
    std::shared_ptr<Document> activeDocument();
    bool newerGeneration() const;
    void switchFileDialogs(bool on);
    void fileDialogsBackOn();
    void openDrawing(const std::u16string& path);
    void replaceInActiveDrawing();
    void processEntity(TextEntity& entity);
    void processBatchDrawing(int index, int drawingCount);
    void batchSteps();
    void previewSteps();

    RunServices s_;
};

}  // namespace quorvel::engine
