// Layer filters and --wildcards finds come from what the user types: any pattern must be matched
// without a crash or a hang, and a text with every character escaped must match itself, also
// when characters are compared the caller's way.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "dxf/codepage.h"
#include "dxf/wildcard.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find('\0');
    const std::string_view text = input.substr(0, split);
    const std::string_view pattern =
        split == std::string_view::npos ? std::string_view() : input.substr(split + 1);
    (void)quorvel::dxf::wildcardMatch(text, pattern);

    if (!quorvel::dxf::wildcardMatch(text, "*"))
        std::abort();
    std::string escaped;
    std::size_t pos = 0;
    while (pos < text.size()) {
        escaped += '`';
        quorvel::dxf::appendUtf8(escaped, quorvel::dxf::nextCodePoint(text, pos));
    }
    // Malformed UTF-8 reads as U+FFFD on both sides, so the escaped form still matches.
    if (!quorvel::dxf::wildcardMatch(text, escaped))
        std::abort();
    // Folding both sides alike (here: every character to one) keeps that true.
    const quorvel::dxf::CodePointFold same = [](char32_t) -> char32_t { return U'x'; };
    if (!quorvel::dxf::wildcardMatch(text, escaped, same) ||
        !quorvel::dxf::wildcardMatch(text, escaped, [](char32_t c) { return c; }))
        std::abort();
    return 0;
}
