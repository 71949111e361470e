#pragma once
// The pictures of one drawing for the HTML report: for each space with changed texts a small
// picture of it with every changed text marked, and for each row the text's neighbourhood before
// and after. The "before" pictures are drawn from the drawing's original bytes, read again, so
// that the edit itself needs no copy of anything.

#include <cstddef>
#include <string>
#include <vector>

#include "dxf/textkinds.h"

namespace quorvel::batch {

struct ReportRow;

// Rows past this many in one drawing get no neighbourhood pictures (their marks stay).
inline constexpr std::size_t kPictureRowsPerDrawing = 300;
// Spaces past this many in one drawing get no picture of their own.
inline constexpr std::size_t kSpacePicturesPerDrawing = 8;

struct SpacePicture {
    std::string space;  // as the report's rows name it
    std::string svg;
};

class ReportPictures {
public:
    explicit ReportPictures(std::string originalBytes) : original_(std::move(originalBytes)) {}

    // The text of rows[row]; `shownAfter`: false when the edit could not be shown.
    void add(const dxf::TextEntry& entry, std::size_t row, bool shownAfter = true);
    // Fills each noted row's pictures; returns the pictures of the spaces. `edited` is the
    // drawing after every edit of the run.
    std::vector<SpacePicture> draw(const dxf::Drawing& edited, std::vector<ReportRow>& rows);

private:
    void drawEach(const dxf::Drawing& edited, std::vector<ReportRow>& rows,
                  std::vector<SpacePicture>& pictures);
    struct Noted {
        dxf::EntityId id;
        std::string handle;
        dxf::Space space;
        std::string block;
        std::size_t row;
        bool shownAfter;
    };
    std::string original_;
    std::vector<Noted> noted_;
};

}  // namespace quorvel::batch
