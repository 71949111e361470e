// The drawing engine against drawings of independent makers: ezdxf writes them at test time and
// reads our results back; LibreCAD's shipped drawings and its PDF export check the rest.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <sstream>

#include "dxf/drawing.h"
#include "tests/support/ezdxf_reference.h"

namespace quorvel::dxf {
namespace {

using testsupport::ezdxfAvailable;
using testsupport::ezdxfDrawings;
using testsupport::readFile;
using testsupport::readWithEzdxf;
using testsupport::TemporaryFolder;

const char* const kDrawings[] = {"r12.dxf", "r2000_gbk.dxf", "r2004.dxf", "r2018_utf8.dxf"};

#define REQUIRE_EZDXF()                            \
    do {                                           \
        if (!ezdxfAvailable())                     \
            GTEST_SKIP() << "ezdxf not installed"; \
    } while (0)

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

TEST(DrawingRoundTrip, EzdxfDrawingsSaveBackByteForByte) {
    REQUIRE_EZDXF();
    TemporaryFolder out;
    for (const char* name : kDrawings) {
        SCOPED_TRACE(name);
        const auto file = ezdxfDrawings() / name;
        const std::string original = readFile(file);
        Drawing drawing = Drawing::load(file);
        EXPECT_FALSE(drawing.isModified());
        EXPECT_EQ(drawing.toBytes(), original);
        drawing.save(out.path() / name);
        EXPECT_EQ(readFile(out.path() / name), original);
    }
}

TEST(DrawingRoundTrip, LibreCadLibraryDrawingsSaveBackByteForByte) {
    const std::filesystem::path root = "/usr/share/librecad";
    if (!std::filesystem::is_directory(root))
        GTEST_SKIP() << "librecad-data not installed";
    int checked = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        std::string extension = entry.path().extension().string();
        std::transform(extension.begin(), extension.end(), extension.begin(), ::tolower);
        if (!entry.is_regular_file() || extension != ".dxf")
            continue;
        SCOPED_TRACE(entry.path().string());
        const std::string original = readFile(entry.path());
        Drawing drawing = Drawing::fromBytes(original);
        for (const EntityId id : drawing.select({0}, {"TEXT"}))
            (void)drawing.text(id);
        (void)drawing.entities(Space::Model);
        ASSERT_EQ(drawing.toBytes(), original);
        ++checked;
    }
    if (checked == 0)
        GTEST_SKIP() << "no DXF files in librecad-data";
}

TEST(DrawingRead, VersionsEncodingsAndTexts) {
    REQUIRE_EZDXF();
    const Drawing r12 = Drawing::load(ezdxfDrawings() / "r12.dxf");
    EXPECT_EQ(r12.version(), "AC1009");
    const Drawing gbk = Drawing::load(ezdxfDrawings() / "r2000_gbk.dxf");
    EXPECT_EQ(gbk.version(), "AC1015");
    EXPECT_EQ(gbk.codePage(), "ANSI_936");
    const Drawing utf8 = Drawing::load(ezdxfDrawings() / "r2018_utf8.dxf");
    EXPECT_EQ(utf8.codePage(), "UTF-8");

    std::set<std::string> gbkTexts;
    for (const EntityId id : gbk.select({0}, {"TEXT"}))
        gbkTexts.insert(gbk.text(id));
    EXPECT_TRUE(gbkTexts.count("两个 OLD 字"));
    EXPECT_TRUE(gbkTexts.count("右对齐 right"));
    std::set<std::string> utf8Texts;
    for (const EntityId id : utf8.select({0}, {"text"}))
        utf8Texts.insert(utf8.text(id));
    EXPECT_TRUE(utf8Texts.count("한국어 OLD ✓"));
}

TEST(DrawingRead, SelectionTakesModelAndEveryLayoutButNotBlocks) {
    REQUIRE_EZDXF();
    const Drawing drawing = Drawing::load(ezdxfDrawings() / "r2000_gbk.dxf");
    std::set<std::string> texts;
    std::set<Space> spaces;
    for (const EntityId id : drawing.select({0}, {"TEXT"})) {
        texts.insert(drawing.text(id));
        spaces.insert(drawing.entity(id)->space);
    }
    EXPECT_TRUE(texts.count("paper text"));
    EXPECT_TRUE(texts.count("second layout OLD"));
    EXPECT_FALSE(texts.count("inside block"));
    EXPECT_EQ(spaces, (std::set<Space>{Space::Model, Space::Paper}));

    // Layer filter with wildcards, case ignored; MTEXT is not TEXT.
    for (const EntityId id : drawing.select({0, 8}, {"text", "t?xt*"})) {
        EXPECT_EQ(drawing.entity(id)->layer, "TEXTS");
    }
    EXPECT_EQ(drawing.select({0, 8}, {"text", "notes"}).size(), 1u);
    EXPECT_EQ(drawing.select({0}, {"mtext"}).size(), 1u);
    EXPECT_EQ(drawing.select({0}, {"TEXT,MTEXT"}).size(), drawing.select({0}, {"*TEXT"}).size());
    EXPECT_THROW(drawing.select({0, 8}, {"text"}), DxfError);

    const auto inside = drawing.blockEntities("title");
    ASSERT_EQ(inside.size(), 2u);
    EXPECT_EQ(std::get<TextGeometry>(inside[0].geometry).text, "inside block");
}

TEST(DrawingRead, GeometryForTheViewer) {
    REQUIRE_EZDXF();
    const Drawing drawing = Drawing::load(ezdxfDrawings() / "r2000_gbk.dxf");
    std::map<std::string, int> types;
    for (const EntityInfo& e : drawing.entities(Space::Model)) {
        ++types[e.type];
        if (e.type == "LINE") {
            const auto& line = std::get<LineGeometry>(e.geometry);
            EXPECT_DOUBLE_EQ(line.end.x, 100);
            EXPECT_DOUBLE_EQ(line.end.y, 50);
        } else if (e.type == "CIRCLE") {
            EXPECT_DOUBLE_EQ(std::get<CircleGeometry>(e.geometry).radius, 20);
        } else if (e.type == "LWPOLYLINE") {
            const auto& polyline = std::get<PolylineGeometry>(e.geometry);
            EXPECT_EQ(polyline.vertices.size(), 3u);
            EXPECT_TRUE(polyline.closed);
        } else if (e.type == "MTEXT") {
            EXPECT_EQ(std::get<MTextGeometry>(e.geometry).plainText, "多行文字 OLD\n第二行");
        } else if (e.type == "INSERT") {
            EXPECT_EQ(std::get<InsertGeometry>(e.geometry).blockName, "TITLE");
        }
    }
    EXPECT_EQ(types["ARC"], 1);
    EXPECT_EQ(types["INSERT"], 1);
    EXPECT_EQ(drawing.entities(Space::Paper).size(), 2u);
    const auto extents = drawing.extents();
    ASSERT_TRUE(extents.has_value());
    EXPECT_LE(extents->min.x, 0);
    EXPECT_GE(extents->max.x, 100);

    const Drawing r12 = Drawing::load(ezdxfDrawings() / "r12.dxf");
    bool sawPolyline = false;
    for (const EntityInfo& e : r12.entities(Space::Model)) {
        if (e.type != "POLYLINE")
            continue;
        sawPolyline = true;
        EXPECT_EQ(std::get<PolylineGeometry>(e.geometry).vertices.size(), 3u);
    }
    EXPECT_TRUE(sawPolyline);

    // Layer colours and block base points, in both table formats.
    for (const Drawing* d : {&drawing, &r12}) {
        std::map<std::string, LayerInfo> layers;
        for (const LayerInfo& layer : d->layers())
            layers[layer.name] = layer;
        ASSERT_TRUE(layers.count("LINES") && layers.count("NOTES") && layers.count("0"));
        EXPECT_EQ(layers["LINES"].color, 1);
        EXPECT_FALSE(layers["LINES"].off);
        EXPECT_EQ(layers["NOTES"].color, 3);
        EXPECT_TRUE(layers["NOTES"].off);
        EXPECT_EQ(layers["0"].color, 7);
        const auto base = d->blockBasePoint("title");
        ASSERT_TRUE(base.has_value());
        EXPECT_DOUBLE_EQ(base->x, 5);
        EXPECT_DOUBLE_EQ(base->y, 7.5);
        EXPECT_FALSE(d->blockBasePoint("no such block").has_value());
    }
}

// What a batch run does to a drawing: every text holding "OLD" is copied, the original erased,
// the copy justified middle-centre, given its new string and height.
struct Rewritten {
    std::string text;
    double centreX, centreY;
};

std::map<std::string, Rewritten> rewriteLikeABatchRun(Drawing& drawing) {
    std::map<std::string, Rewritten> expected;
    for (const EntityId id : drawing.select({0, 8}, {"text", "TEXTS"})) {
        const std::string old = drawing.text(id);
        if (old.find("OLD") == std::string::npos)
            continue;
        const auto before = std::get<TextGeometry>(drawing.entity(id)->geometry);
        const EntityId copy = drawing.copy(id);
        EXPECT_NE(drawing.handle(copy), drawing.handle(id));
        drawing.erase(id);
        EXPECT_FALSE(drawing.exists(id));
        EXPECT_EQ(drawing.lastObject(), copy);
        drawing.justify(*drawing.lastObject(), "mc");
        // Middle-centre of the text as it stood: half its width along, half its height up.
        const auto justified = std::get<TextGeometry>(drawing.entity(copy)->geometry);
        EXPECT_EQ(justified.horizontal, 1);
        EXPECT_EQ(justified.vertical, 2);
        drawing.setText(copy, replaceAll(old, "OLD", "新 ①"));
        drawing.setHeight(copy, 5);
        EXPECT_NEAR(justified.alignment->y, before.insertion.y + before.height / 2, 1e-9);
        EXPECT_GT(justified.alignment->x, before.insertion.x);
        expected[drawing.handle(copy)] = {replaceAll(old, "OLD", "新 ①"), justified.alignment->x,
                                          justified.alignment->y};
    }
    return expected;
}

TEST(DrawingEdit, BatchRunResultReadsBackCleanInEzdxf) {
    REQUIRE_EZDXF();
    TemporaryFolder out;
    for (const char* name : kDrawings) {
        SCOPED_TRACE(name);
        const auto file = out.path() / name;
        std::filesystem::copy_file(ezdxfDrawings() / name, file);
        const auto before = readWithEzdxf(file);
        ASSERT_EQ(before.auditErrors, 0);

        Drawing drawing = Drawing::load(file);
        const auto expected = rewriteLikeABatchRun(drawing);
        ASSERT_FALSE(expected.empty());
        EXPECT_TRUE(drawing.isModified());
        drawing.save(file);
        EXPECT_FALSE(drawing.isModified());
        EXPECT_EQ(readFile(out.path() /
                           (std::string(name).substr(0, std::string(name).size() - 4) + ".bak")),
                  readFile(ezdxfDrawings() / name));

        const auto after = readWithEzdxf(file);
        EXPECT_EQ(after.auditErrors, 0)
            << (after.auditMessages.empty() ? "" : after.auditMessages[0]);
        for (const auto& [handle, rewritten] : expected) {
            SCOPED_TRACE(handle);
            ASSERT_TRUE(after.texts.count(handle));
            const auto& seen = after.texts.at(handle);
            EXPECT_EQ(seen.text, rewritten.text);
            EXPECT_DOUBLE_EQ(seen.height, 5);
            EXPECT_EQ(seen.horizontal, 1);
            EXPECT_EQ(seen.vertical, 2);
            EXPECT_NEAR(seen.alignX, rewritten.centreX, 1e-6);
            EXPECT_NEAR(seen.alignY, rewritten.centreY, 1e-6);
            EXPECT_EQ(seen.layer, "TEXTS");
        }
        // Nothing else changed: every other entity reads back exactly as before; the originals
        // of the rewritten texts are gone, also from groups.
        std::size_t erased = 0;
        for (const auto& [handle, description] : before.entities) {
            if (!after.entities.count(handle)) {
                ++erased;
                ASSERT_TRUE(before.texts.count(handle));
                EXPECT_NE(before.texts.at(handle).text.find("OLD"), std::string::npos);
                continue;
            }
            EXPECT_EQ(after.entities.at(handle), description);
        }
        EXPECT_EQ(erased, expected.size());
        EXPECT_EQ(after.entities.size(), before.entities.size());
        for (const auto& [group, members] : after.groups) {
            for (const auto& [handle, text] : before.texts) {
                if (!after.texts.count(handle)) {
                    EXPECT_EQ(members.find(handle), std::string::npos);
                }
            }
        }
    }
}

TEST(DrawingEdit, EraseLeavesNoReferenceBehind) {
    REQUIRE_EZDXF();
    TemporaryFolder out;
    const auto file = out.path() / "erased.dxf";
    Drawing drawing = Drawing::load(ezdxfDrawings() / "r2000_gbk.dxf");
    // A grouped text, a text with an extension dictionary, a hatch's boundary.
    for (const EntityId id : drawing.select({0}, {"TEXT"})) {
        const std::string text = drawing.text(id);
        if (text == "grouped OLD" || text == "dictionary OLD")
            drawing.erase(id);
    }
    const auto boundary = drawing.select({0, 8}, {"LWPOLYLINE", "BOUNDARY"});
    ASSERT_EQ(boundary.size(), 1u);
    drawing.erase(boundary.front());
    drawing.save(file);

    const auto view = readWithEzdxf(file);
    EXPECT_EQ(view.auditErrors, 0) << (view.auditMessages.empty() ? "" : view.auditMessages[0]);
    // The group keeps its other member.
    const auto before = readWithEzdxf(ezdxfDrawings() / "r2000_gbk.dxf");
    std::istringstream members(before.groups.at("G1"));
    std::string member;
    std::string kept;
    while (members >> member) {
        if (before.texts.count(member) == 0 || before.texts.at(member).text != "grouped OLD") {
            kept += member;
        }
    }
    ASSERT_EQ(view.groups.count("G1"), 1u);
    EXPECT_EQ(view.groups.at("G1"), kept);
    ASSERT_EQ(view.hatchSources.size(), 1u);
    EXPECT_EQ(view.hatchSources.begin()->second, "");
    EXPECT_EQ(readFile(file).find("kept with the text"), std::string::npos);
}

TEST(DrawingEdit, CopyStaysInItsLayoutAndGetsAFreshHandle) {
    REQUIRE_EZDXF();
    Drawing drawing = Drawing::load(ezdxfDrawings() / "r2000_gbk.dxf");
    std::set<std::string> handles;
    for (const EntityInfo& e : drawing.entities(Space::Model))
        handles.insert(e.handle);
    for (const EntityInfo& e : drawing.entities(Space::Paper))
        handles.insert(e.handle);
    for (const EntityId id : drawing.select({0}, {"TEXT"})) {
        const EntityInfo original = *drawing.entity(id);
        const EntityId copy = drawing.copy(id);
        EXPECT_EQ(drawing.lastObject(), copy);
        const EntityInfo duplicate = *drawing.entity(copy);
        EXPECT_EQ(duplicate.space, original.space);
        EXPECT_EQ(duplicate.block, original.block);
        EXPECT_TRUE(handles.insert(duplicate.handle).second) << duplicate.handle;
        EXPECT_EQ(std::get<TextGeometry>(duplicate.geometry).text,
                  std::get<TextGeometry>(original.geometry).text);
        if (original.block == "*Paper_Space0") {
            // The copy of a text in a second layout ends that layout's block.
            const auto second = drawing.blockEntities("*paper_space0");
            ASSERT_EQ(second.size(), 2u);
            EXPECT_EQ(second.back().id, copy);
        }
    }
    // Reading the result back gives the same texts.
    const Drawing reread = Drawing::fromBytes(drawing.toBytes());
    EXPECT_EQ(reread.select({0}, {"TEXT"}).size(), drawing.select({0}, {"TEXT"}).size());
}

TEST(DrawingEdit, RefusedValuesChangeNothing) {
    REQUIRE_EZDXF();
    Drawing drawing = Drawing::load(ezdxfDrawings() / "r2004.dxf");
    const std::string original = drawing.toBytes();
    const EntityId text = drawing.select({0}, {"TEXT"}).front();
    for (const double bad : {0.0, -1.0, std::nan(""), HUGE_VAL}) {
        EXPECT_THROW(drawing.setHeight(text, bad), DxfError);
    }
    EXPECT_THROW(drawing.justify(text, "XX"), DxfError);
    EXPECT_THROW(drawing.justify(text, ""), DxfError);
    // One string value holds 2,049 bytes from R2000 on.
    EXPECT_THROW(drawing.setText(text, std::string(2050, 'x')), DxfError);
    const EntityId line = drawing.select({0}, {"LINE"}).front();
    EXPECT_THROW(drawing.setText(line, "x"), DxfError);
    EXPECT_THROW(drawing.justify(line, "MC"), DxfError);
    EXPECT_THROW(drawing.text(12345678), DxfError);
    EXPECT_FALSE(drawing.isModified());
    EXPECT_EQ(drawing.toBytes(), original);
    drawing.erase(text);
    EXPECT_THROW(drawing.setText(text, "x"), DxfError);
    EXPECT_THROW(drawing.erase(text), DxfError);
}

TEST(DrawingEdit, EncodingFollowsTheDrawing) {
    REQUIRE_EZDXF();
    for (const char* name : {"r12.dxf", "r2000_gbk.dxf", "r2018_utf8.dxf"}) {
        SCOPED_TRACE(name);
        Drawing drawing = Drawing::load(ezdxfDrawings() / name);
        const EntityId id = drawing.select({0}, {"TEXT"}).front();
        const std::string text = "中文 ก 😀 \\ back";
        drawing.setText(id, text);
        EXPECT_EQ(drawing.text(id), text);
        const Drawing reread = Drawing::fromBytes(drawing.toBytes());
        EXPECT_EQ(reread.text(id), text);
        const std::string bytes = drawing.toBytes();
        if (std::string(name) == "r2000_gbk.dxf") {
            EXPECT_NE(bytes.find("\xD6\xD0\xCE\xC4 \\U+0E01 \\U+D83D\\U+DE00"), std::string::npos);
        } else if (std::string(name) == "r12.dxf") {
            EXPECT_NE(bytes.find("\\U+4E2D\\U+6587 \\U+0E01 "), std::string::npos);
        } else {
            EXPECT_NE(bytes.find(text), std::string::npos);
        }
        // A line break cannot stand in a value line: it is escaped, never written raw.
        drawing.setText(id, "one\ntwo");
        EXPECT_EQ(Drawing::fromBytes(drawing.toBytes()).text(id), "one\ntwo");
    }
}

TEST(DrawingEdit, LibreCadRendersTheEditedDrawing) {
    REQUIRE_EZDXF();
    if (testsupport::runCommand("command -v librecad >/dev/null") != 0)
        GTEST_SKIP() << "no librecad";
    TemporaryFolder out;
    const auto file = out.path() / "edited.dxf";
    Drawing drawing = Drawing::load(ezdxfDrawings() / "r2000_gbk.dxf");
    rewriteLikeABatchRun(drawing);
    drawing.save(file);
    const auto pdf = out.path() / "edited.pdf";
    testsupport::runCommand("cd '" + out.path().string() +
                            "' && QT_QPA_PLATFORM=offscreen timeout 120 librecad dxf2pdf -a -o '" +
                            pdf.string() + "' '" + file.string() + "' >/dev/null 2>&1");
    ASSERT_TRUE(std::filesystem::exists(pdf));
    const std::string content = readFile(pdf);
    EXPECT_GT(content.size(), 1000u);
    EXPECT_EQ(content.substr(0, 4), "%PDF");
}

TEST(DrawingSave, KeepsABackupAndRefusesWhatCannotBeWritten) {
    REQUIRE_EZDXF();
    TemporaryFolder out;
    const auto file = out.path() / "plan.dwg";
    std::filesystem::copy_file(ezdxfDrawings() / "r2004.dxf", file);
    const std::string original = readFile(file);
    Drawing drawing = Drawing::load(file);
    drawing.setText(drawing.select({0}, {"TEXT"}).front(), "changed");
    drawing.save(file);
    EXPECT_EQ(readFile(out.path() / "plan.bak"), original);
    const std::string saved = readFile(file);
    EXPECT_NE(saved.find("changed"), std::string::npos);

    // A folder that cannot be written: an error, the drawing on disk stays as it was.
    if (::geteuid() != 0) {
        std::filesystem::permissions(out.path(), std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::remove);
        drawing.setText(drawing.select({0}, {"TEXT"}).front(), "again");
        EXPECT_THROW(drawing.save(file), DxfError);
        EXPECT_EQ(readFile(file), saved);
        std::filesystem::permissions(out.path(), std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::add);
    }
    // A new drawing file gets the permissions of any new file, not those of a temporary one.
    const mode_t previousMask = ::umask(022);
    drawing.save(out.path() / "copy.dwg");
    ::umask(previousMask);
    EXPECT_EQ(std::filesystem::status(out.path() / "copy.dwg").permissions(),
              std::filesystem::perms(0644));
    std::filesystem::remove(out.path() / "copy.dwg");

    EXPECT_THROW(drawing.save(out.path() / "missing" / "plan.dwg"), DxfError);
    EXPECT_THROW(drawing.save(out.path()), DxfError);
    EXPECT_EQ(readFile(file), saved);
    std::vector<std::string> leftovers;
    for (const auto& entry : std::filesystem::directory_iterator(out.path())) {
        leftovers.push_back(entry.path().filename().string());
    }
    std::sort(leftovers.begin(), leftovers.end());
    EXPECT_EQ(leftovers, (std::vector<std::string>{"plan.bak", "plan.dwg"}));
}

}  // namespace
}  // namespace quorvel::dxf
