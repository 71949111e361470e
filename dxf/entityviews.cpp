// Read-only views of entities, blocks and tables for drawing the drawing.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "dxf/drawingimpl.h"

namespace quorvel::dxf {

namespace {

// Removes MTEXT formatting codes, keeping the characters a reader sees.
std::string plainMText(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '{' || c == '}')
            continue;
        if (c != '\\' || i + 1 >= text.size()) {
            out += c;
            continue;
        }
        const char code = text[++i];
        switch (code) {
            case 'P':
            case 'X':
                out += '\n';
                break;
            case '~':
                out += ' ';
                break;
            case '\\':
            case '{':
            case '}':
                out += code;
                break;
            case 'L':
            case 'l':
            case 'O':
            case 'o':
            case 'K':
            case 'k':
                break;
            case 'S': {
                // Stacked text: "\Snum^den;" shows as "num/den".
                const std::size_t end = text.find(';', i + 1);
                std::string stacked(text.substr(
                    i + 1, end == std::string_view::npos ? std::string_view::npos : end - i - 1));
                for (char& s : stacked) {
                    if (s == '^' || s == '#')
                        s = '/';
                }
                out += stacked;
                i = end == std::string_view::npos ? text.size() : end;
                break;
            }
            default: {
                // \f...; \H...; \W...; \Q...; \T...; \A...; \C...; \c...; \p...;
                const std::size_t end = text.find(';', i + 1);
                i = end == std::string_view::npos ? text.size() : end;
                break;
            }
        }
    }
    return out;
}

PolylineGeometry lightweightPolyline(const EntityTags& tags) {
    PolylineGeometry polyline;
    polyline.closed = (static_cast<int>(tags.number(70, 0)) & 1) != 0;
    const double elevation = tags.number(38, 0);
    for (const auto& [code, value] : tags.tags) {
        if (code == 10) {
            polyline.vertices.push_back({numberOr(value, 0), 0, elevation});
            polyline.bulges.push_back(0);
        } else if (code == 20 && !polyline.vertices.empty()) {
            polyline.vertices.back().y = numberOr(value, 0);
        } else if (code == 42 && !polyline.bulges.empty()) {
            polyline.bulges.back() = numberOr(value, 0);
        }
    }
    return polyline;
}

TextGeometry singleLineText(const EntityTags& tags, const std::string& type,
                            const TextCodec& codec) {
    TextGeometry text;
    text.insertion = tags.point(10).value_or(Point{});
    text.alignment = tags.point(11);
    text.height = tags.number(40, 0);
    text.rotation = tags.number(50, 0);
    text.widthFactor = tags.number(41, 1);
    text.oblique = tags.number(51, 0);
    text.horizontal = static_cast<int>(tags.number(72, 0));
    text.vertical = static_cast<int>(tags.number(type == "TEXT" ? 73 : 74, 0));
    text.text = codec.decode(tags.first(1).value_or(""));
    return text;
}

MTextGeometry multiLineText(const EntityTags& tags, const TextCodec& codec) {
    MTextGeometry mtext;
    mtext.insertion = tags.point(10).value_or(Point{});
    mtext.height = tags.number(40, 0);
    mtext.width = tags.number(41, 0);
    mtext.attachment = static_cast<int>(tags.number(71, 1));
    if (tags.first(50)) {
        mtext.rotation = tags.number(50, 0);
    } else if (const auto direction = tags.point(11)) {
        mtext.rotation = std::atan2(direction->y, direction->x) * 180.0 / 3.14159265358979323846;
    }
    std::string raw;
    for (const auto& [code, value] : tags.tags) {
        if (code == 3)
            raw += value;
    }
    raw += tags.first(1).value_or("");
    mtext.plainText = plainMText(codec.decode(raw));
    return mtext;
}

}  // namespace

EntityInfo Drawing::Impl::info(std::uint32_t index) const {
    const Record& record = records[index];
    EntityInfo result;
    result.id = index + 1;
    result.type = types.name(record.type);
    result.layer = layerName(record);
    if (record.flags & kHasHandle)
        result.handle = formatHandle(record.handle);
    result.space = spaceOf(record);
    if (record.container != kNone && record.container != entitiesContainer) {
        result.block = codec->decode(containers[record.container].blockName);
    }
    const EntityTags tags(bytesOf(index));
    result.color = static_cast<int>(tags.number(62, 256));
    const std::string& type = result.type;
    const auto point = [&](int code) { return tags.point(code).value_or(Point{}); };
    if (type == "LINE") {
        result.geometry = LineGeometry{point(10), point(11)};
    } else if (type == "CIRCLE") {
        result.geometry = CircleGeometry{point(10), tags.number(40, 0)};
    } else if (type == "ARC") {
        result.geometry =
            ArcGeometry{point(10), tags.number(40, 0), tags.number(50, 0), tags.number(51, 360)};
    } else if (type == "LWPOLYLINE") {
        result.geometry = lightweightPolyline(tags);
    } else if (type == "POLYLINE") {
        PolylineGeometry polyline;
        polyline.closed = (static_cast<int>(tags.number(70, 0)) & 1) != 0;
        for (const std::uint32_t follower : withFollowers(index)) {
            if (follower == index || types.name(records[follower].type) != "VERTEX")
                continue;
            const EntityTags vertex(bytesOf(follower));
            if (static_cast<int>(vertex.number(70, 0)) & 16)
                continue;  // spline frame point
            polyline.vertices.push_back(vertex.point(10).value_or(Point{}));
            polyline.bulges.push_back(vertex.number(42, 0));
        }
        result.geometry = std::move(polyline);
    } else if (type == "TEXT" || type == "ATTRIB" || type == "ATTDEF") {
        result.geometry = singleLineText(tags, type, *codec);
    } else if (type == "MTEXT") {
        result.geometry = multiLineText(tags, *codec);
    } else if (type == "INSERT") {
        InsertGeometry insert;
        insert.blockName = codec->decode(trimmed(tags.first(2).value_or("")));
        insert.insertion = point(10);
        insert.xScale = tags.number(41, 1);
        insert.yScale = tags.number(42, 1);
        insert.zScale = tags.number(43, 1);
        insert.rotation = tags.number(50, 0);
        result.geometry = std::move(insert);
    }
    return result;
}

std::uint32_t Drawing::Impl::findBlock(std::string_view name) const {
    for (std::uint32_t c = 0; c < containers.size(); ++c) {
        if (c == entitiesContainer)
            continue;
        if (equalsIgnoreCase(containers[c].blockName, name) ||
            equalsIgnoreCase(codec->decode(containers[c].blockName), name)) {
            return c;
        }
    }
    return kNone;
}

std::vector<EntityInfo> Drawing::entities(Space space) const {
    const Impl& d = *impl_;
    std::vector<EntityInfo> result;
    for (std::uint32_t i = d.head; i != kNone; i = d.records[i].next) {
        const Record& record = d.records[i];
        if (record.kind == RecordKind::Entity && d.spaceOf(record) == space &&
            space != Space::Block) {
            result.push_back(d.info(i));
        }
    }
    return result;
}

std::vector<EntityInfo> Drawing::blockEntities(std::string_view blockName) const {
    const Impl& d = *impl_;
    std::vector<EntityInfo> result;
    const std::uint32_t wanted = d.findBlock(blockName);
    if (wanted == kNone)
        return result;
    for (std::uint32_t i = d.head; i != kNone; i = d.records[i].next) {
        const Record& record = d.records[i];
        if (record.kind == RecordKind::Entity && record.container == wanted)
            result.push_back(d.info(i));
    }
    return result;
}

std::optional<Point> Drawing::blockBasePoint(std::string_view blockName) const {
    const Impl& d = *impl_;
    const std::uint32_t block = d.findBlock(blockName);
    if (block == kNone || d.containers[block].begin == kNone)
        return std::nullopt;
    return EntityTags(d.bytesOf(d.containers[block].begin)).point(10).value_or(Point{});
}

std::vector<LayerInfo> Drawing::layers() const {
    const Impl& d = *impl_;
    std::vector<LayerInfo> result;
    for (std::uint32_t i = d.head; i != kNone; i = d.records[i].next) {
        const Record& record = d.records[i];
        // Table entries are the only "Other" records of type LAYER.
        if (record.kind != RecordKind::Other || d.types.name(record.type) != "LAYER")
            continue;
        const EntityTags tags(d.bytesOf(i));
        LayerInfo layer;
        layer.name = d.codec->decode(trimmed(tags.first(2).value_or("")));
        const int color = static_cast<int>(tags.number(62, 7));
        layer.off = color < 0;
        layer.color = std::abs(color);
        if (layer.color < 1 || layer.color > 255)
            layer.color = 7;
        result.push_back(std::move(layer));
    }
    return result;
}

std::vector<std::string_view> Drawing::tableEntries(std::string_view entryType) const {
    const Impl& d = *impl_;
    std::vector<std::string_view> result;
    for (std::uint32_t i = d.head; i != kNone; i = d.records[i].next) {
        const Record& record = d.records[i];
        if (record.kind == RecordKind::Other && d.types.name(record.type) == entryType)
            result.push_back(d.bytesOf(i));
    }
    return result;
}

std::vector<std::pair<std::string_view, std::string_view>> Drawing::recordsOfTypes(
    const std::vector<std::string_view>& types) const {
    const Impl& d = *impl_;
    // Types are interned: decide once per type, not once per record.
    std::vector<char> wanted(d.types.size());
    for (std::uint32_t type = 0; type < wanted.size(); ++type)
        wanted[type] = std::find(types.begin(), types.end(), d.types.name(type)) != types.end();
    std::vector<std::pair<std::string_view, std::string_view>> result;
    for (std::uint32_t i = d.head; i != kNone; i = d.records[i].next) {
        const Record& record = d.records[i];
        const bool kind =
            record.kind == RecordKind::Entity || record.kind == RecordKind::Follower ||
            record.kind == RecordKind::Object || record.kind == RecordKind::BlockBegin;
        if (kind && !(record.flags & kErased) && record.type < wanted.size() && wanted[record.type])
            result.emplace_back(d.types.name(record.type), d.bytesOf(i));
    }
    return result;
}

std::optional<Extents> Drawing::extents() const {
    const Impl& d = *impl_;
    const auto sane = [](const std::optional<Point>& p) {
        return p && std::isfinite(p->x) && std::isfinite(p->y) && std::fabs(p->x) < 1e19 &&
               std::fabs(p->y) < 1e19;
    };
    if (sane(d.header.extMin) && sane(d.header.extMax) &&
        d.header.extMin->x <= d.header.extMax->x && d.header.extMin->y <= d.header.extMax->y) {
        return Extents{*d.header.extMin, *d.header.extMax};
    }
    std::optional<Extents> box;
    const auto add = [&](const Point& p) {
        if (!std::isfinite(p.x) || !std::isfinite(p.y))
            return;
        if (!box) {
            box = Extents{p, p};
            return;
        }
        box->min.x = std::min(box->min.x, p.x);
        box->min.y = std::min(box->min.y, p.y);
        box->max.x = std::max(box->max.x, p.x);
        box->max.y = std::max(box->max.y, p.y);
    };
    for (const EntityInfo& e : entities(Space::Model)) {
        std::visit(
            [&](const auto& g) {
                using G = std::decay_t<decltype(g)>;
                if constexpr (std::is_same_v<G, LineGeometry>) {
                    add(g.start);
                    add(g.end);
                } else if constexpr (std::is_same_v<G, PolylineGeometry>) {
                    for (const Point& p : g.vertices)
                        add(p);
                } else if constexpr (std::is_same_v<G, CircleGeometry> ||
                                     std::is_same_v<G, ArcGeometry>) {
                    add({g.center.x - g.radius, g.center.y - g.radius, 0});
                    add({g.center.x + g.radius, g.center.y + g.radius, 0});
                } else if constexpr (std::is_same_v<G, TextGeometry>) {
                    add(g.insertion);
                    add({g.insertion.x, g.insertion.y + g.height, 0});
                } else if constexpr (std::is_same_v<G, MTextGeometry> ||
                                     std::is_same_v<G, InsertGeometry>) {
                    add(g.insertion);
                }
            },
            e.geometry);
    }
    return box;
}

}  // namespace quorvel::dxf
