#pragma once
// The host's command line. Typed commands from automation, keystrokes and the window's own
// command line all go through this one interpreter, so they behave the same in both hosts.
//
// Input arrives as typed characters. Enter ends a field; a space does too, except at a prompt
// that asks for a file name. Commands: FILEDIA, JUSTIFYTEXT, QSAVE (letter case ignored, a
// leading "_" or "." accepted). Anything else is echoed as unknown and is not an error.
// A field longer than kMaxFieldLength is refused whole when it ends, and the command in progress
// is given up.

#include "cadhost/core/hostmodel.h"

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quorvel::cadhost::core {

class CommandLineObserver {
public:
    virtual ~CommandLineObserver() = default;
    // One line for the command history.
    virtual void lineEchoed(const std::string& /*line*/) {}
    virtual void promptChanged(const std::string& /*prompt*/) {}
    virtual void pendingInputChanged(const std::u16string& /*text*/) {}
};

class CommandLine {
public:
    static constexpr std::size_t kMaxFieldLength = 32767;  // UTF-16 units, as a line edit takes

    explicit CommandLine(HostModel& model, CommandLineObserver* observer = nullptr);
    CommandLine(const CommandLine&) = delete;
    CommandLine& operator=(const CommandLine&) = delete;

    void type(std::u16string_view text);
    void enter();
    void backspace();
    void cancel();

    const std::string& prompt() const { return prompt_; }
    const std::u16string& pendingInput() const { return pending_; }
    bool isIdle() const { return state_ == State::Command; }

    // Failures of commands since the last call (a save that could not be written), then cleared.
    std::vector<std::string> takeFailures();

    // Asks the user for a file name to save an untitled drawing under (FILEDIA 1): the name, an
    // empty path when cancelled, nothing when no dialog can be shown now. Without a dialog the
    // name is asked on the command line.
    std::function<std::optional<std::filesystem::path>(const std::string& suggestedName)>
        askSavePath;

private:
    enum class State { Command, FilediaValue, JustifySelect, JustifyOption, SaveName };

    void submit(const std::u16string& field);
    void startCommand(const std::string& field);
    void selectLast(const std::string& field);
    void setState(State state, std::string prompt);
    void finish();
    void echo(const std::string& line);
    void fail(const std::string& message);
    void runQsave();
    void saveUnder(const std::filesystem::path& path);
    void justifySelected(const std::string& option);

    CommandLineObserver fallbackObserver_;
    CommandLineObserver& observer_;
    HostModel& model_;
    State state_ = State::Command;
    std::string prompt_;
    std::u16string pending_;
    bool overlong_ = false;    // characters beyond the limit were dropped from this field
    int commandDocument_ = 0;  // the drawing the command in progress works on
    std::vector<dxf::EntityId> selection_;  // JUSTIFYTEXT's objects
    std::vector<std::string> failures_;
};

}  // namespace quorvel::cadhost::core
