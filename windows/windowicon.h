#pragma once
#include <QIcon>
#include <QPixmap>

namespace quorvel::windows {

// The program's 32 x 32 picture, for the About header and the side panels' window icon.
QPixmap windowIconPixmap();
QIcon windowIcon();

}  // namespace quorvel::windows
