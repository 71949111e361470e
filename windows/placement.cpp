#include "placement.h"

#include <cmath>
#include <limits>

namespace quorvel::placement {

namespace {

// Each difference and quotient is rounded once to single precision, as the windows store it.
float single(double value) { return static_cast<float>(value); }

std::int32_t clampToInt32(std::int64_t value) {
    constexpr std::int64_t lo = std::numeric_limits<std::int32_t>::min();
    constexpr std::int64_t hi = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(value < lo ? lo : (value > hi ? hi : value));
}

// Both operands are rounded first and then divided as integers, truncating toward zero.
std::int32_t roundedIntegerQuotient(float numerator, float denominator) {
    const std::int64_t n = roundHalfEven(numerator);
    const std::int64_t d = roundHalfEven(denominator);
    if (d == 0) {
        return 0;
    }
    return clampToInt32(n / d);
}

float oneThirdOfFreeHeight(const ScreenTwips& screen, float windowHeight) {
    const float freeHeight = single(static_cast<double>(screen.height) - windowHeight);
    return single(static_cast<double>(freeHeight) / 3.0);
}

}  // namespace

std::int64_t roundHalfEven(double value) {
    if (!std::isfinite(value)) {
        return 0;
    }
    constexpr double limit = 9.0e18;
    if (value > limit) {
        return static_cast<std::int64_t>(limit);
    }
    if (value < -limit) {
        return static_cast<std::int64_t>(-limit);
    }
    const double floor = std::floor(value);
    const double fraction = value - floor;
    auto result = static_cast<std::int64_t>(floor);
    if (fraction > 0.5 || (fraction == 0.5 && (result % 2 != 0))) {
        ++result;
    }
    return result;
}

TwipsPosition centerForm(const ScreenTwips& screen, float windowWidth, float windowHeight) {
    TwipsPosition pos;
    pos.top = oneThirdOfFreeHeight(screen, windowHeight);
    const float freeWidth = single(static_cast<double>(screen.width) - windowWidth);
    pos.left = single(static_cast<double>(freeWidth) / 2.0);
    return pos;
}

TwipsPosition centerFormAtEdge(const ScreenTwips& screen, float windowWidth, float windowHeight,
                               Edge edge) {
    TwipsPosition pos;
    pos.top = oneThirdOfFreeHeight(screen, windowHeight);
    pos.left = edge == Edge::Left ? 0.0f : single(static_cast<double>(screen.width) - windowWidth);
    return pos;
}

TopmostRect topmostRect(const TwipsGeometry& window, const ScreenTwips& screen) {
    TopmostRect r;
    // x divides first and rounds the quotient; the others round both operands first.
    r.x = screen.twipsPerPixelX == 0
              ? 0
              : clampToInt32(roundHalfEven(static_cast<double>(window.left) /
                                           static_cast<double>(screen.twipsPerPixelX)));
    r.y = roundedIntegerQuotient(window.top, screen.twipsPerPixelY);
    r.cx = roundedIntegerQuotient(window.width, screen.twipsPerPixelX);
    r.cy = roundedIntegerQuotient(window.height, screen.twipsPerPixelY);
    return r;
}

DockStep dockToEdge(const DockInput& in) {
    DockStep step;
    if (in.minimized) {
        return step;
    }
    const bool pointerInside = in.rect.left < in.pointer.x && in.pointer.x < in.rect.right &&
                               in.rect.top < in.pointer.y && in.pointer.y < in.rect.bottom;
    const TwipsGeometry& w = in.window;
    const float rightEdge = single(static_cast<double>(w.width) + w.left);

    if (!pointerInside) {
        // Hide, leaving a 40-twip strip on the screen. The top and left tests use pixels,
        // the right test twips.
        if (in.rect.top <= 4) {
            step.newTop = single(40.0 - w.height);
        } else if (in.rect.left <= 4) {
            step.newLeft = single(40.0 - w.width);
        } else {
            const float limit = single(static_cast<double>(in.screenWidth) - 4.0);
            if (limit <= rightEdge) {
                step.newLeft = single(static_cast<double>(in.screenWidth) - 40.0);
            }
        }
        return step;
    }

    // Reveal, 10 twips past the edge, so that the hiding rule of that edge still applies
    // once the pointer leaves.
    if (w.top < 0) {
        step.newTop = -10.0f;
    } else if (w.left < 0) {
        step.newLeft = -10.0f;
    } else if (rightEdge >= in.screenWidth) {
        step.newLeft = single(static_cast<double>(in.screenWidth) - w.width + 10.0);
    } else {
        return step;
    }
    step.show = true;
    return step;
}

}  // namespace quorvel::placement
