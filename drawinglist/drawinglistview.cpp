#include "drawinglist/drawinglistview.h"

#include <QCursor>
#include <QDropEvent>
#include <QHelpEvent>
#include <QMimeData>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QToolTip>
#include <QUrl>

#include "drawinglist/drawinglistmodel.h"
#include "drawinglist/tooltiprow.h"

namespace quorvel::drawinglist {

// Rows exactly as tall as the tooltip arithmetic assumes.
class FixedRowDelegate : public QStyledItemDelegate {
public:
    explicit FixedRowDelegate(QObject* parent) : QStyledItemDelegate(parent) {}
    void setRowHeight(int height) { rowHeight_ = height; }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(rowHeight_);
        return size;
    }

private:
    int rowHeight_ = 1;
};

namespace {

bool carriesFiles(const QMimeData* mime) {
    return mime && mime->hasUrls();
}

}  // namespace

DrawingListView::DrawingListView(QWidget* parent)
    : QListView(parent),
      drawings_(new DrawingListModel(this)),
      rowDelegate_(new FixedRowDelegate(this)) {
    setModel(drawings_);
    setItemDelegate(rowDelegate_);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTextElideMode(Qt::ElideNone);
    setWordWrap(false);
    setUniformItemSizes(true);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setDragEnabled(false);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDropIndicatorShown(false);
    setMouseTracking(true);
    applyRowHeight();
}

int DrawingListView::count() const {
    return drawings_->count();
}

QString DrawingListView::hintText() {
    return QStringLiteral("双击删除单个列表，支持资源管理器拖放文件");
}

void DrawingListView::removeSelected() {
    std::vector<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedIndexes()) {
        rows.push_back(index.row());
    }
    drawings_->removeRowsAt(std::move(rows));
}

int DrawingListView::rowHeightPixels() const {
    QFont measured = window()->font();
    if (font().pointSizeF() > 0) {
        measured.setPointSizeF(font().pointSizeF());
    } else {
        measured.setPixelSize(font().pixelSize());
    }
    return QFontMetrics(measured).size(Qt::TextSingleLine, QStringLiteral("Xyz")).height();
}

void DrawingListView::applyRowHeight() {
    rowDelegate_->setRowHeight(rowHeightPixels());
    scheduleDelayedItemsLayout();
}

void DrawingListView::updateToolTipAt(int viewportY) {
    const double twipsPerPixel = 1440.0 / logicalDpiY();
    // With per-item scrolling the scroll bar's value is the index of the top row.
    const auto topIndex = static_cast<std::size_t>(std::max(0, verticalScrollBar()->value()));
    const auto entry =
        entryUnderPointer(viewportY * twipsPerPixel, rowHeightPixels() * twipsPerPixel, topIndex,
                          static_cast<std::size_t>(count()));
    const QString text = entry ? drawings_->textAt(static_cast<int>(*entry)) : hintText();
    if (text == toolTip()) {
        return;
    }
    setToolTip(text);
    // A tip already showing follows the pointer to the next entry.
    if (QToolTip::isVisible()) {
        QToolTip::showText(QCursor::pos(), text, viewport());
    }
}

void DrawingListView::mouseMoveEvent(QMouseEvent* event) {
    QListView::mouseMoveEvent(event);
    updateToolTipAt(qRound(event->position().y()));
}

void DrawingListView::mouseDoubleClickEvent(QMouseEvent* event) {
    QListView::mouseDoubleClickEvent(event);
    if (event->button() != Qt::LeftButton) {
        return;
    }
    removeSelected();
}

void DrawingListView::dragEnterEvent(QDragEnterEvent* event) {
    if (carriesFiles(event->mimeData())) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void DrawingListView::dragMoveEvent(QDragMoveEvent* event) {
    if (carriesFiles(event->mimeData())) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void DrawingListView::dropEvent(QDropEvent* event) {
    const QMimeData* mime = event->mimeData();
    if (!carriesFiles(mime)) {
        event->ignore();
        return;
    }
    // Anything that is not a local file is skipped, as is every path not ending in "dwg".
    QStringList paths;
    for (const QUrl& url : mime->urls()) {
        if (url.isLocalFile()) {
            const QString path = url.toLocalFile();
            if (!path.isEmpty()) {
                paths << path;
            }
        }
    }
    try {
        drawings_->addDroppedPaths(paths);
    } catch (const std::exception&) {
        // A drop never reports anything; what could be added stays.
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

bool DrawingListView::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        // The list's own tooltip, set by the last mouse move, not a per-item one.
        const auto* help = static_cast<QHelpEvent*>(event);
        QToolTip::showText(help->globalPos(), toolTip(), viewport());
        return true;
    }
    return QListView::viewportEvent(event);
}

void DrawingListView::changeEvent(QEvent* event) {
    QListView::changeEvent(event);
    // The measuring font comes from the window, which a new parent may change.
    if (event->type() == QEvent::FontChange || event->type() == QEvent::ParentChange) {
        applyRowHeight();
    }
}

}  // namespace quorvel::drawinglist
