// Quorvel: batch find-and-replace of text across CAD drawings.
#include <QApplication>
#include <QDir>

#include "app/mainwindow.h"
#include "platform/filedialogs.h"
#include "platform/helpviewer.h"
#include "platform/messageboxes.h"
#include "windows/windowplacer.h"

int main(int argc, char* argv[]) {
    // Absolute window positions need the X11 platform; an explicit choice still wins.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvel"));
    QApplication::setApplicationDisplayName(QStringLiteral("Quorvel"));

    quorvel::platform::DesktopHelpViewer helpViewer;
    quorvel::app::MainWindowServices services;
    services.helpViewer = &helpViewer;
    quorvel::platform::QtFileDialogs fileDialogs;
    services.fileDialogs = &fileDialogs;
    quorvel::platform::QtMessageBoxes messageBoxes;
    services.messageBoxes = &messageBoxes;
    services.programFolder = QDir::toNativeSeparators(QCoreApplication::applicationDirPath());

    quorvel::app::MainWindow mainWindow(services);
    quorvel::windows::CenterForm(&mainWindow);
    mainWindow.show();
    return QApplication::exec();
}
