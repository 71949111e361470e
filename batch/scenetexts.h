#pragma once
// What the DXF engine's entity views leave out and the report's pictures need: the attributes of
// block references, the picture block of a dimension, and multi-line text broken into lines.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dxf/drawing.h"

namespace quorvel::batch {

// The first value of a group code in a record's bytes (the record's own type left out); empty
// when there is none.
std::string firstValue(std::string_view bytes, int code);

// An attribute (ATTRIB) as an entity view: a single-line text, or a multi-line text for a
// multi-line attribute. Nothing for an invisible one.
std::optional<dxf::EntityInfo> attributeOf(const dxf::Drawing& drawing, dxf::EntityId id);

// The lines of a multi-line text as a host breaks them: at its line breaks, and where a line
// would pass the reference width (`width` in text heights; none when 0): after its last space,
// or between any two characters when it has none (as Chinese text has none). Spaces at a line's
// end are left out.
std::vector<std::string> wrappedLines(const std::string& text, double width);

}  // namespace quorvel::batch
