#include "drawinglist/listfileio.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <string>

#include "drawinglist/drawinglistmodel.h"
#include "drawinglist/listfile.h"

namespace quorvel::drawinglist {

namespace {

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
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return file.error() == QFileDevice::PermissionsError ? ListFileOutcome::Refused
                                                             : ListFileOutcome::Failed;
    }
    std::string bytes;
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
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    file.close();
    list.addAll(
        toQStringList(decodeListFile(bytes, complete ? LastLine::Counts : LastLine::Unfinished)));
    return complete ? ListFileOutcome::Done : ListFileOutcome::Failed;
}

}  // namespace quorvel::drawinglist
