#pragma once
// What the report's pictures draw: the shapes of one space of a drawing (model space, one
// paper-space layout or one block definition) in world coordinates, read from the DXF engine's
// geometry. Lines, arcs, circles and polylines become paths with bulges; texts keep their place,
// height, rotation and alignment; block references, their attributes and the pictures of
// dimensions are expanded with their block's transform.

#include <string>
#include <utility>
#include <vector>

#include "dxf/drawing.h"

namespace quorvel::batch {

struct Box {
    double minX = 1e300, minY = 1e300, maxX = -1e300, maxY = -1e300;
    bool empty() const { return minX > maxX || minY > maxY; }
    double width() const { return maxX - minX; }
    double height() const { return maxY - minY; }
    void add(double x, double y);
    void add(const Box& other);
    bool intersects(const Box& other) const;
};

struct Shape {
    // The entity of the space the shape comes from: a block reference for what its block draws,
    // a dimension for its picture, an attribute for itself.
    dxf::EntityId source = 0;
    int color = 7;  // colour index
    Box box;
    // A path: straight segments, or arcs where the bulge is not 0 (tan of a quarter of the
    // arc's angle, counter-clockwise when positive).
    std::vector<dxf::Point> points;
    std::vector<double> bulges;
    bool closed = false;
    // A line of text, when `text` is not empty: drawn from the left end of its baseline.
    std::string text;
    dxf::Point baselineLeft;
    double height = 0;
    double width = 0;     // along the baseline, by the font model of dxf/textlayout.h
    double rotation = 0;  // degrees
    double widthFactor = 1;
    double oblique = 0;  // degrees
};

class Scene {
public:
    // `block`: for Space::Paper the layout's block ("" for the paper space of the ENTITIES
    // section), for Space::Block the block definition.
    static Scene of(const dxf::Drawing& drawing, dxf::Space space, const std::string& block);

    const std::vector<Shape>& shapes() const { return shapes_; }
    Box bounds() const;
    // Where the entity's texts are drawn (a dimension's: its picture's texts); its other shapes
    // when it draws no text; empty when it draws nothing.
    Box boxOf(dxf::EntityId source) const;
    double textHeightOf(dxf::EntityId source) const;  // the tallest of its texts; 0 for none
    // The shapes that may lie in the window (a superset), in drawing order.
    std::vector<const Shape*> near(const Box& window) const;

private:
    friend class SceneBuilder;
    template <typename Visit>
    void forEachOf(dxf::EntityId source, Visit visit) const;
    std::vector<Shape> shapes_;
    void index();
    std::vector<std::pair<dxf::EntityId, std::size_t>> bySource_;  // sorted
    // A grid over the bounds: the shapes in each cell; shapes over many cells in large_.
    struct Grid {
        Box bounds;
        int size = 0;  // cells along each side
        std::vector<std::vector<std::size_t>> cells;
        std::vector<std::size_t> large;
    } grid_;
};

}  // namespace quorvel::batch
