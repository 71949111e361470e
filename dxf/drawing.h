#pragma once
// The drawing engine of cad-host: ASCII DXF drawings from R12 (AC1009) to R2018 (AC1032), loaded,
// edited and saved back without losing anything that was not edited. An untouched drawing saves
// to the very bytes it was read from (tags, padding of group codes, line ends, comments, unknown
// sections, anything after EOF).
//
// Texts cross this interface as UTF-8. Inside the file they follow the drawing: the code page of
// $DWGCODEPAGE up to AC1018 (ANSI_936 = GBK, ANSI_1252, ...), UTF-8 from AC1021. "\U+XXXX"
// escapes are decoded on read and written for characters the drawing's code page cannot hold.
//
// Every failure raises DxfError; a failed edit leaves the drawing as it was.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace quorvel::dxf {

class DxfError : public std::runtime_error {
public:
    enum class Kind {
        Format,           // not a drawing this engine reads, or a damaged one
        Io,               // the file system refused
        InvalidArgument,  // a value or option the operation does not take
        NoSuchEntity,     // erased, never existed, or not of the kind the operation needs
    };
    DxfError(Kind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}
    Kind kind() const noexcept { return kind_; }

private:
    Kind kind_;
};

// Identifies one entity for the life of the Drawing: it stays valid across every other edit and
// is never given to another entity, even after the entity is erased. 0 is never an entity.
using EntityId = std::uint64_t;

enum class Space {
    Model,  // model space
    Paper,  // any paper-space layout
    Block,  // inside a block definition
};

struct Point {
    double x = 0;
    double y = 0;
    double z = 0;
};

struct LineGeometry {
    Point start;
    Point end;
};

// LWPOLYLINE, and POLYLINE with its VERTEX entities (2D and 3D polylines; meshes give their
// vertices only). bulges has one entry per vertex (0 = straight segment to the next vertex).
struct PolylineGeometry {
    std::vector<Point> vertices;
    std::vector<double> bulges;
    bool closed = false;
};

struct CircleGeometry {
    Point center;
    double radius = 0;
};

// Angles in degrees, counter-clockwise from the start angle to the end angle.
struct ArcGeometry {
    Point center;
    double radius = 0;
    double startAngle = 0;
    double endAngle = 0;
};

// TEXT (also ATTRIB and ATTDEF). horizontal: 0 left, 1 center, 2 right, 3 aligned, 4 middle,
// 5 fit; vertical: 0 baseline, 1 bottom, 2 middle, 3 top (group codes 72 and 73).
// alignment is the second alignment point (group 11), present when the file carries one.
struct TextGeometry {
    Point insertion;
    std::optional<Point> alignment;
    double height = 0;
    double rotation = 0;  // degrees
    double widthFactor = 1;
    double oblique = 0;  // degrees
    int horizontal = 0;
    int vertical = 0;
    std::string text;  // decoded, UTF-8, control codes such as %%d left as they are
};

// MTEXT. attachment: 1 top left ... 9 bottom right (group code 71).
struct MTextGeometry {
    Point insertion;
    double height = 0;
    double width = 0;     // reference rectangle width, 0 when none
    double rotation = 0;  // degrees
    int attachment = 1;
    std::string plainText;  // formatting codes removed, paragraphs separated by '\n'
};

struct InsertGeometry {
    std::string blockName;
    Point insertion;
    double xScale = 1;
    double yScale = 1;
    double zScale = 1;
    double rotation = 0;  // degrees
};

using Geometry = std::variant<std::monostate, LineGeometry, PolylineGeometry, CircleGeometry,
                              ArcGeometry, TextGeometry, MTextGeometry, InsertGeometry>;

// What a viewer needs of one entity. Entity types without drawable geometry here carry
// std::monostate.
struct EntityInfo {
    EntityId id = 0;
    std::string type;    // group code 0, as in the file ("TEXT", "LINE", ...)
    std::string layer;   // group code 8, decoded; "0" when absent
    std::string handle;  // group code 5, hexadecimal as in the file; empty when the file has none
    Space space = Space::Model;
    std::string block;  // the block definition or paper-space layout block that holds it, if any
    int color = 256;    // group code 62: 0 by block, 256 by layer, 1..255 colour index
    Geometry geometry;
};

// One entry of the LAYER table.
struct LayerInfo {
    std::string name;  // group code 2, decoded
    int color = 7;     // colour index 1..255 (group code 62 without its sign)
    bool off = false;  // group code 62 is negative
};

struct Extents {
    Point min;
    Point max;
};

// The JUSTIFYTEXT options: L, A, F, C, M, R, TL, TC, TR, ML, MC, MR, BL, BC, BR (case ignored).
bool isJustifyOption(std::string_view option);

// Where save() keeps the previous file: the drawing's name with its extension replaced by
// ".bak" ("plan.dwg" -> "plan.bak"), as CAD hosts do.
std::filesystem::path backupPathFor(const std::filesystem::path& drawingFile);

class Drawing {
public:
    // Reads a drawing; what the bytes hold decides how they are read, never the file name.
    // A DWG file, a binary DXF or anything that is not a complete DXF drawing is refused with a
    // message naming what was found.
    static Drawing load(const std::filesystem::path& file);
    static Drawing fromBytes(std::string bytes);
    // A new untitled drawing with the content of a template drawing.
    static Drawing fromTemplate(const std::filesystem::path& templateFile);

    Drawing(Drawing&&) noexcept;
    Drawing& operator=(Drawing&&) noexcept;
    ~Drawing();

    // The drawing as DXF bytes: the bytes it was read from when nothing was changed.
    std::string toBytes() const;
    // Writes a temporary file in the same folder, flushes it to disk and renames it over `file`;
    // an existing `file` is kept as backupPathFor(file), its permissions, owner and group go to
    // the new one as far as this process may set them. The file the drawing was read from (or
    // last saved to) is not overwritten when it changed on disk since. On failure the file on
    // disk stays as it was and DxfError (Kind::Io) is raised. Clears the modified flag on
    // success and returns notes for the user on what could not be kept (an owner, say).
    std::vector<std::string> save(const std::filesystem::path& file);
    bool isModified() const noexcept;

    std::string version() const;   // $ACADVER, e.g. "AC1015"
    std::string codePage() const;  // "UTF-8" from AC1021, else $DWGCODEPAGE ("ANSI_1252" if absent)

    // Every entity of model space and of every paper-space layout, in drawing order, that passes
    // the filter: parallel lists of group codes and values, all of which must match. Code 0
    // matches the entity type, code 8 the layer, other codes the first value of that code in the
    // entity; values are the host's wildcard patterns, letter case ignored. Empty lists select
    // everything. Lists of different length raise InvalidArgument.
    std::vector<EntityId> select(const std::vector<std::int16_t>& codes,
                                 const std::vector<std::string>& values) const;

    bool exists(EntityId id) const noexcept;  // false for erased and unknown ids
    std::string entityType(EntityId id) const;
    std::string handle(EntityId id) const;
    std::optional<EntityInfo> entity(EntityId id) const;

    // Single-line text (TEXT, ATTRIB, ATTDEF); other entities raise NoSuchEntity. A text longer
    // than one string value may be (maxValueBytes) raises InvalidArgument and changes nothing.
    std::string text(EntityId id) const;
    void setText(EntityId id, std::string_view utf8);
    double height(EntityId id) const;
    // Positive finite heights only; anything else raises InvalidArgument.
    void setHeight(EntityId id, double height);
    // Changes the justification without moving the text on the sheet (TEXT only). An unknown
    // option raises InvalidArgument and changes nothing.
    void justify(EntityId id, std::string_view option);

    // A duplicate with a new handle, the same owner and space, placed after the last entity of
    // that space: it becomes the last object. Extension dictionaries and reactors stay with the
    // original.
    EntityId copy(EntityId id);
    // Removes the entity (with its vertices or attributes) and every reference to it.
    void erase(EntityId id);
    // The most recently created entity still present, else the last entity of the ENTITIES
    // section; nothing for an empty drawing.
    std::optional<EntityId> lastObject() const;

    // Read-only views for drawing the drawing. Space::Paper gives every paper-space layout.
    std::vector<EntityInfo> entities(Space space) const;
    // The entities of a block definition (name compared ignoring case); empty if there is none.
    std::vector<EntityInfo> blockEntities(std::string_view blockName) const;
    // The base point of a block definition (group codes 10/20/30 of its BLOCK entity); block
    // entities are drawn relative to it. Nothing if there is no such block.
    std::optional<Point> blockBasePoint(std::string_view blockName) const;
    // The LAYER table in file order.
    std::vector<LayerInfo> layers() const;
    // The entries of a table (records of type "STYLE", "DIMSTYLE", ...) as file bytes, in file
    // order; valid until the next edit.
    std::vector<std::string_view> tableEntries(std::string_view entryType) const;
    // Every record of these types (group 0) among the entities, their followers, the objects and
    // the BLOCK records, erased ones aside, in file order: its type and file bytes; valid until the
    // next edit.
    std::vector<std::pair<std::string_view, std::string_view>> recordsOfTypes(
        const std::vector<std::string_view>& types) const;
    // $EXTMIN/$EXTMAX when the header holds sensible values, else computed from model space.
    std::optional<Extents> extents() const;

    // ---- Raw access to text records, for editors of more kinds of text (textkinds.h) ----
    struct TextRecord {
        EntityId id = 0;
        std::string type;    // TEXT, MTEXT, ATTRIB, ATTDEF, DIMENSION, ACAD_TABLE or MULTILEADER
        std::string layer;   // decoded
        std::string handle;  // empty when the file has none
        Space space = Space::Model;
        std::string block;  // decoded name of the block or paper-space layout block, if any
    };
    // Every TEXT, MTEXT, ATTRIB (of block references too), ATTDEF, DIMENSION, ACAD_TABLE and
    // MULTILEADER record, in file order; an attribute takes the space of its block reference.
    std::vector<TextRecord> textRecords() const;
    // The objects of the OBJECTS section, in file order (a table's cell text has a second home
    // there in newer drawings). `handle` is 0 when the object has none.
    struct ObjectRecord {
        EntityId id = 0;
        std::string type;
        std::uint64_t handle = 0;
    };
    std::vector<ObjectRecord> objectRecords() const;
    // The record's tags (of an entity or an object) as file bytes, valid until the next edit;
    // replacing them marks the drawing modified. The caller keeps the handle and the structure
    // of the record.
    std::string_view recordBytes(EntityId id) const;
    void setRecordBytes(EntityId id, std::string bytes);
    // File bytes of a string value to UTF-8 and back, in the drawing's code page.
    std::string decodeText(std::string_view fileBytes) const;
    std::string encodeText(std::string_view utf8) const;
    // encodeText() for a value that replaces `original`: the characters the new value begins
    // and ends with as the old one did keep their bytes.
    std::string encodeReplacing(std::string_view original, std::string_view utf8) const;
    // The longest string value the drawing's version takes, in file bytes: 2,049 from R2000
    // (AC1015) on, 255 before. A longer value raises InvalidArgument.
    std::size_t maxValueBytes() const;
    void requireValueFits(EntityId id, std::string_view fileBytes) const;

private:
    struct Impl;
    explicit Drawing(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace quorvel::dxf
