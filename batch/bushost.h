#pragma once
// --host bus: cad-host does the work over D-Bus, driven by the same batch run as the windows'.

#include <filesystem>
#include <vector>

#include "batch/options.h"
#include "batch/processing.h"

namespace quorvel::batch {

class Journal;
class Progress;

// One pair, single-line text only. Every drawing is kept before the host opens it, and each one
// the host saved is read back and compared with what the in-process edit gives before the host
// is handed the next; a drawing that fails is put back and the run goes on with the others.
std::vector<DrawingOutcome> processOverBus(const std::vector<std::filesystem::path>& drawings,
                                           const Options& options, Journal& journal,
                                           Progress& progress);

}  // namespace quorvel::batch
