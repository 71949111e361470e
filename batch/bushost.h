#pragma once
// --host bus: cad-host does the work over D-Bus, driven by the same batch run as the windows'.

#include <filesystem>
#include <vector>

#include "batch/options.h"
#include "batch/processing.h"

namespace quorvel::batch {

class Journal;
class Progress;

// As processOnHost() (batch/hostrun.h) says.
std::vector<DrawingOutcome> processOverBus(const std::vector<std::filesystem::path>& drawings,
                                           const Options& options, Journal& journal,
                                           Progress& progress);

}  // namespace quorvel::batch
