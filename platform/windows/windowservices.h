#pragma once
// The Windows services of the engine and the windows: window activation and keystrokes, the
// program folder, the help file and links.

#include <string>

#include "engine/automation.h"

namespace quorvel::platform::windows {

// Top-level windows by title: an equal title first, else one that begins with it, letter case
// ignored. Keys go to the foreground window as Unicode input.
class Win32WindowControl final : public engine::WindowControl {
public:
    void activateByTitle(const std::u16string& title) override;
    void sendKeys(const std::u16string& keys, bool wait) override;
};

// The folder of the running program, "\" separators, no trailing separator (except at a root).
std::u16string programFolder();

// Opens the help file at its default topic with the system's HTML Help; false when it cannot.
bool showHelp(const std::u16string& chmPath);

// Hands an address (web page, mail link) to the shell's "open"; false when nothing takes it.
bool openLink(const std::u16string& address);

}  // namespace quorvel::platform::windows
