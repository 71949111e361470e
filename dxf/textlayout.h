#pragma once
// Where a single-line text sits on the sheet, and how to give it another justification without
// moving it.
//
// Font model, used when the drawing does not tell how wide a text is: every glyph advances by a
// fixed share of the text height times the width factor: 1.0 for wide East Asian characters
// (CJK ideographs, kana, hangul, full-width forms), 0.6 for every other character (the
// proportions of the plain shape fonts CAD hosts default to), nothing for combining marks and
// the %%u/%%o/%%k switches; %%d, %%p, %%c and %%nnn count as one character. The descender lies
// a third of the height below the baseline (what "bottom" alignments rest on).

#include <optional>
#include <string_view>

#include "dxf/drawing.h"

namespace quorvel::dxf {

// Width of a text in text heights, for width factor 1.
double textWidthInHeights(std::string_view utf8);

struct Justification {
    int horizontal = 0;  // group 72
    int vertical = 0;    // group 73
};

// L, A, F, C, M, R, TL ... BR, case ignored; nothing for anything else.
std::optional<Justification> parseJustifyOption(std::string_view option);

// The placement a TEXT entity stores.
struct TextPlacement {
    Point first;                  // group 10
    std::optional<Point> second;  // group 11
    Justification justification;  // groups 72, 73
    double height = 1;            // group 40
    double rotation = 0;          // group 50, degrees
    double widthFactor = 1;       // group 41
};

struct Baseline {
    Point left;  // left end of the baseline
    double width = 0;
};

// The baseline of a text, from the stored points where a CAD program has computed them, else
// from the alignment point and the font model (measuredWidth = textWidthInHeights of the text).
Baseline baselineOf(const TextPlacement& placement, double measuredWidth);

// The points 10 and 11 of a text whose baseline is `baseline` with the given justification.
// For left-baseline text the second point equals the first.
TextPlacement placeOnBaseline(const TextPlacement& original, const Baseline& baseline,
                              Justification justification);

// The placement after the text or its height changed: the alignment point stays (what CAD
// hosts do), the first point is recomputed with the new width.
TextPlacement keepAlignmentPoint(const TextPlacement& placement, double newMeasuredWidth);

// Aligned and fit text after its string changed: both points stay and the text fills the
// baseline between them, as hosts redo it: aligned text by its height, fit text by its width
// factor, scaled by the change of width so that values a writer worked out with its own fonts
// stay as they were when the width does not change.
TextPlacement fitBetweenPoints(const TextPlacement& placement, double oldMeasuredWidth,
                               double newMeasuredWidth);

}  // namespace quorvel::dxf
