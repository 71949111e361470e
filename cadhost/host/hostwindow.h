#pragma once
// The host's window: a tab per open drawing (unsaved ones marked with "*"), the drawing view,
// the command history and the command line, and the File menu. Its title is the host's Caption.

#include "cadhost/host/busserver.h"

#include <QMainWindow>
#include <QTimer>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QTabBar;

namespace quorvel::cadhost {

class CommandInterpreter;
class DrawingView;
class HostModel;

class HostWindow : public QMainWindow, public HostWindowControl {
    Q_OBJECT
public:
    HostWindow(HostModel& model, CommandInterpreter& interpreter, QWidget* parent = nullptr);

    // Calls from the bus wait while this window shows a dialog.
    void setBusServer(BusServer* server) { server_ = server; }

    bool isHostWindowVisible() const override { return isVisible(); }
    void setHostWindowVisible(bool visible) override;
    void activateHostWindow() override;

    DrawingView* view() const { return view_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Runs a dialog with bus calls held back until it is done.
    template <typename Dialog>
    auto whileBusy(Dialog dialog);

    void buildPanes();
    void buildStatusBar();
    void buildMenus();
    void setUpRefresh();
    void followModel();
    void followTabs();
    void followCommandLine();
    void rebuildTabs();
    void updateTabTexts();
    void showActiveDocument();
    void appendHistory(const QString& line);
    void updatePrompt();

    void newDrawing();
    void openDrawings();
    bool saveDocument(int number, bool askForName);
    void closeDocument(int number);
    QString askSavePath(const QString& suggestedName);

    HostModel& model_;
    CommandInterpreter& interpreter_;
    BusServer* server_ = nullptr;
    QTabBar* tabs_;
    DrawingView* view_;
    QPlainTextEdit* history_;
    QLabel* prompt_;
    QLineEdit* commandLine_;
    QLabel* filediaLabel_;
    QLabel* cursorLabel_;
    QTimer refreshTimer_;
    // The drawing on show and which content of it: Open on a document replaces the content.
    const void* shownDrawing_ = nullptr;
    int shownLoad_ = 0;
    bool rebuildingTabs_ = false;
};

}  // namespace quorvel::cadhost
