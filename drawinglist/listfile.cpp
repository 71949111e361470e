#include "drawinglist/listfile.h"

#include "drawinglist/drawinglist.h"
#include "textcodec/codepage936.h"

namespace quorvel::drawinglist {

namespace {

template <typename TextAt>
std::string encode(std::size_t count, TextAt textAt) {
    std::size_t length = 0;
    for (std::size_t i = 0; i < count; ++i) {
        length += textAt(i).size() + 2;
    }
    std::u16string text;
    text.reserve(length);
    for (std::size_t i = 0; i < count; ++i) {
        text += textAt(i);
        text += u"\r\n";
    }
    return codepage::toCodePage936(text);
}

}  // namespace

std::string encodeListFile(const DrawingList& list) {
    return encode(list.count(),
                  [&list](std::size_t i) -> const std::u16string& { return list.textAt(i); });
}

std::string encodeListFile(const std::vector<std::u16string>& entries) {
    return encode(entries.size(),
                  [&entries](std::size_t i) -> const std::u16string& { return entries[i]; });
}

std::vector<std::u16string> decodeListFile(std::string_view bytes, LastLine lastLine) {
    // CR and LF never occur inside a GBK double-byte character, so splitting after decoding
    // finds the same lines as splitting the bytes.
    const std::u16string text = codepage::fromCodePage936(bytes);
    std::vector<std::u16string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        // A lone LF ends a line too: list files written by hand on Linux use it.
        if (text[i] != u'\r' && text[i] != u'\n') {
            continue;
        }
        lines.emplace_back(text, start, i - start);
        if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
            ++i;
        }
        start = i + 1;
    }
    if (start < text.size() && lastLine == LastLine::Counts) {
        lines.emplace_back(text, start);
    }
    return lines;
}

}  // namespace quorvel::drawinglist
