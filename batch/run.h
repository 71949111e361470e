#pragma once
// The whole program behind main(): arguments in, exit status out.

#include <string>
#include <vector>

namespace quorvel::batch {

inline constexpr int kExitOk = 0;
inline constexpr int kExitSomeFailed = 1;
inline constexpr int kExitBadArguments = 2;

int runProgram(const std::vector<std::string>& arguments);

}  // namespace quorvel::batch
