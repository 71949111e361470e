#include "dxf/textlayout.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <numbers>
#include <string>

#include "dxf/codepage.h"

namespace quorvel::dxf {

namespace {

constexpr double kNarrowAdvance = 0.6;
constexpr double kWideAdvance = 1.0;
constexpr double kDescender = 1.0 / 3.0;

bool isWide(char32_t c) {
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
           (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
           (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
}

bool isCombining(char32_t c) {
    return (c >= 0x300 && c <= 0x36F) || (c >= 0x20D0 && c <= 0x20FF) ||
           (c >= 0xFE20 && c <= 0xFE2F) || c == 0x200B || c == 0x200D;
}

double horizontalShare(const Justification& j) {
    switch (j.horizontal) {
        case 1:
        case 4:
            return 0.5;
        case 2:
            return 1.0;
        default:
            return 0.0;
    }
}

// Height of the alignment point above the baseline, in text heights.
double verticalShare(const Justification& j) {
    if (j.horizontal == 4)
        return 0.5;  // "middle" centres on the cap height
    if (j.horizontal == 3 || j.horizontal == 5)
        return 0.0;
    switch (j.vertical) {
        case 1:
            return -kDescender;
        case 2:
            return 0.5;
        case 3:
            return 1.0;
        default:
            return 0.0;
    }
}

bool isLeftBaseline(const Justification& j) {
    return j.horizontal == 0 && j.vertical == 0;
}
bool spansBaseline(const Justification& j) {
    return j.horizontal == 3 || j.horizontal == 5;
}

struct Direction {
    double x;
    double y;
};

Direction directionOf(double rotationDegrees) {
    const double radians = rotationDegrees * std::numbers::pi / 180.0;
    return {std::cos(radians), std::sin(radians)};
}

Point offset(const Point& p, const Direction& along, double alongDistance, double upDistance) {
    return {p.x + along.x * alongDistance - along.y * upDistance,
            p.y + along.y * alongDistance + along.x * upDistance, p.z};
}

bool samePoint(const Point& a, const Point& b) {
    const double scale = std::max({1.0, std::fabs(a.x), std::fabs(a.y)});
    return std::fabs(a.x - b.x) <= 1e-9 * scale && std::fabs(a.y - b.y) <= 1e-9 * scale;
}

double sanePositive(double value, double fallback) {
    return (std::isfinite(value) && value > 0) ? value : fallback;
}

}  // namespace

double textWidthInHeights(std::string_view utf8) {
    double width = 0;
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        if (utf8[pos] == '%' && pos + 2 < utf8.size() && utf8[pos + 1] == '%') {
            const char code =
                static_cast<char>(std::tolower(static_cast<unsigned char>(utf8[pos + 2])));
            if (code == 'u' || code == 'o' || code == 'k') {
                pos += 3;
                continue;
            }
            if (code == 'd' || code == 'p' || code == 'c' || code == '%') {
                width += kNarrowAdvance;
                pos += 3;
                continue;
            }
            if (std::isdigit(static_cast<unsigned char>(code))) {
                pos += 2;
                for (int digits = 0; digits < 3 && pos < utf8.size() &&
                                     std::isdigit(static_cast<unsigned char>(utf8[pos]));
                     ++digits) {
                    ++pos;
                }
                width += kNarrowAdvance;
                continue;
            }
        }
        const char32_t c = nextCodePoint(utf8, pos);
        if (isCombining(c))
            continue;
        width += isWide(c) ? kWideAdvance : kNarrowAdvance;
    }
    return width;
}

std::optional<Justification> parseJustifyOption(std::string_view option) {
    std::string upper;
    for (char c : option)
        upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    struct Entry {
        const char* name;
        Justification justification;
    };
    static const Entry kOptions[] = {
        {"L", {0, 0}},  {"A", {3, 0}},  {"F", {5, 0}},  {"C", {1, 0}},  {"M", {4, 0}},
        {"R", {2, 0}},  {"TL", {0, 3}}, {"TC", {1, 3}}, {"TR", {2, 3}}, {"ML", {0, 2}},
        {"MC", {1, 2}}, {"MR", {2, 2}}, {"BL", {0, 1}}, {"BC", {1, 1}}, {"BR", {2, 1}},
    };
    for (const auto& entry : kOptions) {
        if (upper == entry.name)
            return entry.justification;
    }
    return std::nullopt;
}

Baseline baselineOf(const TextPlacement& placement, double measuredWidth) {
    const double height = sanePositive(placement.height, 1.0);
    const double fontWidth = measuredWidth * height * sanePositive(placement.widthFactor, 1.0);
    const Justification& j = placement.justification;
    if (isLeftBaseline(j))
        return {placement.first, fontWidth};

    const Direction along = directionOf(placement.rotation);
    if (spansBaseline(j)) {
        if (placement.second && !samePoint(*placement.second, placement.first)) {
            const double dx = placement.second->x - placement.first.x;
            const double dy = placement.second->y - placement.first.y;
            return {placement.first, std::hypot(dx, dy)};
        }
        return {placement.first, fontWidth};
    }

    const Point alignment = placement.second.value_or(placement.first);
    const double share = horizontalShare(j);
    if (placement.second && !samePoint(*placement.second, placement.first)) {
        // A CAD program stored the left end of the baseline as the first point.
        const double projected = (alignment.x - placement.first.x) * along.x +
                                 (alignment.y - placement.first.y) * along.y;
        const double width = share > 0 && projected > 0 ? projected / share : fontWidth;
        return {placement.first, width};
    }
    return {offset(alignment, along, -share * fontWidth, -verticalShare(j) * height), fontWidth};
}

TextPlacement placeOnBaseline(const TextPlacement& original, const Baseline& baseline,
                              Justification justification) {
    TextPlacement placed = original;
    placed.justification = justification;
    placed.first = baseline.left;
    const Direction along = directionOf(original.rotation);
    const double height = sanePositive(original.height, 1.0);
    if (isLeftBaseline(justification)) {
        placed.second = baseline.left;
    } else if (spansBaseline(justification)) {
        placed.second = offset(baseline.left, along, baseline.width, 0);
    } else {
        placed.second =
            offset(baseline.left, along, horizontalShare(justification) * baseline.width,
                   verticalShare(justification) * height);
    }
    return placed;
}

TextPlacement keepAlignmentPoint(const TextPlacement& placement, double newMeasuredWidth) {
    const Justification& j = placement.justification;
    if (isLeftBaseline(j) || spansBaseline(j) || !placement.second)
        return placement;
    TextPlacement moved = placement;
    const double height = sanePositive(placement.height, 1.0);
    const double width = newMeasuredWidth * height * sanePositive(placement.widthFactor, 1.0);
    const Direction along = directionOf(placement.rotation);
    moved.first =
        offset(*placement.second, along, -horizontalShare(j) * width, -verticalShare(j) * height);
    return moved;
}

TextPlacement fitBetweenPoints(const TextPlacement& placement, double oldMeasuredWidth,
                               double newMeasuredWidth) {
    TextPlacement fitted = placement;
    const Justification& j = placement.justification;
    if (!spansBaseline(j) || !placement.second || samePoint(*placement.second, placement.first) ||
        !(oldMeasuredWidth > 0) || !(newMeasuredWidth > 0) ||
        oldMeasuredWidth == newMeasuredWidth) {
        return fitted;
    }
    const double ratio = oldMeasuredWidth / newMeasuredWidth;
    if (j.horizontal == 3)
        fitted.height = sanePositive(placement.height, 1.0) * ratio;
    else
        fitted.widthFactor = sanePositive(placement.widthFactor, 1.0) * ratio;
    return fitted;
}

}  // namespace quorvel::dxf
