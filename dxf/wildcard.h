#pragma once
// The CAD host's wildcard patterns, as selection filters use them:
//   *  any run of characters (also none)      ?  any one character
//   #  one digit       @  one letter       .  one character that is neither letter nor digit
//   [abc] [a-z]  one of the characters       [~abc]  one character not listed
//   `x  the character x itself              ,  separates alternatives
//   ~ at the start of the pattern: everything that the rest does not match
// Text and pattern are UTF-8 and compared by code point, letter case ignored.

#include <string_view>

namespace quorvel::dxf {

bool wildcardMatch(std::string_view text, std::string_view pattern);

}  // namespace quorvel::dxf
