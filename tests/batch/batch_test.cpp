#include <gtest/gtest.h>

#include "batch/options.h"
#include "batch/sha256.h"
#include "cadhost/dxf/textkinds.h"

namespace quorvel::batch {
namespace {

using dxf::MaskedText;

TEST(MaskedTextTest, MatchesWhatReadersSeeAndKeepsTheCodes) {
    const MaskedText text("A{\\C1;BC}\\PD\\\\E", false);
    EXPECT_EQ(text.plain(), u"ABC\nD\\E");
    // A change across a code keeps the code behind the new text, braces stay balanced.
    EXPECT_EQ(text.apply({{0, 2, u"x{y}"}}), "x\\{y\\}{\\C1;C}\\PD\\\\E");
    EXPECT_EQ(text.apply({{3, 5, u"-\n"}}), "A{\\C1;BC}-\\P\\\\E");
}

TEST(MaskedTextTest, DimensionMeasurementIsNeverText) {
    const MaskedText text("<>mm<>", true);
    EXPECT_EQ(text.plain(), u"mm");
    EXPECT_EQ(text.apply({{0, 2, u"cm"}}), "<>cm<>");
    EXPECT_EQ(MaskedText("<>", false).plain(), u"<>");
}

TEST(ChunksTest, NeverSplitACharacterOrAnEscape) {
    // GBK: two bytes per Chinese character; a chunk of 5 bytes must stop at 4.
    const auto gbk = dxf::splitChunks("\xD6\xD0\xCE\xC4\xD6\xD0", "ANSI_936", 5);
    ASSERT_EQ(gbk.size(), 2u);
    EXPECT_EQ(gbk[0], "\xD6\xD0\xCE\xC4");
    const auto escaped = dxf::splitChunks("ab\\U+4E2Dc\\P", "ANSI_1252", 4);
    EXPECT_EQ(escaped, (std::vector<std::string>{"ab", "\\U+4E2D", "c\\P"}));
    EXPECT_EQ(dxf::splitChunks("\xE4\xB8\xAD\xE4\xB8\xAD", "UTF-8", 4).size(), 2u);
}

TEST(PairsTest, TabCsvUtf8AndGbk) {
    const auto pairs = parsePairs(
        "\xEF\xBB\xBF"
        "a\tb,c\r\n\n\"x,1\",\"say \"\"hi\"\"\"\nk,\n");
    ASSERT_EQ(pairs.size(), 3u);
    EXPECT_EQ(pairs[0].replace, u"b,c");
    EXPECT_EQ(pairs[1].find, u"x,1");
    EXPECT_EQ(pairs[1].replace, u"say \"hi\"");
    EXPECT_EQ(pairs[2].replace, u"");
    EXPECT_EQ(parsePairs("\xBE\xC9\t\xD0\xC2\n")[0].find, u"旧");  // GBK
    EXPECT_THROW(parsePairs("only one field\n"), UsageError);
    EXPECT_THROW(parsePairs("\tempty find\n"), UsageError);
    EXPECT_EQ(chainedPairs({{u"a", u"b"}, {u"b", u"c"}, {u"x", u"y"}}).size(), 1u);
}

TEST(OptionsTest, RefusesWhatItCannotRun) {
    EXPECT_THROW(parseArguments({"--find", "a", "x.dxf"}), UsageError);
    EXPECT_THROW(parseArguments({"--find", "", "--replace", "b", "x.dxf"}), UsageError);
    EXPECT_THROW(parseArguments({"--find", "a", "--replace", "b"}), UsageError);
    EXPECT_THROW(parseArguments({"--find=a", "--replace=b", "--height", "0", "x"}), UsageError);
    EXPECT_THROW(parseArguments({"--find=a", "--replace=b", "--justify", "Q", "x"}), UsageError);
    EXPECT_THROW(parseArguments({"--find=a", "--replace=b", "--kinds", "line", "x"}), UsageError);
    EXPECT_THROW(parseArguments({"--undo", "1", "x.dxf"}), UsageError);
    const Options options =
        parseArguments({"--find=a", "--replace=", "--kinds", "mtext,attrib", "--jobs", "3", "x"});
    EXPECT_EQ(options.kinds, unsigned{kKindMText | kKindAttrib});
    EXPECT_EQ(options.jobs, 3u);
    EXPECT_EQ(options.pairs[0].replace, u"");
}

// What workers and --retry get of a run's options: all of it, and only in the form written.
TEST(OptionsTest, EditingOptionsGoAndComeBackWhole) {
    const Options given = parseArguments({"--find=a", "--replace=b", "--kinds", "all", "--exact",
                                          "--layer", "墙,0", "--height", "0.1", "--justify", "MC",
                                          "--timeout", "9", "--jobs", "2", "x.dxf"});
    EXPECT_EQ(given.timeoutSeconds, 9u);
    const Options back = parseEditingArguments(editingArguments(given));
    EXPECT_EQ(back.kinds, unsigned{kKindAll});
    EXPECT_TRUE(back.exact);
    EXPECT_EQ(back.layer, "墙,0");
    EXPECT_EQ(back.height, 0.1);
    EXPECT_EQ(back.justify, "MC");
    EXPECT_TRUE(editingArguments(parseArguments({"--retry", "1", "--jobs", "2"})).empty());
    for (const std::vector<std::string>& written :
         {std::vector<std::string>{"--kinds", "all"}, {"--jobs", "2"}, {"x.dxf"}, {"--exact", "-"}})
        EXPECT_THROW(parseEditingArguments(written), UsageError);
    EXPECT_THROW(parseArguments({"--retry", "1", "--find=a", "--replace=b"}), UsageError);
    EXPECT_THROW(parseArguments({"--timeout", "0", "--retry", "1"}), UsageError);
}

TEST(Sha256Test, KnownDigests) {
    EXPECT_EQ(sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(sha256Hex(std::string(1000, 'a')),
              "41edece42d63e8d9bf515a9ba6932e1c20cbc9f5a5d134645adb5db1b9737ea3");
}

}  // namespace
}  // namespace quorvel::batch
