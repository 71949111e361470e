#include "drawinglist/drawinglist.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>

#include "drawinglist/tooltiprow.h"

using quorvel::drawinglist::DrawingList;
using quorvel::drawinglist::entryUnderPointer;
using ::testing::ElementsAre;

namespace {

std::vector<std::u16string> texts(const DrawingList& list) {
    std::vector<std::u16string> all;
    for (std::size_t i = 0; i < list.count(); ++i) {
        all.push_back(list.textAt(i));
    }
    return all;
}

}  // namespace

TEST(DrawingListOrder, AscendingWithCaseIgnoredWhateverTheOrderOfAdding) {
    for (const bool reversed : {false, true}) {
        DrawingList list;
        if (reversed) {
            list.add(u"C:\\a.dwg");
            list.add(u"D:\\b.dwg");
        } else {
            list.add(u"D:\\b.dwg");
            list.add(u"C:\\a.dwg");
        }
        EXPECT_THAT(texts(list), ElementsAre(u"C:\\a.dwg", u"D:\\b.dwg"));
    }

    DrawingList list;
    for (const char16_t* text : {u"/d/Zeta.dwg", u"/d/alpha.dwg", u"/d/Beta.dwg", u"/d/上海.dwg",
                                 u"/d/北京.dwg", u"/d/1.dwg"}) {
        list.add(text);
    }
    // Digits, then Latin letters regardless of case, then Han characters by pinyin.
    EXPECT_THAT(texts(list), ElementsAre(u"/d/1.dwg", u"/d/alpha.dwg", u"/d/Beta.dwg",
                                         u"/d/Zeta.dwg", u"/d/北京.dwg", u"/d/上海.dwg"));
}

TEST(DrawingListOrder, EntriesEqualButForCaseKeepTheOrderTheyCameIn) {
    DrawingList list;
    EXPECT_EQ(list.add(u"/x/PLAN.dwg"), 0u);
    EXPECT_EQ(list.add(u"/x/a.dwg"), 0u);
    EXPECT_EQ(list.add(u"/x/plan.dwg"), 2u);
    EXPECT_EQ(list.add(u"/x/Plan.dwg"), 3u);
    EXPECT_THAT(texts(list),
                ElementsAre(u"/x/a.dwg", u"/x/PLAN.dwg", u"/x/plan.dwg", u"/x/Plan.dwg"));
}

TEST(DrawingListOrder, AddingInOneGoEqualsAddingOneByOne) {
    std::mt19937 random(7);
    const std::vector<std::u16string> pool = {
        u"a", u"A", u"b", u"B", u"ab", u"Ab", u"", u" a", u"图", u"b ", std::u16string(u"a\0b", 3),
        u"ä"};
    const auto pick = [&](std::size_t n) {
        std::vector<std::u16string> chosen;
        for (std::size_t i = 0; i < n; ++i) {
            chosen.push_back(pool[random() % pool.size()] + pool[random() % pool.size()]);
        }
        return chosen;
    };
    for (int round = 0; round < 50; ++round) {
        const auto existing = pick(random() % 20);
        const auto added = pick(random() % 20);
        DrawingList oneByOne;
        DrawingList inOneGo;
        DrawingList byRuns;
        for (const auto& text : existing) {
            oneByOne.add(text);
            inOneGo.add(text);
            byRuns.add(text);
        }
        for (const auto& text : added) {
            oneByOne.add(text);
        }
        inOneGo.insert(inOneGo.prepare(added));
        auto pending = byRuns.prepare(added);
        const auto runs = pending.runs();
        for (const auto& run : runs) {
            byRuns.insertRun(pending, run);
        }
        ASSERT_EQ(texts(inOneGo), texts(oneByOne)) << "round " << round;
        ASSERT_EQ(texts(byRuns), texts(oneByOne)) << "round " << round;
    }
}

TEST(DrawingListDuplicates, ExactTextCaseIncludedCountingEarlierCandidatesOfThePass) {
    DrawingList list;
    list.add(u"/d/one.dwg");
    list.add(u"/d/two.dwg");
    const auto kept = list.withoutExactDuplicates({u"/d/one.dwg", u"/d/ONE.dwg", u"/d/three.dwg",
                                                   u"/d/two.dwg", u"/d/three.dwg", u"/d/four.dwg",
                                                   u"/d/ONE.dwg", u" /d/one.dwg"});
    EXPECT_THAT(kept, ElementsAre(u"/d/ONE.dwg", u"/d/three.dwg", u"/d/four.dwg", u" /d/one.dwg"));

    // Texts too long for in-place storage: the test must not lose track of them as they move.
    const std::u16string longA(100, u'a');
    const std::u16string longB(100, u'b');
    EXPECT_THAT(list.withoutExactDuplicates({u"s", longA, u"s", longB, longA, u"t"}),
                ElementsAre(u"s", longA, longB, u"t"));
}

TEST(DrawingListRemoval, NonAdjacentIndicesGoAndTheRestKeepTheirOrder) {
    DrawingList list;
    for (const char16_t* text : {u"a", u"b", u"c", u"d", u"e", u"f", u"g"}) {
        list.add(text);
    }
    list.removeEach({5, 1, 3, 3, 99});
    EXPECT_THAT(texts(list), ElementsAre(u"a", u"c", u"e", u"g"));
    EXPECT_THROW(list.removeRange(3, 2), std::out_of_range);
    EXPECT_THROW(list.textAt(4), std::out_of_range);
}

TEST(TooltipRow, RowsFromRoundedTwipsPlusTheTopIndex) {
    // 15 twips per pixel, rows 16 pixels (240 twips) high, entry 10 at the top.
    EXPECT_EQ(entryUnderPointer(0, 240, 10, 30), 10u);
    EXPECT_EQ(entryUnderPointer(2.5 * 240, 240, 10, 30), 12u);
    EXPECT_EQ(entryUnderPointer(239, 240, 10, 30), 10u);
    EXPECT_EQ(entryUnderPointer(240, 240, 10, 30), 11u);
    // Below the last entry, over an empty list, and above the top.
    EXPECT_EQ(entryUnderPointer(20 * 240, 240, 10, 30), std::nullopt);
    EXPECT_EQ(entryUnderPointer(0, 240, 0, 0), std::nullopt);
    EXPECT_EQ(entryUnderPointer(-300, 240, 0, 30), std::nullopt);
}

TEST(TooltipRow, HalvesRoundToEvenBeforeTheDivision) {
    // y 239.5 rounds to the even 240 and reaches row 1; 238.5 rounds to 238.
    EXPECT_EQ(entryUnderPointer(239.5, 240, 0, 5), 1u);
    EXPECT_EQ(entryUnderPointer(238.5, 240, 0, 5), 0u);
    // Row height 240.5 rounds to 240, 241.5 to 242.
    EXPECT_EQ(entryUnderPointer(481, 240.5, 0, 5), 2u);
    EXPECT_EQ(entryUnderPointer(483, 241.5, 0, 5), 1u);
    // Truncation toward zero: a little above the list still counts as the top row.
    EXPECT_EQ(entryUnderPointer(-100, 240, 3, 5), 3u);
    // A row height that rounds to zero, or nonsense, means no entry rather than a fault.
    EXPECT_EQ(entryUnderPointer(100, 0.4, 0, 5), std::nullopt);
    EXPECT_EQ(entryUnderPointer(100, 0, 0, 5), std::nullopt);
    EXPECT_EQ(entryUnderPointer(std::numeric_limits<double>::quiet_NaN(), 240, 0, 5), std::nullopt);
    EXPECT_EQ(entryUnderPointer(1e300, 240, 0, 5), std::nullopt);
}
