#pragma once
// Quorvel put together as main() does it, on a given bus, with its message boxes recorded.

#include <QLineEdit>
#include <QRadioButton>
#include <QStringList>
#include <memory>
#include <vector>

#include "app/mainwindow.h"
#include "app/replacementcommands.h"
#include "drawinglist/drawinglistmodel.h"
#include "drawinglist/drawinglistview.h"
#include "platform/dbus/busautomation.h"
#include "platform/filestamps.h"
#include "platform/localclock.h"
#include "platform/messageboxes.h"
#include "platform/runlock.h"
#include "platform/scriptfilewriter.h"
#include "platform/timerrandom.h"

namespace quorvel::integration {

struct ShownMessage {
    QString text;
    QString caption;
    platform::MessageIcon icon;
    QString details;
};

class RecordingMessageBoxes final : public platform::MessageBoxes {
public:
    void showMessage(QWidget*, const QString& text, const QString& caption,
                     platform::MessageIcon icon) override {
        shown.push_back({text, caption, icon, {}});
    }
    void showDetailedMessage(QWidget*, const QString& text, const QString& caption,
                             platform::MessageIcon icon, const QString& details) override {
        shown.push_back({text, caption, icon, details});
    }
    QStringList texts() const {
        QStringList result;
        for (const ShownMessage& message : shown) {
            result.push_back(message.text);
        }
        return result;
    }
    std::vector<ShownMessage> shown;
};

// Quorvel as main() puts it together, on the given bus, with its message boxes recorded.
class Quorvel {
public:
    Quorvel(const QString& busAddress, const QString& programFolder)
        : connector(busAddress),
          windowControl(busAddress),
          scripts(programFolder),
          runLock(busAddress.toStdString()) {
        app::MainWindowServices services;
        services.messageBoxes = &boxes;
        services.programFolder = programFolder;
        window = std::make_unique<app::MainWindow>(services);
        app::ReplacementPlatform platform;
        platform.connector = &connector;
        platform.windows = &windowControl;
        platform.messageBoxes = &boxes;
        platform.clock = &clock;
        platform.random = &random;
        platform.scriptWriter = &scripts;
        platform.files = &files;
        platform.runLock = &runLock;
        platform.programFolder = programFolder;
        commands = std::make_unique<app::ReplacementCommands>(*window, platform);
        window->show();
    }

    void list(const QStringList& paths) {
        for (const QString& path : paths) {
            window->List2->drawings()->add(path);
        }
    }
    QStringList listed() const {
        QStringList result;
        const auto* model = window->List2->drawings();
        for (int index = 0; index < model->count(); ++index) {
            result.push_back(model->textAt(index));
        }
        return result;
    }
    void search(const QString& text, const QString& replacement) {
        window->Text1->setText(text);
        window->Text2->setText(replacement);
    }
    void newerGeneration(bool newer) {
        (newer ? window->Option2 : window->Option1)->setChecked(true);
    }

    RecordingMessageBoxes boxes;
    platform::dbus::BusHostConnector connector;
    platform::dbus::BusWindowControl windowControl;
    platform::LocaleClock clock;
    platform::TimerSeededRandom random;
    platform::CodePageScriptFileWriter scripts;
    platform::StatFileStamps files;
    platform::HostRunLock runLock;
    std::unique_ptr<app::MainWindow> window;
    std::unique_ptr<app::ReplacementCommands> commands;
};

}  // namespace quorvel::integration
