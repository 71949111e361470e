#pragma once
// The report's pictures as inline SVG: a small picture of a whole space with every changed text
// marked, and the neighbourhood of one text. Coordinates are written in pixels, to a tenth.
// To keep a report of large drawings small, a picture leaves out what would be under half a
// pixel and keeps only its largest shapes (kOverviewShapes, kNeighbourhoodShapes); segments
// outside the picture are not written.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "batch/drawingscene.h"

namespace quorvel::batch {

inline constexpr std::size_t kOverviewShapes = 4000;
inline constexpr std::size_t kNeighbourhoodShapes = 600;

struct Mark {
    Box box;
    int number = 0;  // the row of the drawing it marks, from 1
};

// The whole space, each mark framed (class "mark", data-row = its number), numbered when there
// are few.
std::string overviewSvg(const Scene& scene, const std::vector<Mark>& marks);

// The part of a space to show around a text that was at `before` and is at `after` (one of
// them may be empty), `textHeight` high: the same window for both pictures.
Box neighbourhoodOf(const Box& before, const Box& after, double textHeight);
// The window's shapes, `focus` outlined and the texts of `source` in red.
std::string neighbourhoodSvg(const Scene& scene, const Box& window, const Box& focus,
                             dxf::EntityId source);

// Text for XML and HTML: &, <, >, " and ' escaped, control characters other than tab and line
// feeds left out, invalid UTF-8 replaced, so that no text of a drawing can end an element.
std::string xmlText(std::string_view text);

}  // namespace quorvel::batch
