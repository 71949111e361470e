#include "dxf/tags.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "dxf/drawing.h"

namespace quorvel::dxf {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The line starting at `pos`: its text without line end, and where the next line starts.
struct Line {
    std::string_view text;
    std::size_t next;
    bool complete;  // ended by a line feed
};

Line lineAt(std::string_view data, std::size_t pos) {
    const void* found = std::memchr(data.data() + pos, '\n', data.size() - pos);
    std::size_t end = found
                          ? static_cast<std::size_t>(static_cast<const char*>(found) - data.data())
                          : data.size();
    const std::size_t next = found ? end + 1 : end;
    if (end > pos && data[end - 1] == '\r')
        --end;
    return {data.substr(pos, end - pos), next, found != nullptr};
}

}  // namespace

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool parseGroupCode(std::string_view line, int& code) {
    line = trimmed(line);
    if (line.empty() || line.size() > 10)
        return false;
    const char* first = line.data();
    const char* last = line.data() + line.size();
    if (*first == '+')
        ++first;
    const auto [ptr, ec] = std::from_chars(first, last, code);
    return ec == std::errc() && ptr == last;
}

std::optional<double> parseNumber(std::string_view value) {
    value = trimmed(value);
    if (!value.empty() && value.front() == '+')
        value.remove_prefix(1);
    double number = 0;
    const auto [ptr, ec] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (ec != std::errc() || ptr == value.data() || !std::isfinite(number))
        return std::nullopt;
    return number;
}

std::optional<std::uint64_t> parseHandle(std::string_view value) {
    value = trimmed(value);
    if (value.empty() || value.size() > 16)
        return std::nullopt;
    std::uint64_t handle = 0;
    const auto [ptr, ec] = std::from_chars(value.data(), value.data() + value.size(), handle, 16);
    if (ec != std::errc() || ptr != value.data() + value.size())
        return std::nullopt;
    return handle;
}

std::string formatNumber(double value) {
    if (!std::isfinite(value))
        value = 0;
    if (value == 0)
        value = 0;  // no "-0"
    char buffer[64];
    const auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    std::string text(buffer, ec == std::errc() ? ptr : buffer);
    if (text.find_first_of(".e") == std::string::npos)
        text += ".0";
    return text;
}

std::string formatHandle(std::uint64_t handle) {
    char buffer[32];
    const auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, handle, 16);
    std::string text(buffer, ptr);
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return static_cast<char>(c >= 'a' && c <= 'f' ? c - 32 : c); });
    return text;
}

std::size_t lineNumberAt(std::string_view data, std::size_t offset) {
    offset = std::min(offset, data.size());
    return 1 + static_cast<std::size_t>(std::count(
                   data.begin(), data.begin() + static_cast<std::ptrdiff_t>(offset), '\n'));
}

bool TagCursor::onlyBlankLeft() const {
    for (std::size_t i = position_; i < data_.size(); ++i) {
        if (!isBlank(data_[i]))
            return false;
    }
    return true;
}

void TagCursor::fail(std::size_t offset, const std::string& what) const {
    throw DxfError(
        DxfError::Kind::Format,
        "图形文件第 " + std::to_string(lineBase_ + lineNumberAt(data_, offset)) + " 行" + what);
}

bool TagCursor::next(RawTag& tag) {
    const std::size_t size = data_.size();
    if (position_ >= size)
        return false;
    // Most code lines are a few spaces, digits and the line end: read those in one pass.
    const char* data = data_.data();
    std::size_t p = position_;
    while (p < size && data[p] == ' ')
        ++p;
    const bool negative = p < size && data[p] == '-';
    if (negative)
        ++p;
    int code = 0;
    std::size_t digits = 0;
    while (p < size && digits < 7 && static_cast<unsigned>(data[p] - '0') < 10) {
        code = code * 10 + (data[p] - '0');
        ++p;
        ++digits;
    }
    if (p < size && data[p] == '\r')
        ++p;
    std::size_t valueBegin = 0;
    if (digits > 0 && digits < 7 && p < size && data[p] == '\n') {
        tag.code = negative ? -code : code;
        valueBegin = p + 1;
    } else {
        const Line codeLine = lineAt(data_, position_);
        if (!parseGroupCode(codeLine.text, tag.code)) {
            if (onlyBlankLeft()) {
                position_ = size;  // blank lines at the very end
                return false;
            }
            std::string shown(codeLine.text.substr(0, 40));
            for (char& c : shown) {
                if (static_cast<unsigned char>(c) < 0x20)
                    c = ' ';
            }
            fail(position_, "的组码无效：“" + shown + "”");
        }
        if (!codeLine.complete)
            fail(position_, "之后缺少组值，文件不完整");
        valueBegin = codeLine.next;
    }
    const Line valueLine = lineAt(data_, valueBegin);
    tag.begin = position_;
    tag.valueBegin = valueBegin;
    tag.value = valueLine.text;
    tag.end = valueLine.next;
    position_ = valueLine.next;
    return true;
}

RecordEditor::RecordEditor(std::string_view bytes) {
    tags_.reserve(bytes.size() / 8 + 1);  // a tag takes at least four bytes, usually more
    TagCursor cursor(bytes);
    RawTag raw;
    while (cursor.next(raw)) {
        const std::size_t valueEnd = raw.valueBegin + raw.value.size();
        tags_.push_back({raw.code, std::string(bytes.substr(raw.begin, raw.valueBegin - raw.begin)),
                         std::string(raw.value),
                         std::string(bytes.substr(valueEnd, raw.end - valueEnd))});
    }
}

std::string RecordEditor::serialize() const {
    std::size_t size = 0;
    for (const Tag& tag : tags_)
        size += tag.codeLine.size() + tag.value.size() + tag.valueEnd.size();
    std::string out;
    out.reserve(size);
    for (const Tag& tag : tags_) {
        out += tag.codeLine;
        out += tag.value;
        out += tag.valueEnd;
    }
    return out;
}

std::size_t RecordEditor::find(int code, std::size_t from) const {
    for (std::size_t i = from; i < tags_.size(); ++i) {
        if (tags_[i].code == code)
            return i;
    }
    return npos;
}

std::string RecordEditor::formatCodeLine(int code, std::size_t near) const {
    std::string digits = std::to_string(code);
    if (tags_.empty())
        return digits + "\n";
    const Tag& model = tags_[std::min(near, tags_.size() - 1)];
    std::string_view line = model.codeLine;
    std::size_t textEnd = line.size();
    while (textEnd > 0 && (line[textEnd - 1] == '\n' || line[textEnd - 1] == '\r'))
        --textEnd;
    const std::string_view lineEnd = line.substr(textEnd);
    const std::string_view text = line.substr(0, textEnd);
    std::string formatted = digits;
    // Right-aligned codes (the common three-column style) stay right-aligned.
    if (!text.empty() && text.front() == ' ' && digits.size() < text.size()) {
        formatted = std::string(text.size() - digits.size(), ' ') + digits;
    }
    return formatted + std::string(lineEnd.empty() ? std::string_view("\n") : lineEnd);
}

void RecordEditor::insert(std::size_t index, int code, std::string value) {
    index = std::min(index, tags_.size());
    const std::size_t near = index > 0 ? index - 1 : 0;
    // A code line always ends in its line end, so the neighbour's tells which one to use.
    std::string_view lineEnd = "\n";
    if (!tags_.empty()) {
        const std::string_view model = tags_[near].codeLine;
        const std::size_t text = model.find_last_not_of("\r\n");
        const std::string_view found = model.substr(text == std::string_view::npos ? 0 : text + 1);
        if (!found.empty())
            lineEnd = found;
    }
    Tag tag{code, formatCodeLine(code, near), std::move(value), std::string(lineEnd)};
    tags_.insert(tags_.begin() + static_cast<std::ptrdiff_t>(index), std::move(tag));
}

void RecordEditor::erase(std::size_t index, std::size_t count) {
    if (index >= tags_.size())
        return;
    count = std::min(count, tags_.size() - index);
    tags_.erase(tags_.begin() + static_cast<std::ptrdiff_t>(index),
                tags_.begin() + static_cast<std::ptrdiff_t>(index + count));
}

}  // namespace quorvel::dxf
