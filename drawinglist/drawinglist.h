#pragma once
// The drawing list: the only store of the drawing paths, kept in the order of `SortKeyMaker`.
// Other parts use the count, the text at an index, removal at an index, removal of everything
// and adding (to the sorted place).

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "drawinglist/sortorder.h"

namespace quorvel::drawinglist {

class DrawingList {
    struct Entry {
        std::u16string text;
        std::string sortKey;
    };

public:
    // Texts about to be added, already in their final order. Adding them in one go gives exactly
    // the list that adding them one by one, in the order given, would give.
    class Pending {
    public:
        // A stretch of new entries that will stand next to each other.
        struct Run {
            std::size_t firstIndex;  // index of its first entry once inserted
            std::size_t count;
            std::size_t offset;  // where the stretch starts among the pending entries
        };
        std::size_t size() const { return entries_.size(); }
        const std::vector<Run>& runs() const { return runs_; }

    private:
        friend class DrawingList;
        std::vector<Entry> entries_;
        std::vector<std::size_t> finalIndices_;
        std::vector<Run> runs_;
    };

    explicit DrawingList(SortKeyMaker sortKey = caseInsensitiveOrder());

    std::size_t count() const { return entries_.size(); }
    // Throws std::out_of_range for an index that holds no entry.
    const std::u16string& textAt(std::size_t index) const;
    // Returns the index the entry went to: after every entry that sorts equal to it.
    std::size_t add(std::u16string text);
    void removeAt(std::size_t index);
    void removeRange(std::size_t first, std::size_t count);
    // Removes every listed index once, in a single pass; duplicates and invalid ones are ignored.
    void removeEach(std::vector<std::size_t> indices);
    void removeAll();

    Pending prepare(std::vector<std::u16string> texts) const;
    void insert(Pending pending);
    // Inserts one run; runs must be inserted in the order `runs()` lists them, all of them,
    // and with no other change in between.
    void insertRun(Pending& pending, const Pending::Run& run);

    // The dialog's duplicate test: keeps each candidate that equals no entry exactly (letter case
    // included) and no candidate kept before it; the order of the candidates stays.
    std::vector<std::u16string> withoutExactDuplicates(
        std::vector<std::u16string> candidates) const;

private:
    SortKeyMaker sortKey_;
    std::vector<Entry> entries_;
};

// What a drop takes: a path whose last three characters are exactly "dwg", nothing else looked at.
bool isDroppableDrawing(std::u16string_view path);

}  // namespace quorvel::drawinglist
