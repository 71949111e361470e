#pragma once
// The order of the drawing list: ascending, letter case ignored.

#include <functional>
#include <string>
#include <string_view>

namespace quorvel::drawinglist {

// Turns an entry's text into a byte string whose plain byte order is the list's order.
using SortKeyMaker = std::function<std::string(std::u16string_view)>;

// The Unicode collation of the "zh" locale (the Simplified Chinese systems the program is made
// for: Latin letters before Han characters, Han characters in pinyin order) at secondary
// strength, so letter case is ignored while accents still count. Entries that compare equal
// keep the order in which they were added. Falls back to `caseFoldedOrder()` when the collation
// data is missing.
SortKeyMaker caseInsensitiveOrder();

// Code-unit order after folding ASCII letters to lower case; locale-neutral.
SortKeyMaker caseFoldedOrder();

}  // namespace quorvel::drawinglist
