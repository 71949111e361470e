#pragma once
// Which texts of a drawing a run takes, and what it makes of them.

#include <optional>
#include <string>
#include <vector>

#include "batch/options.h"
#include "cadhost/dxf/textkinds.h"

namespace quorvel::batch {

// Whether the kinds and the layer pattern of the options take this text (its value unread).
bool isChosen(const dxf::TextEntry& entry, const Options& options);

struct Substitution {
    std::string oldText;  // what a reader sees, UTF-8 (formatting codes masked)
    std::string newText;
    std::string newRaw;  // the new value with its formatting codes
};

// The pairs applied in order to the text: each pair that matches (contained, or equal in exact
// mode) rewrites it. Nothing when no pair matches.
std::optional<Substitution> substitute(const dxf::TextEntry& entry, const std::vector<Pair>& pairs,
                                       bool exact);

}  // namespace quorvel::batch
