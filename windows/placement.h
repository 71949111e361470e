#pragma once
// Window placement arithmetic: centring, edge placement, the topmost rectangle and one step of
// the edge auto-hide. Geometry is in twips as single-precision values, as the windows keep it;
// the window system's rectangles and pointer positions are in whole pixels.

#include <cstdint>
#include <optional>

namespace quorvel::placement {

// A window's position and size in twips (outer frame, relative to the screen).
struct TwipsGeometry {
    float left = 0;
    float top = 0;
    float width = 0;
    float height = 0;
};

struct ScreenTwips {
    float width = 0;
    float height = 0;
    float twipsPerPixelX = 15;
    float twipsPerPixelY = 15;
};

struct PixelPoint {
    std::int32_t x = 0;
    std::int32_t y = 0;
};

// Outer rectangle in pixels; right and bottom lie one past the last pixel.
struct PixelRect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
};

struct TwipsPosition {
    float left = 0;
    float top = 0;
};

enum class Edge { Left, Right };

// Middle of the screen horizontally, one third of the free height vertically.
TwipsPosition centerForm(const ScreenTwips& screen, float windowWidth, float windowHeight);

// Flush with the given screen edge, one third of the free height vertically.
TwipsPosition centerFormAtEdge(const ScreenTwips& screen, float windowWidth, float windowHeight,
                               Edge edge);

// The rectangle handed to the window system when a window is made topmost.
struct TopmostRect {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t cx = 0;
    std::int32_t cy = 0;
};
TopmostRect topmostRect(const TwipsGeometry& window, const ScreenTwips& screen);

// Rounds to the nearest integer with halves going to the even neighbour.
std::int64_t roundHalfEven(double value);

// What one auto-hide step asks for. Unset fields stay as they are.
struct DockStep {
    std::optional<float> newLeft;
    std::optional<float> newTop;
    bool show = false;

    bool changesNothing() const { return !newLeft && !newTop && !show; }
};

struct DockInput {
    PixelPoint pointer;
    PixelRect rect;
    bool minimized = false;
    TwipsGeometry window;
    float screenWidth = 0;  // twips
};

DockStep dockToEdge(const DockInput& input);

}  // namespace quorvel::placement
