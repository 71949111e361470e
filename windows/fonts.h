#pragma once
#include <QString>

namespace quorvel::windows {

// "宋体" where installed, else an installed Chinese face that stands in for it.
QString songtiFontFamily();

}  // namespace quorvel::windows
