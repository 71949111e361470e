#pragma once
// The CAD host's wildcard patterns, as selection filters use them:
//   *  any run of characters (also none)      ?  any one character
//   #  one digit       @  one letter       .  one character that is neither letter nor digit
//   [abc] [a-z]  one of the characters       [~abc]  one character not listed
//   `x  the character x itself              ,  separates alternatives
//   ~ at the start of the pattern: everything that the rest does not match
// Text and pattern are UTF-8 and compared by code point, letter case ignored (unless the caller
// folds characters its own way).

#include <memory>
#include <string_view>

namespace quorvel::dxf {

bool wildcardMatch(std::string_view text, std::string_view pattern);

// The same with the caller's notion of equal characters: both sides go through `fold`, the
// pattern's characters only where they stand for themselves (a folded "？" is no wildcard).
using CodePointFold = char32_t (*)(char32_t);
bool wildcardMatch(std::string_view text, std::string_view pattern, CodePointFold fold);

// A pattern read once, for matching many texts.
class WildcardPattern {
public:
    WildcardPattern(std::string_view pattern, CodePointFold fold);
    ~WildcardPattern();
    WildcardPattern(WildcardPattern&&) noexcept;
    WildcardPattern& operator=(WildcardPattern&&) noexcept;
    bool matches(std::string_view text) const;

private:
    struct Alternatives;
    std::unique_ptr<Alternatives> alternatives_;
    CodePointFold fold_;
    bool negated_ = false;
};

}  // namespace quorvel::dxf
