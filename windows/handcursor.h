#pragma once
#include <QCursor>

namespace quorvel::windows {

// A 32 x 32 two-colour pointing hand, hot spot at the fingertip (6, 0). Shown over the link
// labels of the About window.
QCursor handCursor();

inline constexpr int kHandCursorHotX = 6;
inline constexpr int kHandCursorHotY = 0;

}  // namespace quorvel::windows
