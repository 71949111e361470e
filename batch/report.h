#pragma once
// The report of a run: one row per changed (or, on a dry run, matching) text.

#include <filesystem>
#include <vector>

#include "batch/processing.h"

namespace quorvel::batch {

// .csv: UTF-8 with a byte-order mark, so that spreadsheet programs read the Chinese right;
// .html: one table. Written to a new file that takes the place of `file` (a link there is
// replaced, never followed). Raises FileError.
void writeReport(const std::filesystem::path& file, const std::vector<DrawingOutcome>& outcomes,
                 bool dryRun);

}  // namespace quorvel::batch
