#include "drawinglist/drawinglistmodel.h"

#include <algorithm>

namespace quorvel::drawinglist {

namespace {

// Beyond this many separate stretches a change is announced as a reset: announcing each
// stretch on its own would move the entries once per stretch.
constexpr std::size_t kMostStretchesAnnouncedOneByOne = 32;

std::vector<std::u16string> toU16(const QStringList& texts) {
    std::vector<std::u16string> converted;
    converted.reserve(static_cast<std::size_t>(texts.size()));
    for (const QString& text : texts) {
        converted.push_back(text.toStdU16String());
    }
    return converted;
}

}  // namespace

DrawingListModel::DrawingListModel(QObject* parent) : QAbstractListModel(parent) {}

int DrawingListModel::count() const {
    return static_cast<int>(list_.count());
}

QString DrawingListModel::textAt(int index) const {
    if (index < 0 || index >= count()) {
        return {};
    }
    return QString::fromStdU16String(list_.textAt(static_cast<std::size_t>(index)));
}

void DrawingListModel::removeAt(int index) {
    if (index < 0 || index >= count()) {
        return;
    }
    beginRemoveRows({}, index, index);
    list_.removeAt(static_cast<std::size_t>(index));
    endRemoveRows();
}

void DrawingListModel::removeAll() {
    if (list_.count() == 0) {
        return;
    }
    beginResetModel();
    list_.removeAll();
    endResetModel();
}

void DrawingListModel::add(const QString& text) {
    addAll(QStringList{text});
}

void DrawingListModel::addAll(const QStringList& texts) {
    if (texts.isEmpty()) {
        return;
    }
    insertPending(list_.prepare(toU16(texts)));
}

int DrawingListModel::addChosenPaths(const QStringList& paths) {
    std::vector<std::u16string> fresh = list_.withoutExactDuplicates(toU16(paths));
    const auto added = static_cast<int>(fresh.size());
    if (added > 0) {
        insertPending(list_.prepare(std::move(fresh)));
    }
    return added;
}

int DrawingListModel::addDroppedPaths(const QStringList& paths) {
    QStringList drawings;
    for (const QString& path : paths) {
        const std::u16string_view view(reinterpret_cast<const char16_t*>(path.utf16()),
                                       static_cast<std::size_t>(path.size()));
        if (isDroppableDrawing(view)) {
            drawings << path;
        }
    }
    addAll(drawings);
    return static_cast<int>(drawings.size());
}

void DrawingListModel::insertPending(DrawingList::Pending pending) {
    if (pending.size() == 0) {
        return;
    }
    if (pending.runs().size() > kMostStretchesAnnouncedOneByOne) {
        beginResetModel();
        list_.insert(std::move(pending));
        endResetModel();
        return;
    }
    // Stretches in ascending order, so each lands on its final index and views keep their
    // selection.
    const std::vector<DrawingList::Pending::Run> runs = pending.runs();
    for (const DrawingList::Pending::Run& run : runs) {
        const int first = static_cast<int>(run.firstIndex);
        beginInsertRows({}, first, first + static_cast<int>(run.count) - 1);
        list_.insertRun(pending, run);
        endInsertRows();
    }
}

void DrawingListModel::removeRowsAt(std::vector<int> rows) {
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    rows.erase(std::remove_if(rows.begin(), rows.end(),
                              [this](int row) { return row < 0 || row >= count(); }),
               rows.end());
    if (rows.empty()) {
        return;
    }
    // Stretches of neighbouring rows, each announced and removed from the last one upwards so
    // that the rows still to go keep their indices.
    std::vector<std::pair<int, int>> stretches;  // first, last
    for (int row : rows) {
        if (!stretches.empty() && stretches.back().second + 1 == row) {
            stretches.back().second = row;
        } else {
            stretches.emplace_back(row, row);
        }
    }
    if (stretches.size() > kMostStretchesAnnouncedOneByOne) {
        beginResetModel();
        list_.removeEach(std::vector<std::size_t>(rows.begin(), rows.end()));
        endResetModel();
        return;
    }
    for (auto it = stretches.rbegin(); it != stretches.rend(); ++it) {
        beginRemoveRows({}, it->first, it->second);
        list_.removeRange(static_cast<std::size_t>(it->first),
                          static_cast<std::size_t>(it->second - it->first + 1));
        endRemoveRows();
    }
}

int DrawingListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count();
}

QVariant DrawingListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= count()) {
        return {};
    }
    return textAt(index.row());
}

Qt::ItemFlags DrawingListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::ItemIsDropEnabled;
    }
    // Selectable only: nothing is edited in place or dragged out.
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

}  // namespace quorvel::drawinglist
