#include "drawinglist/listfile.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "drawinglist/drawinglist.h"

using quorvel::drawinglist::decodeListFile;
using quorvel::drawinglist::DrawingList;
using quorvel::drawinglist::encodeListFile;
using quorvel::drawinglist::LastLine;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(ListFileWriting, EveryEntryInListOrderFollowedByCrLf) {
    DrawingList list;
    list.add(u"C:\\b.dwg");
    list.add(u"C:\\a.dwg");
    EXPECT_EQ(encodeListFile(list), "C:\\a.dwg\r\nC:\\b.dwg\r\n");
    EXPECT_EQ(encodeListFile(DrawingList()), "");
    EXPECT_EQ(encodeListFile(std::vector<std::u16string>{u"", u"  x"}), "\r\n  x\r\n");
}

TEST(ListFileWriting, ChinesePathsInGbkAndUnrepresentableCharactersAsQuestionMarks) {
    EXPECT_EQ(encodeListFile(std::vector<std::u16string>{u"D:\\图纸\\总图.dwg"}),
              "D:\\\xCD\xBC\xD6\xBD\\\xD7\xDC\xCD\xBC.dwg\r\n");
    // Korean, an emoji (one character, two units) and a lone surrogate.
    EXPECT_EQ(encodeListFile(std::vector<std::u16string>{u"a한b😀c", std::u16string(1, u'\xD800')}),
              "a?b?c\r\n?\r\n");
}

TEST(ListFileReading, CrLfLoneCrAndLoneLfEachEndALine) {
    EXPECT_THAT(decodeListFile("a\r\nb\rc\r\n"), ElementsAre(u"a", u"b", u"c"));
    // A file from a Linux editor, with an empty line and no end on its last line.
    EXPECT_THAT(decodeListFile("/d/a.dwg\n\n/d/b.dwg\n/d/c.dwg"),
                ElementsAre(u"/d/a.dwg", u"", u"/d/b.dwg", u"/d/c.dwg"));
    // CR CR LF: a line ended by a lone CR, then an empty line; LF CR: two line ends.
    EXPECT_THAT(decodeListFile("a\r\r\n"), ElementsAre(u"a", u""));
    EXPECT_THAT(decodeListFile("a\n\rb"), ElementsAre(u"a", u"", u"b"));
}

TEST(ListFileReading, LastLineWithoutEndCountsAndAFinalEndAddsNothing) {
    EXPECT_THAT(decodeListFile("a\r\nb"), ElementsAre(u"a", u"b"));
    EXPECT_THAT(decodeListFile("a\r\nb\r\n"), ElementsAre(u"a", u"b"));
    EXPECT_THAT(decodeListFile(""), IsEmpty());
    // Reading cut short: the unfinished last line is left out, the complete ones stay.
    EXPECT_THAT(decodeListFile("a\r\nhalf", LastLine::Unfinished), ElementsAre(u"a"));
}

TEST(ListFileReading, EmptyLinesDuplicatesAndSpacesAreTakenAsTheyStand) {
    EXPECT_THAT(decodeListFile("\r\n\r\n  lead.dwg\r\ntrail.dwg  \r\nx\r\nx\r\n"),
                ElementsAre(u"", u"", u"  lead.dwg", u"trail.dwg  ", u"x", u"x"));
}

TEST(ListFileReading, GbkRoundTripOfChinesePaths) {
    const std::vector<std::u16string> entries = {
        u"D:\\工程 2024\\一层平面图.dwg", u"/home/用户/图纸/立面（东）.dwg", u"  前导空格.dwg"};
    EXPECT_EQ(decodeListFile(encodeListFile(entries)), entries);
}

TEST(ListFileReading, BadBytesAndNulsNeverCostALine) {
    // 0xFF never starts a GBK character; 0x81 0x0D is a lead byte cut off by the line end.
    const char raw[] =
        "ok\r\n\xFF\xFF"
        "bad\r\n\x81\r\nnul\0inside\r\nlast\x81";
    const std::string bytes(raw, sizeof raw - 1);
    const auto lines = decodeListFile(bytes);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], u"ok");
    EXPECT_EQ(lines[1], u"\uFFFD\uFFFDbad");
    EXPECT_EQ(lines[2], u"\uFFFD");
    EXPECT_EQ(lines[3], std::u16string(u"nul\0inside", 10));
    EXPECT_EQ(lines[4], u"last\uFFFD");
}
