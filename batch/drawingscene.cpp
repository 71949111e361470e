#include "batch/drawingscene.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <map>
#include <numbers>
#include <optional>

#include "batch/scenetexts.h"
#include "dxf/textlayout.h"
#include "dxf/visibletext.h"

namespace quorvel::batch {

using dxf::EntityInfo;
using dxf::Point;

void Box::add(double x, double y) {
    // Beyond any sheet: such points are left out of boxes, so that one stray point cannot shrink
    // a whole picture to nothing.
    if (!(std::fabs(x) <= 1e15) || !(std::fabs(y) <= 1e15))
        return;
    minX = std::min(minX, x);
    minY = std::min(minY, y);
    maxX = std::max(maxX, x);
    maxY = std::max(maxY, y);
}

void Box::add(const Box& other) {
    if (other.empty())
        return;
    add(other.minX, other.minY);
    add(other.maxX, other.maxY);
}

bool Box::intersects(const Box& other) const {
    return !empty() && !other.empty() && minX <= other.maxX && other.minX <= maxX &&
           minY <= other.maxY && other.minY <= maxY;
}

namespace {

constexpr int kMaxDepth = 8;  // blocks in blocks; deeper ones (or cycles) are not drawn
// A picture of a drawing with more shapes than this leaves out the rest of its blocks; so does
// one whose blocks nest into more entities than kMaxVisits, and a block reference that does
// alone into more than kMaxVisitsPerEntity (blocks of many references to blocks, or to
// themselves, grow exponentially).
constexpr std::size_t kMaxShapes = 200'000;
constexpr std::size_t kMaxVisits = 1'000'000;
constexpr std::size_t kMaxVisitsPerEntity = 50'000;  // one block reference, all its levels
constexpr double kLineSpacing = 5.0 / 3.0;           // multi-line text, in text heights
constexpr double kRadians = std::numbers::pi / 180.0;

// x' = a x + c y + e, y' = b x + d y + f.
struct Transform {
    double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;
    Point apply(const Point& p) const { return {a * p.x + c * p.y + e, b * p.x + d * p.y + f, 0}; }
    Point turn(double x, double y) const { return {a * x + c * y, b * x + d * y, 0}; }
    // This transform applied after `inner`.
    Transform after(const Transform& inner) const {
        return {a * inner.a + c * inner.b,     b * inner.a + d * inner.b,
                a * inner.c + c * inner.d,     b * inner.c + d * inner.d,
                a * inner.e + c * inner.f + e, b * inner.e + d * inner.f + f};
    }
    bool mirrored() const { return a * d - b * c < 0; }
    // Circles stay circles: a rotation with one scale, mirrored or not.
    bool keepsCircles() const {
        const double tolerance = 1e-9 * (std::fabs(a) + std::fabs(b) + std::fabs(c) + std::fabs(d));
        return mirrored() ? std::fabs(a + d) <= tolerance && std::fabs(b - c) <= tolerance
                          : std::fabs(a - d) <= tolerance && std::fabs(b + c) <= tolerance;
    }
};

Transform placement(const dxf::InsertGeometry& insert, const Point& base) {
    const double angle = insert.rotation * kRadians;
    const double cosine = std::cos(angle), sine = std::sin(angle);
    Transform t{cosine * insert.xScale,
                sine * insert.xScale,
                -sine * insert.yScale,
                cosine * insert.yScale,
                0,
                0};
    t.e = insert.insertion.x - (t.a * base.x + t.c * base.y);
    t.f = insert.insertion.y - (t.b * base.x + t.d * base.y);
    return t;
}

std::string upper(std::string text) {
    for (char& ch : text)
        ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return text;
}

// The points of an arc segment from p to q, q left out.
void flattenArc(const Point& p, const Point& q, double bulge, std::vector<Point>& out) {
    const double angle = 4 * std::atan(bulge);
    const double dx = q.x - p.x, dy = q.y - p.y;
    const double toCentre = (1 - bulge * bulge) / (4 * bulge);
    const Point centre{(p.x + q.x) / 2 - dy * toCentre, (p.y + q.y) / 2 + dx * toCentre, 0};
    const double radius = std::hypot(p.x - centre.x, p.y - centre.y);
    const double start = std::atan2(p.y - centre.y, p.x - centre.x);
    const int steps = std::clamp(static_cast<int>(std::ceil(std::fabs(angle) / 0.2)), 2, 64);
    for (int k = 0; k < steps; ++k) {
        const double at = start + angle * k / steps;
        out.push_back({centre.x + radius * std::cos(at), centre.y + radius * std::sin(at), 0});
    }
}

void addArcBounds(Box& box, const Point& p, const Point& q, double bulge) {
    const double chord = std::hypot(q.x - p.x, q.y - p.y);
    const double radius = chord * (1 + bulge * bulge) / (4 * std::fabs(bulge));
    const double toCentre = (1 - bulge * bulge) / (4 * bulge);
    const double cx = (p.x + q.x) / 2 - (q.y - p.y) * toCentre;
    const double cy = (p.y + q.y) / 2 + (q.x - p.x) * toCentre;
    box.add(cx - radius, cy - radius);
    box.add(cx + radius, cy + radius);
}

struct Inherited {
    std::string layer;  // upper case
    int color = 7;
};

}  // namespace

class SceneBuilder {
public:
    SceneBuilder(const dxf::Drawing& drawing, Scene& scene) : drawing_(drawing), scene_(scene) {
        for (const dxf::LayerInfo& layer : drawing.layers())
            layers_[upper(layer.name)] = layer;
        // A frozen layer shows as little as one that is off.
        for (const std::string_view entry : drawing.tableEntries("LAYER")) {
            if (std::atoi(firstValue(entry, 70).c_str()) & 1)
                layers_[upper(drawing.decodeText(firstValue(entry, 2)))].off = true;
        }
        for (const dxf::Drawing::TextRecord& record : drawing.textRecords()) {
            if (record.type == "ATTRIB")
                attributes_[key(record.space, record.block)].push_back(record.id);
        }
    }

    void addSpace(dxf::Space space, const std::string& block) {
        std::vector<EntityInfo> entities;
        if (space == dxf::Space::Block) {
            entities = drawing_.blockEntities(block);
        } else {
            for (EntityInfo& entity : drawing_.entities(space)) {
                if (space == dxf::Space::Model || upper(entity.block) == upper(block))
                    entities.push_back(std::move(entity));
            }
        }
        addAttributes(key(space, block), Transform{}, nullptr, 0, 0);
        for (const EntityInfo& entity : entities) {
            visitsLeft_ = kMaxVisitsPerEntity;
            add(entity, Transform{}, nullptr, entity.id, 0);
        }
    }

private:
    static std::string key(dxf::Space space, const std::string& block) {
        return space == dxf::Space::Model ? "M"
                                          : (space == dxf::Space::Paper ? "P" : "B") + upper(block);
    }

    // The attributes of the block references of one space; `source` 0: each its own.
    void addAttributes(const std::string& space, const Transform& t, const Inherited* inherited,
                       dxf::EntityId source, int depth) {
        const auto found = attributes_.find(space);
        if (found == attributes_.end())
            return;
        for (const dxf::EntityId id : found->second) {
            if (const std::optional<EntityInfo> attribute = attributeOf(drawing_, id))
                add(*attribute, t, inherited, source ? source : id, depth);
        }
    }

    void add(const EntityInfo& entity, const Transform& t, const Inherited* inherited,
             dxf::EntityId source, int depth) {
        if (scene_.shapes_.size() >= kMaxShapes || visits_ >= kMaxVisits || visitsLeft_ == 0)
            return;
        ++visits_;
        --visitsLeft_;
        if (depth > 0 && entity.type == "ATTDEF")
            return;
        const std::string layer =
            inherited && entity.layer == "0" ? inherited->layer : upper(entity.layer);
        const auto layerInfo = layers_.find(layer);
        if (layerInfo != layers_.end() && layerInfo->second.off)
            return;
        int color = entity.color;
        if (color == 0)
            color = inherited ? inherited->color : 7;
        else if (color < 1 || color > 255)
            color = layerInfo != layers_.end() ? layerInfo->second.color : 7;
        Shape shape;
        shape.source = source;
        shape.color = color;
        std::visit(
            [&](const auto& geometry) { addGeometry(geometry, entity, t, shape, layer, depth); },
            entity.geometry);
    }

    void addGeometry(std::monostate, const EntityInfo& entity, const Transform& t, Shape& shape,
                     const std::string& layer, int depth) {
        if (entity.type != "DIMENSION" || depth >= kMaxDepth)
            return;
        const std::string picture =
            drawing_.decodeText(firstValue(drawing_.recordBytes(entity.id), 2));
        const Inherited inherited{layer, shape.color};
        for (const EntityInfo& inner : blockEntities(picture))
            add(inner, t, &inherited, shape.source, depth + 1);
    }

    void addGeometry(const dxf::InsertGeometry& insert, const EntityInfo&, const Transform& t,
                     Shape& shape, const std::string& layer, int depth) {
        if (depth >= kMaxDepth)
            return;
        const Point base = drawing_.blockBasePoint(insert.blockName).value_or(Point{});
        const Transform inner = t.after(placement(insert, base));
        const Inherited inherited{layer, shape.color};
        for (const EntityInfo& entity : blockEntities(insert.blockName))
            add(entity, inner, &inherited, shape.source, depth + 1);
        addAttributes(key(dxf::Space::Block, insert.blockName), inner, &inherited, shape.source,
                      depth + 1);
    }

    void addGeometry(const dxf::LineGeometry& line, const EntityInfo&, const Transform& t,
                     Shape& shape, const std::string&, int) {
        addPath({line.start, line.end}, {0, 0}, false, t, shape);
    }

    void addGeometry(const dxf::CircleGeometry& circle, const EntityInfo&, const Transform& t,
                     Shape& shape, const std::string&, int) {
        const Point& c = circle.center;
        addPath({{c.x + circle.radius, c.y, 0}, {c.x - circle.radius, c.y, 0}}, {1, 1}, true, t,
                shape);
    }

    void addGeometry(const dxf::ArcGeometry& arc, const EntityInfo&, const Transform& t,
                     Shape& shape, const std::string&, int) {
        double sweep = std::fmod(arc.endAngle - arc.startAngle, 360.0);
        if (sweep <= 0)
            sweep += 360;
        const Point& c = arc.center;
        const auto at = [&](double degrees) {
            return Point{c.x + arc.radius * std::cos(degrees * kRadians),
                         c.y + arc.radius * std::sin(degrees * kRadians), 0};
        };
        // Two halves: one bulge cannot hold a whole circle.
        const double half = std::tan(sweep / 2 * kRadians / 4);
        addPath({at(arc.startAngle), at(arc.startAngle + sweep / 2), at(arc.endAngle)},
                {half, half, 0}, false, t, shape);
    }

    void addGeometry(const dxf::PolylineGeometry& polyline, const EntityInfo&, const Transform& t,
                     Shape& shape, const std::string&, int) {
        addPath(polyline.vertices, polyline.bulges, polyline.closed, t, shape);
    }

    void addGeometry(const dxf::TextGeometry& text, const EntityInfo&, const Transform& t,
                     Shape& shape, const std::string&, int) {
        const dxf::TextPlacement placement{
            text.insertion, text.alignment, {text.horizontal, text.vertical},
            text.height,    text.rotation,  text.widthFactor};
        const dxf::Baseline baseline =
            dxf::baselineOf(placement, dxf::textWidthInHeights(text.text));
        shape.widthFactor = text.widthFactor;
        shape.oblique = text.oblique;
        addTextLine(dxf::VisibleText(text.text, dxf::TextSyntax::SingleLine).shown(), baseline.left,
                    baseline.width, text.height, text.rotation, t, shape);
    }

    void addGeometry(const dxf::MTextGeometry& mtext, const EntityInfo&, const Transform& t,
                     Shape& shape, const std::string&, int) {
        const double h = mtext.height > 0 ? mtext.height : 1;
        const std::vector<std::string> lines = wrappedLines(mtext.plainText, mtext.width / h);
        const int column = (std::clamp(mtext.attachment, 1, 9) - 1) % 3;
        const int row = (std::clamp(mtext.attachment, 1, 9) - 1) / 3;
        const double total = h + (lines.size() - 1) * kLineSpacing * h;
        const double first = -h + total * row / 2;
        const double cosine = std::cos(mtext.rotation * kRadians);
        const double sine = std::sin(mtext.rotation * kRadians);
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const double width = dxf::textWidthInHeights(lines[i]) * h;
            const double x = -width * column / 2;
            const double y = first - static_cast<double>(i) * kLineSpacing * h;
            const Point left{mtext.insertion.x + x * cosine - y * sine,
                             mtext.insertion.y + x * sine + y * cosine, 0};
            addTextLine(lines[i], left, width, h, mtext.rotation, t, shape);
        }
    }

    void addTextLine(const std::string& text, const Point& left, double width, double height,
                     double rotation, const Transform& t, Shape shape) {
        if (text.find_first_not_of(' ') == std::string::npos)
            return;
        const Point along = t.turn(std::cos(rotation * kRadians), std::sin(rotation * kRadians));
        const Point up = t.turn(-std::sin(rotation * kRadians), std::cos(rotation * kRadians));
        const double alongLength = std::hypot(along.x, along.y);
        const double upLength = std::hypot(up.x, up.y);
        if (!(alongLength > 0) || !(upLength > 0) || !(height > 0) || !(height * upLength < 1e15))
            return;
        shape.text = text;
        shape.baselineLeft = t.apply(left);
        shape.width = width * alongLength;
        shape.height = height * upLength;
        shape.rotation = std::atan2(along.y, along.x) / kRadians;
        const double ux = along.x / alongLength, uy = along.y / alongLength;
        for (const double a : {0.0, shape.width}) {
            for (const double v : {-shape.height / 3, shape.height}) {
                shape.box.add(shape.baselineLeft.x + a * ux - v * uy,
                              shape.baselineLeft.y + a * uy + v * ux);
            }
        }
        scene_.shapes_.push_back(std::move(shape));
    }

    void addPath(const std::vector<Point>& points, std::vector<double> bulges, bool closed,
                 const Transform& t, Shape& shape) {
        if (points.empty())
            return;
        bulges.resize(points.size(), 0);
        const std::size_t segments = closed ? points.size() : points.size() - 1;
        if (t.keepsCircles()) {
            for (const Point& p : points)
                shape.points.push_back(t.apply(p));
            for (const double bulge : bulges)
                shape.bulges.push_back(t.mirrored() ? -bulge : bulge);
        } else {
            for (std::size_t i = 0; i < points.size(); ++i) {
                std::vector<Point> flat;
                if (bulges[i] != 0 && i < segments)
                    flattenArc(points[i], points[(i + 1) % points.size()], bulges[i], flat);
                else
                    flat.push_back(points[i]);
                for (const Point& p : flat) {
                    shape.points.push_back(t.apply(p));
                    shape.bulges.push_back(0);
                }
            }
        }
        shape.closed = closed;
        const std::size_t count = shape.points.size();
        for (std::size_t i = 0; i < count; ++i) {
            shape.box.add(shape.points[i].x, shape.points[i].y);
            if (shape.bulges[i] != 0 && (closed || i + 1 < count))
                addArcBounds(shape.box, shape.points[i], shape.points[(i + 1) % count],
                             shape.bulges[i]);
        }
        if (!shape.box.empty())
            scene_.shapes_.push_back(std::move(shape));
    }

    const std::vector<EntityInfo>& blockEntities(const std::string& name) {
        const auto [at, added] = blocks_.try_emplace(upper(name));
        if (added)
            at->second = drawing_.blockEntities(name);
        return at->second;
    }

    const dxf::Drawing& drawing_;
    Scene& scene_;
    std::map<std::string, dxf::LayerInfo> layers_;
    std::map<std::string, std::vector<dxf::EntityId>> attributes_;  // by the space they are in
    std::map<std::string, std::vector<EntityInfo>> blocks_;
    std::size_t visits_ = 0;
    std::size_t visitsLeft_ = kMaxVisitsPerEntity;  // for the entity of the space being drawn
};

Scene Scene::of(const dxf::Drawing& drawing, dxf::Space space, const std::string& block) {
    Scene scene;
    SceneBuilder(drawing, scene).addSpace(space, block);
    scene.index();
    return scene;
}

namespace {

// The cells [first, last] of a grid that a range covers.
std::pair<int, int> cellRange(double low, double high, double origin, double cell, int size) {
    const auto at = [&](double value) {
        return static_cast<int>(std::clamp(std::floor((value - origin) / cell), 0.0, size - 1.0));
    };
    return {at(low), at(high)};
}

}  // namespace

void Scene::index() {
    bySource_.reserve(shapes_.size());
    for (std::size_t i = 0; i < shapes_.size(); ++i)
        bySource_.emplace_back(shapes_[i].source, i);
    std::sort(bySource_.begin(), bySource_.end());

    grid_.bounds = bounds();
    if (grid_.bounds.empty())
        return;
    grid_.size = std::clamp(static_cast<int>(std::sqrt(shapes_.size() / 4.0)), 1, 256);
    grid_.cells.resize(static_cast<std::size_t>(grid_.size) * grid_.size);
    const double cellWidth = std::max(grid_.bounds.width() / grid_.size, 1e-300);
    const double cellHeight = std::max(grid_.bounds.height() / grid_.size, 1e-300);
    for (std::size_t i = 0; i < shapes_.size(); ++i) {
        const Box& box = shapes_[i].box;
        const auto [x0, x1] =
            cellRange(box.minX, box.maxX, grid_.bounds.minX, cellWidth, grid_.size);
        const auto [y0, y1] =
            cellRange(box.minY, box.maxY, grid_.bounds.minY, cellHeight, grid_.size);
        if ((x1 - x0 + 1) * (y1 - y0 + 1) > 16) {
            grid_.large.push_back(i);
            continue;
        }
        for (int y = y0; y <= y1; ++y) {
            for (int x = x0; x <= x1; ++x)
                grid_.cells[static_cast<std::size_t>(y) * grid_.size + x].push_back(i);
        }
    }
}

std::vector<const Shape*> Scene::near(const Box& window) const {
    std::vector<std::size_t> found = grid_.large;
    if (grid_.size > 0 && window.intersects(grid_.bounds)) {
        const double cellWidth = std::max(grid_.bounds.width() / grid_.size, 1e-300);
        const double cellHeight = std::max(grid_.bounds.height() / grid_.size, 1e-300);
        const auto [x0, x1] =
            cellRange(window.minX, window.maxX, grid_.bounds.minX, cellWidth, grid_.size);
        const auto [y0, y1] =
            cellRange(window.minY, window.maxY, grid_.bounds.minY, cellHeight, grid_.size);
        for (int y = y0; y <= y1; ++y) {
            for (int x = x0; x <= x1; ++x) {
                const auto& cell = grid_.cells[static_cast<std::size_t>(y) * grid_.size + x];
                found.insert(found.end(), cell.begin(), cell.end());
            }
        }
    }
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    std::vector<const Shape*> shapes;
    shapes.reserve(found.size());
    for (const std::size_t i : found)
        shapes.push_back(&shapes_[i]);
    return shapes;
}

template <typename Visit>
void Scene::forEachOf(dxf::EntityId source, Visit visit) const {
    auto at = std::lower_bound(bySource_.begin(), bySource_.end(),
                               std::pair<dxf::EntityId, std::size_t>(source, 0));
    for (; at != bySource_.end() && at->first == source; ++at)
        visit(shapes_[at->second]);
}

Box Scene::bounds() const {
    Box box;
    for (const Shape& shape : shapes_)
        box.add(shape.box);
    return box;
}

double Scene::textHeightOf(dxf::EntityId source) const {
    double height = 0;
    forEachOf(source, [&](const Shape& shape) {
        if (!shape.text.empty())
            height = std::max(height, shape.height);
    });
    return height;
}

Box Scene::boxOf(dxf::EntityId source) const {
    Box texts, others;
    forEachOf(source,
              [&](const Shape& shape) { (shape.text.empty() ? others : texts).add(shape.box); });
    return texts.empty() ? others : texts;
}

}  // namespace quorvel::batch
