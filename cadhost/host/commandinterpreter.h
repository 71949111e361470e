#pragma once
// cad-host's face of the host core's command line (cadhost/core/commandline.h): SendCommand
// texts, keystrokes from the bus and the window's own command line all go through it, so they
// behave the same; what it echoes and asks is announced by signals.

#include "cadhost/core/commandline.h"
#include "cadhost/host/keystrokes.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

namespace quorvel::cadhost {

class HostModel;

class CommandInterpreter : public QObject {
    Q_OBJECT
public:
    static constexpr qsizetype kMaxFieldLength = core::CommandLine::kMaxFieldLength;

    explicit CommandInterpreter(HostModel& model, QObject* parent = nullptr);

    void type(const QString& text);
    void typeKeys(const std::vector<KeyStroke>& strokes);
    void enter() { commandLine_.enter(); }
    void backspace() { commandLine_.backspace(); }
    void cancel() { commandLine_.cancel(); }

    QString prompt() const { return QString::fromStdString(commandLine_.prompt()); }
    QString pendingInput() const;
    bool isIdle() const { return commandLine_.isIdle(); }

    // Failures of commands since the last call (a save that could not be written), then cleared.
    QStringList takeFailures();

    // Asks the user for a file name to save an untitled drawing under (FILEDIA 1): the name, an
    // empty text when cancelled, nothing when no dialog can be shown now. Without a dialog the
    // name is asked on the command line.
    std::function<std::optional<QString>(const QString& suggestedName)> askSavePath;

signals:
    // One line for the command history.
    void lineEchoed(const QString& line);
    void promptChanged(const QString& prompt);
    void pendingInputChanged(const QString& text);

private:
    // Turns the core's announcements into this object's signals.
    class Relay : public core::CommandLineObserver {
    public:
        explicit Relay(CommandInterpreter& owner) : owner_(owner) {}
        void lineEchoed(const std::string& line) override;
        void promptChanged(const std::string& prompt) override;
        void pendingInputChanged(const std::u16string& text) override;

    private:
        CommandInterpreter& owner_;
    };

    Relay relay_{*this};
    core::CommandLine commandLine_;
};

}  // namespace quorvel::cadhost
