#include "dxf/visibletext.h"

#include <cctype>
#include <utility>

#include "dxf/codepage.h"
#include "dxf/drawing.h"

namespace quorvel::dxf {

namespace {

// Stands in plain() for a stack or the measured value; replaceable() keeps finds off it.
constexpr char32_t kPlaceholder = U'\uFFFC';

bool isPrintableAscii(char c) {
    return c >= 0x21 && c <= 0x7E;
}

}  // namespace

VisibleText::VisibleText(std::string_view raw, TextSyntax syntax) : raw_(raw), syntax_(syntax) {
    parse();
}

void VisibleText::character(std::size_t begin, std::size_t end, char32_t codePoint, Kind kind) {
    if (segments_.empty() || segments_.back().begin != begin)
        segments_.push_back({begin, end, kind});
    textcodec::appendUtf16(plain_, codePoint);
    unitSegment_.resize(plain_.size(), segments_.size() - 1);  // both units of a pair
    if (kind == Kind::Character)
        appendUtf8(shown_, codePoint);
}

void VisibleText::code(std::size_t begin, std::size_t end) {
    segments_.push_back({begin, end, Kind::Code});
}

void VisibleText::parse() {
    segments_.reserve(raw_.size());
    unitSegment_.reserve(raw_.size());
    plain_.reserve(raw_.size());
    shown_.reserve(raw_.size());
    const bool multiLine = syntax_ != TextSyntax::SingleLine;
    std::size_t pos = 0;
    while (pos < raw_.size()) {
        const char c = raw_[pos];
        if (multiLine && (c == '{' || c == '}')) {
            code(pos, pos + 1);
            ++pos;
        } else if (syntax_ == TextSyntax::Dimension && raw_.compare(pos, 2, "<>") == 0) {
            character(pos, pos + 2, kPlaceholder, Kind::Measurement);
            shown_ += "<>";
            pos += 2;
        } else if (multiLine && c == '\\' && pos + 1 < raw_.size()) {
            pos = parseMultiLineCode(pos);
        } else if (c == '%' && raw_.compare(pos, 2, "%%") == 0) {
            pos = parsePercentCode(pos);
        } else if (c == '^' && pos + 1 < raw_.size()) {
            pos = parseCaretCode(pos);
        } else {
            std::size_t next = pos;
            const char32_t codePoint = nextCodePoint(raw_, next);
            character(pos, next, codePoint, Kind::Character);
            pos = next;
        }
    }
}

std::size_t VisibleText::parseMultiLineCode(std::size_t pos) {
    const char next = raw_[pos + 1];
    const auto untilSemicolon = [&] {
        const std::size_t end = raw_.find(';', pos + 2);
        return end == std::string::npos ? raw_.size() : end + 1;
    };
    // One character for two: a line break, a space that does not break, an escaped character.
    static constexpr std::pair<char, char32_t> kShownAs[] = {
        {'P', U'\n'}, {'X', U'\n'}, {'~', U' '}, {'\\', U'\\'}, {'{', U'{'}, {'}', U'}'}};
    for (const auto& [letter, shown] : kShownAs) {
        if (next == letter) {
            character(pos, pos + 2, shown, Kind::Character);
            return pos + 2;
        }
    }
    switch (next) {
        case 'S': {
            const std::size_t end = untilSemicolon();
            character(pos, end, kPlaceholder, Kind::Stack);
            // Shown as "1/2" whatever the kind of stack, apart from a number before it.
            if (!shown_.empty() && std::isdigit(static_cast<unsigned char>(shown_.back())))
                shown_ += ' ';
            const std::size_t contentEnd = raw_[end - 1] == ';' ? end - 1 : end;
            for (std::size_t i = pos + 2; i < contentEnd; ++i) {
                const char s = raw_[i];
                if (s == '^' || s == '#')
                    shown_ += '/';
                else if (!(s == ' ' && raw_[i - 1] == '^'))
                    shown_ += s;
            }
            return end;
        }
        case 'f':
        case 'F':
        case 'H':
        case 'W':
        case 'Q':
        case 'T':
        case 'A':
        case 'C':
        case 'c':
        case 'p': {
            const std::size_t end = untilSemicolon();
            code(pos, end);
            return end;
        }
        default: {
            // \L \l \O \o \K \k \N and the like: the whole character after the backslash.
            std::size_t end = pos + 1;
            nextCodePoint(raw_, end);
            code(pos, end);
            return end;
        }
    }
}

std::size_t VisibleText::parsePercentCode(std::size_t pos) {
    if (pos + 2 >= raw_.size()) {
        // A bare "%%" at the end: two percent signs, replaced only together.
        character(pos, pos + 2, U'%', Kind::Character);
        character(pos, pos + 2, U'%', Kind::Character);
        return pos + 2;
    }
    const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(raw_[pos + 2])));
    // Degree, plus-minus, diameter and a percent sign; underline, overline and strike-through.
    static constexpr std::pair<char, char32_t> kShownAs[] = {
        {'d', U'\u00B0'}, {'p', U'\u00B1'}, {'c', U'\u2300'}, {'%', U'%'}};
    for (const auto& [key, shown] : kShownAs) {
        if (letter == key) {
            character(pos, pos + 3, shown, Kind::Character);
            return pos + 3;
        }
    }
    if (letter == 'u' || letter == 'o' || letter == 'k') {
        code(pos, pos + 3);
        return pos + 3;
    }
    if (std::isdigit(static_cast<unsigned char>(letter))) {
        std::size_t end = pos + 2;
        char32_t number = 0;
        while (end < raw_.size() && end < pos + 5 &&
               std::isdigit(static_cast<unsigned char>(raw_[end]))) {
            number = number * 10 + static_cast<char32_t>(raw_[end] - '0');
            ++end;
        }
        if (number < 0x20 || number == 0x7F)
            code(pos, end);
        else
            character(pos, end, number, Kind::Character);
        return end;
    }
    // An unknown "%%x" shows as it is written; it is replaced only as a whole.
    std::size_t end = pos + 2;
    const char32_t following = nextCodePoint(raw_, end);
    character(pos, end, U'%', Kind::Character);
    character(pos, end, U'%', Kind::Character);
    character(pos, end, following, Kind::Character);
    return end;
}

std::size_t VisibleText::parseCaretCode(std::size_t pos) {
    const char next = raw_[pos + 1];
    if (next == 'J') {
        character(pos, pos + 2, U'\n', Kind::Character);
    } else if (next == 'I') {
        character(pos, pos + 2, U'\t', Kind::Character);
    } else if (next == ' ') {
        character(pos, pos + 2, U'^', Kind::Character);
    } else if (isPrintableAscii(next)) {
        code(pos, pos + 2);  // a control character
    } else {
        // A caret before anything else shows as a caret, tied to what follows.
        std::size_t end = pos + 1;
        const char32_t following = nextCodePoint(raw_, end);
        character(pos, end, U'^', Kind::Character);
        character(pos, end, following, Kind::Character);
        return end;
    }
    return pos + 2;
}

bool VisibleText::replaceable(std::size_t begin, std::size_t end) const {
    if (begin >= end || end > plain_.size())
        return false;
    if (begin > 0 && unitSegment_[begin - 1] == unitSegment_[begin])
        return false;
    if (end < plain_.size() && unitSegment_[end - 1] == unitSegment_[end])
        return false;
    for (std::size_t unit = begin; unit < end; ++unit) {
        if (segments_[unitSegment_[unit]].kind != Kind::Character)
            return false;
    }
    return true;
}

bool VisibleText::isMeasurement(std::size_t unit) const {
    return unit < plain_.size() && segments_[unitSegment_[unit]].kind == Kind::Measurement;
}

bool VisibleText::isStack(std::size_t unit) const {
    return unit < plain_.size() && segments_[unitSegment_[unit]].kind == Kind::Stack;
}

std::string VisibleText::escape(std::u16string_view text, bool percentBefore,
                                bool percentAfter) const {
    const bool multiLine = syntax_ != TextSyntax::SingleLine;
    std::string out;
    for (std::size_t pos = 0; pos < text.size();) {
        const bool first = pos == 0;
        const char32_t codePoint = textcodec::nextCodePoint(text, pos);
        const bool last = pos == text.size();
        if (codePoint == U'%') {
            // A percent sign beside another would start a code: written as "%%%".
            const bool before = first ? percentBefore || (!out.empty() && out.back() == '%')
                                      : text[pos - 2] == u'%';
            const bool after = last ? percentAfter : text[pos] == u'%';
            out += before || after ? "%%%" : "%";
        } else if (codePoint == U'^') {
            out += "^ ";
        } else if (codePoint == U'\t') {
            out += "^I";
        } else if (multiLine && codePoint == U'\\') {
            out += "\\\\";
        } else if (multiLine && codePoint == U'{') {
            out += "\\{";
        } else if (multiLine && codePoint == U'}') {
            out += "\\}";
        } else if (multiLine && codePoint == U'\n') {
            out += "\\P";
        } else {
            appendUtf8(out, codePoint);
        }
    }
    return out;
}

bool VisibleText::holdsCodes(std::string_view raw, TextSyntax syntax) {
    const bool multiLine = syntax != TextSyntax::SingleLine;
    const bool dimension = syntax == TextSyntax::Dimension;
    for (const char c : raw) {
        if (c == '%' || c == '^' || (multiLine && (c == '\\' || c == '{' || c == '}')) ||
            (dimension && c == '<')) {
            return true;
        }
    }
    return false;
}

VisibleText VisibleText::applied(const std::vector<Edit>& edits) const {
    std::string out;
    std::u16string expected;  // what the result must read as
    std::size_t pos = 0;
    std::size_t unit = 0;
    for (const Edit& edit : edits) {
        if (edit.begin < unit || !replaceable(edit.begin, edit.end)) {
            throw DxfError(DxfError::Kind::InvalidArgument,
                           "替换的范围不能拆开代码、堆叠分数或测量值");
        }
        const std::size_t first = unitSegment_[edit.begin];
        const std::size_t last = unitSegment_[edit.end - 1];
        out.append(raw_, pos, segments_[first].begin - pos);
        expected.append(plain_, unit, edit.begin - unit);
        std::string kept;  // codes inside the range follow the new text
        for (std::size_t s = first; s <= last; ++s) {
            if (segments_[s].kind == Kind::Code)
                kept.append(raw_, segments_[s].begin, segments_[s].end - segments_[s].begin);
        }
        pos = segments_[last].end;
        const char following = !kept.empty() ? kept.front() : pos < raw_.size() ? raw_[pos] : 0;
        const bool percentBefore = !out.empty() && out.back() == '%';
        const std::string written = escape(edit.text, percentBefore, following == '%');
        out += written;
        out += kept;
        expected += VisibleText(written, syntax_).plain();
        unit = edit.end;
    }
    out.append(raw_, pos, std::string::npos);
    expected.append(plain_, unit, std::u16string::npos);
    VisibleText result(out, syntax_);
    if (result.plain() != expected) {
        throw DxfError(DxfError::Kind::InvalidArgument, "替换后的文字会改变其前后的代码");
    }
    return result;
}

}  // namespace quorvel::dxf
