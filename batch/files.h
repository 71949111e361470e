#pragma once
// Whole-file reads and writes that either complete or leave the old file in place.

#include <filesystem>
#include <stdexcept>
#include <string>

namespace quorvel::batch {

// A file-system failure, with a message for the user.
class FileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

std::string readWholeFile(const std::filesystem::path& file);
// A temporary file in the same folder, flushed to disk, renamed over `file`; the file keeps its
// permissions, and a symbolic link keeps pointing at it.
void writeFileAtomically(const std::filesystem::path& file, const std::string& bytes);
// Appends and flushes to disk.
void appendDurably(const std::filesystem::path& file, const std::string& bytes);

}  // namespace quorvel::batch
