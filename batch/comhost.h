#pragma once
// --host com (Windows): the CAD host registered for COM does the work, driven by the same batch
// run as Quorvel.exe's, under the ProgID of --progid or the usual one.

#include <filesystem>
#include <vector>

#include "batch/options.h"
#include "batch/processing.h"

namespace quorvel::batch {

class Journal;
class Progress;

// As processOnHost() (batch/hostrun.h) says.
std::vector<DrawingOutcome> processOverCom(const std::vector<std::filesystem::path>& drawings,
                                           const Options& options, Journal& journal,
                                           Progress& progress);

}  // namespace quorvel::batch
