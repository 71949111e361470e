#include "cadhost/dxf/codepage.h"

#include "textcodec/byteconverter.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <stdexcept>
#include <utility>

namespace quorvel::dxf {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

std::string upperAscii(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return upper;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Four hex digits at `pos`, or -1.
long hex4(std::string_view text, std::size_t pos) {
    if (pos + 4 > text.size())
        return -1;
    long value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        const int digit = hexValue(text[pos + i]);
        if (digit < 0)
            return -1;
        value = value * 16 + digit;
    }
    return value;
}

// Byte conversion of the platform (iconv or the Windows API).
using Iconv = textcodec::ByteConverter;

// Decodes bytes of a legacy code page with iconv, replacing what does not decode.
std::string decodeWith(const Iconv& toUtf8, std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 2);
    while (!bytes.empty()) {
        std::size_t consumed = 0;
        if (toUtf8.convert(bytes, out, consumed))
            break;
        appendUtf8(out, kReplacement);
        bytes.remove_prefix(std::min(bytes.size(), consumed + 1));
    }
    return out;
}

// The code pages that "\M+n" escapes name.
const char* multiByteEncoding(char digit) {
    switch (digit) {
        case '1':
            return "CP932";
        case '2':
            return "CP950";
        case '3':
            return "CP949";
        case '4':
            return "JOHAB";
        case '5':
            return "GBK";
        default:
            return nullptr;
    }
}

bool isAsciiWithoutControls(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte >= 0x20 && byte < 0x80;
    });
}

void appendEscape(std::string& out, char32_t unit) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    out += "\\U+";
    for (int shift = 12; shift >= 0; shift -= 4) {
        out += kHex[(unit >> shift) & 0xF];
    }
}

void appendEscapedCodePoint(std::string& out, char32_t codePoint) {
    if (codePoint >= 0x10000) {
        const char32_t offset = codePoint - 0x10000;
        appendEscape(out, 0xD800 + (offset >> 10));
        appendEscape(out, 0xDC00 + (offset & 0x3FF));
    } else {
        appendEscape(out, codePoint);
    }
}

// Characters that cannot stand in a DXF value line as they are.
bool breaksLine(char32_t codePoint) {
    return codePoint < 0x20 && codePoint != '\t';
}

}  // namespace

std::string iconvNameForCodePage(std::string_view dwgCodePage) {
    static const std::pair<const char*, const char*> kNames[] = {
        {"ANSI_936", "GBK"},         {"GB2312", "GBK"},
        {"DOS936", "GBK"},           {"ANSI_932", "CP932"},
        {"DOS932", "CP932"},         {"ANSI_949", "CP949"},
        {"KSC5601", "CP949"},        {"DOS949", "CP949"},
        {"ANSI_950", "CP950"},       {"BIG5", "CP950"},
        {"DOS950", "CP950"},         {"ANSI_1361", "JOHAB"},
        {"JOHAB", "JOHAB"},          {"ANSI_874", "CP874"},
        {"DOS874", "CP874"},         {"ANSI_1250", "CP1250"},
        {"ANSI_1251", "CP1251"},     {"ANSI_1252", "CP1252"},
        {"ANSI_1253", "CP1253"},     {"ANSI_1254", "CP1254"},
        {"ANSI_1255", "CP1255"},     {"ANSI_1256", "CP1256"},
        {"ANSI_1257", "CP1257"},     {"ANSI_1258", "CP1258"},
        {"DOS437", "CP437"},         {"DOS850", "CP850"},
        {"DOS852", "CP852"},         {"DOS855", "CP855"},
        {"DOS857", "CP857"},         {"DOS860", "CP860"},
        {"DOS861", "CP861"},         {"DOS863", "CP863"},
        {"DOS864", "CP864"},         {"DOS865", "CP865"},
        {"DOS866", "CP866"},         {"DOS869", "CP869"},
        {"ISO8859-1", "ISO-8859-1"}, {"ISO8859-2", "ISO-8859-2"},
        {"ISO8859-3", "ISO-8859-3"}, {"ISO8859-4", "ISO-8859-4"},
        {"ISO8859-5", "ISO-8859-5"}, {"ISO8859-6", "ISO-8859-6"},
        {"ISO8859-7", "ISO-8859-7"}, {"ISO8859-8", "ISO-8859-8"},
        {"ISO8859-9", "ISO-8859-9"}, {"ISO8859-10", "ISO-8859-10"},
        {"MACINTOSH", "MACINTOSH"},  {"UTF-8", "UTF-8"},
        {"UTF8", "UTF-8"},
    };
    std::string_view trimmed = dwgCodePage;
    while (!trimmed.empty() && std::isspace(static_cast<unsigned char>(trimmed.front()))) {
        trimmed.remove_prefix(1);
    }
    while (!trimmed.empty() && std::isspace(static_cast<unsigned char>(trimmed.back()))) {
        trimmed.remove_suffix(1);
    }
    const std::string upper = upperAscii(trimmed);
    for (const auto& [name, iconvName] : kNames) {
        if (upper == name)
            return iconvName;
    }
    return "CP1252";
}

std::string decodeEscapes(std::string_view utf8) {
    if (utf8.find('\\') == std::string_view::npos)
        return std::string(utf8);
    std::string out;
    out.reserve(utf8.size());
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const char c = utf8[pos];
        if (c == '\\' && pos + 2 < utf8.size() && utf8[pos + 2] == '+') {
            const char kind =
                static_cast<char>(std::toupper(static_cast<unsigned char>(utf8[pos + 1])));
            if (kind == 'U') {
                const long unit = hex4(utf8, pos + 3);
                if (unit >= 0) {
                    pos += 7;
                    char32_t codePoint = static_cast<char32_t>(unit);
                    if (unit >= 0xD800 && unit <= 0xDBFF) {
                        const bool pairFollows = pos + 7 <= utf8.size() && utf8[pos] == '\\' &&
                                                 (utf8[pos + 1] == 'U' || utf8[pos + 1] == 'u') &&
                                                 utf8[pos + 2] == '+';
                        const long low = pairFollows ? hex4(utf8, pos + 3) : -1;
                        if (low >= 0xDC00 && low <= 0xDFFF) {
                            codePoint = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                            pos += 7;
                        } else {
                            codePoint = kReplacement;
                        }
                    }
                    appendUtf8(out, codePoint);
                    continue;
                }
            } else if (kind == 'M' && pos + 8 <= utf8.size()) {
                const char* encoding = multiByteEncoding(utf8[pos + 3]);
                const long value = encoding ? hex4(utf8, pos + 4) : -1;
                if (value >= 0) {
                    const char bytes[2] = {static_cast<char>(value >> 8),
                                           static_cast<char>(value & 0xFF)};
                    Iconv toUtf8("UTF-8", encoding);
                    std::string decoded;
                    std::size_t consumed = 0;
                    if (toUtf8.valid() &&
                        toUtf8.convert(std::string_view(bytes, 2), decoded, consumed)) {
                        out += decoded;
                    } else {
                        appendUtf8(out, kReplacement);
                    }
                    pos += 8;
                    continue;
                }
            }
        }
        out += c;
        ++pos;
    }
    return out;
}

struct TextCodec::Converters {
    Iconv toUtf8;
    Iconv fromUtf8;
    Converters(const std::string& encoding)
        : toUtf8("UTF-8", encoding.c_str()), fromUtf8(encoding.c_str(), "UTF-8") {}
};

TextCodec::TextCodec(std::string encoding) : encoding_(std::move(encoding)) {
    utf8_ = encoding_ == "UTF-8";
    if (!utf8_) {
        converters_ = std::make_unique<Converters>(encoding_);
        if (!converters_->toUtf8.valid() || !converters_->fromUtf8.valid()) {
            // Without a converter the drawing is read as Windows-1252, which every byte decodes in.
            encoding_ = "CP1252";
            converters_ = std::make_unique<Converters>(encoding_);
        }
    }
}

TextCodec::~TextCodec() = default;

std::string TextCodec::decode(std::string_view bytes) const {
    if (utf8_ || isAsciiWithoutControls(bytes)) {
        if (!utf8_)
            return decodeEscapes(bytes);
        // Repair malformed UTF-8 so that callers always get valid text.
        std::string clean;
        clean.reserve(bytes.size());
        std::size_t pos = 0;
        while (pos < bytes.size())
            appendUtf8(clean, nextCodePoint(bytes, pos));
        return decodeEscapes(clean);
    }
    return decodeEscapes(decodeWith(converters_->toUtf8, bytes));
}

std::string TextCodec::encode(std::string_view utf8) const {
    std::string out;
    out.reserve(utf8.size());
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const char32_t codePoint = nextCodePoint(utf8, pos);
        if (breaksLine(codePoint)) {
            appendEscapedCodePoint(out, codePoint);
        } else if (codePoint < 0x80) {
            out += static_cast<char>(codePoint);
        } else if (utf8_) {
            appendUtf8(out, codePoint);
        } else {
            // A run of characters outside ASCII converts in one go; only a run the code page
            // cannot hold all of goes character by character.
            std::vector<char32_t> run{codePoint};
            for (std::size_t next = pos; next < utf8.size(); pos = next) {
                const char32_t following = nextCodePoint(utf8, next);
                if (following < 0x80 || breaksLine(following))
                    break;
                run.push_back(following);
            }
            encodeRun(run, out);
        }
    }
    return out;
}

void TextCodec::encodeRun(const std::vector<char32_t>& run, std::string& out) const {
    const auto convert = [&](const std::string& piece) {
        std::string converted;
        std::size_t consumed = 0;
        if (!converters_->fromUtf8.convert(piece, converted, consumed))
            return false;
        out += converted;
        return true;
    };
    std::string piece;
    for (const char32_t codePoint : run)
        appendUtf8(piece, codePoint);  // malformed input was mapped to U+FFFD already
    if (run.size() > 1 && convert(piece))
        return;
    for (const char32_t codePoint : run) {
        piece.clear();
        appendUtf8(piece, codePoint);
        if (!convert(piece))
            appendEscapedCodePoint(out, codePoint);
    }
}

}  // namespace quorvel::dxf
