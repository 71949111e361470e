#pragma once
// Draws one drawing: lines, polylines, circles, arcs, single-line text with its height, rotation
// and justification, multi-line text and block references. Wheel zooms at the pointer, a drag
// with the left or middle button pans, a double click with the middle button zooms to extents.

#include "cadhost/dxf/drawing.h"

#include <QPointF>
#include <QRectF>
#include <QWidget>

#include <map>
#include <vector>

namespace quorvel::cadhost {

class DrawingView : public QWidget {
    Q_OBJECT
public:
    explicit DrawingView(QWidget* parent = nullptr);

    // A different drawing (or none): shown zoomed to its extents.
    void setDrawing(const dxf::Drawing* drawing);
    // The drawing's content changed: redraw, keeping the view.
    void refresh();
    void zoomExtents();
    void setPaperSpace(bool paper);
    bool isPaperSpace() const { return paper_; }

    // World extents of what is shown; empty when nothing is drawn.
    QRectF contentExtents() const { return extents_; }

signals:
    void cursorMoved(QPointF world);

protected:
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void reload();
    QTransform worldToScreen() const;
    const std::vector<dxf::EntityInfo>& blockEntities(const std::string& name) const;

    const dxf::Drawing* drawing_ = nullptr;
    bool paper_ = false;
    std::vector<dxf::EntityInfo> entities_;
    mutable std::map<std::string, std::vector<dxf::EntityInfo>> blocks_;
    QRectF extents_;
    bool hasContent_ = false;
    bool stale_ = false;
    QPointF center_;
    double scale_ = 1;  // pixels per drawing unit
    bool panning_ = false;
    bool fitted_ = true;  // still zoomed to extents: follows size changes
    QPointF lastMouse_;
};

}  // namespace quorvel::cadhost
