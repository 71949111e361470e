#pragma once
// --retry: the drawings that failed in an earlier run, read from its journal, to be run again
// with that run's options.

#include <filesystem>
#include <string>
#include <vector>

#include "batch/options.h"

namespace quorvel::batch {

struct Rerun {
    Options options;  // the earlier run's editing options and pairs
    std::vector<std::filesystem::path> drawings;
    std::vector<std::string> notes;  // failed drawings that are not run again, and why
};

// Everything read from the journal is checked: its options as editingArguments() writes them,
// pairs as the command line takes them, drawings as absolute paths. Raises UsageError.
Rerun readRerun(const std::string& id);

}  // namespace quorvel::batch
