#include "batch/substitution.h"

#include "cadhost/dxf/wildcard.h"
#include "engine/replacestr.h"
#include "engine/textutil.h"

namespace quorvel::batch {

using dxf::TextKind;

bool isChosen(const dxf::TextEntry& entry, const Options& options) {
    const bool inBlock = entry.space == dxf::Space::Block;
    // Anonymous blocks (dimension pictures, hatches, dynamic block copies) are the host's own.
    if (inBlock && (entry.block.empty() || entry.block[0] == '*'))
        return false;
    unsigned needed = 0;
    switch (entry.kind) {
        case TextKind::Text:
            needed = inBlock ? kKindBlockDef : kKindText;
            break;
        case TextKind::MText:
            needed = inBlock ? kKindBlockDef : kKindMText;
            break;
        case TextKind::Dimension:
            needed = inBlock ? kKindBlockDef : kKindDimension;
            break;
        case TextKind::Attribute:
        case TextKind::AttributeDefinition:
            needed = kKindAttrib;
            break;
    }
    if (!(options.kinds & needed))
        return false;
    return !options.layer || dxf::wildcardMatch(entry.layer, *options.layer);
}

namespace {

std::optional<Substitution> substitutePlain(const std::string& raw, const std::vector<Pair>& pairs,
                                            bool exact) {
    const std::u16string original = engine::fromUtf8(raw);
    std::u16string text = original;
    bool matched = false;
    for (const Pair& pair : pairs) {
        if (exact ? text == pair.find : text.find(pair.find) != std::u16string::npos) {
            text = exact ? pair.replace : engine::replaceStr(text, pair.find, pair.replace, false);
            matched = true;
        }
    }
    if (!matched)
        return std::nullopt;
    const std::string updated = engine::toUtf8(text);
    return Substitution{raw, updated, updated};
}

std::optional<Substitution> substituteMasked(const std::string& raw, bool dimension,
                                             const std::vector<Pair>& pairs, bool exact) {
    std::string current = raw;
    bool matched = false;
    const std::string oldText = engine::toUtf8(dxf::MaskedText(raw, dimension).plain());
    for (const Pair& pair : pairs) {
        const dxf::MaskedText masked(current, dimension);
        const std::u16string& plain = masked.plain();
        std::vector<dxf::MaskedText::Edit> edits;
        if (exact) {
            if (plain == pair.find)
                edits.push_back({0, plain.size(), pair.replace});
        } else {
            // Left to right, never overlapping: as replaceStr does on plain text.
            for (std::size_t at = plain.find(pair.find); at != std::u16string::npos;
                 at = plain.find(pair.find, at + pair.find.size())) {
                edits.push_back({at, at + pair.find.size(), pair.replace});
            }
        }
        if (edits.empty())
            continue;
        matched = true;
        current = masked.apply(edits);
    }
    if (!matched)
        return std::nullopt;
    return Substitution{oldText, engine::toUtf8(dxf::MaskedText(current, dimension).plain()),
                        current};
}

}  // namespace

std::optional<Substitution> substitute(const dxf::TextEntry& entry, const std::vector<Pair>& pairs,
                                       bool exact) {
    switch (entry.kind) {
        case TextKind::MText:
            return substituteMasked(entry.raw, false, pairs, exact);
        case TextKind::Dimension:
            return substituteMasked(entry.raw, true, pairs, exact);
        default:
            return substitutePlain(entry.raw, pairs, exact);
    }
}

}  // namespace quorvel::batch
