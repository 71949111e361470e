#include "batch/substitution.h"

#include <algorithm>

#include "batch/matching.h"
#include "dxf/wildcard.h"
#include "engine/textutil.h"

namespace quorvel::batch {

using dxf::TextKind;
using dxf::TextSyntax;
using dxf::VisibleText;

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
        case TextKind::TableCell:
            needed = inBlock ? kKindBlockDef : kKindTable;
            break;
        case TextKind::MLeader:
            needed = inBlock ? kKindBlockDef : kKindMLeader;
            break;
    }
    if (!(options.kinds & needed))
        return false;
    return !options.layer || dxf::wildcardMatch(entry.layer, *options.layer);
}

TextSyntax syntaxOf(const dxf::TextEntry& entry) {
    // Table cells and multileaders hold multi-line text, codes and all.
    if (entry.kind == TextKind::MText || entry.multiLineAttribute ||
        entry.kind == TextKind::TableCell || entry.kind == TextKind::MLeader)
        return TextSyntax::MultiLine;
    if (entry.kind == TextKind::Dimension)
        return TextSyntax::Dimension;
    return TextSyntax::SingleLine;
}

namespace {

std::u16string replaced(const std::u16string& text, const std::vector<MatchRange>& ranges,
                        const std::u16string& replacement) {
    std::u16string out;
    std::size_t copied = 0;
    for (const MatchRange& range : ranges) {
        out.append(text, copied, range.begin - copied);
        out += replacement;
        copied = range.end;
    }
    return out.append(text, copied);
}

std::optional<std::string> rewriteStored(std::string_view raw, const Options& options) {
    const Matcher& matcher = Matcher::of(options);
    std::u16string text = engine::fromUtf8(std::string(raw));
    bool matched = false;
    for (const Pair& pair : options.pairs) {
        const std::vector<MatchRange> ranges = matcher.ranges(text, pair.find);
        if (!ranges.empty()) {
            text = replaced(text, ranges, pair.replace);
            matched = true;
        }
    }
    if (!matched)
        return std::nullopt;
    return engine::toUtf8(text);
}

// Never splitting a character or taking a stack or the measured value.
std::vector<VisibleText::Edit> editsOf(const VisibleText& visible, const Pair& pair,
                                       const Matcher& matcher) {
    std::vector<VisibleText::Edit> edits;
    const auto replaceable = [&](std::size_t begin, std::size_t end) {
        return visible.replaceable(begin, end);
    };
    for (const MatchRange& range : matcher.ranges(visible.plain(), pair.find, replaceable))
        edits.push_back({range.begin, range.end, pair.replace});
    return edits;
}

bool needsWritingAsCode(std::u16string_view text, TextSyntax syntax) {
    const std::u16string_view special = syntax == TextSyntax::SingleLine  ? u"%^\t\n"
                                        : syntax == TextSyntax::MultiLine ? u"%^\t\n\\{}"
                                                                          : u"%^\t\n\\{}<>";
    return text.find_first_of(special) != std::u16string_view::npos;
}

std::string firstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

}  // namespace

std::optional<Rewritten> rewrite(std::string_view raw, TextSyntax syntax, const Options& options,
                                 const EditFollower& follow, bool* refused) {
    if (options.raw) {
        const auto stored = rewriteStored(raw, options);
        if (!stored)
            return std::nullopt;
        return Rewritten{*stored, VisibleText(raw, syntax).shown(),
                         VisibleText(*stored, syntax).shown()};
    }
    // Most texts hold no code: they show as they are stored, and so does a replacement without
    // a character that would have to be written as a code. A follower must see every edit.
    if (!follow && !VisibleText::holdsCodes(raw, syntax) &&
        std::none_of(options.pairs.begin(), options.pairs.end(),
                     [&](const Pair& pair) { return needsWritingAsCode(pair.replace, syntax); })) {
        auto stored = rewriteStored(raw, options);
        if (!stored)
            return std::nullopt;
        std::string shown = *stored;
        return Rewritten{std::move(*stored), std::string(raw), std::move(shown)};
    }
    VisibleText visible(raw, syntax);
    std::optional<Rewritten> result;
    const Matcher& matcher = Matcher::of(options);
    for (const Pair& pair : options.pairs) {
        const std::vector<VisibleText::Edit> edits = editsOf(visible, pair, matcher);
        if (edits.empty())
            continue;
        if (follow && !follow(visible, edits)) {
            if (refused)
                *refused = true;
            return std::nullopt;
        }
        if (!result)
            result = Rewritten{"", visible.shown(), ""};
        visible = visible.applied(edits);
    }
    if (result) {
        result->raw = visible.raw();
        result->newShown = visible.shown();
    }
    return result;
}

std::optional<Substitution> substitute(const dxf::TextEntry& entry, const Options& options) {
    const TextSyntax syntax = syntaxOf(entry);
    auto rewritten = rewrite(entry.raw, syntax, options);
    if (!rewritten)
        return std::nullopt;
    Substitution change;
    change.oldText = std::move(rewritten->oldShown);
    change.newText = std::move(rewritten->newShown);
    change.newRaw = std::move(rewritten->raw);
    if (entry.multiLineAttribute && !entry.attributeLine.empty()) {
        // Group 1 follows the embedded text: its first line as plain text, or the same pairs.
        if (entry.attributeLine == firstLine(change.oldText)) {
            change.newAttributeLine = firstLine(change.newText);
        } else {
            const auto line = rewrite(entry.attributeLine, syntax, options);
            change.newAttributeLine = line ? line->raw : entry.attributeLine;
        }
    }
    return change;
}

}  // namespace quorvel::batch
