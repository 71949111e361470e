#pragma once
// Which entry the pointer is over, by the list's row arithmetic in twips.

#include <cstddef>
#include <optional>

namespace quorvel::drawinglist {

// Rounds y and the row height to whole twips (halves to even), divides in whole numbers
// truncating toward zero and adds the top index. Nothing when that is no entry's index, or when
// the row height rounds to zero.
std::optional<std::size_t> entryUnderPointer(double yTwips, double rowHeightTwips,
                                             std::size_t topIndex, std::size_t count);

}  // namespace quorvel::drawinglist
