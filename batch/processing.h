#pragma once
// One drawing of a run: read, every chosen text rewritten in place, kept, saved, read back and
// checked. A drawing either ends saved and checked, or as it was.

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "batch/options.h"
#include "batch/reportpictures.h"
#include "batch/substitution.h"
#include "batch/unreached.h"

namespace quorvel::batch {

class Journal;

struct ReportRow {
    std::string handle;
    std::string space;  // 模型空间, 图纸空间 or the block
    std::string layer;
    std::string kind;
    std::string oldText;
    std::string newText;
    std::string undisplayable;  // why new characters may not show in the text's style, if so
    std::string before, after;  // HTML report: the text's neighbourhood as SVG, if drawn
};

// An HTML report shows pictures of the drawings.
bool reportHasPictures(const Options& options);

struct DrawingOutcome {
    std::filesystem::path drawing;
    bool ok = false;
    bool saved = false;
    std::string reason;                  // why it failed
    std::vector<std::string> notes;      // what the save could not keep as it was
    std::string journalFailure;          // saved, but not noted in the journal
    bool leftAsItWas = true;             // when failed: the drawing on disk is the one the run read
    std::size_t texts = 0;               // changed, or on a dry run matching
    std::size_t undisplayable = 0;       // of those, texts whose new characters may not show
    std::vector<ReportRow> rows;         // only when a report is asked for
    std::vector<std::string> unchanged;  // texts that matched but were left as they were, and why
    Unreached unreached;                 // what the run did not search
    std::vector<SpacePicture> pictures;  // HTML report: the spaces with changed texts
};

// `layouts`: dxf::layoutNames of the drawing, for texts in paper space.
ReportRow reportRow(const dxf::TextEntry& entry, const Substitution& change,
                    const std::map<std::string, std::string>& layouts);

// What the DXF engine made of one drawing.
struct EditedDrawing {
    std::size_t texts = 0;               // changed, or on a dry run matching
    std::size_t undisplayable = 0;       // of those, texts whose new characters may not show
    std::vector<ReportRow> rows;         // only when a report is asked for
    std::vector<std::string> unchanged;  // texts that matched but were left as they were, and why
    Unreached unreached;                 // what the run did not search
    std::vector<SpacePicture> pictures;  // HTML report: the spaces with changed texts
    std::string bytes;                   // the edited drawing; empty on a dry run or when unchanged
};

// Reads the drawing, rewrites every chosen text and checks that the edited bytes read back with
// the new texts. Raises for a drawing it cannot read or edit.
EditedDrawing editDrawing(std::string bytes, const Options& options);

class DrawingFile;
// editDrawing on the file's contents, here or in a worker process.
using Editor = std::function<EditedDrawing(DrawingFile& file)>;

// `journal` is null on a dry run. The drawing is locked, read and saved here; only `edit` sees
// its contents as a drawing.
DrawingOutcome processDrawing(const std::filesystem::path& drawing, Journal* journal,
                              const Editor& edit);

}  // namespace quorvel::batch
