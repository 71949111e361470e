#include "programfolder.h"

namespace quorvel::engine {

std::u16string fileInProgramFolder(const std::u16string& folder, const std::u16string& fileName) {
    std::u16string path = folder;
    if (path.empty() || path.back() != kPathSeparator) {
        path += kPathSeparator;
    }
    path += fileName;
    return path;
}

}  // namespace quorvel::engine
