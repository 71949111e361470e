#pragma once
// How a find text is matched in a text: as a contained run (the default), the whole text
// (--exact), a wildcard pattern over the whole text (--wildcards, the syntax of --layer), with
// letter case (--ignore-case, Latin letters) and character width (--width-insensitive: full-width
// forms, the ideographic space) ignored, and only as a whole word (--whole-word: a run of Latin
// letters, digits and "_" is a word; every other character, a Chinese one too, stands alone).

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "batch/options.h"
#include "dxf/wildcard.h"

namespace quorvel::batch {

struct MatchRange {
    std::size_t begin = 0;
    std::size_t end = 0;
};

class Matcher {
public:
    explicit Matcher(const Options& options);
    // A matcher for these options, made once per thread while they stay the same: wildcard
    // patterns are read once, not for every text. Valid until this thread asks for other options.
    static const Matcher& of(const Options& options);

    // Where `find` matches `text` (UTF-16 units), left to right and never overlapping; `usable`
    // may turn a place down, and the search goes on one unit further.
    std::vector<MatchRange> ranges(
        std::u16string_view text, std::u16string_view find,
        const std::function<bool(std::size_t, std::size_t)>& usable = {}) const;

private:
    // The character as the options compare it.
    char16_t fold(char16_t c) const;

    bool wholeText_;  // --exact or --wildcards
    bool wildcards_;
    bool ignoreCase_;
    bool wholeWord_;
    bool widthInsensitive_;
    std::vector<std::u16string> finds_;
    std::map<std::u16string, dxf::WildcardPattern> patterns_;  // by find, with --wildcards
};

// Whether a unit belongs to a word for --whole-word.
bool isWordUnit(char16_t c);

}  // namespace quorvel::batch
