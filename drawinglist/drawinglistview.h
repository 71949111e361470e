#pragma once
#include <QListView>

namespace quorvel::drawinglist {

class DrawingListModel;
class FixedRowDelegate;

// The list box "List2": the drawings in their sorted order, extended selection, no horizontal
// scrolling, files dropped from a file manager, and a tooltip naming the entry under the pointer.
// Nothing can be dragged out of it.
class DrawingListView : public QListView {
    Q_OBJECT
public:
    explicit DrawingListView(QWidget* parent = nullptr);

    DrawingListModel* drawings() const { return drawings_; }
    int count() const;

    // Removes every selected entry, from the last one upwards.
    void removeSelected();

    // Height of one row in pixels: one line of "Xyz" in the window's font at the list's size.
    int rowHeightPixels() const;
    // Sets the tooltip for the pointer at this height within the list's client area.
    void updateToolTipAt(int viewportY);

    static QString hintText();

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void applyRowHeight();

    DrawingListModel* drawings_;
    FixedRowDelegate* rowDelegate_;
};

}  // namespace quorvel::drawinglist
