#pragma once
// Every kind of text a drawing holds, read and edited in place (handles kept): single-line text,
// multi-line text (its chunks joined and written back in chunks), attribute values of block
// references and definitions, the override text of dimensions, table cells and multileaders
// (dxf/tabletext.h).

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "dxf/drawing.h"

namespace quorvel::dxf {

enum class TextKind { Text, MText, Attribute, AttributeDefinition, Dimension, TableCell, MLeader };

struct TextEntry {
    EntityId id = 0;
    TextKind kind = TextKind::Text;
    std::string handle;
    std::string layer;
    Space space = Space::Model;
    std::string block;  // block definition or paper-space layout block, if any
    // The value as stored, decoded to UTF-8 with its formatting codes. Empty for a dimension
    // without an override text.
    std::string raw;
    // A multi-line attribute keeps its text in an embedded multi-line object (after group 101):
    // `raw` is that text, `attributeLine` the attribute's own group 1 as stored (empty, the first
    // line or the whole text, depending on the writer).
    bool multiLineAttribute = false;
    std::string attributeLine;
    std::size_t cell = 0;  // a table cell: row * columns + column
};

// The texts of the drawing in file order, a table's cells in cell order; with `wanted`, only
// those it takes (asked before the value is read, so `raw` is still empty then, and once per
// table).
std::vector<TextEntry> readTexts(const Drawing& drawing,
                                 const std::function<bool(const TextEntry&)>& wanted = {});

// Reads the value of an entry whose id and kind are set.
void readValue(const Drawing& drawing, TextEntry& entry);

// Names of the paper-space layouts by the name of their block ("*PAPER_SPACE0", upper case; the
// paper-space entities of the ENTITIES section belong to "*PAPER_SPACE"). Empty for drawings
// without layout objects (R12).
std::map<std::string, std::string> layoutNames(const Drawing& drawing);

// Puts a new value (UTF-8, formatting codes included) in place of the entry's value. A single-line
// text keeps its alignment point; multi-line text is written in chunks that split no character
// and no escape. A multi-line attribute takes `raw` into its embedded object and `attributeLine`
// into its group 1. A table cell is written as writeTableCells() writes it.
void writeText(Drawing& drawing, const TextEntry& entry, std::string_view raw,
               std::string_view attributeLine = {});
// Text height (character height of multi-line text); dimensions, table cells and multileaders
// raise InvalidArgument (their styles decide).
void writeHeight(Drawing& drawing, const TextEntry& entry, double height);

// Splits encoded multi-line text into chunks of at most `limit` bytes, never inside a character of
// the drawing's code page or inside an escape ("\U+XXXX", "\P", "^J"...).
std::vector<std::string> splitChunks(std::string_view encoded, std::string_view codePage,
                                     std::size_t limit = 250);

}  // namespace quorvel::dxf
