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

// Drives a CAD host over the automation link (--host bus); null in builds without it.
using BusRunner = std::vector<DrawingOutcome> (*)(const std::vector<std::filesystem::path>&,
                                                  const Options&, Journal&, Progress&);

int runProgram(const std::vector<std::string>& arguments, BusRunner busRunner = nullptr);

}  // namespace quorvel::batch
