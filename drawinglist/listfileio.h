#pragma once
#include <QString>

namespace quorvel::drawinglist {

class DrawingListModel;

enum class ListFileOutcome {
    Done,
    Refused,  // no name, or access to the name is refused (a folder, a read-only file)
    Failed    // anything else: a missing file or folder, a bad name, a write or read error
};

// Writes the whole list. The new list goes to a temporary file in the same folder that replaces
// the target only once every line is written, so a failed save leaves the previous file whole.
ListFileOutcome saveListFile(const QString& path, const DrawingListModel& list);

// Adds every line of the file to the list. After a read error the lines read completely before
// it stay added.
ListFileOutcome readListFile(const QString& path, DrawingListModel& list);

}  // namespace quorvel::drawinglist
