// replaceStr, the height reader and the text helpers.
#include <gtest/gtest.h>

#include "engine/automation.h"
#include "engine/leadingnumber.h"
#include "engine/programfolder.h"
#include "engine/replacementrun.h"
#include "engine/replacestr.h"
#include "engine/textutil.h"

namespace quorvel::engine {
namespace {

struct ReplaceCase {
    std::u16string searchStr;
    std::u16string oldStr;
    std::u16string newStr;
    bool firstOnly;
    std::u16string expected;
};

TEST(ReplaceStr, FollowsTheLeftToRightNonOverlappingRule) {
    const ReplaceCase cases[] = {
        {u"", u"a", u"b", false, u""},                  // nothing to search in
        {u"abc", u"", u"x", false, u""},                // nothing to look for: empty, not the input
        {u"A-B-C", u"-", u"", false, u"ABC"},           // empty replacement deletes
        {u"Road", u"road", u"Street", false, u"Road"},  // ordinal, case matters
        {u"x1x2x3", u"x", u"y", true, u"y1x2x3"},
        {u"x1x2x3", u"x", u"y", false, u"y1y2y3"},
        {u"abc", u"c", u"d", false, u"abd"},  // occurrence at the very end
        {u"same", u"same", u"other", false, u"other"},
        {u"aaa", u"aa", u"b", false, u"ba"},  // no overlap
        {u"ab", u"a", u"aa", false, u"aab"},  // inserted text is not searched again
        {u"AB ", u"AB", u"XY", false, u"XY "},
        {u"ＡB", u"AB", u"x", false, u"ＡB"},  // full-width differs from half-width
        {u"图号A图号", u"图号", u"编号", false, u"编号A编号"},
        {u"no match", u"zz", u"y", false, u"no match"},
    };
    for (const ReplaceCase& c : cases) {
        EXPECT_EQ(replaceStr(c.searchStr, c.oldStr, c.newStr, c.firstOnly), c.expected)
            << toUtf8(c.searchStr) << " / " << toUtf8(c.oldStr);
    }
}

TEST(ReplaceStr, WorksOnSixteenBitUnits) {
    // U+1F600 is two units; replacing its first unit splits the pair, as 16-bit texts do.
    const std::u16string emoji = u"\U0001F600";
    EXPECT_EQ(replaceStr(u"a" + emoji, emoji.substr(0, 1), u"x", false), u"ax" + emoji.substr(1));
}

int overflowNumber(const std::u16string& searchStr, const std::u16string& oldStr) {
    try {
        replaceStr(searchStr, oldStr, u"n", false);
    } catch (const AutomationError& error) {
        return error.number();
    }
    return 0;
}

TEST(ReplaceStr, PositionsBeyondSixteenBitsOverflow) {
    // An oldStr longer than 32,767 units overflows even without an occurrence.
    EXPECT_EQ(overflowNumber(u"abc", std::u16string(32768, u'a')), kErrorOverflow);
    EXPECT_EQ(overflowNumber(u"abc", std::u16string(32767, u'a')), 0);

    // An occurrence at position 32,768.
    EXPECT_EQ(overflowNumber(std::u16string(32767, u'.') + u"x", u"x"), kErrorOverflow);
    // Position 32,766 plus length 2 is 32,768.
    EXPECT_EQ(overflowNumber(std::u16string(32765, u'.') + u"xy", u"xy"), kErrorOverflow);
    // Position 32,766 plus length 1 is the largest that fits.
    EXPECT_EQ(replaceStr(std::u16string(32765, u'.') + u"x", u"x", u"n", false),
              std::u16string(32765, u'.') + u"n");

    // The search for the next occurrence comes before firstOnly ends the loop.
    EXPECT_THROW(replaceStr(u"x" + std::u16string(32767, u'.') + u"x", u"x", u"y", true),
                 AutomationError);

    // Positions count within the remainder, so later occurrences start again from 1.
    std::u16string longText;
    for (int i = 0; i < 5000; ++i) {
        longText += u"abcdefghiX";
    }
    const std::u16string replaced = replaceStr(longText, u"X", u"", false);
    EXPECT_EQ(replaced.size(), 45000u);
    // A long text without an occurrence is returned whole.
    EXPECT_EQ(replaceStr(longText, u"Z", u"", false), longText);
}

TEST(LeadingNumber, ReadsTheLongestLeadingNumber) {
    const std::pair<std::u16string, double> cases[] = {
        {u"5", 5.0},
        {u"2.5mm", 2.5},
        {u"2.5.1", 2.5},
        {u".5", 0.5},
        {u"7.", 7.0},
        {u"-3", -3.0},
        {u"+4", 4.0},
        {u"1e2x", 100.0},
        {u"5e", 5.0},
        {u"5em", 5.0},
        {u"1,5", 1.0},  // "." is the decimal point whatever the
                        // locale
        {u"mm2.5", 0.0},
        {u"", 0.0},
        {u".", 0.0},
        {u"-", 0.0},
        {u"1e-999", 0.0},
        {u"３", 0.0},  // full-width digits are not digits here
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_DOUBLE_EQ(leadingNumber(text), expected) << toUtf8(text);
    }
    EXPECT_THROW(leadingNumber(u"1e999"), AutomationError);
}

TEST(TextHelpers, TrimOnlySpacesAndConvertUtf) {
    EXPECT_EQ(trimSpaces(u"  a b  "), u"a b");
    EXPECT_EQ(trimSpaces(u"\ta\t"), u"\ta\t");
    EXPECT_EQ(trimSpaces(u"   "), u"");
    const std::u16string mixed = u"图 A \U0001F600";
    EXPECT_EQ(fromUtf8(toUtf8(mixed)), mixed);
    EXPECT_EQ(toUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
    EXPECT_EQ(fromUtf8("a\xFF"), u"a\uFFFD");
    EXPECT_EQ(fromUtf8("\xE4\xB8"), u"\uFFFD\uFFFD");  // cut-off sequence
    // A genuine U+FFFD is valid; overlong forms and encoded surrogates are not.
    EXPECT_TRUE(quorvel::textcodec::isValidUtf8("a\xEF\xBF\xBD图"));
    EXPECT_FALSE(quorvel::textcodec::isValidUtf8("\xE0\x80\xAF"));
    EXPECT_FALSE(quorvel::textcodec::isValidUtf8("\xED\xA0\x80"));
}

TEST(RunTexts, ProgressLineAndTemplatePath) {
    EXPECT_EQ(progressLine(3, 10), u"正在替换第 3 页   共 10 页");
    const std::u16string separator(1, kPathSeparator);
    EXPECT_EQ(templatePath(u"/opt/cadhost/cad-host"),
              u"/opt/cadhost" + separator + u"TEMPLATE" + separator + u"acad.dwt");
    EXPECT_THROW(templatePath(u"cad-host"), AutomationError);
}

}  // namespace
}  // namespace quorvel::engine
