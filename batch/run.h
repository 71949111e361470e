#pragma once
// The whole program behind main(): arguments in, exit status out.

#include <filesystem>
#include <string>
#include <vector>

#include "batch/options.h"
#include "batch/processing.h"

namespace quorvel::batch {

inline constexpr int kExitOk = 0;
inline constexpr int kExitSomeFailed = 1;
inline constexpr int kExitBadArguments = 2;

class Journal;
class Progress;

// Drives a CAD host as the windows do: "bus" (D-Bus) or "com" (Windows), the one this build
// has; none when `run` is null.
struct HostRunner {
    std::string name;
    std::vector<DrawingOutcome> (*run)(const std::vector<std::filesystem::path>&, const Options&,
                                       Journal&, Progress&) = nullptr;
};

int runProgram(const std::vector<std::string>& arguments, const HostRunner& host = {});

}  // namespace quorvel::batch
