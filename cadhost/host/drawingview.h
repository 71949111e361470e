#pragma once
// Draws one drawing: lines, polylines, circles, arcs, single-line text with its height, rotation
// and justification, multi-line text and block references, in their layers' colours; layers that
// are off are not drawn. Wheel zooms at the pointer, a drag with the left or middle button pans,
// a double click with the middle button zooms to extents.

#include "dxf/drawing.h"

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

public:
    // What the view keeps of a block definition and of a layer.
    struct Block {
        dxf::Point base;
        std::vector<dxf::EntityInfo> entities;
    };
    struct Layer {
        int color = 7;
        bool off = false;
    };

private:
    void reload();
    QTransform worldToScreen() const;
    const Block& block(const std::string& name) const;

    const dxf::Drawing* drawing_ = nullptr;
    bool paper_ = false;
    std::vector<dxf::EntityInfo> entities_;
    mutable std::map<std::string, Block> blocks_;
    std::map<std::string, Layer> layers_;  // by name in lower case
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
