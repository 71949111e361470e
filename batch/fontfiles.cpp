#include "batch/fontfiles.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <optional>
#include <sstream>

#include "textcodec/utf.h"

namespace quorvel::batch {

namespace {

using Ranges = std::vector<std::pair<char32_t, char32_t>>;

// Reads numbers of a fixed byte order; every read past the end is noticed, not undefined.
class Bytes {
public:
    Bytes(std::string_view data, bool bigEndian) : data_(data), bigEndian_(bigEndian) {}
    bool has(std::size_t offset, std::size_t count) const {
        return offset <= data_.size() && count <= data_.size() - offset;
    }
    std::optional<std::uint32_t> number(std::size_t offset, std::size_t width) const {
        if (!has(offset, width))
            return std::nullopt;
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < width; ++i) {
            const std::size_t at = bigEndian_ ? offset + i : offset + width - 1 - i;
            value = (value << 8) | static_cast<unsigned char>(data_[at]);
        }
        return value;
    }
    std::optional<std::uint32_t> u16(std::size_t offset) const { return number(offset, 2); }
    std::optional<std::uint32_t> u32(std::size_t offset) const { return number(offset, 4); }
    std::string_view text(std::size_t offset, std::size_t count) const {
        return has(offset, count) ? data_.substr(offset, count) : std::string_view();
    }
    std::size_t size() const { return data_.size(); }

private:
    std::string_view data_;
    bool bigEndian_;
};

// Thrown inside the readers for a file that is not what it claims to be.
struct Unreadable {};

std::uint32_t need(std::optional<std::uint32_t> value) {
    if (!value)
        throw Unreadable{};
    return *value;
}

void normalize(Ranges& ranges) {
    std::sort(ranges.begin(), ranges.end());
    Ranges merged;
    for (const auto& range : ranges) {
        if (!merged.empty() && range.first <= merged.back().second + 1)
            merged.back().second = std::max(merged.back().second, range.second);
        else
            merged.push_back(range);
    }
    ranges = std::move(merged);
}

void addCharacter(Ranges& ranges, char32_t character) {
    if (!ranges.empty() && ranges.back().second + 1 == character)
        ranges.back().second = character;
    else
        ranges.emplace_back(character, character);
}

// cmap format 4: segments of 16-bit characters; a character whose glyph works out as 0 is absent.
void readFormat4(const Bytes& font, std::size_t table, Ranges& ranges) {
    const std::size_t segments = need(font.u16(table + 6)) / 2;
    const std::size_t ends = table + 14;
    const std::size_t starts = ends + 2 * segments + 2;
    const std::size_t deltas = starts + 2 * segments;
    const std::size_t rangeOffsets = deltas + 2 * segments;
    std::uint32_t nextFree = 0;  // segments come in order: a damaged table cannot loop long
    for (std::size_t s = 0; s < segments; ++s) {
        const std::uint32_t end = need(font.u16(ends + 2 * s));
        const std::uint32_t start = need(font.u16(starts + 2 * s));
        if (start < nextFree || end < start)
            throw Unreadable{};
        nextFree = end + 1;
        const std::uint32_t delta = need(font.u16(deltas + 2 * s));
        const std::size_t rangeOffsetAt = rangeOffsets + 2 * s;
        const std::uint32_t rangeOffset = need(font.u16(rangeOffsetAt));
        for (std::uint32_t c = start; c <= end && c != 0xFFFF; ++c) {
            std::uint32_t glyph = c;
            if (rangeOffset != 0) {
                glyph = need(font.u16(rangeOffsetAt + rangeOffset + 2 * (c - start)));
                if (glyph == 0)
                    continue;
            }
            if (((glyph + delta) & 0xFFFF) != 0)
                addCharacter(ranges, c);
        }
    }
}

// cmap format 12: groups of consecutive characters, the whole Unicode range.
void readFormat12(const Bytes& font, std::size_t table, Ranges& ranges) {
    const std::uint32_t groups = need(font.u32(table + 12));
    if (!font.has(table + 16, std::size_t{groups} * 12))
        throw Unreadable{};
    for (std::uint32_t g = 0; g < groups; ++g) {
        const std::size_t at = table + 16 + std::size_t{g} * 12;
        std::uint32_t first = need(font.u32(at));
        const std::uint32_t last = std::min<std::uint32_t>(need(font.u32(at + 4)), 0x10FFFF);
        if (need(font.u32(at + 8)) == 0)
            ++first;  // the first character falls on the missing-glyph box
        if (first <= last)
            ranges.emplace_back(first, last);
    }
}

// The Unicode subtables of one face's cmap; a face without one adds nothing.
void readFace(const Bytes& font, std::size_t face, Ranges& ranges) {
    const std::uint32_t tables = need(font.u16(face + 4));
    std::optional<std::size_t> cmap;
    for (std::uint32_t t = 0; t < tables; ++t) {
        if (font.text(face + 12 + 16 * t, 4) == "cmap")
            cmap = need(font.u32(face + 12 + 16 * t + 8));
    }
    if (!cmap)
        throw Unreadable{};
    const std::uint32_t subtables = need(font.u16(*cmap + 2));
    for (std::uint32_t s = 0; s < subtables; ++s) {
        const std::size_t record = *cmap + 4 + 8 * s;
        const std::uint32_t platform = need(font.u16(record));
        const std::uint32_t encoding = need(font.u16(record + 2));
        const bool unicode = platform == 0 || (platform == 3 && (encoding == 1 || encoding == 10));
        if (!unicode)
            continue;
        const std::size_t table = *cmap + need(font.u32(record + 4));
        const std::uint32_t format = need(font.u16(table));
        if (format == 4)
            readFormat4(font, table, ranges);
        else if (format == 12)
            readFormat12(font, table, ranges);
    }
}

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// Shapes 1.0 and 1.1: first and last number, count, then (number, length) for every shape.
Ranges shapeNumbers(const Bytes& file, std::size_t at) {
    const std::uint32_t count = need(file.u16(at + 4));
    std::size_t data = at + 6 + std::size_t{count} * 4;
    Ranges ranges;
    for (std::uint32_t s = 0; s < count; ++s) {
        const std::uint32_t number = need(file.u16(at + 6 + 4 * s));
        data += need(file.u16(at + 6 + 4 * s + 2));
        if (number != 0)  // shape 0 describes the font
            addCharacter(ranges, number);
    }
    if (data > file.size())
        throw Unreadable{};
    return ranges;
}

// Unifont 1.0: shape count, the font's description, then (number, length, data) per shape.
Ranges unifontNumbers(const Bytes& file, std::size_t at) {
    const std::uint32_t count = need(file.u32(at));
    std::size_t next = at + 6 + need(file.u16(at + 4));
    Ranges ranges;
    for (std::uint32_t s = 1; s < count; ++s) {
        const std::uint32_t number = need(file.u16(next));
        next += 4 + need(file.u16(next + 2));
        if (next > file.size())
            throw Unreadable{};
        addCharacter(ranges, number);
    }
    return ranges;
}

}  // namespace

bool FontFile::holds(char32_t character) const {
    const auto after = std::upper_bound(
        ranges.begin(), ranges.end(), character,
        [](char32_t c, const std::pair<char32_t, char32_t>& range) { return c < range.first; });
    return after != ranges.begin() && character <= std::prev(after)->second;
}

FontFile readTrueType(std::string_view bytes) {
    const Bytes font(bytes, true);
    FontFile result;
    try {
        std::vector<std::size_t> faces;
        if (font.text(0, 4) == "ttcf") {
            const std::uint32_t count = need(font.u32(8));
            for (std::uint32_t f = 0; f < count && f < 256; ++f)
                faces.push_back(need(font.u32(12 + 4 * f)));
        } else {
            faces.push_back(0);
        }
        for (const std::size_t face : faces)
            readFace(font, face, result.ranges);
        if (result.ranges.empty())
            return {};
        normalize(result.ranges);
        result.kind = FontFile::Kind::TrueType;
    } catch (const Unreadable&) {
        return {};
    }
    return result;
}

FontFile readShx(std::string_view bytes) {
    // The signature line names the format and ends with CR LF and a Ctrl-Z.
    const std::size_t end = bytes.substr(0, 40).find("\r\n\x1A");
    if (end == std::string_view::npos)
        return {};
    const std::string_view signature = bytes.substr(0, end);
    const std::size_t space = signature.find(' ');
    const std::string_view format =
        space == std::string_view::npos ? std::string_view() : signature.substr(space + 1);
    const Bytes file(bytes, false);
    FontFile result;
    try {
        if (format == "shapes 1.0" || format == "shapes 1.1") {
            result.ranges = shapeNumbers(file, end + 3);
            result.kind = FontFile::Kind::ShapeFont;
        } else if (format == "unifont 1.0") {
            result.ranges = unifontNumbers(file, end + 3);
            normalize(result.ranges);
            result.kind = FontFile::Kind::UniFont;
        } else if (format == "bigfont 1.0") {
            result.kind = FontFile::Kind::BigFont;
        }
    } catch (const Unreadable&) {
        return {};
    }
    normalize(result.ranges);
    return result;
}

FontFile readFontFile(std::string_view bytes) {
    if (startsWith(bytes, "ttcf") || startsWith(bytes, std::string_view("\0\1\0\0", 4)) ||
        startsWith(bytes, "OTTO") || startsWith(bytes, "true")) {
        return readTrueType(bytes);
    }
    return readShx(bytes);
}

namespace {

// Parts of a file read where they lie: a name table is small, a font file need not be.
class FilePart {
public:
    explicit FilePart(const std::filesystem::path& file) : in_(file, std::ios::binary) {}
    std::string read(std::size_t offset, std::size_t count) {
        std::string bytes(count, '\0');
        in_.clear();
        in_.seekg(static_cast<std::streamoff>(offset));
        in_.read(bytes.data(), static_cast<std::streamsize>(count));
        if (static_cast<std::size_t>(in_.gcount()) != count)
            throw Unreadable{};
        return bytes;
    }

private:
    std::ifstream in_;
};

constexpr std::uint32_t kFamilyName = 1;
constexpr std::uint32_t kFullName = 4;
constexpr std::uint32_t kTypographicFamily = 16;

// Names of platform 3 are UTF-16 (big-endian), of platform 0 too; Macintosh names are taken
// when they are plain ASCII.
std::optional<std::string> nameText(std::uint32_t platform, std::string_view bytes) {
    if (platform == 0 || platform == 3) {
        const Bytes units(bytes, true);
        std::u16string utf16;
        for (std::size_t at = 0; at + 1 < bytes.size(); at += 2)
            utf16 += static_cast<char16_t>(*units.u16(at));
        return textcodec::toUtf8(utf16);
    }
    if (platform == 1 && std::all_of(bytes.begin(), bytes.end(),
                                     [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return std::string(bytes);
    return std::nullopt;
}

void readFaceNames(FilePart& file, std::size_t face, std::vector<std::string>& names) {
    const std::string header = file.read(face, 12);
    const std::size_t tables = need(Bytes(header, true).u16(4));
    const std::string directory = file.read(face + 12, 16 * tables);
    const Bytes entries(directory, true);
    for (std::size_t t = 0; t < tables; ++t) {
        if (entries.text(16 * t, 4) != "name")
            continue;
        const std::size_t length = need(entries.u32(16 * t + 12));
        if (length > (1u << 20))
            throw Unreadable{};
        const std::string table = file.read(need(entries.u32(16 * t + 8)), length);
        const Bytes name(table, true);
        const std::size_t count = need(name.u16(2));
        const std::size_t strings = need(name.u16(4));
        for (std::size_t r = 0; r < count; ++r) {
            const std::size_t record = 6 + 12 * r;
            const std::uint32_t id = need(name.u16(record + 6));
            if (id != kFamilyName && id != kFullName && id != kTypographicFamily)
                continue;
            const std::size_t size = need(name.u16(record + 8));
            const std::size_t at = strings + need(name.u16(record + 10));
            if (!name.has(at, size))
                throw Unreadable{};
            if (auto text = nameText(need(name.u16(record)), name.text(at, size)))
                names.push_back(std::move(*text));
        }
    }
}

std::string lowerAscii(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string lowerFileName(std::string_view name) {
    const std::size_t slash = name.find_last_of("/\\");
    if (slash != std::string_view::npos)
        name.remove_prefix(slash + 1);
    return lowerAscii(std::string(name));
}

}  // namespace

std::vector<std::string> trueTypeFaceNames(const std::filesystem::path& path) {
    std::vector<std::string> names;
    try {
        FilePart file(path);
        const std::string header = file.read(0, 12);
        std::vector<std::size_t> faces{0};
        if (header.compare(0, 4, "ttcf") == 0) {
            const std::size_t count = std::min<std::size_t>(need(Bytes(header, true).u32(8)), 256);
            const std::string offsets = file.read(12, 4 * count);
            faces.clear();
            for (std::size_t f = 0; f < count; ++f)
                faces.push_back(need(Bytes(offsets, true).u32(4 * f)));
        }
        for (const std::size_t face : faces)
            readFaceNames(file, face, names);
    } catch (const Unreadable&) {
        return {};
    }
    return names;
}

FontFolder::FontFolder(const std::vector<std::filesystem::path>& folders) {
    for (const std::filesystem::path& folder : folders) {
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
            if (entry.is_regular_file(error))
                files_.emplace(lowerFileName(entry.path().filename().string()), entry.path());
        }
    }
}

const FontFile* FontFolder::find(std::string_view fileName) const {
    const auto file = files_.find(lowerFileName(fileName));
    if (file == files_.end())
        return nullptr;
    return read(file->first, file->second);
}

const FontFile* FontFolder::findFace(std::string_view faceName) const {
    std::call_once(facesIndexed_, [this] {
        for (const auto& [key, file] : files_) {
            const std::string extension = key.substr(std::min(key.rfind('.'), key.size()));
            if (extension != ".ttf" && extension != ".ttc" && extension != ".otf")
                continue;
            for (const std::string& name : trueTypeFaceNames(file))
                faces_.emplace(lowerAscii(name), key);
        }
    });
    const auto face = faces_.find(lowerAscii(std::string(faceName)));
    return face == faces_.end() ? nullptr : read(face->second, files_.at(face->second));
}

const FontFile* FontFolder::read(const std::string& key, const std::filesystem::path& file) const {
    const std::lock_guard lock(mutex_);
    auto& read = read_[key];
    if (!read) {
        std::ifstream in(file, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        read = std::make_unique<FontFile>(in ? readFontFile(bytes.str()) : FontFile{});
    }
    return read.get();
}

const FontFolder& sharedFontFolder(const std::vector<std::filesystem::path>& folders) {
    static std::mutex mutex;
    static std::map<std::vector<std::filesystem::path>, std::unique_ptr<FontFolder>> shared;
    const std::lock_guard lock(mutex);
    auto& one = shared[folders];
    if (!one)
        one = std::make_unique<FontFolder>(folders);
    return *one;
}

}  // namespace quorvel::batch
