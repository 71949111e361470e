#pragma once
// What a reader sees of a stored text value: every character tied to the bytes it came from, so
// that a find can be matched on the visible text and the replacement written back with the codes
// around it kept.
//
// In every kind of text: "%%d" "%%p" "%%c" "%%%" and "%%nnn" are one character each (°, ±, ⌀,
// %, the character numbered nnn), "%%u" "%%o" "%%k" switch lines on and off and show nothing;
// "^J" is a line break, "^I" a tab, "^ " a caret, any other "^x" a control code that shows
// nothing. Multi-line text adds its backslash codes and braces; a stacked fraction ("\S1#2;")
// is one visible unit. In a dimension's override "<>" (the measured value) is one visible unit.
// A unit can be replaced only as a whole, and a replaced range never holds a stack or "<>".

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::dxf {

enum class TextSyntax {
    SingleLine,  // TEXT, ATTRIB, ATTDEF
    MultiLine,   // MTEXT and the text of multi-line attributes
    Dimension,   // a dimension's override: multi-line text with "<>"
};

class VisibleText {
public:
    VisibleText(std::string_view raw, TextSyntax syntax);

    // One entry per visible character (two for characters outside the BMP); a stack or the
    // measured value is one placeholder entry that no find can match.
    const std::u16string& plain() const { return plain_; }
    // Whether the units [begin, end) can be replaced: whole characters, no stack, no "<>".
    bool replaceable(std::size_t begin, std::size_t end) const;
    bool isMeasurement(std::size_t unit) const;
    bool isStack(std::size_t unit) const;
    // The text as a reader sees it, for reports: stacks as "1/2", the measured value as "<>".
    const std::string& shown() const { return shown_; }

    // Replaces ranges of plain units [begin, end), sorted and disjoint, each replaceable(). Codes
    // inside a replaced range follow the new text, so formatting and braces stay balanced. The new
    // text is written so that it shows as typed.
    struct Edit {
        std::size_t begin = 0;
        std::size_t end = 0;
        std::u16string text;
    };
    std::string apply(const std::vector<Edit>& edits) const { return applied(edits).raw(); }
    // The same, read as the new text.
    VisibleText applied(const std::vector<Edit>& edits) const;

    const std::string& raw() const { return raw_; }
    // Whether the value holds anything but characters that show as they are written: when it
    // does not, plain() is the value itself.
    static bool holdsCodes(std::string_view raw, TextSyntax syntax);

private:
    enum class Kind : unsigned char { Code, Character, Stack, Measurement };
    struct Segment {
        std::size_t begin = 0;  // bytes of raw_
        std::size_t end = 0;
        Kind kind = Kind::Code;
    };
    void parse();
    std::size_t parseMultiLineCode(std::size_t pos);
    std::size_t parsePercentCode(std::size_t pos);
    std::size_t parseCaretCode(std::size_t pos);
    void character(std::size_t begin, std::size_t end, char32_t codePoint, Kind kind);
    void code(std::size_t begin, std::size_t end);
    std::string escape(std::u16string_view text, bool percentBefore, bool percentAfter) const;

    std::string raw_;
    TextSyntax syntax_;
    std::u16string plain_;
    std::string shown_;
    std::vector<Segment> segments_;
    std::vector<std::size_t> unitSegment_;  // for every plain unit, its segment
};

}  // namespace quorvel::dxf
