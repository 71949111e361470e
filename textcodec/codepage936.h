#pragma once
// Code page 936 (GBK), the 8-bit code page of the list file and the script file. Conversion never
// fails: what one side cannot hold is replaced, so a bad byte or an odd character never costs
// the rest of the text.

#include <string>
#include <string_view>

namespace quorvel::codepage {

// A character that GBK cannot hold (and a lone surrogate) becomes one "?".
std::string toCodePage936(std::u16string_view text);

// A byte sequence that does not decode becomes U+FFFD, one per undecodable byte.
std::u16string fromCodePage936(std::string_view bytes);

inline constexpr char16_t kReplacementCharacter = u'\uFFFD';

}  // namespace quorvel::codepage
