#include "batch/matching.h"

#include <optional>

#include "dxf/wildcard.h"
#include "engine/textutil.h"

namespace quorvel::batch {

namespace {

char32_t halfWidth(char32_t c) {
    if (c >= 0xFF01 && c <= 0xFF5E)
        return c - 0xFEE0;
    switch (c) {
        case 0x3000:
            return U' ';
        case 0xFFE0:
            return 0xA2;  // ¢
        case 0xFFE1:
            return 0xA3;  // £
        case 0xFFE2:
            return 0xAC;  // ¬
        case 0xFFE3:
            return 0xAF;  // ¯
        case 0xFFE4:
            return 0xA6;  // ¦
        case 0xFFE5:
            return 0xA5;  // ¥
        case 0xFFE6:
            return 0x20A9;  // ₩
        default:
            return c;
    }
}

// Latin letters only: basic, full-width and those of Latin-1. Greek and Cyrillic capitals stay
// apart from their small letters: drawings use them as distinct symbols (Φ, φ).
char32_t smallLatin(char32_t c) {
    const bool capital = (c >= U'A' && c <= U'Z') || (c >= 0xFF21 && c <= 0xFF3A) ||
                         (c >= 0xC0 && c <= 0xDE && c != 0xD7);
    return capital ? c + 32 : c;
}

char32_t foldWidth(char32_t c) {
    return halfWidth(c);
}
char32_t foldCase(char32_t c) {
    return smallLatin(c);
}
char32_t foldBoth(char32_t c) {
    return smallLatin(halfWidth(c));
}
char32_t foldNothing(char32_t c) {
    return c;
}

dxf::CodePointFold codePointFold(bool ignoreCase, bool widthInsensitive) {
    return ignoreCase && widthInsensitive ? foldBoth
           : ignoreCase                   ? foldCase
           : widthInsensitive             ? foldWidth
                                          : foldNothing;
}

}  // namespace

bool isWordUnit(char16_t c) {
    const char32_t half = halfWidth(c);
    return (half >= U'0' && half <= U'9') || (half >= U'A' && half <= U'Z') ||
           (half >= U'a' && half <= U'z') || half == U'_' ||
           (half >= 0xC0 && half <= 0xFF && half != 0xD7 && half != 0xF7);
}

Matcher::Matcher(const Options& options)
    : wholeText_(options.exact || options.wildcards),
      wildcards_(options.wildcards),
      ignoreCase_(options.ignoreCase),
      wholeWord_(options.wholeWord),
      widthInsensitive_(options.widthInsensitive) {
    for (const Pair& pair : options.pairs) {
        finds_.push_back(pair.find);
        if (wildcards_ && !patterns_.count(pair.find))
            patterns_.emplace(pair.find,
                              dxf::WildcardPattern(engine::toUtf8(pair.find),
                                                   codePointFold(ignoreCase_, widthInsensitive_)));
    }
}

const Matcher& Matcher::of(const Options& options) {
    thread_local std::optional<Matcher> made;
    const auto same = [&](const Matcher& matcher) {
        if (matcher.wildcards_ != options.wildcards || matcher.ignoreCase_ != options.ignoreCase ||
            matcher.wholeWord_ != options.wholeWord ||
            matcher.widthInsensitive_ != options.widthInsensitive ||
            matcher.wholeText_ != (options.exact || options.wildcards) ||
            matcher.finds_.size() != options.pairs.size())
            return false;
        for (std::size_t i = 0; i < options.pairs.size(); ++i) {
            if (matcher.finds_[i] != options.pairs[i].find)
                return false;
        }
        return true;
    };
    if (!made || !same(*made))
        made.emplace(options);
    return *made;
}

char16_t Matcher::fold(char16_t c) const {
    char32_t folded = c;
    if (widthInsensitive_)
        folded = halfWidth(folded);
    if (ignoreCase_)
        folded = smallLatin(folded);
    return static_cast<char16_t>(folded);
}

std::vector<MatchRange> Matcher::ranges(
    std::u16string_view text, std::u16string_view find,
    const std::function<bool(std::size_t, std::size_t)>& usable) const {
    std::vector<MatchRange> found;
    const auto accepted = [&](std::size_t begin, std::size_t end) {
        if (wholeWord_ && begin < end &&
            ((begin > 0 && isWordUnit(text[begin]) && isWordUnit(text[begin - 1])) ||
             (end < text.size() && isWordUnit(text[end - 1]) && isWordUnit(text[end]))))
            return false;
        return !usable || usable(begin, end);
    };
    if (wildcards_) {
        const std::string utf8 = engine::toUtf8(std::u16string(text));
        const auto pattern = patterns_.find(std::u16string(find));
        const bool matched =
            pattern != patterns_.end()
                ? pattern->second.matches(utf8)
                : dxf::wildcardMatch(utf8, engine::toUtf8(std::u16string(find)),
                                     codePointFold(ignoreCase_, widthInsensitive_));
        if (matched && accepted(0, text.size()))
            found.push_back({0, text.size()});
        return found;
    }
    const bool folding = ignoreCase_ || widthInsensitive_;
    std::u16string foldedText;
    std::u16string foldedFind;
    if (folding) {
        foldedText.reserve(text.size());
        for (const char16_t c : text)
            foldedText += fold(c);
        for (const char16_t c : find)
            foldedFind += fold(c);
        text = foldedText;
        find = foldedFind;
    }
    if (wholeText_) {
        if (text == find && accepted(0, text.size()))
            found.push_back({0, text.size()});
        return found;
    }
    for (std::size_t at = text.find(find); at != std::u16string_view::npos && !find.empty();) {
        if (accepted(at, at + find.size())) {
            found.push_back({at, at + find.size()});
            at = text.find(find, at + find.size());
        } else {
            at = text.find(find, at + 1);
        }
    }
    return found;
}

}  // namespace quorvel::batch
