// Damaged and hostile input: refused with a message or read as it is, never a crash, never a
// file that reads differently from what was loaded.
#include <gtest/gtest.h>

#include <string>

#include "dxf/drawing.h"
#include "dxf/tags.h"
#include "dxf/textkinds.h"

namespace quorvel::dxf {
namespace {

const std::string kSmall =
    "999\r\ncomment\r\n  0\r\nSECTION\r\n  2\r\nHEADER\r\n  9\r\n$ACADVER\r\n  1\r\nAC1009\r\n"
    "  9\r\n$HANDSEED\r\n  5\r\n30\r\n  0\r\nENDSEC\r\n"
    "  0\r\nSECTION\r\n  2\r\nUNKNOWN_THING\r\n1001\r\nwhatever\r\n  0\r\nENDSEC\r\n"
    "  0\r\nSECTION\r\n  2\r\nENTITIES\r\n"
    "  0\r\nTEXT\r\n  5\r\n20\r\n  8\r\nA\r\n 10\r\n1.0\r\n 20\r\n2.0\r\n 40\r\nabc\r\n  "
    "1\r\nOLD\r\n"
    "  0\r\nPOLYLINE\r\n  5\r\n21\r\n  8\r\n0\r\n 66\r\n1\r\n  0\r\nVERTEX\r\n  5\r\n22\r\n  "
    "8\r\n0\r\n"
    " 10\r\n0\r\n 20\r\n0\r\n  0\r\nSEQEND\r\n  5\r\n23\r\n  8\r\n0\r\n"
    "  0\r\nLINE\r\n  5\r\n24\r\n  8\r\n0\r\n 10\r\n0\r\n 20\r\n0\r\n 11\r\n1\r\n 21\r\n1\r\n"
    "  0\r\nENDSEC\r\n  0\r\nEOF\r\ntrailing bytes\r\n";

std::string errorOf(const std::string& bytes) {
    try {
        Drawing::fromBytes(bytes);
    } catch (const DxfError& e) {
        return e.what();
    }
    return "";
}

TEST(Robustness, OtherFormatsAreNamed) {
    EXPECT_NE(errorOf(std::string("AC1032\0\0\0\0\0", 11)).find("DWG"), std::string::npos);
    EXPECT_NE(errorOf(std::string("AC1032\0\0\0\0\0", 11)).find("R2018"), std::string::npos);
    EXPECT_NE(errorOf("AutoCAD Binary DXF\r\n\x1a").find("二进制 DXF"), std::string::npos);
    EXPECT_NE(errorOf("%PDF-1.4").find("PDF"), std::string::npos);
    EXPECT_FALSE(errorOf("").empty());
    EXPECT_FALSE(errorOf("hello").empty());
    EXPECT_FALSE(errorOf("  0\nLINE\n").empty());
}

TEST(Robustness, SmallDrawingRoundTripsAndEdits) {
    Drawing drawing = Drawing::fromBytes(kSmall);
    EXPECT_EQ(drawing.toBytes(), kSmall);
    const auto texts = drawing.select({0}, {"TEXT"});
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_DOUBLE_EQ(drawing.height(texts[0]), 0);  // "abc" where a number belongs
    EXPECT_EQ(drawing.select({}, {}).size(), 3u);   // vertices are part of their polyline

    const EntityId polylineCopy = drawing.copy(drawing.select({0}, {"POLYLINE"}).front());
    drawing.setHeight(texts[0], 2.5);
    drawing.justify(texts[0], "BR");
    const std::string edited = drawing.toBytes();
    EXPECT_NE(edited.find("POLYLINE\r\n  5\r\n30\r\n"),
              std::string::npos);  // handles from $HANDSEED
    EXPECT_NE(edited.find("$HANDSEED\r\n  5\r\n33\r\n"), std::string::npos);
    EXPECT_NE(edited.find(" 40\r\n2.5\r\n"), std::string::npos);
    EXPECT_NE(edited.find(" 72\r\n2\r\n"), std::string::npos);
    EXPECT_NE(edited.find(" 73\r\n1\r\n"), std::string::npos);
    EXPECT_NE(edited.find("EOF\r\ntrailing bytes\r\n"), std::string::npos);
    const Drawing reread = Drawing::fromBytes(edited);
    EXPECT_EQ(reread.toBytes(), edited);
    EXPECT_EQ(
        std::get<PolylineGeometry>(reread.entity(reread.select({0}, {"POLYLINE"}).back())->geometry)
            .vertices.size(),
        1u);

    drawing.erase(polylineCopy);
    drawing.erase(drawing.select({0}, {"POLYLINE"}).front());
    EXPECT_EQ(drawing.toBytes().find("VERTEX"), std::string::npos);
}

TEST(Robustness, DamagedFiles) {
    // Complete sections without the closing EOF: refused.
    const std::string noEof = kSmall.substr(0, kSmall.find("  0\r\nEOF"));
    EXPECT_NE(errorOf(noEof).find("没有以 EOF 结束"), std::string::npos);
    // Unix line ends, odd padding and negative codes.
    const std::string odd =
        "0\nSECTION\n2\nENTITIES\n   0\nTEXT\n-5\nx\n1071\n7\n 8 \nL\n  1\nhi\n0\nENDSEC\n0\nEOF";
    const Drawing oddDrawing = Drawing::fromBytes(odd);
    EXPECT_EQ(oddDrawing.toBytes(), odd);
    EXPECT_EQ(oddDrawing.text(oddDrawing.select({0, 8}, {"text", "l"}).front()), "hi");
    // A group code that is not a number, and truncation anywhere: refused or read back exactly.
    EXPECT_NE(errorOf("0\nSECTION\n2\nENTITIES\nX\nTEXT\n").find("第 5 行"), std::string::npos);
    for (std::size_t cut = 0; cut < kSmall.size(); ++cut) {
        const std::string truncated = kSmall.substr(0, cut);
        try {
            EXPECT_EQ(Drawing::fromBytes(truncated).toBytes(), truncated) << cut;
        } catch (const DxfError&) {
        }
    }
    // An enormous value line.
    std::string huge = kSmall;
    huge.replace(huge.find("OLD"), 3, std::string(5'000'000, 'x'));
    Drawing hugeDrawing = Drawing::fromBytes(huge);
    EXPECT_EQ(hugeDrawing.text(hugeDrawing.select({0}, {"TEXT"}).front()).size(), 5'000'000u);
}

// A drawing whose own handles lie at `first`, `first`+1 (a text) and `first`+2 (a polyline and
// its vertex need two more), with the given $HANDSEED.
std::string drawingWithHandles(const std::string& seed, std::uint64_t first) {
    const auto h = [&](std::uint64_t offset) { return formatHandle(first + offset); };
    return "0\nSECTION\n2\nHEADER\n9\n$ACADVER\n1\nAC1009\n9\n$HANDSEED\n5\n" + seed +
           "\n0\nENDSEC\n0\nSECTION\n2\nENTITIES\n0\nLINE\n5\n" + h(0) + "\n8\n0\n0\nTEXT\n5\n" +
           h(1) + "\n8\n0\n40\n1\n1\nt\n0\nPOLYLINE\n5\n" + h(2) + "\n8\n0\n66\n1\n0\nVERTEX\n5\n" +
           h(3) + "\n8\n0\n0\nSEQEND\n5\n" + h(4) + "\n8\n0\n0\nENDSEC\n0\nEOF\n";
}

TEST(Robustness, ErasingAnEntityWhoseHandleRepeatsLeavesTheBlocksWhole) {
    // The text shares handle 1F with the block record that owns the model-space block.
    const std::string bytes =
        "0\nSECTION\n2\nHEADER\n9\n$ACADVER\n1\nAC1015\n0\nENDSEC\n0\nSECTION\n2\nBLOCKS\n"
        "0\nBLOCK\n5\n20\n330\n1F\n100\nAcDbEntity\n8\n0\n2\n*Model_Space\n0\nENDBLK\n5\n21\n"
        "330\n1F\n0\nENDSEC\n0\nSECTION\n2\nENTITIES\n0\nTEXT\n5\n1F\n330\n1F\n8\n0\n1\nt\n"
        "0\nENDSEC\n0\nEOF\n";
    Drawing drawing = Drawing::fromBytes(bytes);
    drawing.erase(drawing.select({0}, {"TEXT"}).front());
    const std::string edited = drawing.toBytes();
    EXPECT_NE(edited.find("0\nBLOCK\n5\n20\n330\n1F\n"), std::string::npos);
    EXPECT_NE(edited.find("0\nENDBLK\n5\n21\n330\n1F\n"), std::string::npos);
    EXPECT_NO_THROW(Drawing::fromBytes(edited));
}

TEST(Robustness, NewHandlesStayAboveEveryHandleUntilNoneIsLeft) {
    // A $HANDSEED behind the drawing's handles is not trusted.
    for (const std::string seed : {"1", "0", "", "zz", "FFFFFFFFFFFFFFFF"}) {
        SCOPED_TRACE(seed);
        Drawing drawing = Drawing::fromBytes(drawingWithHandles(seed, 0x40));
        const EntityId copy = drawing.copy(drawing.select({0}, {"TEXT"}).front());
        EXPECT_EQ(drawing.handle(copy), "45");
        EXPECT_NE(drawing.toBytes().find("$HANDSEED\n5\n46\n"), std::string::npos);
    }
    // Near the top of the range: copies take the last handles, then fail and change nothing.
    const std::uint64_t top = 0xFFFFFFFFFFFFFFFAull;
    Drawing drawing = Drawing::fromBytes(drawingWithHandles("1", top - 3));
    const EntityId polyline = drawing.select({0}, {"POLYLINE"}).front();
    const EntityId text = drawing.select({0}, {"TEXT"}).front();
    EXPECT_EQ(drawing.handle(drawing.copy(text)), "FFFFFFFFFFFFFFFC");
    const std::string before = drawing.toBytes();
    EXPECT_THROW(drawing.copy(polyline), DxfError);  // needs three, two are left
    EXPECT_EQ(drawing.toBytes(), before);
    EXPECT_EQ(drawing.handle(drawing.copy(text)), "FFFFFFFFFFFFFFFD");
    EXPECT_EQ(drawing.handle(drawing.copy(text)), "FFFFFFFFFFFFFFFE");
    const std::string full = drawing.toBytes();
    EXPECT_NE(full.find("$HANDSEED\n5\nFFFFFFFFFFFFFFFF\n"), std::string::npos);
    try {
        drawing.copy(text);
        ADD_FAILURE() << "a copy without a handle left";
    } catch (const DxfError& e) {
        EXPECT_NE(std::string(e.what()).find("句柄已经用尽"), std::string::npos);
    }
    EXPECT_EQ(drawing.toBytes(), full);
    EXPECT_THROW(Drawing::fromBytes(drawingWithHandles("1", top + 1)).copy(text), DxfError);
}

// Tables and multileaders whose data is damaged or laid out otherwise: read without a crash; a
// table whose cells cannot be told apart, or whose new text fits no value, stays as it was.
TEST(Robustness, TablesAndMultileadersThatCannotBeEditedStayWhole) {
    const auto drawingWith = [](const std::string& entities) {
        return "0\nSECTION\n2\nHEADER\n9\n$ACADVER\n1\nAC1024\n0\nENDSEC\n0\nSECTION\n2\n"
               "ENTITIES\n" +
               entities + "0\nENDSEC\n0\nEOF\n";
    };
    const std::string cell = "171\n1\n301\nCELL_VALUE\n90\n4\n1\nOLD\n302\nOLD\n304\nACVALUE_END\n";
    for (const std::string counts :
         {"91\n1e300\n92\n1e300\n", "91\n-3\n92\nx\n", "91\n1\n92\n2\n"}) {
        SCOPED_TRACE(counts);
        Drawing drawing = Drawing::fromBytes(drawingWith(
            "0\nACAD_TABLE\n5\n20\n100\nAcDbTable\n" + counts + cell +
            "171\n1\n301\nCELL_VALUE\n90\n4\n1\nno end\n0\nMULTILEADER\n5\n21\n304\nOLD\n"));
        const std::vector<TextEntry> texts = readTexts(drawing);
        ASSERT_EQ(texts.size(), 2u);  // two cells; a multileader without context data has none
        EXPECT_EQ(texts[0].raw, "OLD");
        const std::string before = drawing.toBytes();
        EXPECT_THROW(writeText(drawing, texts[0], "NEW"), DxfError);
        EXPECT_EQ(drawing.toBytes(), before);
    }
    // A value longer than one string holds: chunks in a cell's group 1 (as documented), never
    // in a cell value that was one string.
    const std::string table =
        "0\nACAD_TABLE\n5\n20\n100\nAcDbTable\n91\n1\n92\n2\n" + cell + "171\n1\n1\nOLD\n";
    Drawing drawing = Drawing::fromBytes(drawingWith(table));
    const std::vector<TextEntry> texts = readTexts(drawing);
    ASSERT_EQ(texts.size(), 2u);
    const std::string before = drawing.toBytes();
    const std::string longText(3000, 'x');
    EXPECT_THROW(writeText(drawing, texts[0], longText), DxfError);
    EXPECT_EQ(drawing.toBytes(), before);
    writeText(drawing, texts[1], longText);
    EXPECT_NE(drawing.toBytes().find("\n2\n" + std::string(250, 'x') + "\n"), std::string::npos);
    EXPECT_EQ(readTexts(Drawing::fromBytes(drawing.toBytes()))[1].raw, longText);
}

}  // namespace
}  // namespace quorvel::dxf
