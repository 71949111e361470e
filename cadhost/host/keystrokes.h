#pragma once
// The usual keystroke notation: "~" and {ENTER} are Enter, {ESC} cancels, {BS} deletes the last
// typed character, "+x" is Shift+x, {x} types a special character, {x n} repeats it. Ctrl and
// Alt combinations have no meaning on a command line and are refused.

#include <QChar>
#include <QString>

#include <vector>

namespace quorvel::cadhost {

struct KeyStroke {
    enum class Kind { Character, Enter, Escape, Backspace };
    Kind kind = Kind::Character;
    QChar character;

    bool operator==(const KeyStroke&) const = default;
};

// The whole text is checked before anything is typed: notation the host does not type raises
// HostError (InvalidKeys).
std::vector<KeyStroke> parseKeyStrokes(const QString& keys);

}  // namespace quorvel::cadhost
