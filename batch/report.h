#pragma once
// The report of a run: one row per changed (or, on a dry run, matching) text, then what the run
// did not search in each drawing, and the options it ran with.

#include <filesystem>
#include <vector>

#include "batch/processing.h"

namespace quorvel::batch {

// .csv: UTF-8 with a byte-order mark, so that spreadsheet programs read the Chinese right;
// .html: one table. Written to a new file that takes the place of `file` (a link there is
// replaced, never followed). Raises FileError.
// `runOptions`: the options that decided the edits, as given on the command line.
void writeReport(const std::filesystem::path& file, const std::vector<DrawingOutcome>& outcomes,
                 bool dryRun, const std::string& runOptions);

}  // namespace quorvel::batch
