#include <gtest/gtest.h>

#include "batch/dimensionpicture.h"
#include "batch/options.h"
#include "batch/substitution.h"
#include "dxf/textkinds.h"

namespace quorvel::batch {
namespace {

using dxf::TextSyntax;
using dxf::VisibleText;

TEST(VisibleTextTest, MatchesWhatReadersSeeAndKeepsTheCodes) {
    const VisibleText text("A{\\C1;BC}\\PD\\\\E", TextSyntax::MultiLine);
    EXPECT_EQ(text.plain(), u"ABC\nD\\E");
    // A change across a code keeps the code behind the new text, braces stay balanced.
    EXPECT_EQ(text.apply({{0, 2, u"x{y}"}}), "x\\{y\\}{\\C1;C}\\PD\\\\E");
    EXPECT_EQ(text.apply({{3, 5, u"-\n"}}), "A{\\C1;BC}-\\P\\\\E");
}

TEST(VisibleTextTest, DimensionMeasurementIsNeverText) {
    const VisibleText text("<>mm<>", TextSyntax::Dimension);
    EXPECT_EQ(text.plain(), u"\uFFFCmm\uFFFC");
    EXPECT_EQ(text.shown(), "<>mm<>");
    EXPECT_EQ(text.apply({{1, 3, u"cm"}}), "<>cm<>");
    EXPECT_FALSE(text.replaceable(0, 3));
    EXPECT_EQ(VisibleText("<>", TextSyntax::MultiLine).plain(), u"<>");
}

// One find on one stored value: the new value, or "" when nothing matched.
std::string changed(dxf::TextKind kind, const std::string& raw, const std::u16string& find,
                    const std::u16string& replace, bool exact = false, bool asStored = false) {
    Options options;
    options.pairs = {{find, replace}};
    options.exact = exact;
    options.raw = asStored;
    dxf::TextEntry entry;
    entry.kind = kind;
    entry.raw = raw;
    const auto change = substitute(entry, options);
    return change ? change->newRaw : "";
}

TEST(VisibleMatchTest, CodesAreOneCharacterOrNoneAndNeverSplit) {
    using enum dxf::TextKind;
    struct Case {
        dxf::TextKind kind;
        const char* raw;
        std::u16string find, replace;
        const char* expected;
    };
    const Case cases[] = {
        // Caret codes: ^J is a line break, as \P is; other ^x show nothing.
        {MText, "Mtext^Jwith", u"J", u"XY", ""},
        {MText, "Mtext^Jwith", u"t\nw", u"t w", "Mtext with"},
        {MText, "a^Mb\\Pc", u"ab\nc", u"x", "x^M"},
        // %% codes are the characters they show, in every kind of text.
        {MText, "45%%d TO 60%%d", u"°", u"度", "45度 TO 60度"},
        {MText, "45%%d TO 60%%d", u"d TO", u"X", ""},
        {Dimension, "%%c<>", u"c", u"X", ""},
        {Dimension, "%%c<>", u"⌀", u"R", "R<>"},
        {Dimension, "31.83%%p0.1", u"±", u"+/-", "31.83+/-0.1"},
        {Text, "%%UTypical Assembly Detail", u"UTypical", u"X", ""},
        {Text, "%%UTypical Assembly Detail", u"Typical", u"Main", "%%UMain Assembly Detail"},
        {Text, "%%176 and %%%", u"° and %", u"ok", "ok"},
        {Text, "%%zq", u"z", u"d", ""},  // an unknown %%z is kept whole
        // A stack is one unit that no find spans.
        {MText, "2{\\H0.7x;\\S1#2;}\"x5{\\S1#4;}\"", u"2\"x5", u"X", ""},
        {MText, "2{\\H0.7x;\\S1#2;}\"x5{\\S1#4;}\"", u"\"x5", u"X",
         "2{\\H0.7x;\\S1#2;}X{\\S1#4;}\""},
        // What is typed shows as typed: ^ and % beside % are written so.
        {MText, "Mtext^Jwith", u"with", u"a^b\tc\nd", "Mtext^Ja^ b^Ic\\Pd"},
        {Text, "50 pct", u" pct", u"%%d", "50%%%%%%d"},
        {Text, "5x%%d", u"x", u"%", "5%%%%%d"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(changed(c.kind, c.raw, c.find, c.replace), c.expected) << c.raw;
}

TEST(VisibleMatchTest, MeasuredValueIsShownAndNeverMatched) {
    using enum dxf::TextKind;
    EXPECT_EQ(changed(Dimension, "R<>", u"R", u"X", true), "");
    EXPECT_EQ(changed(Dimension, "R<>", u"R", u"X"), "X<>");
    Options options;
    options.pairs = {{u"R", u"半径 R"}};
    dxf::TextEntry dimension;
    dimension.kind = Dimension;
    dimension.raw = "{\\C1;R}<>";
    const auto change = substitute(dimension, options);
    ASSERT_TRUE(change);
    EXPECT_EQ(change->oldText, "R<>");
    EXPECT_EQ(change->newText, "半径 R<>");
    EXPECT_EQ(VisibleText("{\\S1#2;}%%d^J", TextSyntax::MultiLine).shown(), "1/2°\n");
}

TEST(VisibleMatchTest, RawMatchesTheStoredText) {
    using enum dxf::TextKind;
    EXPECT_EQ(changed(MText, "Mtext^Jwith", u"J", u"XY", false, true), "Mtext^XYwith");
    EXPECT_EQ(changed(Text, "%%UTypical", u"UTyp", u"X", false, true), "%%Xical");
    EXPECT_EQ(changed(Dimension, "R<>", u"R<>", u"D<>", true, true), "D<>");
}

TEST(DimensionPictureTest, FollowsTheOverrideOrLeavesTheDimension) {
    dxf::TextEntry dimension;
    dimension.kind = dxf::TextKind::Dimension;
    dimension.raw = "<> OLD <>";
    DimensionPictures::Picture picture;
    picture.text.emplace();
    picture.text->kind = dxf::TextKind::MText;
    picture.text->raw = "\\A1;12.5 {\\C1;OLD} 12.5";
    Options options;
    for (const bool asStored : {false, true}) {
        options.raw = asStored;
        // Matched on what a reader sees, a find never reaches into the measured value.
        options.pairs = {{u"OLD", u"NEW"}};
        if (!asStored)
            options.pairs.push_back({u"5", u"x"});
        const auto change = substituteDimension(dimension, picture, options);
        ASSERT_TRUE(change && change->refused.empty());
        EXPECT_EQ(change->newRaw, "<> NEW <>");
        EXPECT_EQ(change->newPictureRaw, "\\A1;12.5 {\\C1;NEW} 12.5");
    }
    options.raw = false;
    picture.text->raw = "\\A1;12.5 OLD 13";  // not what the override shows
    EXPECT_FALSE(substituteDimension(dimension, picture, options)->refused.empty());
    const DimensionPictures::Picture shared{std::nullopt, "shared"};
    EXPECT_EQ(substituteDimension(dimension, shared, options)->refused, "shared");
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
    // A second pair on the command line would silently replace the first.
    EXPECT_THROW(parseArguments({"--find=a", "--replace=b", "--find=c", "--replace=d", "x"}),
                 UsageError);
    EXPECT_THROW(parseArguments({"--find=a", "--replace=b", "--height", "0", "x"}), UsageError);
    EXPECT_THROW(parseArguments({"--find=a", "--replace=b", "--justify", "Q", "x"}), UsageError);
    EXPECT_THROW(parseArguments({"--find=a", "--replace=b", "--kinds", "line", "x"}), UsageError);
    EXPECT_THROW(parseArguments({"--undo", "1", "x.dxf"}), UsageError);
    EXPECT_THROW(parseArguments({"--find=a", "--replace=b", "--host", "ftp", "x"}), UsageError);
    EXPECT_THROW(parseArguments({"--find=a", "--replace=b", "--progid=", "x"}), UsageError);
    const Options options =
        parseArguments({"--find=a", "--replace=", "--kinds", "mtext,attrib", "--jobs", "3", "x"});
    EXPECT_EQ(options.kinds, unsigned{kKindMText | kKindAttrib});
    EXPECT_EQ(options.jobs, 3u);
    EXPECT_EQ(options.pairs[0].replace, u"");
}

// What workers and --retry get of a run's options: all of it, and only in the form written.
TEST(OptionsTest, EditingOptionsGoAndComeBackWhole) {
    const Options given = parseArguments({"--find=a",
                                          "--replace=b",
                                          "--kinds",
                                          "all",
                                          "--exact",
                                          "--layer",
                                          "墙,0",
                                          "--height",
                                          "0.1",
                                          "--justify",
                                          "MC",
                                          "--timeout",
                                          "9",
                                          "--jobs",
                                          "2",
                                          "--host",
                                          "com",
                                          "--progid",
                                          "Other.Application",
                                          "x.dxf"});
    EXPECT_EQ(given.timeoutSeconds, 9u);
    const Options back = parseEditingArguments(editingArguments(given));
    EXPECT_EQ(back.host, "com");
    EXPECT_EQ(back.progId, "Other.Application");
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

}  // namespace
}  // namespace quorvel::batch
