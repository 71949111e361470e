#pragma once
// Every kind of text a drawing holds, read and edited in place (handles kept): single-line text,
// multi-line text (its chunks joined and written back in chunks), attribute values of block
// references and definitions, and the override text of dimensions.

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "cadhost/dxf/drawing.h"

namespace quorvel::dxf {

enum class TextKind { Text, MText, Attribute, AttributeDefinition, Dimension };

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
};

// The texts of the drawing in file order; with `wanted`, only those it takes (asked before the
// value is read, so `raw` is still empty then).
std::vector<TextEntry> readTexts(const Drawing& drawing,
                                 const std::function<bool(const TextEntry&)>& wanted = {});

// Names of the paper-space layouts by the name of their block ("*PAPER_SPACE0", upper case; the
// paper-space entities of the ENTITIES section belong to "*PAPER_SPACE"). Empty for drawings
// without layout objects (R12).
std::map<std::string, std::string> layoutNames(const Drawing& drawing);

// Puts a new value (UTF-8, formatting codes included) in place of the entry's value. A single-line
// text keeps its alignment point; multi-line text is written in chunks that split no character
// and no escape.
void writeText(Drawing& drawing, const TextEntry& entry, std::string_view raw);
// Text height (character height of multi-line text); a dimension raises InvalidArgument.
void writeHeight(Drawing& drawing, const TextEntry& entry, double height);

// Splits encoded multi-line text into chunks of at most `limit` bytes, never inside a character of
// the drawing's code page or inside an escape ("\U+XXXX", "\P", "^J"...).
std::vector<std::string> splitChunks(std::string_view encoded, std::string_view codePage,
                                     std::size_t limit = 250);

// Multi-line and dimension text with its formatting codes masked: the characters a reader sees,
// each tied to the bytes it came from. "\P" reads as a line break; in dimension text "<>" (the
// measurement) is a code too, so it can never be matched or replaced.
class MaskedText {
public:
    MaskedText(std::string_view raw, bool dimension);

    const std::u16string& plain() const { return plain_; }

    // Replaces ranges of plain text units [begin, end), sorted and disjoint. Codes inside a
    // replaced range follow the new text, so formatting and braces stay balanced.
    struct Edit {
        std::size_t begin = 0;
        std::size_t end = 0;
        std::u16string text;
    };
    std::string apply(const std::vector<Edit>& edits) const;

    // Plain text as multi-line text source: backslashes and braces escaped, line breaks as "\P".
    static std::string escape(std::u16string_view plain);

private:
    struct Segment {
        std::size_t begin = 0;
        std::size_t end = 0;
        bool code = false;
    };
    std::string raw_;
    std::u16string plain_;
    std::vector<Segment> segments_;
    std::vector<std::size_t> unitSegment_;  // for every plain unit, its segment
};

}  // namespace quorvel::dxf
