#pragma once
// The runs through a CAD host, as the windows drive it, each built where its link exists:
// --host bus (cad-host over D-Bus, the full Linux build) and --host com (the host registered for
// COM, on Windows, under the ProgID of --progid or the usual one). Both are processOnHost()
// (batch/hostrun.h) over their own link.

#include <filesystem>
#include <vector>

#include "batch/options.h"
#include "batch/processing.h"

namespace quorvel::batch {

class Journal;
class Progress;

std::vector<DrawingOutcome> processOverBus(const std::vector<std::filesystem::path>& drawings,
                                           const Options& options, Journal& journal,
                                           Progress& progress);
std::vector<DrawingOutcome> processOverCom(const std::vector<std::filesystem::path>& drawings,
                                           const Options& options, Journal& journal,
                                           Progress& progress);

}  // namespace quorvel::batch
