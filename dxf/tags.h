#pragma once
// Reading and rewriting the group-code/value line pairs of ASCII DXF, keeping every byte.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::dxf {

struct RawTag {
    int code = 0;
    std::string_view value;      // value line without its line end
    std::size_t begin = 0;       // offset of the group-code line
    std::size_t valueBegin = 0;  // offset of the value
    std::size_t end = 0;         // offset after the value line's end
};

// Walks the tags of a byte range. next() raises DxfError (Kind::Format) for a group code that is
// not a number or a code without its value line, naming the line.
class TagCursor {
public:
    explicit TagCursor(std::string_view data, std::size_t position = 0, std::size_t lineBase = 0)
        : data_(data), position_(position), lineBase_(lineBase) {}
    bool atEnd() const { return position_ >= data_.size(); }
    // True when only white space is left.
    bool onlyBlankLeft() const;
    bool next(RawTag& tag);
    std::size_t position() const { return position_; }

private:
    [[noreturn]] void fail(std::size_t offset, const std::string& what) const;
    std::string_view data_;
    std::size_t position_;
    std::size_t lineBase_;
};

std::string_view trimmed(std::string_view text);
bool parseGroupCode(std::string_view line, int& code);
std::optional<double> parseNumber(std::string_view value);
std::optional<std::uint64_t> parseHandle(std::string_view value);
std::string formatNumber(double value);
std::string formatHandle(std::uint64_t handle);
// 1-based line number of a byte offset.
std::size_t lineNumberAt(std::string_view data, std::size_t offset);

// Pointer group codes: soft and hard owner and pointer handles.
inline bool isPointerCode(int code) {
    return (code >= 320 && code <= 369) || (code >= 390 && code <= 399) ||
           (code >= 480 && code <= 481);
}

// One record (from its code-0 tag to the next) opened for editing. Untouched tags are written
// back exactly; new tags copy the group-code padding and line ends of their neighbours.
class RecordEditor {
public:
    struct Tag {
        int code;
        std::string codeLine;  // with its line end
        std::string value;
        std::string valueEnd;  // the value line's line end
    };

    explicit RecordEditor(std::string_view bytes);
    std::string serialize() const;

    std::vector<Tag>& tags() { return tags_; }
    const std::vector<Tag>& tags() const { return tags_; }
    // Index of the first tag with `code` at or after `from`, or npos.
    std::size_t find(int code, std::size_t from = 0) const;
    void insert(std::size_t index, int code, std::string value);
    void erase(std::size_t index, std::size_t count = 1);

    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

private:
    std::string formatCodeLine(int code, std::size_t near) const;
    std::vector<Tag> tags_;
};

}  // namespace quorvel::dxf
