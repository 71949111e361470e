#pragma once
// A run through a CAD host, as the windows drive it (--host bus, --host com): one pair,
// single-line text only. Every drawing is kept before the host opens it, and each one the host
// saved is read back and compared with what the in-process edit gives before the host is handed
// the next; a drawing that fails is put back and the run goes on with the others.

#include <filesystem>
#include <string>
#include <vector>

#include "batch/options.h"
#include "batch/processing.h"
#include "engine/automation.h"
#include "engine/quietrunservices.h"
#include "engine/services.h"

namespace quorvel::batch {

class Journal;
class Progress;

// What reaches the host; `name` names it in messages.
struct HostServices {
    engine::HostConnector& connector;
    engine::WindowControl& windows;
    engine::RunLock& runLock;
    engine::FileStamps& files;
    engine::QuietRunServices quiet;
    std::string name;
};

std::vector<DrawingOutcome> processOnHost(const std::vector<std::filesystem::path>& drawings,
                                          const Options& options, Journal& journal,
                                          Progress& progress, HostServices& host);

}  // namespace quorvel::batch
