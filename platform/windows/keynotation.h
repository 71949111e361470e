#pragma once
// The usual keystroke notation as key events: "~" and {ENTER} are Enter, {ESC} Escape, {BS}
// Backspace, {TAB} Tab, {x} types a special character, {x n} repeats a key n times, "+", "^" and
// "%" hold Shift, Ctrl and Alt for the next key. Standard C++ only.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorvel::platform::windows {

struct KeyEvent {
    enum class Key { Character, Enter, Escape, Backspace, Tab, Delete };
    Key key = Key::Character;
    char16_t character = 0;
    bool shift = false;
    bool control = false;
    bool alt = false;

    bool operator==(const KeyEvent&) const = default;
};

// Nothing when the notation is malformed (an unclosed brace, an unknown key name).
std::optional<std::vector<KeyEvent>> parseKeyNotation(const std::u16string& keys);

}  // namespace quorvel::platform::windows
