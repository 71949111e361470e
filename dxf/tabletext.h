#pragma once
// The texts of tables (ACAD_TABLE) and multileaders (MULTILEADER), read and edited in place.
//
// A table keeps each cell's text in the entity's cell data: before R2007 as group 1 (chunks in
// group 2 or 3 before it), from R2007 in the cell's value ("301 CELL_VALUE" ... "304
// ACVALUE_END") as its string (group 1) and its display string (group 302). Drawings saved by
// newer hosts hold the cells a second time in a TABLECONTENT object of the OBJECTS section; the
// two are edited together or not at all. A multileader keeps its multi-line text as group 304 of
// its context data ("300 CONTEXT_DATA{"), before the leaders ("302 LEADER{"). An edited table or
// multileader loses its proxy graphics, which would still show the old text.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dxf/drawing.h"

namespace quorvel::dxf {

struct TableCellText {
    std::size_t cell = 0;  // row * columns + column
    std::string raw;       // UTF-8, multi-line text codes included
};

// The table's text cells that hold text, in cell order. Block cells, cells showing a field and
// cells holding a number or a date are not among them.
std::vector<TableCellText> tableCellTexts(const Drawing& drawing, EntityId table);

// The table's picture block ("*T..."), empty when it names none.
std::string tableBlockName(const Drawing& drawing, EntityId table);

struct CellEdit {
    std::size_t cell = 0;
    std::string raw;
};
// Gives the cells their new texts in every copy the drawing holds, or raises DxfError
// (InvalidArgument, saying why) and changes nothing.
void writeTableCells(Drawing& drawing, EntityId table, const std::vector<CellEdit>& edits);

// The multi-line text of a multileader; nothing when it shows a block.
std::optional<std::string> multileaderText(const Drawing& drawing, EntityId multileader);
void writeMultileaderText(Drawing& drawing, EntityId multileader, std::string_view raw);

}  // namespace quorvel::dxf
