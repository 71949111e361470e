#pragma once
// The batch run (Command9) and the preview (xpcmdbutton7) wired to the main window: the window
// gives the options, its drawing list is the work queue, Form3 shows the progress.

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>

#include "engine/module1.h"
#include "engine/replacementrun.h"
#include "engine/services.h"
#include "platform/enginemessages.h"
#include "windows/progresswindow.h"

namespace quorvel::drawinglist {
class DrawingListModel;
}

namespace quorvel::app {

class MainWindow;

// The drawing list model as the engine's work queue.
class DrawingListQueue final : public engine::DrawingList {
public:
    explicit DrawingListQueue(drawinglist::DrawingListModel& model) : model_(model) {}
    int count() const override;
    std::u16string text(int index) const override;
    void removeAt(int index) override;
    void removeAll() override;

private:
    drawinglist::DrawingListModel& model_;
};

// Form3, loaded on first use and again after each return double-click unloaded it.
class ProgressWindowBridge final : public engine::ProgressWindow {
public:
    explicit ProgressWindowBridge(std::function<void()> showMainWindow);
    ~ProgressWindowBridge() override;

    void show() override;
    void setLabel1(const std::u16string& text) override;
    void setLabel3(const std::u16string& text) override;
    void setLabel5(const std::u16string& text) override;
    void repaintNow() override;
    void runEnded() override;

    // The loaded window, or null.
    windows::Form3* form() const { return form_.data(); }

private:
    windows::Form3& loaded();

    std::function<void()> showMainWindow_;
    QPointer<windows::Form3> form_;
};

// The platform services the runs use.
struct ReplacementPlatform {
    engine::HostConnector* connector = nullptr;
    engine::WindowControl* windows = nullptr;
    platform::MessageBoxes* messageBoxes = nullptr;
    engine::Clock* clock = nullptr;
    engine::RandomNumbers* random = nullptr;
    engine::ScriptFileWriter* scriptWriter = nullptr;
    engine::FileStamps* files = nullptr;
    engine::RunLock* runLock = nullptr;
    QString programFolder;
};

class ReplacementCommands : public QObject {
    Q_OBJECT
public:
    ReplacementCommands(MainWindow& window, ReplacementPlatform platform,
                        QObject* parent = nullptr);

    engine::Module1& module1() { return module1_; }
    ProgressWindowBridge& progress() { return progress_; }

    void runBatch();
    void runPreview();

private:
    QWidget* messageOwner() const;

    MainWindow& window_;
    platform::EngineMessageBoxes messages_;
    engine::Module1 module1_;
    DrawingListQueue queue_;
    ProgressWindowBridge progress_;
    engine::ReplacementRun run_;
};

}  // namespace quorvel::app
