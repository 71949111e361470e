#include "batch/svgpicture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <unordered_set>

#include "textcodec/utf.h"

namespace quorvel::batch {

namespace {

constexpr double kOverviewWidth = 480, kOverviewHeight = 320;
constexpr double kNeighbourhoodWidth = 360, kNeighbourhoodHeight = 180;
constexpr double kSmallest = 0.5;      // pixels: smaller shapes are left out
constexpr double kSmallestText = 1.5;  // pixels of text height
constexpr const char* kMarkColor = "#e0142c";
constexpr std::size_t kNumberedMarks = 40;

// Colour indexes 1 to 9 as they show on a white sheet; the rest in dark grey.
const char* cssColor(int index) {
    static const char* const kColors[] = {"#222",    "#d40000", "#a08800", "#00963c", "#00979c",
                                          "#1438d8", "#b400b4", "#222",    "#808080", "#a8a8a8"};
    return index >= 1 && index <= 9 ? kColors[index] : "#555";
}

// Pixels to a tenth. A drawing may hold any number: far points are held to ten million
// pixels, which keeps every line that crosses a picture where it shows.
std::string number(double value) {
    value = std::isfinite(value) ? std::clamp(value, -1e7, 1e7) : 0.0;
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", std::fabs(value) < 0.05 ? 0.0 : value);
    std::string out = text;
    if (out.size() > 2 && out.compare(out.size() - 2, 2, ".0") == 0)
        out.resize(out.size() - 2);
    return out;
}

std::string exact(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", value);
    return text;
}

// World coordinates to the picture's pixels, y downwards. The picture says how (data-origin:
// the world point at its top left; data-scale: pixels per drawing unit), for whoever reads it
// back.
class Painter {
public:
    Painter(const Box& window, double width, double height)
        : window_(window),
          scale_(std::min(width / std::max(window.width(), 1e-9),
                          height / std::max(window.height(), 1e-9))) {}
    double scale() const { return scale_; }
    double width() const { return window_.width() * scale_; }
    double height() const { return window_.height() * scale_; }
    std::string x(double worldX) const { return number((worldX - window_.minX) * scale_); }
    std::string y(double worldY) const { return number((window_.maxY - worldY) * scale_); }
    const Box& window() const { return window_; }

    std::string open() const {
        return "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"pic\" width=\"" +
               number(width()) + "\" height=\"" + number(height()) + "\" viewBox=\"0 0 " +
               number(width()) + " " + number(height()) + "\" data-origin=\"" +
               exact(window_.minX) + " " + exact(window_.maxY) + "\" data-scale=\"" +
               exact(scale_) + "\">";
    }

    // One path as segments of an SVG path; segments wholly outside the window are left out.
    void path(const Shape& shape, std::string& d) const {
        const std::size_t count = shape.points.size();
        if (count < 2)
            return;
        const std::size_t segments = shape.closed ? count : count - 1;
        bool drawing = false;
        for (std::size_t i = 0; i < segments; ++i) {
            const dxf::Point& p = shape.points[i];
            const dxf::Point& q = shape.points[(i + 1) % count];
            const double bulge = shape.bulges[i];
            Box segment;
            segment.add(p.x, p.y);
            segment.add(q.x, q.y);
            if (bulge != 0) {
                const double sagitta = std::fabs(bulge) * std::hypot(q.x - p.x, q.y - p.y) / 2;
                const double reach = std::max(sagitta, std::hypot(q.x - p.x, q.y - p.y));
                segment.add(p.x - reach, p.y - reach);
                segment.add(p.x + reach, p.y + reach);
            }
            if (!segment.intersects(window_)) {
                drawing = false;
                continue;
            }
            if (!drawing)
                d += "M" + x(p.x) + " " + y(p.y);
            drawing = true;
            if (bulge == 0) {
                d += "L" + x(q.x) + " " + y(q.y);
                continue;
            }
            arc(p, q, bulge, d);
        }
    }

    // An arc from p to q. Written in pieces of less than about 106 degrees: the centre of a
    // half circle is lost in the rounding of its radius and end points.
    void arc(const dxf::Point& p, const dxf::Point& q, double bulge, std::string& d) const {
        if (std::fabs(bulge) > 0.5) {
            const double half = std::tan(std::atan(bulge) / 2);
            // The middle of the arc lies off the chord's middle by the bulge times half the
            // chord, to the right of the way from p to q for a positive bulge.
            const dxf::Point middle{(p.x + q.x) / 2 + (q.y - p.y) * bulge / 2,
                                    (p.y + q.y) / 2 - (q.x - p.x) * bulge / 2, 0};
            arc(p, middle, half, d);
            arc(middle, q, half, d);
            return;
        }
        const double chord = std::hypot(q.x - p.x, q.y - p.y);
        const double radius = chord * (1 + bulge * bulge) / (4 * std::fabs(bulge)) * scale_;
        // y points down here: counter-clockwise on the sheet is the positive sweep.
        d += "A" + number(radius) + " " + number(radius) + " 0 0 " + (bulge > 0 ? "0 " : "1 ") +
             x(q.x) + " " + y(q.y);
    }

    std::string text(const Shape& shape, const char* color) const {
        const std::string px = x(shape.baselineLeft.x), py = y(shape.baselineLeft.y);
        std::string out = "<text x=\"" + px + "\" y=\"" + py + "\" font-size=\"" +
                          number(shape.height * scale_) + "\" fill=\"" + color + "\"";
        std::string transform;
        if (std::fabs(shape.rotation) > 0.01)
            transform = "rotate(" + number(-shape.rotation) + " " + px + " " + py + ")";
        if (std::fabs(shape.oblique) > 0.01 && std::fabs(shape.oblique) < 85) {
            transform += " translate(" + px + " " + py + ") skewX(" + number(-shape.oblique) +
                         ") translate(-" + px + " -" + py + ")";
        }
        if (!transform.empty())
            out += " transform=\"" + transform + "\"";
        if (shape.width * scale_ >= 1) {
            out += " textLength=\"" + number(shape.width * scale_) +
                   "\" lengthAdjust=\"spacingAndGlyphs\"";
        }
        return out + ">" + xmlText(shape.text) + "</text>";
    }

private:
    Box window_;
    double scale_;
};

// The shapes in the window worth drawing: the largest `cap` of them, in drawing order.
std::vector<const Shape*> visibleShapes(const Scene& scene, const Painter& painter,
                                        std::size_t cap) {
    std::vector<const Shape*> shapes;
    for (const Shape* shape : scene.near(painter.window())) {
        if (!shape->box.intersects(painter.window()))
            continue;
        const double size = std::max(shape->box.width(), shape->box.height()) * painter.scale();
        if (shape->text.empty() ? size >= kSmallest
                                : shape->height * painter.scale() >= kSmallestText)
            shapes.push_back(shape);
    }
    if (shapes.size() > cap) {
        const auto size = [](const Shape* s) { return s->box.width() + s->box.height(); };
        std::nth_element(shapes.begin(), shapes.begin() + static_cast<std::ptrdiff_t>(cap),
                         shapes.end(),
                         [&](const Shape* a, const Shape* b) { return size(a) > size(b); });
        shapes.resize(cap);
        std::sort(shapes.begin(), shapes.end());
    }
    return shapes;
}

std::string drawShapes(const std::vector<const Shape*>& shapes, const Painter& painter,
                       dxf::EntityId highlighted) {
    std::map<int, std::string> paths;  // by colour: one path element each
    std::string texts;
    // Drawings often hold the same line twice, or blocks drawn over each other: drawn once.
    std::unordered_set<std::string> drawn;
    for (const Shape* shape : shapes) {
        const bool marked = highlighted != 0 && shape->source == highlighted;
        std::string element;
        if (!shape->text.empty())
            element = painter.text(*shape, marked ? kMarkColor : cssColor(shape->color));
        else
            painter.path(*shape, element);
        const int color = marked ? 0 : shape->color;
        if (!drawn.insert(std::to_string(color) + element).second)
            continue;
        (shape->text.empty() ? paths[color] : texts) += element;
    }
    std::string out = "<g fill=\"none\" stroke-width=\"1\">";
    for (const auto& [color, d] : paths) {
        if (!d.empty())
            out += "<path stroke=\"" + std::string(color == 0 ? kMarkColor : cssColor(color)) +
                   "\" d=\"" + d + "\"/>";
    }
    return out + "</g><g font-family=\"sans-serif\">" + texts + "</g>";
}

// The window grown to the picture's proportions around its centre, with a margin.
Box framed(const Box& box, double width, double height, double margin) {
    const double cx = (box.minX + box.maxX) / 2, cy = (box.minY + box.maxY) / 2;
    double w = std::max(box.width(), 1e-6) * (1 + 2 * margin);
    double h = std::max(box.height(), 1e-6) * (1 + 2 * margin);
    if (w / h > width / height)
        h = w * height / width;
    else
        w = h * width / height;
    return {cx - w / 2, cy - h / 2, cx + w / 2, cy + h / 2};
}

}  // namespace

std::string overviewSvg(const Scene& scene, const std::vector<Mark>& marks) {
    Box all = scene.bounds();
    double textSize = 1e300;  // of the smallest mark
    for (const Mark& mark : marks) {
        all.add(mark.box);
        if (!mark.box.empty())
            textSize = std::min(textSize, std::min(mark.box.width(), mark.box.height()));
    }
    if (all.empty())
        return {};
    // A space of little more than its changed text (a layout without a frame, say) is shown
    // with room around the text, not as the text alone.
    const double least = textSize < 1e300 ? textSize * 20 : 0;
    const double cx = (all.minX + all.maxX) / 2, cy = (all.minY + all.maxY) / 2;
    all.add(cx - least / 2, cy - least / 2);
    all.add(cx + least / 2, cy + least / 2);
    // A tall space gets a tall picture, a wide one a wide picture.
    const bool tall = all.height() > all.width();
    const double width = tall ? kOverviewHeight : kOverviewWidth;
    const double height = tall ? kOverviewWidth : kOverviewHeight;
    const Painter painter(framed(all, width, height, 0.02), width, height);
    std::string out =
        painter.open() + drawShapes(visibleShapes(scene, painter, kOverviewShapes), painter, 0);
    for (const Mark& mark : marks) {
        if (mark.box.empty())
            continue;
        // A frame around the text, never smaller than a finger's aim; the number above it,
        // inside the picture.
        const double pad = 3, least = 10;
        double w = mark.box.width() * painter.scale() + 2 * pad;
        double h = mark.box.height() * painter.scale() + 2 * pad;
        double left = (mark.box.minX - painter.window().minX) * painter.scale() - pad;
        double top = (painter.window().maxY - mark.box.maxY) * painter.scale() - pad;
        left -= std::max(0.0, least - w) / 2;
        top -= std::max(0.0, least - h) / 2;
        w = std::max(w, least);
        h = std::max(h, least);
        const double labelX = std::clamp(left, 0.0, painter.width() - 20);
        const double labelY = std::clamp(top - 2, 12.0, painter.height());
        const std::string row = std::to_string(mark.number);
        out += "<g class=\"mark\" data-row=\"" + row + "\"><title>" + row + "</title><rect x=\"" +
               number(left) + "\" y=\"" + number(top) + "\" width=\"" + number(w) + "\" height=\"" +
               number(h) + "\" rx=\"3\"/>";
        // Numbers for a few marks; many would cover each other and the drawing.
        if (marks.size() <= kNumberedMarks) {
            out += "<text x=\"" + number(labelX) + "\" y=\"" + number(labelY) + "\">" + row +
                   "</text>";
        }
        out += "</g>";
    }
    return out + "</svg>";
}

Box neighbourhoodOf(const Box& before, const Box& after, double textHeight) {
    Box focus = before;
    focus.add(after);
    if (focus.empty())
        return focus;
    // Some sixteen text heights around the text, more for a long one.
    const double height =
        textHeight > 0 ? textHeight : std::max(std::min(focus.height(), focus.width()), 1e-6);
    const double width = std::max({focus.width() * 1.5, focus.height() * 3, height * 16});
    Box window{0, 0, width, width * kNeighbourhoodHeight / kNeighbourhoodWidth};
    window.add(0, focus.height() * 1.5);
    return framed({(focus.minX + focus.maxX - window.width()) / 2,
                   (focus.minY + focus.maxY - window.height()) / 2,
                   (focus.minX + focus.maxX + window.width()) / 2,
                   (focus.minY + focus.maxY + window.height()) / 2},
                  kNeighbourhoodWidth, kNeighbourhoodHeight, 0);
}

std::string neighbourhoodSvg(const Scene& scene, const Box& window, const Box& focus,
                             dxf::EntityId source) {
    if (window.empty())
        return {};
    const Painter painter(window, kNeighbourhoodWidth, kNeighbourhoodHeight);
    std::string out =
        painter.open() +
        drawShapes(visibleShapes(scene, painter, kNeighbourhoodShapes), painter, source);
    if (!focus.empty()) {
        const double pad = 2;
        out += "<rect class=\"focus\" x=\"" +
               number((focus.minX - window.minX) * painter.scale() - pad) + "\" y=\"" +
               number((window.maxY - focus.maxY) * painter.scale() - pad) + "\" width=\"" +
               number(focus.width() * painter.scale() + 2 * pad) + "\" height=\"" +
               number(focus.height() * painter.scale() + 2 * pad) + "\"/>";
    }
    return out + "</svg>";
}

std::string xmlText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const char32_t code = textcodec::nextCodePoint(text, at);
        switch (code) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                if (code >= 0x20 || code == '\t' || code == '\n')
                    textcodec::appendUtf8(out, code == 0xFFFE || code == 0xFFFF ? 0xFFFD : code);
        }
    }
    return out;
}

}  // namespace quorvel::batch
