#include "cadhost/host/drawingview.h"

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <functional>
#include <numbers>

namespace quorvel::cadhost {
namespace {

// Text as drawn: a byte the drawing's code page could not decode is carried as U+10FF80 to
// U+10FFFF (a surrogate pair DBFF DF80..DFFF) and shown as the replacement character.
QString shownText(const std::string& utf8) {
    QString text = QString::fromUtf8(utf8);
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == QChar(0xDBFF) && text[i + 1].unicode() >= 0xDF80) {
            text.replace(i, 2, QChar(QChar::ReplacementCharacter));
        }
    }
    return text;
}

constexpr double kReferencePixelSize = 100;
constexpr int kMaxBlockDepth = 8;
// Entities drawn per paint, counting each one inside a block reference once per reference:
// nested blocks multiply quickly, and the bus is answered on this thread only between paints.
constexpr long kPaintBudget = 200000;
const QColor kBackground(33, 40, 48);
const QColor kDefaultInk(230, 230, 230);
// Colour 7 is white on a dark background and black on a light one.
const QColor kIndex7 = kBackground.lightness() < 128 ? QColor(Qt::white) : QColor(Qt::black);

using Block = DrawingView::Block;
using Layer = DrawingView::Layer;
using BlockLookup = std::function<const Block&(const std::string&)>;

// Layer names compare ignoring case.
std::string layerKey(std::string name) {
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return name;
}

QPointF toQt(const dxf::Point& p) {
    return {p.x, p.y};
}

// The first colours of the CAD colour index; the rest are approximated by hue and shade.
QColor indexColor(int index) {
    static const QColor basic[] = {kIndex7,
                                   QColor(255, 0, 0),
                                   QColor(255, 255, 0),
                                   QColor(0, 255, 0),
                                   QColor(0, 255, 255),
                                   QColor(0, 0, 255),
                                   QColor(255, 0, 255),
                                   kIndex7,
                                   QColor(128, 128, 128),
                                   QColor(192, 192, 192)};
    if (index >= 1 && index <= 9) {
        return basic[index];
    }
    if (index >= 10 && index <= 249) {
        const int hue = ((index - 10) / 10) * 15;
        const int shade = (index - 10) % 10;
        const int value = 255 - (shade / 2) * 40;
        const int saturation = shade % 2 == 0 ? 255 : 128;
        return QColor::fromHsv(hue % 360, saturation, std::max(value, 60));
    }
    if (index >= 250 && index <= 255) {
        const int grey = 51 + (index - 250) * 40;
        return QColor(grey, grey, grey);
    }
    return kDefaultInk;
}

QFont referenceFont() {
    QFont font(QStringLiteral("Noto Sans CJK SC"));
    font.setPixelSize(static_cast<int>(kReferencePixelSize));
    return font;
}

// Drawing-unit size of the reference font's capital letters, so a text of height h is drawn
// with its capitals h tall.
double referenceCapHeight(const QFontMetricsF& metrics) {
    const double cap = metrics.capHeight();
    return cap > 1 ? cap : metrics.ascent() * 0.7;
}

// Bounds that also grow from a single point (a QRectF of size 0 counts as null).
struct Bounds {
    bool empty = true;
    double left = 0, bottom = 0, right = 0, top = 0;

    void add(const QPointF& p) {
        if (!std::isfinite(p.x()) || !std::isfinite(p.y())) {
            return;
        }
        if (empty) {
            left = right = p.x();
            bottom = top = p.y();
            empty = false;
            return;
        }
        left = std::min(left, p.x());
        right = std::max(right, p.x());
        bottom = std::min(bottom, p.y());
        top = std::max(top, p.y());
    }

    QRectF rect() const {
        return empty ? QRectF() : QRectF(QPointF(left, bottom), QPointF(right, top));
    }
};

// A polyline segment with a bulge is an arc; the bulge is tan(quarter of its angle).
void addBulgeSegment(QPainterPath& path, const QPointF& from, const QPointF& to, double bulge) {
    if (std::abs(bulge) < 1e-9) {
        path.lineTo(to);
        return;
    }
    const double angle = 4 * std::atan(bulge);
    const QPointF chord = to - from;
    const double length = std::hypot(chord.x(), chord.y());
    if (length < 1e-12) {
        return;
    }
    const double radius = length / (2 * std::sin(angle / 2));
    const QPointF middle = (from + to) / 2;
    const QPointF normal(-chord.y() / length, chord.x() / length);
    const double offset = radius * std::cos(angle / 2);
    const QPointF center = middle + normal * offset;
    const double start = std::atan2(from.y() - center.y(), from.x() - center.x());
    const int steps = std::clamp(static_cast<int>(std::abs(angle) * 12), 4, 64);
    for (int i = 1; i <= steps; ++i) {
        const double a = start + angle * i / steps;
        path.lineTo(center + QPointF(std::cos(a), std::sin(a)) * std::abs(radius));
    }
}

class EntityPainter {
public:
    EntityPainter(QPainter& painter, double pixelsPerUnit, const BlockLookup& blocks,
                  const std::map<std::string, Layer>& layers)
        : painter_(painter),
          pixelsPerUnit_(pixelsPerUnit),
          blocks_(blocks),
          layers_(layers),
          font_(referenceFont()),
          metrics_(font_),
          capHeight_(referenceCapHeight(metrics_)) {}

    bool exhausted() const { return budget_ <= 0; }

    // inherited: colour and layer of the block reference that holds the entity.
    void draw(const dxf::EntityInfo& entity, const QColor& inherited, const Layer& inheritedLayer,
              int depth) {
        if (budget_ <= 0) {
            return;
        }
        --budget_;
        // Inside a block, layer 0 stands for the layer of the reference.
        const Layer& layer =
            depth > 0 && entity.layer == "0" ? inheritedLayer : layerOf(entity.layer);
        if (layer.off) {
            return;
        }
        QColor color = inherited;  // by block
        if (entity.color >= 1 && entity.color <= 255) {
            color = indexColor(entity.color);
        } else if (entity.color != 0) {
            color = indexColor(layer.color);
        }
        layer_ = &layer;
        QPen pen(color, 0);
        pen.setCosmetic(true);
        painter_.setPen(pen);
        painter_.setBrush(Qt::NoBrush);
        std::visit([&](const auto& geometry) { drawGeometry(geometry, color, depth); },
                   entity.geometry);
    }

private:
    const Layer& layerOf(const std::string& name) const {
        static const Layer kUnknown;
        const auto found = layers_.find(layerKey(name));
        return found == layers_.end() ? kUnknown : found->second;
    }

    void drawGeometry(const std::monostate&, const QColor&, int) {}

    void drawGeometry(const dxf::LineGeometry& line, const QColor&, int) {
        painter_.drawLine(toQt(line.start), toQt(line.end));
    }

    void drawGeometry(const dxf::PolylineGeometry& polyline, const QColor&, int) {
        if (polyline.vertices.empty()) {
            return;
        }
        QPainterPath path(toQt(polyline.vertices.front()));
        const std::size_t count = polyline.vertices.size();
        const std::size_t segments = polyline.closed ? count : count - 1;
        for (std::size_t i = 0; i < segments; ++i) {
            const double bulge = i < polyline.bulges.size() ? polyline.bulges[i] : 0;
            addBulgeSegment(path, toQt(polyline.vertices[i]),
                            toQt(polyline.vertices[(i + 1) % count]), bulge);
        }
        painter_.drawPath(path);
    }

    void drawGeometry(const dxf::CircleGeometry& circle, const QColor&, int) {
        painter_.drawEllipse(toQt(circle.center), circle.radius, circle.radius);
    }

    void drawGeometry(const dxf::ArcGeometry& arc, const QColor&, int) {
        double sweep = arc.endAngle - arc.startAngle;
        while (sweep <= 0) {
            sweep += 360;
        }
        const QRectF box(arc.center.x - arc.radius, arc.center.y - arc.radius, 2 * arc.radius,
                         2 * arc.radius);
        // The world transform flips y, so Qt's counter-clockwise angles become clockwise.
        QPainterPath path;
        path.arcMoveTo(box, -arc.startAngle);
        path.arcTo(box, -arc.startAngle, -sweep);
        painter_.drawPath(path);
    }

    void drawGeometry(const dxf::TextGeometry& text, const QColor&, int) {
        if (text.height <= 0 || text.text.empty()) {
            return;
        }
        const QString content = shownText(text.text);
        const double widthFactor = text.widthFactor > 0 ? text.widthFactor : 1;
        double scale = text.height / capHeight_;
        double xScale = scale * widthFactor;
        double advance = metrics_.horizontalAdvance(content) * xScale;
        QPointF anchor = toQt(text.insertion);
        double rotation = text.rotation;
        double baselineLeft = 0;
        double baselineUp = 0;

        const bool usesAlignmentPoint = text.horizontal != 0 || text.vertical != 0;
        if (usesAlignmentPoint && text.alignment) {
            anchor = toQt(*text.alignment);
        }
        if ((text.horizontal == 3 || text.horizontal == 5) && text.alignment) {
            // aligned and fit run from the insertion to the alignment point
            const QPointF from = toQt(text.insertion);
            const QPointF to = toQt(*text.alignment);
            const double length = std::hypot(to.x() - from.x(), to.y() - from.y());
            if (length > 0 && advance > 0) {
                rotation =
                    std::atan2(to.y() - from.y(), to.x() - from.x()) * 180 / std::numbers::pi;
                const double stretch = length / advance;
                xScale *= stretch;
                if (text.horizontal == 3) {
                    scale *= stretch;
                }
                advance = length;
            }
            anchor = from;
        } else {
            if (text.horizontal == 1 || text.horizontal == 4) {
                baselineLeft = -advance / 2;
            } else if (text.horizontal == 2) {
                baselineLeft = -advance;
            }
            if (text.horizontal == 4 || text.vertical == 2) {
                baselineUp = -text.height / 2;
            } else if (text.vertical == 3) {
                baselineUp = -text.height;
            } else if (text.vertical == 1) {
                baselineUp = metrics_.descent() * scale;
            }
        }
        drawLabel(content, anchor, rotation, baselineLeft, baselineUp, xScale, scale, advance,
                  text.height);
    }

    void drawGeometry(const dxf::MTextGeometry& mtext, const QColor&, int) {
        if (mtext.height <= 0 || mtext.plainText.empty()) {
            return;
        }
        const double scale = mtext.height / capHeight_;
        QStringList lines;
        for (const QString& paragraph : shownText(mtext.plainText).split(u'\n')) {
            wrapInto(paragraph, mtext.width > 0 ? mtext.width / scale : 0, lines);
        }
        const double lineStep = mtext.height * 5.0 / 3.0;
        const double blockHeight = mtext.height + lineStep * (lines.size() - 1);
        const int column = (mtext.attachment - 1) % 3;
        const int row = (mtext.attachment - 1) / 3;
        double top = 0;  // first baseline relative to the insertion point, upwards
        if (row == 0) {
            top = -mtext.height;
        } else if (row == 1) {
            top = blockHeight / 2 - mtext.height;
        } else {
            top = blockHeight - mtext.height;
        }
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const double advance = metrics_.horizontalAdvance(lines[i]) * scale;
            double left = 0;
            if (column == 1) {
                left = -advance / 2;
            } else if (column == 2) {
                left = -advance;
            }
            drawLabel(lines[i], toQt(mtext.insertion), mtext.rotation, left,
                      top - lineStep * static_cast<double>(i), scale, scale, advance, mtext.height);
        }
    }

    void drawGeometry(const dxf::InsertGeometry& insert, const QColor& color, int depth) {
        if (depth >= kMaxBlockDepth) {
            return;  // a block that contains itself
        }
        const Block& block = blocks_(insert.blockName);
        const Layer& layer = *layer_;
        painter_.save();
        painter_.translate(toQt(insert.insertion));
        painter_.rotate(insert.rotation);
        painter_.scale(insert.xScale, insert.yScale);
        painter_.translate(-toQt(block.base));
        const double saved = pixelsPerUnit_;
        pixelsPerUnit_ *= std::sqrt(std::abs(insert.xScale * insert.yScale));
        for (const dxf::EntityInfo& inner : block.entities) {
            if (budget_ <= 0) {
                break;
            }
            draw(inner, color, layer, depth + 1);
        }
        pixelsPerUnit_ = saved;
        painter_.restore();
    }

    void wrapInto(const QString& paragraph, double widthInFontUnits, QStringList& lines) {
        if (widthInFontUnits <= 0 || metrics_.horizontalAdvance(paragraph) <= widthInFontUnits) {
            lines.append(paragraph);
            return;
        }
        QString line;
        for (const QChar c : paragraph) {
            if (!line.isEmpty() && metrics_.horizontalAdvance(line + c) > widthInFontUnits) {
                lines.append(line);
                line.clear();
            }
            line += c;
        }
        lines.append(line);
    }

    // Draws one line of text whose baseline starts at (left, up) in the text's own frame.
    void drawLabel(const QString& content, const QPointF& anchor, double rotation, double left,
                   double up, double xScale, double yScale, double advance, double height) {
        painter_.save();
        painter_.translate(anchor);
        painter_.rotate(rotation);
        painter_.translate(left, up);
        if (height * pixelsPerUnit_ < 3) {
            // too small to read: show where the text is
            painter_.drawLine(QPointF(0, 0), QPointF(advance, 0));
        } else {
            painter_.scale(xScale, -yScale);
            painter_.setFont(font_);
            painter_.drawText(QPointF(0, 0), content);
        }
        painter_.restore();
    }

    QPainter& painter_;
    double pixelsPerUnit_;
    const BlockLookup& blocks_;
    const std::map<std::string, Layer>& layers_;
    const Layer* layer_ = nullptr;  // of the entity being drawn
    long budget_ = kPaintBudget;
    QFont font_;
    QFontMetricsF metrics_;
    double capHeight_;
};

void extendByEntity(Bounds& rect, const dxf::EntityInfo& entity) {
    std::visit(
        [&](const auto& g) {
            using G = std::decay_t<decltype(g)>;
            if constexpr (std::is_same_v<G, dxf::LineGeometry>) {
                rect.add(toQt(g.start));
                rect.add(toQt(g.end));
            } else if constexpr (std::is_same_v<G, dxf::PolylineGeometry>) {
                for (const auto& v : g.vertices) {
                    rect.add(toQt(v));
                }
            } else if constexpr (std::is_same_v<G, dxf::CircleGeometry> ||
                                 std::is_same_v<G, dxf::ArcGeometry>) {
                rect.add(toQt(g.center) - QPointF(g.radius, g.radius));
                rect.add(toQt(g.center) + QPointF(g.radius, g.radius));
            } else if constexpr (std::is_same_v<G, dxf::TextGeometry>) {
                const QPointF at = toQt(g.insertion);
                rect.add(at);
                // a rough size, enough for zooming
                const double width = g.height * 0.8 * static_cast<double>(g.text.size()) / 2;
                const double a = g.rotation * std::numbers::pi / 180;
                rect.add(at + QPointF(std::cos(a), std::sin(a)) * width +
                         QPointF(-std::sin(a), std::cos(a)) * g.height);
                if (g.alignment) {
                    rect.add(toQt(*g.alignment));
                }
            } else if constexpr (std::is_same_v<G, dxf::MTextGeometry>) {
                rect.add(toQt(g.insertion));
                rect.add(toQt(g.insertion) +
                         QPointF(std::max(g.width, g.height * 4), -g.height * 2));
            } else if constexpr (std::is_same_v<G, dxf::InsertGeometry>) {
                rect.add(toQt(g.insertion));
            }
        },
        entity.geometry);
}

}  // namespace

DrawingView::DrawingView(QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(false);
    setMouseTracking(true);
    setMinimumSize(200, 150);
    setFocusPolicy(Qt::ClickFocus);
}

void DrawingView::setDrawing(const dxf::Drawing* drawing) {
    drawing_ = drawing;
    blocks_.clear();
    fitted_ = true;
    if (!isVisible()) {
        entities_.clear();
        stale_ = true;
        return;
    }
    reload();
    zoomExtents();
}

void DrawingView::refresh() {
    if (!isVisible()) {
        stale_ = true;  // read again when shown: a hidden host spends nothing on drawing
        return;
    }
    reload();
    update();
}

void DrawingView::showEvent(QShowEvent*) {
    if (stale_) {
        reload();
        if (fitted_) {
            zoomExtents();
        }
    }
}

void DrawingView::setPaperSpace(bool paper) {
    paper_ = paper;
    reload();
    zoomExtents();
}

void DrawingView::reload() {
    stale_ = false;
    entities_.clear();
    blocks_.clear();
    layers_.clear();
    extents_ = QRectF();
    hasContent_ = false;
    if (drawing_ == nullptr) {
        return;
    }
    for (const dxf::LayerInfo& layer : drawing_->layers()) {
        layers_.emplace(layerKey(layer.name), Layer{layer.color, layer.off});
    }
    entities_ = drawing_->entities(paper_ ? dxf::Space::Paper : dxf::Space::Model);
    Bounds bounds;
    for (const auto& entity : entities_) {
        extendByEntity(bounds, entity);
    }
    extents_ = bounds.rect();
    hasContent_ = !bounds.empty;
    if (bounds.empty && !paper_) {
        if (const auto header = drawing_->extents()) {
            extents_ = QRectF(toQt(header->min), toQt(header->max)).normalized();
            hasContent_ = true;
        }
    }
}

void DrawingView::zoomExtents() {
    QRectF area = extents_;
    if (!(area.width() > 0 && area.height() > 0)) {
        // a point, a straight line or nothing: a square around it (an A3 sheet for nothing)
        double size = std::max(area.width(), area.height());
        if (size <= 0) {
            size = hasContent_ ? 10 : 420;
        }
        const QPointF middle = hasContent_ ? area.center() : QPointF(210, 148.5);
        area = QRectF(middle - QPointF(size, size) / 2, QSizeF(size, size));
    }
    center_ = area.center();
    const double margin = 0.92;
    scale_ = std::min(width() * margin / area.width(), height() * margin / area.height());
    if (!std::isfinite(scale_) || scale_ <= 0) {
        scale_ = 1;
    }
    fitted_ = true;
    update();
}

QTransform DrawingView::worldToScreen() const {
    QTransform transform;
    transform.translate(width() / 2.0, height() / 2.0);
    transform.scale(scale_, -scale_);
    transform.translate(-center_.x(), -center_.y());
    return transform;
}

const DrawingView::Block& DrawingView::block(const std::string& name) const {
    auto found = blocks_.find(name);
    if (found == blocks_.end()) {
        Block block{drawing_->blockBasePoint(name).value_or(dxf::Point{}),
                    drawing_->blockEntities(name)};
        found = blocks_.emplace(name, std::move(block)).first;
    }
    return found->second;
}

void DrawingView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), kBackground);
    if (drawing_ == nullptr) {
        painter.setPen(kDefaultInk);
        painter.drawText(rect(), Qt::AlignCenter, QStringLiteral("没有打开的图形"));
        return;
    }
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setTransform(worldToScreen());
    const BlockLookup blocks = [this](const std::string& name) -> const Block& {
        return block(name);
    };
    EntityPainter entityPainter(painter, scale_, blocks, layers_);
    for (const auto& entity : entities_) {
        if (entityPainter.exhausted()) {
            break;
        }
        entityPainter.draw(entity, kIndex7, Layer{}, 0);
    }
    painter.resetTransform();
    if (entityPainter.exhausted()) {
        painter.setPen(kDefaultInk);
        painter.drawText(rect().adjusted(8, 8, -8, -8), Qt::AlignTop | Qt::AlignLeft,
                         QStringLiteral("图形过于复杂，只显示了一部分。"));
    }
}

void DrawingView::wheelEvent(QWheelEvent* event) {
    const double steps = event->angleDelta().y() / 120.0;
    if (steps == 0) {
        return;
    }
    const QPointF at = event->position();
    const QPointF worldBefore = worldToScreen().inverted().map(at);
    scale_ = std::clamp(scale_ * std::pow(1.2, steps), 1e-9, 1e9);
    fitted_ = false;
    const QPointF worldAfter = worldToScreen().inverted().map(at);
    center_ += worldBefore - worldAfter;
    update();
}

void DrawingView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton || event->button() == Qt::MiddleButton) {
        panning_ = true;
        lastMouse_ = event->position();
        setCursor(Qt::ClosedHandCursor);
    }
}

void DrawingView::mouseMoveEvent(QMouseEvent* event) {
    if (panning_) {
        const QPointF delta = event->position() - lastMouse_;
        lastMouse_ = event->position();
        center_ -= QPointF(delta.x() / scale_, -delta.y() / scale_);
        fitted_ = false;
        update();
    }
    emit cursorMoved(worldToScreen().inverted().map(event->position()));
}

void DrawingView::mouseReleaseEvent(QMouseEvent*) {
    panning_ = false;
    unsetCursor();
}

void DrawingView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::MiddleButton) {
        zoomExtents();
    }
}

void DrawingView::resizeEvent(QResizeEvent*) {
    if (fitted_) {
        zoomExtents();
    } else {
        update();
    }
}

}  // namespace quorvel::cadhost
