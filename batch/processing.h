#pragma once
// One drawing of a run: read, every chosen text rewritten in place, kept, saved, read back and
// checked. A drawing either ends saved and checked, or as it was.

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "batch/options.h"
#include "batch/substitution.h"

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
};

struct DrawingOutcome {
    std::filesystem::path drawing;
    bool ok = false;
    bool saved = false;
    std::string reason;                  // why it failed
    std::vector<std::string> notes;      // what the save could not keep as it was
    std::string journalFailure;          // saved, but not noted in the journal
    std::size_t texts = 0;               // changed, or on a dry run matching
    std::size_t undisplayable = 0;       // of those, texts whose new characters may not show
    std::vector<ReportRow> rows;         // only when a report is asked for
    std::vector<std::string> unchanged;  // texts that matched but were left as they were, and why
};

// `layouts`: dxf::layoutNames of the drawing, for texts in paper space.
ReportRow reportRow(const dxf::TextEntry& entry, const Substitution& change,
                    const std::map<std::string, std::string>& layouts);

// `journal` is null on a dry run.
DrawingOutcome processDrawing(const std::filesystem::path& drawing, const Options& options,
                              Journal* journal);

}  // namespace quorvel::batch
