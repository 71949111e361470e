#pragma once
// Which characters a font file holds: TrueType and OpenType files and collections (their cmap
// tables of formats 4 and 12) and compiled SHX fonts (shapes, big fonts, unifonts). What cannot
// be understood is Unknown, never a guess.

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorvel::batch {

struct FontFile {
    enum class Kind {
        Unknown,
        TrueType,   // characters of every face of the file
        ShapeFont,  // single-byte SHX text font: its shape numbers are the characters
        BigFont,    // double-byte SHX font; which characters it holds depends on its code page
        UniFont,    // SHX font numbered by Unicode
    };
    Kind kind = Kind::Unknown;
    std::vector<std::pair<char32_t, char32_t>> ranges;  // inclusive, sorted, disjoint

    bool holds(char32_t character) const;
};

FontFile readTrueType(std::string_view bytes);
FontFile readShx(std::string_view bytes);
// By content, whatever the file is called.
FontFile readFontFile(std::string_view bytes);

// The family and full names of every face of a TrueType file or collection, in every language
// the file gives them (so "宋体" as well as "SimSun"); empty when it cannot be read.
std::vector<std::string> trueTypeFaceNames(const std::filesystem::path& file);

// The font files of some folders (not their subfolders), found by file name with letter case
// ignored, the first folder first, and read when first asked for; safe to use from several
// threads.
class FontFolder {
public:
    explicit FontFolder(const std::vector<std::filesystem::path>& folders);

    // The file of that name (a path in front is ignored); nullptr when the folder has none.
    const FontFile* find(std::string_view fileName) const;
    // The TrueType file with a face of that family or full name, letter case ignored; the names
    // of the folder's TrueType files are read on the first call.
    const FontFile* findFace(std::string_view faceName) const;

private:
    const FontFile* read(const std::string& key, const std::filesystem::path& file) const;

    std::map<std::string, std::filesystem::path> files_;  // lower-case name -> file
    mutable std::once_flag facesIndexed_;
    mutable std::map<std::string, std::string> faces_;  // lower-case face -> key of files_
    mutable std::mutex mutex_;
    mutable std::map<std::string, std::unique_ptr<FontFile>> read_;
};

// One FontFolder per list of folders for the whole process: each file is read once per run.
const FontFolder& sharedFontFolder(const std::vector<std::filesystem::path>& folders);

}  // namespace quorvel::batch
