#pragma once
// The list file: one entry per line, each line ended by CR LF, code page 936, no byte-order mark.

#include <string>
#include <string_view>
#include <vector>

namespace quorvel::drawinglist {

class DrawingList;

// Every entry in list order, each followed by CR LF; an empty list gives no bytes at all.
std::string encodeListFile(const DrawingList& list);
std::string encodeListFile(const std::vector<std::u16string>& entries);

enum class LastLine {
    Counts,     // the whole file was read: a last line without a line end is an entry too
    Unfinished  // reading stopped early: a last line without a line end may be cut short
};

// A line ends at CR LF, at a lone CR or at a lone LF. Nothing is trimmed and every line, an
// empty one included, is an entry.
std::vector<std::u16string> decodeListFile(std::string_view bytes,
                                           LastLine lastLine = LastLine::Counts);

}  // namespace quorvel::drawinglist
