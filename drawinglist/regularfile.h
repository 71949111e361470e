#pragma once
#include <QFile>
#include <QString>

#include "drawinglist/listfileio.h"

namespace quorvel::drawinglist {

// Opens a file for reading without waiting for a writer, and only if it is a regular file of at
// most `limit` bytes: a pipe, a device or a socket would block the window or never end. On Done
// the file owns the opened descriptor and `size` holds its length.
ListFileOutcome openRegularFile(const QString& path, qint64 limit, QFile& file, qint64& size);

}  // namespace quorvel::drawinglist
