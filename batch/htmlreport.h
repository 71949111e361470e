#pragma once
// The parts of the HTML report beyond its table: the pictures of the drawings, the filters and
// the script that sorts and filters the rows. Everything inline: the report is one file that a
// browser shows offline.

#include <cstddef>
#include <string>
#include <vector>

#include "batch/processing.h"

namespace quorvel::batch {

// Rules for the page, to go inside its <style> element.
extern const char* const kHtmlReportStyle;
// The script, to go at the end of the body. It reads the table with id "rows": each row's
// data-i (its place in the report), data-n (its number in its drawing) and cells 1 (drawing),
// 4 (layer) and 5 (kind); it takes the rows' texts as text only.
extern const char* const kHtmlReportScript;

// A report of many drawings stays one a browser opens: pictures past these many bytes are left
// out, the drawings' pictures and the rows' each within their own.
inline constexpr std::size_t kDrawingPictureBytes = 24 << 20;
inline constexpr std::size_t kRowPictureBytes = 40 << 20;
inline constexpr const char* kPicturesLeftOut = "（报告中的图已达上限）";

// The drawings with their pictures, each space with every changed text marked and numbered,
// then the filters of the table.
std::string htmlDrawingPictures(const std::vector<DrawingOutcome>& outcomes);

// Text of a drawing for an HTML element or attribute, line feeds as <br> when `lines`.
std::string htmlText(const std::string& text, bool lines = true);

}  // namespace quorvel::batch
