#include "dxf/wildcard.h"

#include <algorithm>
#include <cstddef>
#include <vector>

#include "dxf/codepage.h"

namespace quorvel::dxf {

namespace {

char32_t foldCase(char32_t c) {
    if (c < 0x80)
        return (c >= 'A' && c <= 'Z') ? c + 32 : c;
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3AB && c != 0x3A2) ||
        (c >= 0x410 && c <= 0x42F) || (c >= 0xFF21 && c <= 0xFF3A)) {
        return c + 32;
    }
    if (c >= 0x400 && c <= 0x40F)
        return c + 0x50;
    if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149 &&
        c != 0x17F) {
        // Latin Extended-A pairs capitals and small letters; the run 0x139..0x148 and
        // 0x179..0x17E put the capital on the odd code point.
        const bool oddCapitals = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if (oddCapitals)
            return (c % 2 == 1) ? c + 1 : c;
        return (c % 2 == 0) ? c + 1 : c;
    }
    return c;
}

bool isDigit(char32_t c) {
    return (c >= '0' && c <= '9') || (c >= 0xFF10 && c <= 0xFF19);
}

bool isLetter(char32_t c) {
    if (c < 0x80)
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (c < 0xC0 || c == 0xD7 || c == 0xF7)
        return false;
    const bool punctuation = (c >= 0x2000 && c <= 0x2BFF) || (c >= 0x3000 && c <= 0x303F) ||
                             (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF20) ||
                             (c >= 0xFF3B && c <= 0xFF40) || (c >= 0xFF5B && c <= 0xFF65) ||
                             c == 0xFFFD;
    return !punctuation && !isDigit(c);
}

struct Token {
    enum class Kind { Literal, AnyOne, Digit, Letter, NonAlphanumeric, Set, Star } kind;
    char32_t literal = 0;
    bool negated = false;
    std::vector<std::pair<char32_t, char32_t>> ranges;  // folded, inclusive

    bool matches(char32_t c) const {
        switch (kind) {
            case Kind::Literal:
                return c == literal;
            case Kind::AnyOne:
                return true;
            case Kind::Digit:
                return isDigit(c);
            case Kind::Letter:
                return isLetter(c);
            case Kind::NonAlphanumeric:
                return !isDigit(c) && !isLetter(c);
            case Kind::Set: {
                bool inSet = false;
                for (const auto& [low, high] : ranges) {
                    if (c >= low && c <= high) {
                        inSet = true;
                        break;
                    }
                }
                return inSet != negated;
            }
            case Kind::Star:
                return false;
        }
        return false;
    }
};

std::vector<char32_t> codePoints(std::string_view utf8, CodePointFold fold) {
    std::vector<char32_t> out;
    out.reserve(utf8.size());
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const char32_t c = nextCodePoint(utf8, pos);
        out.push_back(fold ? fold(c) : c);
    }
    return out;
}

// Reads a bracket expression starting after '['; returns false (and leaves pos) when unclosed.
bool readSet(const std::vector<char32_t>& pattern, std::size_t& pos, Token& token,
             CodePointFold fold) {
    std::size_t i = pos;
    token.kind = Token::Kind::Set;
    if (i < pattern.size() && pattern[i] == U'~') {
        token.negated = true;
        ++i;
    }
    bool first = true;
    while (i < pattern.size()) {
        char32_t c = pattern[i];
        if (c == U']' && !first) {
            pos = i + 1;
            return true;
        }
        first = false;
        if (c == U'`' && i + 1 < pattern.size())
            c = pattern[++i];
        ++i;
        char32_t high = c;
        if (i + 1 < pattern.size() && pattern[i] == U'-' && pattern[i + 1] != U']') {
            high = pattern[i + 1];
            if (high == U'`' && i + 2 < pattern.size()) {
                high = pattern[i + 2];
                ++i;
            }
            i += 2;
        }
        c = fold(c);
        high = fold(high);
        token.ranges.emplace_back(c, high < c ? c : high);
    }
    return false;
}

std::vector<Token> tokenize(const std::vector<char32_t>& pattern, std::size_t begin,
                            std::size_t end, CodePointFold fold) {
    std::vector<Token> tokens;
    const std::vector<char32_t> slice(pattern.begin() + static_cast<std::ptrdiff_t>(begin),
                                      pattern.begin() + static_cast<std::ptrdiff_t>(end));
    std::size_t pos = 0;
    while (pos < slice.size()) {
        const char32_t c = slice[pos++];
        Token token{Token::Kind::Literal, fold(c), false, {}};
        switch (c) {
            case U'*':
                if (!tokens.empty() && tokens.back().kind == Token::Kind::Star)
                    continue;
                token.kind = Token::Kind::Star;
                break;
            case U'?':
                token.kind = Token::Kind::AnyOne;
                break;
            case U'#':
                token.kind = Token::Kind::Digit;
                break;
            case U'@':
                token.kind = Token::Kind::Letter;
                break;
            case U'.':
                token.kind = Token::Kind::NonAlphanumeric;
                break;
            case U'`':
                if (pos < slice.size())
                    token.literal = fold(slice[pos++]);
                break;
            case U'[': {
                Token set{Token::Kind::Set, 0, false, {}};
                std::size_t after = pos;
                if (readSet(slice, after, set, fold)) {
                    pos = after;
                    token = std::move(set);
                }
                break;
            }
            default:
                break;
        }
        tokens.push_back(std::move(token));
    }
    return tokens;
}

// Star matching by backtracking to the last star only: every other token takes one character.
bool matchTokens(const std::vector<Token>& tokens, const std::vector<char32_t>& text) {
    std::size_t t = 0;
    std::size_t p = 0;
    std::size_t starToken = std::string_view::npos;
    std::size_t starText = 0;
    while (t < text.size()) {
        if (p < tokens.size() && tokens[p].kind == Token::Kind::Star) {
            starToken = p++;
            starText = t;
        } else if (p < tokens.size() && tokens[p].matches(text[t])) {
            ++p;
            ++t;
        } else if (starToken != std::string_view::npos) {
            p = starToken + 1;
            t = ++starText;
        } else {
            return false;
        }
    }
    while (p < tokens.size() && tokens[p].kind == Token::Kind::Star)
        ++p;
    return p == tokens.size();
}

}  // namespace

struct WildcardPattern::Alternatives {
    std::vector<std::vector<Token>> tokens;
};

WildcardPattern::WildcardPattern(std::string_view pattern, CodePointFold fold)
    : alternatives_(std::make_unique<Alternatives>()), fold_(fold) {
    const std::vector<char32_t> patternPoints = codePoints(pattern, nullptr);
    std::size_t begin = 0;
    if (!patternPoints.empty() && patternPoints.front() == U'~') {
        negated_ = true;
        begin = 1;
    }
    // Split at commas that are neither escaped nor inside brackets.
    std::size_t start = begin;
    std::size_t i = begin;
    while (true) {
        const bool atEnd = i >= patternPoints.size();
        if (atEnd || patternPoints[i] == U',') {
            // A backquote ending the pattern steps past its end.
            const std::size_t end = std::min(i, patternPoints.size());
            alternatives_->tokens.push_back(tokenize(patternPoints, start, end, fold));
            if (atEnd)
                break;
            start = i + 1;
        } else if (patternPoints[i] == U'`') {
            ++i;
        } else if (patternPoints[i] == U'[') {
            // A comma inside a closed bracket expression is one of its characters.
            Token set{Token::Kind::Set, 0, false, {}};
            std::size_t after = i + 1;
            if (readSet(patternPoints, after, set, fold)) {
                i = after;
                continue;
            }
        }
        ++i;
    }
}

WildcardPattern::~WildcardPattern() = default;
WildcardPattern::WildcardPattern(WildcardPattern&&) noexcept = default;
WildcardPattern& WildcardPattern::operator=(WildcardPattern&&) noexcept = default;

bool WildcardPattern::matches(std::string_view text) const {
    const std::vector<char32_t> folded = codePoints(text, fold_);
    bool matched = false;
    for (const std::vector<Token>& tokens : alternatives_->tokens) {
        if (matchTokens(tokens, folded)) {
            matched = true;
            break;
        }
    }
    return matched != negated_;
}

bool wildcardMatch(std::string_view text, std::string_view pattern) {
    return WildcardPattern(pattern, foldCase).matches(text);
}

bool wildcardMatch(std::string_view text, std::string_view pattern, CodePointFold fold) {
    return WildcardPattern(pattern, fold).matches(text);
}

}  // namespace quorvel::dxf
