// Wildcard filters, text encodings and the text placement arithmetic.
#include <gtest/gtest.h>

#include <cmath>

#include "dxf/codepage.h"
#include "dxf/drawing.h"
#include "dxf/tags.h"
#include "dxf/textlayout.h"
#include "dxf/wildcard.h"
#include "tests/support/ezdxf_reference.h"

namespace quorvel::dxf {
namespace {

TEST(Wildcard, HostPatterns) {
    struct Case {
        const char* text;
        const char* pattern;
        bool matches;
    };
    const Case cases[] = {
        {"TEXT", "text", true},
        {"MTEXT", "text", false},
        {"MTEXT", "*text", true},
        {"A12", "A##", true},
        {"A1B", "A##", false},
        {"Layer1", "@@@@@#", true},
        {"a-b", "a.b", true},
        {"a1b", "a.b", false},
        {"abc", "a?c", true},
        {"abc", "~a?c", false},
        {"xyz", "~a?c", true},
        {"b", "[abc]", true},
        {"B", "[a-c]", true},
        {"d", "[~a-c]", true},
        {"a", "[~a-c]", false},
        {"*", "`*", true},
        {"x", "`*", false},
        {"a,b", "a`,b", true},
        {"walls", "doors,wall*", true},
        {"doors", "doors,wall*", true},
        {"roof", "doors,wall*", false},
        {"图层1", "图层#", true},
        {"ÉTAGE", "étage", true},
        {"", "*", true},
        {"aaaaaaaaaaaaaaaaaaaaaaaaaaaaab", "*a*a*a*a*a*a*a*a*c", false},
        {"a`", "a`", true},
        {"a", "a,`", true},
        {"[x", "[x", true},
        {"]", "[]]", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(wildcardMatch(c.text, c.pattern), c.matches) << c.text << " vs " << c.pattern;
    }
}

TEST(CodePage, DecodesBeforeLookingForEscapes) {
    // 0x5C is the trail byte of this GBK character; it must not start an escape.
    const TextCodec gbk(iconvNameForCodePage("ANSI_936"));
    EXPECT_EQ(gbk.decode("\xD5\x5CU+0041"), "誠U+0041");
    EXPECT_EQ(gbk.decode("\xD6\xD0\\U+00e9\\u+00E9"), "中éé");
    EXPECT_EQ(gbk.encode("中ก"), "\xD6\xD0\\U+0E01");
    EXPECT_EQ(gbk.encode("中文ก文a"),
              "\xD6\xD0\xCE\xC4\\U+0E01\xCE\xC4"
              "a");
    // Bytes that do not decode are neither dropped nor thrown at the caller.
    EXPECT_EQ(gbk.decode("a\xFF"
                         "b")
                  .size(),
              6u);

    const TextCodec western(iconvNameForCodePage("ansi_1252"));
    EXPECT_EQ(western.decode("caf\xE9"), "café");
    EXPECT_EQ(western.encode("café 中"), "caf\xE9 \\U+4E2D");
    EXPECT_EQ(TextCodec(iconvNameForCodePage("NO_SUCH_PAGE")).encoding(), "CP1252");

    const TextCodec utf8("UTF-8");
    EXPECT_EQ(utf8.decode("\\U+D83D\\U+DE00 \\M+5D6D0"), "😀 中");
    EXPECT_EQ(utf8.encode("a\r\nb\tc"), "a\\U+000D\\U+000Ab\tc");
    EXPECT_EQ(decodeEscapes("\\U+12"), "\\U+12");
}

TEST(CodePage, BytesThatDoNotDecodeComeBackAsTheyWere) {
    const TextCodec gbk(iconvNameForCodePage("ANSI_936"));
    const TextCodec western(iconvNameForCodePage("ANSI_1252"));
    const TextCodec utf8("UTF-8");
    const struct {
        const TextCodec& codec;
        std::string bytes;
    } cases[] = {
        {gbk, "caf\xE9"},
        {gbk, "x\xFFy \xD6\xD0\x80"},
        {gbk, "\\U+D800 \\U+DC00 \\U+DBFF\\U+DFE9 \\M+5FFFF"},  // escapes of no character
        {western, "\x81\x8D\xE9"},
        {utf8, "bad \xC3 \xE4\xB8 \xFF"},
        {utf8, "\xF4\x8F\xBF\xA9"},  // a raw-byte code point written as such stays four bytes
    };
    for (const auto& c : cases) {
        const std::string text = c.codec.decode(c.bytes);
        EXPECT_EQ(c.codec.encode(text), c.bytes) << c.bytes;
        EXPECT_EQ(text.find("\xEF\xBF\xBD"), std::string::npos) << c.bytes;
    }
    // An edit elsewhere in the text leaves the bytes it did not touch as they were.
    std::string text = gbk.decode("x\xFFy \xD6\xD0 caf\xE9");
    text.replace(text.find("\xE4\xB8\xAD"), 3, "文");
    EXPECT_EQ(gbk.encode(text), "x\xFFy \xCE\xC4 caf\xE9");
    // Where the new value begins and ends as the old one, those parts keep their bytes even
    // where they are not written the way encode() writes them.
    EXPECT_EQ(gbk.encodeReplacing("\\M+5D6D0 \x01 OLD \\u+00e9", "中 \x01 NEW é"),
              "\\M+5D6D0 \x01 NEW \\u+00e9");
    EXPECT_EQ(gbk.encodeReplacing("\\M+5D6D0", "x"), "x");
    // What decodes still reads as before.
    EXPECT_EQ(utf8.decode("\xEF\xBF\xBD \xE4\xB8\xAD"), "\xEF\xBF\xBD 中");
}

TEST(TextLayout, FontModel) {
    EXPECT_DOUBLE_EQ(textWidthInHeights("abc"), 1.8);
    EXPECT_DOUBLE_EQ(textWidthInHeights("中文"), 2.0);
    EXPECT_DOUBLE_EQ(textWidthInHeights("%%u90%%d"), 1.8);
    EXPECT_EQ(parseJustifyOption("mc")->horizontal, 1);
    EXPECT_EQ(parseJustifyOption("MC")->vertical, 2);
    EXPECT_FALSE(parseJustifyOption("CM"));
    EXPECT_FALSE(parseJustifyOption("TLL"));
}

TEST(TextLayout, JustifyingKeepsTheBaselineInPlace) {
    TextPlacement left;
    left.first = {10, 20, 0};
    left.height = 2;
    left.rotation = 90;
    const double measured = 5;  // width 10 at height 2
    const Baseline baseline = baselineOf(left, measured);
    EXPECT_DOUBLE_EQ(baseline.width, 10);

    const TextPlacement topRight = placeOnBaseline(left, baseline, {2, 3});
    EXPECT_DOUBLE_EQ(topRight.first.x, 10);
    EXPECT_NEAR(topRight.second->x, 10 - 2, 1e-12);  // up is -x for text at 90 degrees
    EXPECT_NEAR(topRight.second->y, 20 + 10, 1e-12);

    // A justified text written by a program that stored only the alignment point finds its
    // baseline through the font model; one with both points through the points.
    TextPlacement onlyAlignment = topRight;
    onlyAlignment.first = *topRight.second;
    const Baseline found = baselineOf(onlyAlignment, measured);
    EXPECT_NEAR(found.left.x, 10, 1e-12);
    EXPECT_NEAR(found.left.y, 20, 1e-12);
    const Baseline stored = baselineOf(topRight, 99);
    EXPECT_NEAR(stored.width, 10, 1e-12);

    const TextPlacement fit = placeOnBaseline(left, baseline, {5, 0});
    EXPECT_NEAR(fit.second->y, 30, 1e-12);
    const TextPlacement back = placeOnBaseline(topRight, baselineOf(topRight, measured), {0, 0});
    EXPECT_NEAR(back.first.x, 10, 1e-12);
    EXPECT_NEAR(back.first.y, 20, 1e-12);

    // A new string keeps the alignment point and moves the start.
    const TextPlacement longer = keepAlignmentPoint(topRight, 10);
    EXPECT_NEAR(longer.second->y, 30, 1e-12);
    EXPECT_NEAR(longer.first.y, 10, 1e-12);
}

// Centred, aligned and fit text, 72/73 written right-aligned as some writers do.
std::string justifiedTexts() {
    std::string out =
        "  0\nSECTION\n  2\nHEADER\n  9\n$ACADVER\n  1\nAC1009\n  0\nENDSEC\n"
        "  0\nSECTION\n  2\nENTITIES\n";
    const auto text = [&](const char* handle, const char* x2, const char* horizontal) {
        out += std::string("  0\nTEXT\n  5\n") + handle +
               "\n  8\n0\n 10\n10.0\n 20\n5.0\n 30\n0.0\n 40\n2.5\n  1\nOLD\n 72\n" + horizontal +
               "\n 11\n" + x2 + "\n 21\n5.0\n 31\n0.0\n 73\n     1\n";
    };
    text("20", "12.0", "     1");  // centre
    text("21", "40.0", "     3");  // aligned between 10 and 11
    text("22", "40.0", "     5");  // fit between 10 and 11
    return out + "  0\nENDSEC\n  0\nEOF\n";
}

TEST(TextEdit, KeepsEveryValueTheEditDidNotChange) {
    Drawing drawing = Drawing::fromBytes(justifiedTexts());
    for (const EntityId id : drawing.select({0}, {"TEXT"}))
        drawing.setText(id, "NEW LONGER TEXT");
    const std::string edited = drawing.toBytes();
    // The centred text keeps its alignment point; its start moves (checked below). Aligned and
    // fit text keep both points and fill the baseline between them again, as hosts do: aligned
    // text by its height, fit text by its width factor, both here a fifth (3 characters to 15).
    std::string unmoved = edited;
    const std::size_t start = unmoved.find(" 10\n") + 4;
    unmoved.replace(start, unmoved.find("\n 30\n") - start, "10.0\n 20\n5.0");
    std::string expected = justifiedTexts();
    for (std::size_t at = expected.find("\nOLD\n"); at != std::string::npos;
         at = expected.find("\nOLD\n"))
        expected.replace(at + 1, 3, "NEW LONGER TEXT");
    const std::size_t aligned = expected.find("\n 40\n2.5\n", expected.find("\n21\n"));
    expected.replace(aligned, 9, "\n 40\n" + formatNumber(2.5 / 5) + "\n");
    const std::size_t fit = expected.find("\n 40\n2.5\n", expected.find("\n22\n")) + 9;
    expected.insert(fit, " 41\n" + formatNumber(1.0 / 5) + "\n");
    EXPECT_EQ(unmoved, expected);

    if (!testsupport::ezdxfAvailable())
        return;
    testsupport::TemporaryFolder folder;
    testsupport::writeFile(folder.path() / "t.dxf", edited);
    const auto view = testsupport::readWithEzdxf(folder.path() / "t.dxf");
    EXPECT_EQ(view.auditErrors, 0);
    EXPECT_EQ(view.texts.at("20").horizontal, 1);
    EXPECT_NEAR(view.texts.at("20").x, 12.0 - 0.6 * 2.5 * 15 / 2, 1e-9);
    EXPECT_EQ(view.texts.at("21").horizontal, 3);
    EXPECT_DOUBLE_EQ(view.texts.at("21").x, 10);
    EXPECT_DOUBLE_EQ(view.texts.at("21").height, 0.5);
    EXPECT_DOUBLE_EQ(view.texts.at("22").alignX, 40);
    EXPECT_EQ(view.texts.at("22").text, "NEW LONGER TEXT");
}

}  // namespace
}  // namespace quorvel::dxf
