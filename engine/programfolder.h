#pragma once
#include <string>

namespace quorvel::engine {

// The path separator of the platform the program runs on.
#ifdef _WIN32
inline constexpr char16_t kPathSeparator = u'\\';
#else
inline constexpr char16_t kPathSeparator = u'/';
#endif

// A file in the program's folder: the folder, one separator unless the folder already ends in
// one (a root folder), then the file name.
std::u16string fileInProgramFolder(const std::u16string& folder, const std::u16string& fileName);

}  // namespace quorvel::engine
