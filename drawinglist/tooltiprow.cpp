#include "drawinglist/tooltiprow.h"

#include <cfenv>
#include <cmath>
#include <cstdint>

namespace quorvel::drawinglist {

namespace {

constexpr double kLimit = 9.0e15;  // well inside the exact range of a double and of int64

std::optional<std::int64_t> roundHalfEven(double value) {
    if (!std::isfinite(value) || std::fabs(value) > kLimit) {
        return std::nullopt;
    }
    const int previous = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double rounded = std::nearbyint(value);
    std::fesetround(previous);
    return static_cast<std::int64_t>(rounded);
}

}  // namespace

std::optional<std::size_t> entryUnderPointer(double yTwips, double rowHeightTwips,
                                             std::size_t topIndex, std::size_t count) {
    const auto y = roundHalfEven(yTwips);
    const auto rowHeight = roundHalfEven(rowHeightTwips);
    // A zero row height (an unusable font) means no row at all rather than a division by zero.
    if (!y || !rowHeight || *rowHeight == 0 || topIndex > static_cast<std::size_t>(kLimit)) {
        return std::nullopt;
    }
    const std::int64_t row = *y / *rowHeight + static_cast<std::int64_t>(topIndex);
    if (row < 0 || static_cast<std::uint64_t>(row) >= count) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(row);
}

}  // namespace quorvel::drawinglist
