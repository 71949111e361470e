#pragma once
// The drawings a run works on, from the paths on its command line.

#include <filesystem>
#include <string>
#include <vector>

namespace quorvel::batch {

// A drawing, every drawing (.dxf, .dwg) of a folder (of its sub-folders too when recursive), or
// "@list" for the drawings of a list file. Each drawing comes once, in the order given; folders
// are read in name order. A path that does not exist is kept, so that it is reported as failed.
// A list file that cannot be read raises UsageError.
std::vector<std::filesystem::path> expandTargets(const std::vector<std::string>& paths,
                                                 bool recursive);

}  // namespace quorvel::batch
