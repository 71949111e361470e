#pragma once
#include <QAbstractListModel>
#include <QStringList>

#include <vector>

#include "drawinglist/drawinglist.h"

namespace quorvel::drawinglist {

// The drawing list as the views and the rest of the program see it. It holds the only copy of
// the paths (in a DrawingList) and tells attached views about every change.
class DrawingListModel : public QAbstractListModel {
    Q_OBJECT
public:
    explicit DrawingListModel(QObject* parent = nullptr);

    // What the batch run, the preview and the list file use.
    int count() const;
    QString textAt(int index) const;  // empty for an index that holds no entry
    void removeAt(int index);         // ignored for an index that holds no entry
    void removeAll();
    void add(const QString& text);

    // Adds every text as add() would, one after the other, in a single step.
    void addAll(const QStringList& texts);
    // The file dialog's pass: each path unless an entry, or a path earlier in the same pass, has
    // exactly the same text. Returns how many were added.
    int addChosenPaths(const QStringList& paths);
    // A drop: each path whose last three characters are "dwg", duplicates included.
    int addDroppedPaths(const QStringList& paths);
    // Removes each listed row once; the others keep their order.
    void removeRowsAt(std::vector<int> rows);

    const DrawingList& entries() const { return list_; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    void insertPending(DrawingList::Pending pending);

    DrawingList list_;
};

}  // namespace quorvel::drawinglist
