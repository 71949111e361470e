#include "dxf/codepage.h"

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

// A byte that does not decode stands for itself as one of 128 code points at the very end of
// the last private-use plane, which no code page decodes to; encode() writes the byte back, so
// the parts of a value that an edit leaves alone keep their bytes.
constexpr char32_t kRawByteBase = 0x10FF00;

char32_t rawByteCodePoint(char byte) {
    return kRawByteBase + static_cast<unsigned char>(byte);
}

bool isRawByteCodePoint(char32_t codePoint) {
    return codePoint >= kRawByteBase + 0x80 && codePoint <= kRawByteBase + 0xFF;
}

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

// Decodes bytes of a legacy code page with iconv; a byte that does not decode is kept as itself.
std::string decodeWith(const Iconv& toUtf8, std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 2);
    while (!bytes.empty()) {
        std::size_t consumed = 0;
        if (toUtf8.convert(bytes, out, consumed) || consumed >= bytes.size())
            break;
        appendUtf8(out, rawByteCodePoint(bytes[consumed]));
        bytes.remove_prefix(consumed + 1);
    }
    return out;
}

// UTF-8 file bytes: malformed bytes, and the code points that stand for raw bytes, are kept as
// raw bytes.
std::string decodeUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const std::size_t start = pos;
        const char32_t codePoint = nextCodePoint(bytes, pos);
        const bool malformed = codePoint == kReplacement && pos - start != 3;
        if (malformed || isRawByteCodePoint(codePoint)) {
            for (std::size_t i = start; i < pos; ++i)
                appendUtf8(out, rawByteCodePoint(bytes[i]));
        } else {
            appendUtf8(out, codePoint);
        }
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

namespace {

// "\U+XXXX" at pos (a surrogate pair as two escapes): the characters consumed, or 0 when the
// escape stands for no character this text may hold (a lone surrogate, a raw-byte code point),
// which then stays as it is written.
std::size_t decodeUnicodeEscape(std::string_view utf8, std::size_t pos, std::string& out) {
    const long unit = hex4(utf8, pos + 3);
    if (unit < 0 || (unit >= 0xDC00 && unit <= 0xDFFF))
        return 0;
    if (unit < 0xD800 || unit > 0xDBFF) {
        appendUtf8(out, static_cast<char32_t>(unit));
        return 7;
    }
    const std::size_t next = pos + 7;
    const bool pairFollows = next + 7 <= utf8.size() && utf8[next] == '\\' &&
                             (utf8[next + 1] == 'U' || utf8[next + 1] == 'u') &&
                             utf8[next + 2] == '+';
    const long low = pairFollows ? hex4(utf8, next + 3) : -1;
    if (low < 0xDC00 || low > 0xDFFF)
        return 0;
    const char32_t codePoint = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
    if (isRawByteCodePoint(codePoint))
        return 0;
    appendUtf8(out, codePoint);
    return 14;
}

// "\M+nXXXX" at pos: the characters consumed, or 0 when it does not decode.
std::size_t decodeMultiByteEscape(std::string_view utf8, std::size_t pos, std::string& out) {
    if (pos + 8 > utf8.size())
        return 0;
    const char* encoding = multiByteEncoding(utf8[pos + 3]);
    const long value = encoding ? hex4(utf8, pos + 4) : -1;
    if (value < 0)
        return 0;
    const char bytes[2] = {static_cast<char>(value >> 8), static_cast<char>(value & 0xFF)};
    Iconv toUtf8("UTF-8", encoding);
    std::string decoded;
    std::size_t consumed = 0;
    if (!toUtf8.valid() || !toUtf8.convert(std::string_view(bytes, 2), decoded, consumed))
        return 0;
    out += decoded;
    return 8;
}

}  // namespace

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
            std::size_t consumed = 0;
            if (kind == 'U')
                consumed = decodeUnicodeEscape(utf8, pos, out);
            else if (kind == 'M')
                consumed = decodeMultiByteEscape(utf8, pos, out);
            if (consumed > 0) {
                pos += consumed;
                continue;
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
    if (isAsciiWithoutControls(bytes))
        return decodeEscapes(bytes);
    if (utf8_)
        return decodeEscapes(decodeUtf8(bytes));
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
        } else if (isRawByteCodePoint(codePoint)) {
            out += static_cast<char>(codePoint - kRawByteBase);
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
                if (following < 0x80 || breaksLine(following) || isRawByteCodePoint(following))
                    break;
                run.push_back(following);
            }
            encodeRun(run, out);
        }
    }
    return out;
}

// The character at pos as one unit, or its bytes one by one where they do not decode.
void TextCodec::appendCodePointUnits(std::string_view bytes, std::size_t& pos,
                                     std::vector<Unit>& out) const {
    const std::size_t start = pos;
    std::string text;
    if (static_cast<unsigned char>(bytes[pos]) < 0x80) {
        text = bytes.substr(pos++, 1);
    } else if (utf8_) {
        const char32_t codePoint = nextCodePoint(bytes, pos);
        if (!(codePoint == kReplacement && pos - start != 3) && !isRawByteCodePoint(codePoint))
            appendUtf8(text, codePoint);
    } else {
        for (std::size_t length = 1; length <= 4 && start + length <= bytes.size(); ++length) {
            std::size_t consumed = 0;
            if (converters_->toUtf8.convert(bytes.substr(start, length), text, consumed) &&
                consumed == length && !text.empty()) {
                pos = start + length;
                break;
            }
            text.clear();
        }
    }
    if (!text.empty()) {
        out.push_back({start, pos, std::move(text)});
        return;
    }
    pos = std::max(pos, start + 1);
    for (std::size_t i = start; i < pos; ++i) {
        std::string raw;
        appendUtf8(raw, rawByteCodePoint(bytes[i]));
        out.push_back({i, i + 1, std::move(raw)});
    }
}

std::vector<TextCodec::Unit> TextCodec::units(std::string_view bytes) const {
    std::vector<Unit> characters;
    for (std::size_t pos = 0; pos < bytes.size();)
        appendCodePointUnits(bytes, pos, characters);
    // An escape, read from the decoded characters as decodeEscapes() reads it, is one unit.
    std::vector<Unit> units;
    for (std::size_t i = 0; i < characters.size();) {
        std::string ahead;
        for (std::size_t j = i; j < characters.size() && j < i + 14; ++j) {
            const std::string& text = characters[j].text;
            if (text.size() != 1 || static_cast<unsigned char>(text[0]) >= 0x80)
                break;
            ahead += text;
        }
        std::string decoded;
        std::size_t length = 0;
        if (ahead.size() > 2 && ahead[0] == '\\' && ahead[2] == '+') {
            if (ahead[1] == 'U' || ahead[1] == 'u')
                length = decodeUnicodeEscape(ahead, 0, decoded);
            else if (ahead[1] == 'M' || ahead[1] == 'm')
                length = decodeMultiByteEscape(ahead, 0, decoded);
        }
        if (length > 0) {
            units.push_back({characters[i].begin, characters[i + length - 1].end, decoded});
            i += length;
        } else {
            units.push_back(std::move(characters[i++]));
        }
    }
    return units;
}

std::string TextCodec::encodeReplacing(std::string_view original, std::string_view utf8) const {
    // Where the old value reads back from its own encoding, every character keeps its bytes.
    const std::string oldText = decode(original);
    if (encode(oldText) == original)
        return encode(utf8);
    const std::vector<Unit> old = units(original);
    std::string joined;
    for (const Unit& unit : old)
        joined += unit.text;
    if (joined != oldText)
        return encode(utf8);
    // The same characters at the start and at the end keep their bytes; the rest is encoded.
    std::size_t front = 0;
    std::size_t kept = 0;
    while (kept < old.size() && utf8.substr(front, old[kept].text.size()) == old[kept].text)
        front += old[kept++].text.size();
    std::size_t back = utf8.size();
    std::size_t tail = old.size();
    while (tail > kept && back - front >= old[tail - 1].text.size() &&
           utf8.substr(back - old[tail - 1].text.size(), old[tail - 1].text.size()) ==
               old[tail - 1].text) {
        back -= old[--tail].text.size();
    }
    const std::size_t headEnd = kept > 0 ? old[kept - 1].end : 0;
    const std::size_t tailBegin = tail < old.size() ? old[tail].begin : original.size();
    return std::string(original.substr(0, headEnd)) + encode(utf8.substr(front, back - front)) +
           std::string(original.substr(tailBegin));
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
