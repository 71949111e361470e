#include "batch/reportpictures.h"

#include <algorithm>
#include <cctype>

#include "batch/drawingscene.h"
#include "batch/processing.h"
#include "batch/svgpicture.h"
#include "dxf/tags.h"

namespace quorvel::batch {

namespace {

// The record's type and handle as its bytes hold them (block references' attributes too);
// empty when there is no such record.
std::string identity(const dxf::Drawing& drawing, dxf::EntityId id) {
    try {
        dxf::TagCursor cursor(drawing.recordBytes(id));
        dxf::RawTag tag;
        std::string type;
        while (cursor.next(tag)) {
            if (tag.code == 0 && type.empty())
                type = std::string(dxf::trimmed(tag.value));
            else if (tag.code == 5)
                return type + " " + std::string(dxf::trimmed(tag.value));
        }
        return type;
    } catch (const dxf::DxfError&) {
        return {};
    }
}

}  // namespace

void ReportPictures::add(const dxf::TextEntry& entry, std::size_t row, bool shownAfter) {
    std::string block = entry.block;
    for (char& c : block)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    noted_.push_back({entry.id, entry.handle, entry.space, block, row, shownAfter});
}

std::vector<SpacePicture> ReportPictures::draw(const dxf::Drawing& edited,
                                               std::vector<ReportRow>& rows) {
    std::vector<SpacePicture> pictures;
    // The pictures only show the edit: a drawing they cannot be drawn of is edited all the same,
    // with the pictures drawn so far.
    try {
        drawEach(edited, rows, pictures);
    } catch (const std::exception&) {
    }
    return pictures;
}

void ReportPictures::drawEach(const dxf::Drawing& edited, std::vector<ReportRow>& rows,
                              std::vector<SpacePicture>& pictures) {
    if (noted_.empty())
        return;
    const dxf::Drawing original = dxf::Drawing::fromBytes(std::move(original_));
    // The same bytes read the same way give the same ids; checked all the same.
    const auto sameEntity = [&](const Noted& noted) {
        const std::string was = identity(original, noted.id);
        return !was.empty() && was == identity(edited, noted.id) &&
               (noted.handle.empty() || was.ends_with(" " + noted.handle));
    };
    // Model space first, then the layouts, then block definitions.
    std::stable_sort(noted_.begin(), noted_.end(),
                     [](const Noted& a, const Noted& b) { return a.space < b.space; });
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
            const Box window = neighbourhoodOf(
                was, is, std::max(before.textHeightOf(noted.id), after.textHeightOf(noted.id)));
            if (same)
                rows[noted.row].before = neighbourhoodSvg(before, window, was, noted.id);
            if (noted.shownAfter)
                rows[noted.row].after = neighbourhoodSvg(after, window, is, noted.id);
        }
        if (pictures.size() < kSpacePicturesPerDrawing && space.row < rows.size())
            pictures.push_back({rows[space.row].space, overviewSvg(after, marks)});
    }
}

}  // namespace quorvel::batch
