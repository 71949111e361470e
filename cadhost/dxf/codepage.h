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
// code pages of Asian drawings) by the characters they stand for. Input and output are UTF-8.
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

    // File bytes to UTF-8, escapes decoded. Bytes that do not decode become U+FFFD.
    std::string decode(std::string_view bytes) const;
    // UTF-8 to file bytes. What the code page cannot hold, and control characters that would
    // break the line structure, are written as "\U+XXXX".
    std::string encode(std::string_view utf8) const;

private:
    void encodeRun(const std::vector<char32_t>& run, std::string& out) const;
    std::string encoding_;
    bool utf8_;
    struct Converters;
    std::unique_ptr<Converters> converters_;
};

}  // namespace quorvel::dxf
