#include "batch/reportpictures.h"

#include <cctype>

#include "batch/drawingscene.h"
#include "batch/processing.h"
#include "batch/svgpicture.h"

namespace quorvel::batch {

void ReportPictures::add(const dxf::TextEntry& entry, std::size_t row, bool shownAfter) {
    std::string block = entry.block;
    for (char& c : block)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    noted_.push_back({entry.id, entry.handle, entry.space, block, row, shownAfter});
}

std::vector<SpacePicture> ReportPictures::draw(const dxf::Drawing& edited,
                                               std::vector<ReportRow>& rows) {
    std::vector<SpacePicture> pictures;
    if (noted_.empty())
        return pictures;
    const dxf::Drawing original = dxf::Drawing::fromBytes(std::move(original_));
    // The same bytes read the same way give the same ids; checked all the same.
    const auto sameEntity = [&](const Noted& noted) {
        return original.exists(noted.id) && edited.exists(noted.id) &&
               original.handle(noted.id) == noted.handle &&
               original.entityType(noted.id) == edited.entityType(noted.id);
    };
    std::vector<bool> done(noted_.size(), false);
    for (std::size_t first = 0; first < noted_.size(); ++first) {
        if (done[first])
            continue;
        const Noted& space = noted_[first];
        const Scene before = Scene::of(original, space.space, space.block);
        const Scene after = Scene::of(edited, space.space, space.block);
        std::vector<Mark> marks;
        for (std::size_t i = first; i < noted_.size(); ++i) {
            const Noted& noted = noted_[i];
            if (done[i] || noted.space != space.space || noted.block != space.block)
                continue;
            done[i] = true;
            const bool same = sameEntity(noted);
            const Box was = same ? before.boxOf(noted.id) : Box{};
            const Box is = noted.shownAfter ? after.boxOf(noted.id) : Box{};
            marks.push_back({is.empty() ? was : is, static_cast<int>(noted.row + 1)});
            if (noted.row >= kPictureRowsPerDrawing || noted.row >= rows.size())
                continue;
            const Box window = neighbourhoodOf(was, is);
            if (same)
                rows[noted.row].before = neighbourhoodSvg(before, window, was, noted.id);
            if (noted.shownAfter)
                rows[noted.row].after = neighbourhoodSvg(after, window, is, noted.id);
        }
        if (pictures.size() < kSpacePicturesPerDrawing && space.row < rows.size())
            pictures.push_back({rows[space.row].space, overviewSvg(after, marks)});
    }
    return pictures;
}

}  // namespace quorvel::batch
