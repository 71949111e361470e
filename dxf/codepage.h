#pragma once
// Text encoding of a drawing: the bytes of a DXF string value to UTF-8 and back.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "textcodec/utf.h"

namespace quorvel::dxf {

// The iconv name for a $DWGCODEPAGE value ("ANSI_936" -> "GBK"); unknown names give "CP1252",
// the code page CAD hosts assume when a drawing names none.
std::string iconvNameForCodePage(std::string_view dwgCodePage);

using textcodec::appendUtf8;
using textcodec::nextCodePoint;

// Replaces "\U+XXXX" (either hex case, surrogate pairs joined) and "\M+nXXXX" (the double-byte
// code pages of Asian drawings) by the characters they stand for. Input and output are UTF-8. An
// escape that stands for no character (a lone surrogate, say) stays as it is written.
std::string decodeEscapes(std::string_view utf8);

class TextCodec {
public:
    // "UTF-8" or an iconv name.
    explicit TextCodec(std::string encoding);
    ~TextCodec();
    TextCodec(const TextCodec&) = delete;
    TextCodec& operator=(const TextCodec&) = delete;

    const std::string& encoding() const { return encoding_; }
    bool isUtf8() const { return utf8_; }

    // File bytes to UTF-8, escapes decoded. A byte that does not decode (0x80 to 0xFF) becomes
    // the private-use code point U+10FF00 + byte, which encode() turns back into that byte: text
    // keeps its bytes through decode and encode wherever an edit did not touch it.
    std::string decode(std::string_view bytes) const;
    // UTF-8 to file bytes. What the code page cannot hold, and control characters that would
    // break the line structure, are written as "\U+XXXX"; U+10FF80 to U+10FFFF as raw bytes.
    std::string encode(std::string_view utf8) const;
    // encode(utf8) for a value that replaces `original` (file bytes): where the new text begins
    // and ends as the old one did, those parts keep their bytes even where encode() would write
    // them otherwise ("\M+5D6D0", lower-case "\u+", a raw control character).
    std::string encodeReplacing(std::string_view original, std::string_view utf8) const;

private:
    // One character of a value as read: its bytes [begin, end) and what they decode to.
    struct Unit {
        std::size_t begin = 0;
        std::size_t end = 0;
        std::string text;
    };
    std::vector<Unit> units(std::string_view bytes) const;
    void appendCodePointUnits(std::string_view bytes, std::size_t& pos,
                              std::vector<Unit>& out) const;

    void encodeRun(const std::vector<char32_t>& run, std::string& out) const;
    std::string encoding_;
    bool utf8_;
    struct Converters;
    std::unique_ptr<Converters> converters_;
};

}  // namespace quorvel::dxf
