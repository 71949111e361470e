#pragma once
#include <QIcon>

namespace quorvel::app {

// The program's 32 x 32 icon, shared by every window.
QIcon programIcon();

}  // namespace quorvel::app
