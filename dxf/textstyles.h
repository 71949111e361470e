#pragma once
// The text styles of a drawing (STYLE table) and the style each text is drawn with: which font
// files and which TrueType face the reader's CAD program will look for.

#include <optional>
#include <string>
#include <vector>

#include "dxf/drawing.h"

namespace quorvel::dxf {

struct TextStyle {
    std::string name;          // group 2, decoded
    std::string handle;        // group 5, as in the file
    std::string fontFile;      // group 3: an SHX file, a TrueType file, or a bare name
    std::string bigFontFile;   // group 4: the big font for double-byte characters
    std::string trueTypeFace;  // extended data of the ACAD application, group 1000
    bool shapeFile = false;    // group 70 bit 1: shapes, not a text font
    bool isTrueType() const;   // the face is named, or the font file is .ttf/.ttc/.otf
};

class TextStyles {
public:
    explicit TextStyles(const Drawing& drawing);

    // By name, letter case ignored; nothing when the drawing has no such style.
    const TextStyle* find(const std::string& name) const;
    // The style a text record is drawn with: its group 7 ("Standard" when absent; a table's
    // first, its own or a cell's); a dimension takes the text style of its dimension style, a
    // multileader the style its group 343 names.
    std::string styleNameOf(const Drawing& drawing, EntityId id) const;

private:
    std::vector<TextStyle> styles_;
    std::vector<std::pair<std::string, std::string>> dimensionStyleText_;  // name, text style
};

}  // namespace quorvel::dxf
