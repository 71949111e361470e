#pragma once
// UTF-8 and UTF-16, the one place that converts between them. Malformed input never fails:
// it becomes U+FFFD, one per byte that starts no valid sequence, one per unpaired surrogate.

#include <cstddef>
#include <string>
#include <string_view>

namespace quorvel::textcodec {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// Appends the UTF-8 form of a code point (surrogates and values past U+10FFFF become U+FFFD).
void appendUtf8(std::string& out, char32_t codePoint);

// Appends the UTF-16 form of a code point (one unit or a surrogate pair).
void appendUtf16(std::u16string& out, char32_t codePoint);

// Reads one code point from UTF-8 at `pos` and advances it; a malformed sequence gives U+FFFD
// and skips one byte.
char32_t nextCodePoint(std::string_view utf8, std::size_t& pos);

// Reads one code point from UTF-16 at `pos` and advances it; an unpaired surrogate gives U+FFFD.
char32_t nextCodePoint(std::u16string_view utf16, std::size_t& pos);

// True when every byte belongs to a well-formed UTF-8 sequence.
bool isValidUtf8(std::string_view bytes);

std::string toUtf8(std::u16string_view text);
std::u16string fromUtf8(std::string_view text);

}  // namespace quorvel::textcodec
