#include <windows.h>

#include "platform/codepage/codepage936.h"

namespace quorvel::codepage {

namespace {

constexpr UINT kCodePage936 = 936;

// Converts the whole text or nothing; false when some character has no GBK form.
bool encodeExactly(std::u16string_view text, std::string& out) {
    if (text.empty()) {
        return true;
    }
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int length = static_cast<int>(text.size());
    BOOL usedDefault = FALSE;
    const int needed = WideCharToMultiByte(kCodePage936, WC_NO_BEST_FIT_CHARS, wide, length,
                                           nullptr, 0, nullptr, &usedDefault);
    if (needed <= 0 || usedDefault) {
        return false;
    }
    const std::size_t start = out.size();
    out.resize(start + static_cast<std::size_t>(needed));
    WideCharToMultiByte(kCodePage936, WC_NO_BEST_FIT_CHARS, wide, length, out.data() + start,
                        needed, nullptr, nullptr);
    return true;
}

bool decodeExactly(std::string_view bytes, std::u16string& out) {
    if (bytes.empty()) {
        return true;
    }
    const int length = static_cast<int>(bytes.size());
    const int needed =
        MultiByteToWideChar(kCodePage936, MB_ERR_INVALID_CHARS, bytes.data(), length, nullptr, 0);
    if (needed <= 0) {
        return false;
    }
    const std::size_t start = out.size();
    out.resize(start + static_cast<std::size_t>(needed));
    MultiByteToWideChar(kCodePage936, MB_ERR_INVALID_CHARS, bytes.data(), length,
                        reinterpret_cast<wchar_t*>(out.data() + start), needed);
    return true;
}

bool isHighSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool isLowSurrogate(char16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

}  // namespace

std::string toCodePage936(std::u16string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    if (encodeExactly(text, out)) {
        return out;
    }
    // Character by character, so that only what GBK lacks becomes "?".
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t length = 1;
        if (isHighSurrogate(text[pos]) && pos + 1 < text.size() && isLowSurrogate(text[pos + 1])) {
            length = 2;
        }
        if (!encodeExactly(text.substr(pos, length), out)) {
            out.push_back('?');
        }
        pos += length;
    }
    return out;
}

std::u16string fromCodePage936(std::string_view bytes) {
    std::u16string text;
    text.reserve(bytes.size());
    if (decodeExactly(bytes, text)) {
        return text;
    }
    // One replacement per byte that does not start a valid character, then go on.
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[pos]);
        const std::size_t length = IsDBCSLeadByteEx(kCodePage936, lead) ? 2 : 1;
        if (pos + length <= bytes.size() && decodeExactly(bytes.substr(pos, length), text)) {
            pos += length;
        } else {
            text.push_back(kReplacementCharacter);
            ++pos;
        }
    }
    return text;
}

}  // namespace quorvel::codepage
