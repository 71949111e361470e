#pragma once
// A dimension's picture: the anonymous block (group 2, "*D...") that viewers draw instead of
// working the dimension out. Its text shows the override with the measured value in place of
// "<>"; when the override changes, the picture's text changes alike, formatting kept, or the
// dimension is left as it was.

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "batch/substitution.h"
#include "dxf/textkinds.h"

namespace quorvel::batch {

class DimensionPictures {
public:
    explicit DimensionPictures(const dxf::Drawing& drawing) : drawing_(drawing) {}

    struct Picture {
        std::optional<dxf::TextEntry> text;  // none: nothing stored to follow
        std::string unsafe;                  // not empty: why the picture cannot follow
    };
    Picture of(const dxf::TextEntry& dimension);

private:
    void index();
    const dxf::Drawing& drawing_;
    bool indexed_ = false;
    std::map<dxf::EntityId, std::string> blockOf_;              // dimension -> its picture's block
    std::map<std::string, int> users_;                          // block -> dimensions drawn by it
    std::map<std::string, std::vector<dxf::TextEntry>> texts_;  // block -> its texts
};

// The measured value as the picture shows it: the picture's text is the override with this in
// place of every "<>". Nothing when the picture shows something else.
std::optional<std::u16string> measurementIn(const dxf::VisibleText& override,
                                            const dxf::VisibleText& picture);

// The override's new value and its picture's; `refused` says why a matching dimension stays.
std::optional<Substitution> substituteDimension(const dxf::TextEntry& dimension,
                                                const DimensionPictures::Picture& picture,
                                                const Options& options);

}  // namespace quorvel::batch
