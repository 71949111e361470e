// Wildcard filters, text encodings and the text placement arithmetic.
#include <gtest/gtest.h>

#include <cmath>

#include "cadhost/dxf/codepage.h"
#include "cadhost/dxf/textlayout.h"
#include "cadhost/dxf/wildcard.h"

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

}  // namespace
}  // namespace quorvel::dxf
