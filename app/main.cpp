// Quorvel: batch find-and-replace of text across CAD drawings.
#include <QApplication>
#include <QDir>
#include <QPushButton>

#include "app/mainwindow.h"
#include "app/replacementcommands.h"
#include "platform/filedialogs.h"
#include "platform/filestamps.h"
#include "platform/helpviewer.h"
#include "platform/hostlink.h"
#include "platform/linkopener.h"
#include "platform/localclock.h"
#include "platform/messageboxes.h"
#include "platform/qttranslations.h"
#include "platform/runlock.h"
#include "platform/scriptfilewriter.h"
#include "platform/timerrandom.h"
#include "windows/aboutwindow.h"
#include "windows/sidepanel.h"
#include "windows/windowplacer.h"

int main(int argc, char* argv[]) {
    quorvel::platform::chooseWindowSystem();
#if !defined(Q_OS_WIN)
    // The web view's sandbox refuses to run as root.
    if (quorvel::platform::runsAsSuperuser() &&
        qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX")) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    }
    // The side panels' web views show their own pages (an unreachable site, say) in Chinese too.
    QByteArray webFlags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (!webFlags.contains("--lang")) {
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", webFlags.append(" --lang=zh-CN").trimmed());
    }
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
#endif
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvel"));
    // Qt's own dialogs, buttons and menus speak Chinese like the rest of the program.
    quorvel::platform::installChineseQtTranslations(application);
    // No display name: on X11 it would be appended to every window title.

    quorvel::platform::DesktopHelpViewer helpViewer;
    quorvel::app::MainWindowServices services;
    services.helpViewer = &helpViewer;
    quorvel::platform::QtFileDialogs fileDialogs;
    services.fileDialogs = &fileDialogs;
    quorvel::platform::QtMessageBoxes messageBoxes;
    services.messageBoxes = &messageBoxes;
    services.programFolder = QDir::toNativeSeparators(QCoreApplication::applicationDirPath());

    quorvel::app::MainWindow mainWindow(services);

    // Batch run and preview, driving the platform's CAD host (cad-host on the session bus on
    // Linux, the host's COM server on Windows).
    const quorvel::platform::HostLink hostLink = quorvel::platform::makeHostLink();
    quorvel::platform::LocaleClock clock;
    quorvel::platform::TimerSeededRandom random;
    quorvel::platform::CodePageScriptFileWriter scriptWriter;
    quorvel::platform::StatFileStamps fileStamps;
    quorvel::platform::HostRunLock runLock(quorvel::platform::sessionHostKey());
    quorvel::app::ReplacementPlatform replacementPlatform;
    replacementPlatform.connector = hostLink.connector.get();
    replacementPlatform.windows = hostLink.windows.get();
    replacementPlatform.messageBoxes = &messageBoxes;
    replacementPlatform.clock = &clock;
    replacementPlatform.random = &random;
    replacementPlatform.scriptWriter = &scriptWriter;
    replacementPlatform.files = &fileStamps;
    replacementPlatform.runLock = &runLock;
    replacementPlatform.programFolder = services.programFolder;
    quorvel::app::ReplacementCommands replacementCommands(mainWindow, replacementPlatform);

    // Load handling: the side panels first, right then left, each placing itself at its edge;
    // then the main window is centred. The help path is worked out by the main window at each use.
    // The panels close when the program quits (exit, or the main window closed by the window
    // system).
    using quorvel::windows::SidePanel;
    const auto adfrm = SidePanel::makeRightPanel(quorvel::windows::systemSidePanelServices());
    adfrm->show();
    const auto ad1frm = SidePanel::makeLeftPanel(quorvel::windows::systemSidePanelServices());
    ad1frm->show();
    quorvel::windows::CenterForm(&mainWindow);

    quorvel::platform::DesktopLinkOpener linkOpener;
    QObject::connect(mainWindow.xpcmdbutton2, &QPushButton::clicked, &mainWindow, [&] {
        quorvel::windows::AboutWindow::showMoreSoftware(linkOpener, &mainWindow);
    });

    mainWindow.show();
    return QApplication::exec();
}
