#pragma once
#include <string>

namespace quorvel::engine {

// Replaces occurrences of oldStr in searchStr by newStr, ordinally, left to right, never
// overlapping and never searching inserted text again. An empty searchStr or oldStr gives the
// empty text. Positions are 16-bit like the rest of the program's text handling: an oldStr
// longer than 32,767 units, or an occurrence found beyond that limit or reaching past it,
// raises AutomationError(kErrorOverflow).
std::u16string replaceStr(const std::u16string& searchStr, const std::u16string& oldStr,
                          const std::u16string& newStr, bool firstOnly);

}  // namespace quorvel::engine
