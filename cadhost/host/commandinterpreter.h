#pragma once
// The host's command line. SendCommand texts, keystrokes from the bus and the window's own
// command line all go through this one interpreter, so they behave the same.
//
// Input arrives as typed characters. Enter ends a field; a space does too, except at a prompt
// that asks for a file name. Commands: FILEDIA, JUSTIFYTEXT, QSAVE (letter case ignored, a
// leading "_" or "." accepted). Anything else is echoed as unknown and is not an error.
// A field longer than kMaxFieldLength is refused whole when it ends, and the command in progress
// is given up.

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
    static constexpr qsizetype kMaxFieldLength = 32767;  // as much as a line edit takes

    explicit CommandInterpreter(HostModel& model, QObject* parent = nullptr);

    void type(const QString& text);
    void typeKeys(const std::vector<KeyStroke>& strokes);
    void enter();
    void backspace();
    void cancel();

    QString prompt() const { return prompt_; }
    QString pendingInput() const { return pending_; }
    bool isIdle() const { return state_ == State::Command; }

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
    enum class State { Command, FilediaValue, JustifySelect, JustifyOption, SaveName };

    void submit(const QString& field);
    void startCommand(const QString& field);
    void setState(State state, const QString& prompt);
    void finish();
    void echo(const QString& line);
    void fail(const QString& message);
    void runQsave();
    void saveUnder(const QString& path);
    void justifySelected(const QString& option);

    HostModel& model_;
    State state_ = State::Command;
    QString prompt_;
    QString pending_;
    bool overlong_ = false;    // characters beyond the limit were dropped from this field
    int commandDocument_ = 0;  // the drawing the command in progress works on
    std::vector<std::uint64_t> selection_;  // JUSTIFYTEXT's objects
    QStringList failures_;
};

}  // namespace quorvel::cadhost
