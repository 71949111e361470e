#include "textcodec/byteconverter.h"

#include <windows.h>

#include <cctype>
#include <cstring>
#include <utility>

namespace quorvel::textcodec {

namespace {

// The Windows code page of an iconv name; 0 when Windows has none.
UINT codePageOf(const char* name) {
    std::string upper(name);
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    static const std::pair<const char*, UINT> kNamed[] = {
        {"UTF-8", CP_UTF8},    {"GBK", 936},          {"JOHAB", 1361},       {"MACINTOSH", 10000},
        {"ISO-8859-1", 28591}, {"ISO-8859-2", 28592}, {"ISO-8859-3", 28593}, {"ISO-8859-4", 28594},
        {"ISO-8859-5", 28595}, {"ISO-8859-6", 28596}, {"ISO-8859-7", 28597}, {"ISO-8859-8", 28598},
        {"ISO-8859-9", 28599}, {"ISO-8859-10", 0},
    };
    for (const auto& [known, codePage] : kNamed) {
        if (upper == known)
            return codePage;
    }
    if (upper.rfind("CP", 0) == 0 && upper.size() > 2) {
        UINT number = 0;
        for (std::size_t i = 2; i < upper.size(); ++i) {
            if (!std::isdigit(static_cast<unsigned char>(upper[i])))
                return 0;
            number = number * 10 + static_cast<UINT>(upper[i] - '0');
        }
        return IsValidCodePage(number) ? number : 0;
    }
    return 0;
}

bool toWide(UINT codePage, std::string_view in, std::wstring& wide) {
    if (in.empty()) {
        wide.clear();
        return true;
    }
    const int length = static_cast<int>(in.size());
    const int needed =
        MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, in.data(), length, nullptr, 0);
    if (needed <= 0)
        return false;
    wide.resize(static_cast<std::size_t>(needed));
    return MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, in.data(), length, wide.data(),
                               needed) == needed;
}

bool fromWide(UINT codePage, std::wstring_view wide, std::string& out) {
    if (wide.empty())
        return true;
    const int length = static_cast<int>(wide.size());
    BOOL usedDefault = FALSE;
    const bool exact = codePage == CP_UTF8 || codePage == 54936;
    const DWORD flags = exact ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL* defaultUse = exact ? nullptr : &usedDefault;
    const int needed =
        WideCharToMultiByte(codePage, flags, wide.data(), length, nullptr, 0, nullptr, defaultUse);
    if (needed <= 0 || usedDefault)
        return false;
    const std::size_t start = out.size();
    out.resize(start + static_cast<std::size_t>(needed));
    WideCharToMultiByte(codePage, flags, wide.data(), length, out.data() + start, needed, nullptr,
                        nullptr);
    return true;
}

// Length in bytes of the character that starts at `pos` in a text of `codePage`.
std::size_t characterLength(UINT codePage, std::string_view in, std::size_t pos) {
    const auto byte = static_cast<unsigned char>(in[pos]);
    if (codePage == CP_UTF8) {
        const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
        return std::min(length, in.size() - pos);
    }
    return IsDBCSLeadByteEx(codePage, byte) && pos + 1 < in.size() ? 2 : 1;
}

}  // namespace

struct ByteConverter::State {
    UINT to;
    UINT from;

    bool convertWhole(std::string_view in, std::string& out) const {
        std::wstring wide;
        return toWide(from, in, wide) && fromWide(to, wide, out);
    }
};

ByteConverter::ByteConverter(const char* to, const char* from)
    : state_(std::make_unique<State>(State{codePageOf(to), codePageOf(from)})) {}

ByteConverter::~ByteConverter() = default;

bool ByteConverter::valid() const {
    return state_->to != 0 && state_->from != 0;
}

bool ByteConverter::convert(std::string_view in, std::string& out, std::size_t& consumed) const {
    if (state_->convertWhole(in, out)) {
        consumed = in.size();
        return true;
    }
    // Find the first character that does not convert; everything before it does.
    std::size_t pos = 0;
    while (pos < in.size()) {
        const std::size_t length = characterLength(state_->from, in, pos);
        if (!state_->convertWhole(in.substr(pos, length), out)) {
            consumed = pos;
            return false;
        }
        pos += length;
    }
    consumed = pos;
    return true;
}

}  // namespace quorvel::textcodec
