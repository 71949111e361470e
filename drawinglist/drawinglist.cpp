#include "drawinglist/drawinglist.h"

#include <algorithm>
#include <iterator>
#include <stdexcept>
#include <unordered_set>

namespace quorvel::drawinglist {

DrawingList::DrawingList(SortKeyMaker sortKey) : sortKey_(std::move(sortKey)) {}

const std::u16string& DrawingList::textAt(std::size_t index) const {
    if (index >= entries_.size()) {
        throw std::out_of_range("no drawing list entry at this index");
    }
    return entries_[index].text;
}

std::size_t DrawingList::add(std::u16string text) {
    Entry entry{std::move(text), {}};
    entry.sortKey = sortKey_(entry.text);
    const auto place = std::upper_bound(
        entries_.begin(), entries_.end(), entry.sortKey,
        [](const std::string& key, const Entry& existing) { return key < existing.sortKey; });
    const auto index = static_cast<std::size_t>(place - entries_.begin());
    entries_.insert(place, std::move(entry));
    return index;
}

void DrawingList::removeAt(std::size_t index) {
    removeRange(index, 1);
}

void DrawingList::removeRange(std::size_t first, std::size_t count) {
    if (first > entries_.size() || count > entries_.size() - first) {
        throw std::out_of_range("no drawing list entries in this range");
    }
    const auto begin = entries_.begin() + static_cast<std::ptrdiff_t>(first);
    entries_.erase(begin, begin + static_cast<std::ptrdiff_t>(count));
}

void DrawingList::removeEach(std::vector<std::size_t> indices) {
    std::vector<bool> doomed(entries_.size(), false);
    for (std::size_t index : indices) {
        if (index < entries_.size()) {
            doomed[index] = true;
        }
    }
    std::size_t kept = 0;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (!doomed[i]) {
            if (kept != i) {
                entries_[kept] = std::move(entries_[i]);
            }
            ++kept;
        }
    }
    entries_.resize(kept);
}

void DrawingList::removeAll() {
    entries_.clear();
}

DrawingList::Pending DrawingList::prepare(std::vector<std::u16string> texts) const {
    std::vector<Entry> given;
    given.reserve(texts.size());
    for (std::u16string& text : texts) {
        Entry entry{std::move(text), {}};
        entry.sortKey = sortKey_(entry.text);
        given.push_back(std::move(entry));
    }
    // Stable: equal texts keep the order they were given in, as one-by-one adding would.
    // Sorting positions rather than entries moves each entry once.
    std::vector<std::size_t> order(given.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    std::stable_sort(order.begin(), order.end(), [&given](std::size_t a, std::size_t b) {
        return given[a].sortKey < given[b].sortKey;
    });
    Pending pending;
    pending.entries_.reserve(given.size());
    for (std::size_t i : order) {
        pending.entries_.push_back(std::move(given[i]));
    }

    // A new entry goes after every existing entry that sorts equal to it.
    pending.finalIndices_.reserve(pending.entries_.size());
    std::size_t existingBefore = 0;
    for (std::size_t j = 0; j < pending.entries_.size(); ++j) {
        const std::string& key = pending.entries_[j].sortKey;
        while (existingBefore < entries_.size() && !(key < entries_[existingBefore].sortKey)) {
            ++existingBefore;
        }
        const std::size_t finalIndex = existingBefore + j;
        pending.finalIndices_.push_back(finalIndex);
        if (!pending.runs_.empty() &&
            pending.runs_.back().firstIndex + pending.runs_.back().count == finalIndex) {
            ++pending.runs_.back().count;
        } else {
            pending.runs_.push_back({finalIndex, 1, j});
        }
    }
    return pending;
}

void DrawingList::insert(Pending pending) {
    const std::size_t total = entries_.size() + pending.entries_.size();
    std::vector<Entry> merged(total);
    std::vector<bool> taken(total, false);
    for (std::size_t j = 0; j < pending.entries_.size(); ++j) {
        merged[pending.finalIndices_[j]] = std::move(pending.entries_[j]);
        taken[pending.finalIndices_[j]] = true;
    }
    std::size_t next = 0;
    for (Entry& existing : entries_) {
        while (taken[next]) {
            ++next;
        }
        merged[next++] = std::move(existing);
    }
    entries_ = std::move(merged);
}

void DrawingList::insertRun(Pending& pending, const Pending::Run& run) {
    if (run.firstIndex > entries_.size() || run.offset + run.count > pending.entries_.size()) {
        throw std::out_of_range("pending run does not fit the drawing list");
    }
    const auto from = pending.entries_.begin() + static_cast<std::ptrdiff_t>(run.offset);
    entries_.insert(entries_.begin() + static_cast<std::ptrdiff_t>(run.firstIndex),
                    std::make_move_iterator(from),
                    std::make_move_iterator(from + static_cast<std::ptrdiff_t>(run.count)));
}

std::vector<std::u16string> DrawingList::withoutExactDuplicates(
    std::vector<std::u16string> candidates) const {
    // A hash set answers exactly what comparing with every entry would, without the n*m cost.
    std::unordered_set<std::u16string_view> present;
    present.reserve(entries_.size() + candidates.size());
    for (const Entry& entry : entries_) {
        present.insert(entry.text);
    }
    std::vector<bool> keep(candidates.size(), false);
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        keep[i] = present.insert(candidates[i]).second;
    }
    // Moved only now: the set points into the candidates' storage.
    present.clear();
    std::vector<std::u16string> kept;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        if (keep[i]) {
            kept.push_back(std::move(candidates[i]));
        }
    }
    return kept;
}

bool isDroppableDrawing(std::u16string_view path) {
    return path.ends_with(u"dwg");
}

}  // namespace quorvel::drawinglist
