#include "drawinglist/listfileio.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <string>

#include "drawinglist/drawinglistmodel.h"
#include "drawinglist/listfile.h"
#include "drawinglist/regularfile.h"

namespace quorvel::drawinglist {

namespace {

// Far beyond any real list (a million long paths); a larger file is not a list.
constexpr qint64 kListFileLimit = qint64{64} * 1024 * 1024;

// Marked read-only: no write permission for its owner. Refused even where the process could
// write it anyway (as root), as a read-only file is refused to everyone.
bool isReadOnly(const QFileInfo& info) {
    return !info.isWritable() || !info.permission(QFileDevice::WriteOwner);
}

QStringList toQStringList(const std::vector<std::u16string>& lines) {
    QStringList list;
    list.reserve(static_cast<qsizetype>(lines.size()));
    for (const std::u16string& line : lines) {
        list << QString::fromStdU16String(line);
    }
    return list;
}

}  // namespace

ListFileOutcome saveListFile(const QString& path, const DrawingListModel& list) {
    if (path.isEmpty()) {
        return ListFileOutcome::Refused;
    }
    const QFileInfo target(path);
    if (target.isDir()) {
        return ListFileOutcome::Refused;
    }
    // Checked first: the rename below would replace a read-only file without asking.
    if (target.exists() && isReadOnly(target)) {
        return ListFileOutcome::Refused;
    }
    const QFileInfo folder(target.absolutePath());
    if (!folder.isDir()) {
        return ListFileOutcome::Failed;
    }

    const std::string bytes = encodeListFile(list.entries());
    QSaveFile file(path);
    // A folder that takes no new files still lets an existing, writable list be rewritten.
    file.setDirectWriteFallback(true);
    // Unbuffered: a buffered write that fails only when flushed at commit goes unnoticed and the
    // torn file replaces the old one; written straight through, a short write is seen here.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        return !target.exists() && !folder.isWritable() ? ListFileOutcome::Refused
                                                        : ListFileOutcome::Failed;
    }
    if (file.write(bytes.data(), static_cast<qint64>(bytes.size())) !=
            static_cast<qint64>(bytes.size()) ||
        file.error() != QFileDevice::NoError) {
        file.cancelWriting();
        return ListFileOutcome::Failed;
    }
    return file.commit() ? ListFileOutcome::Done : ListFileOutcome::Failed;
}

ListFileOutcome readListFile(const QString& path, DrawingListModel& list) {
    if (path.isEmpty()) {
        return ListFileOutcome::Refused;
    }
    const QFileInfo source(path);
    if (source.isDir()) {
        return ListFileOutcome::Refused;
    }
    if (!source.exists()) {
        return ListFileOutcome::Failed;
    }
    if (!source.isReadable()) {
        return ListFileOutcome::Refused;
    }
    // Opened without waiting for a writer, then looked at: only a regular file of bounded size.
    QFile file;
    qint64 size = 0;
    const ListFileOutcome opened = openRegularFile(path, kListFileLimit, file, size);
    if (opened != ListFileOutcome::Done) {
        return opened;
    }
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(size));
    bool complete = true;
    char buffer[1 << 16];
    for (;;) {
        const qint64 got = file.read(buffer, sizeof buffer);
        if (got < 0) {
            complete = false;
            break;
        }
        if (got == 0) {
            break;
        }
        if (static_cast<qint64>(bytes.size()) + got > kListFileLimit) {
            return ListFileOutcome::Failed;  // grew past the limit while being read
        }
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    file.close();
    auto lines = decodeListFile(bytes, complete ? LastLine::Counts : LastLine::Unfinished);
    std::string().swap(bytes);  // not kept beside the lines while they are copied
    list.addAll(toQStringList(lines));
    return complete ? ListFileOutcome::Done : ListFileOutcome::Failed;
}

}  // namespace quorvel::drawinglist
