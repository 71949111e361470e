#pragma once
// Which texts of a drawing a run takes, and what it makes of them. Finds are matched on what a
// reader sees (dxf/visibletext.h), or with --raw on the text as stored.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "batch/options.h"
#include "dxf/textkinds.h"
#include "dxf/visibletext.h"

namespace quorvel::batch {

// Whether the kinds and the layer pattern of the options take this text (its value unread).
bool isChosen(const dxf::TextEntry& entry, const Options& options);

dxf::TextSyntax syntaxOf(const dxf::TextEntry& entry);

struct Substitution {
    std::string oldText;  // what a reader sees, UTF-8
    std::string newText;
    std::string newRaw;            // the new value as stored, codes included
    std::string newAttributeLine;  // multi-line attributes: their new group 1
    // A dimension: the new text of its picture, when it has one to follow the override.
    std::optional<std::string> newPictureRaw;
    // Not empty: the text matched but stays as it was, for this reason.
    std::string refused;
};

// Each pair's edits on the visible text as it was before them, for a text that must change
// alike (a dimension's picture); false refuses the change.
using EditFollower = std::function<bool(const dxf::VisibleText& before,
                                        const std::vector<dxf::VisibleText::Edit>& edits)>;

struct Rewritten {
    std::string raw;
    std::string oldShown;  // what a reader sees before and after
    std::string newShown;
};

// The pairs applied in order: each pair that matches (batch/matching.h) rewrites the text. Nothing
// when no pair matches or the follower refused.
std::optional<Rewritten> rewrite(std::string_view raw, dxf::TextSyntax syntax,
                                 const Options& options, const EditFollower& follow = {},
                                 bool* refused = nullptr);

// The new value of one text (its picture aside). Nothing when no pair matches.
std::optional<Substitution> substitute(const dxf::TextEntry& entry, const Options& options);

}  // namespace quorvel::batch
