#include "windows/placement.h"

#include <gtest/gtest.h>

using namespace quorvel::placement;

namespace {

ScreenTwips screen1024x768() { return {1024 * 15.0f, 768 * 15.0f, 15.0f, 15.0f}; }

}  // namespace

TEST(RoundHalfEven, HalvesGoToTheEvenNeighbour) {
    EXPECT_EQ(roundHalfEven(22.5), 22);
    EXPECT_EQ(roundHalfEven(23.5), 24);
    EXPECT_EQ(roundHalfEven(-2.5), -2);
    EXPECT_EQ(roundHalfEven(-3.5), -4);
    EXPECT_EQ(roundHalfEven(2.4999), 2);
    EXPECT_EQ(roundHalfEven(2.5001), 3);
    EXPECT_EQ(roundHalfEven(0.0), 0);
}

TEST(CenterForm, OneThirdOfTheFreeHeightAndHalfTheFreeWidth) {
    const TwipsPosition p = centerForm(screen1024x768(), 8400, 7650);
    EXPECT_FLOAT_EQ(p.left, (15360.0f - 8400.0f) / 2);
    EXPECT_FLOAT_EQ(p.top, (11520.0f - 7650.0f) / 3);
}

TEST(CenterForm, FullWidthWindowAtLeftZeroAndTallWindowAboveTheScreen) {
    const ScreenTwips s = screen1024x768();
    EXPECT_FLOAT_EQ(centerForm(s, s.width, 100).left, 0.0f);
    EXPECT_LT(centerForm(s, 100, s.height + 300).top, 0.0f);
    EXPECT_FLOAT_EQ(centerForm(s, 100, s.height + 300).top, -100.0f);
}

TEST(CenterForm, QuotientIsKeptInSinglePrecisionNotRoundedToWholeTwips) {
    // (11520 - 7651) / 3 = 1289.666...
    const TwipsPosition p = centerForm(screen1024x768(), 8401, 7651);
    EXPECT_FLOAT_EQ(p.top, static_cast<float>(3869.0 / 3.0));
    EXPECT_FLOAT_EQ(p.left, 3479.5f);
}

TEST(CenterFormAtEdge, LeftIsFlushAndRightLeavesNoGap) {
    const ScreenTwips s = screen1024x768();
    const TwipsPosition left = centerFormAtEdge(s, 1965, 9135, Edge::Left);
    const TwipsPosition right = centerFormAtEdge(s, 1965, 9135, Edge::Right);
    EXPECT_FLOAT_EQ(left.left, 0.0f);
    EXPECT_FLOAT_EQ(right.left + 1965, s.width);
    EXPECT_FLOAT_EQ(left.top, (s.height - 9135) / 3);
    EXPECT_FLOAT_EQ(right.top, left.top);
}

TEST(TopmostRect, XRoundsTheQuotientWhileYRoundsTheOperandsFirst) {
    const ScreenTwips s{15360, 11520, 15, 15};
    EXPECT_EQ(topmostRect({337.5f, 0, 0, 0}, s).x, 22);  // 22.5 -> 22
    EXPECT_EQ(topmostRect({352.5f, 0, 0, 0}, s).x, 24);  // 23.5 -> 24
    // 337.5 twips rounds to 338 first, then 338 / 15 = 22 in whole numbers.
    EXPECT_EQ(topmostRect({0, 337.5f, 0, 0}, s).y, 22);
    // 344 / 15 = 22.93: the integer division truncates where rounding the quotient gives 23.
    EXPECT_EQ(topmostRect({0, 344, 0, 0}, s).y, 22);
    EXPECT_EQ(topmostRect({344, 0, 0, 0}, s).x, 23);
}

TEST(TopmostRect, SizeUsesIntegerDivisionOfRoundedOperands) {
    const ScreenTwips s{15360, 11520, 15, 15};
    const TopmostRect r = topmostRect({0, 0, 3900, 1140}, s);
    EXPECT_EQ(r.cx, 260);
    EXPECT_EQ(r.cy, 76);
    // Twips per pixel of 13.5 rounds to 14 (even) for the integer divisions.
    const ScreenTwips odd{0, 0, 13.5f, 13.5f};
    EXPECT_EQ(topmostRect({0, 0, 140, 141}, odd).cx, 10);
    EXPECT_EQ(topmostRect({0, 0, 140, 141}, odd).cy, 10);
    EXPECT_EQ(topmostRect({135, 0, 0, 0}, odd).x, 10);
}

TEST(TopmostRect, ZeroTwipsPerPixelDoesNotCrash) {
    const TopmostRect r = topmostRect({100, 100, 100, 100}, {0, 0, 0, 0});
    EXPECT_EQ(r.x, 0);
    EXPECT_EQ(r.cy, 0);
}

class DockToEdgeTest : public ::testing::Test {
protected:
    static constexpr float kScreenWidth = 1024 * 15.0f;
    static constexpr float kWidth = 1965;
    static constexpr float kHeight = 9135;

    // A window at the given twips position, 15 twips per pixel, pointer at (px, py).
    static DockInput at(float left, float top, int px, int py, bool minimized = false) {
        DockInput in;
        in.window = {left, top, kWidth, kHeight};
        in.rect = {static_cast<int>(left / 15), static_cast<int>(top / 15),
                   static_cast<int>((left + kWidth) / 15), static_cast<int>((top + kHeight) / 15)};
        in.pointer = {px, py};
        in.minimized = minimized;
        in.screenWidth = kScreenWidth;
        return in;
    }
};

TEST_F(DockToEdgeTest, LeftWindowStaysWhilePointedAtAndHidesWhenLeft) {
    EXPECT_TRUE(dockToEdge(at(0, 600, 50, 100)).changesNothing());
    const DockStep hide = dockToEdge(at(0, 600, 500, 100));
    ASSERT_TRUE(hide.newLeft);
    EXPECT_FLOAT_EQ(*hide.newLeft, 40 - kWidth);
    EXPECT_FALSE(hide.newTop);
    EXPECT_FALSE(hide.show);
}

TEST_F(DockToEdgeTest, PointerOnTheRectangleBorderCountsAsOutside) {
    DockInput in = at(3000, 600, 0, 100);
    in.pointer.x = in.rect.left;  // leftmost pixel column
    // Away from every edge: nothing to do whether inside or outside.
    EXPECT_TRUE(dockToEdge(in).changesNothing());

    DockInput hidden = at(40 - kWidth, 600, 0, 100);
    hidden.pointer.x = hidden.rect.left;
    hidden.rect.left = 0;
    hidden.pointer.x = 0;  // on the strip's first column: outside, so it stays hidden
    const DockStep step = dockToEdge(hidden);
    ASSERT_TRUE(step.newLeft);
    EXPECT_FLOAT_EQ(*step.newLeft, 40 - kWidth);
    hidden.pointer.x = 1;  // one column in: revealed
    EXPECT_FLOAT_EQ(dockToEdge(hidden).newLeft.value(), -10.0f);
}

TEST_F(DockToEdgeTest, RightWindowHidesToAStripAndRevealsTenTwipsPastTheEdge) {
    const float flush = kScreenWidth - kWidth;
    const DockStep hide = dockToEdge(at(flush, 600, 10, 100));
    ASSERT_TRUE(hide.newLeft);
    EXPECT_FLOAT_EQ(*hide.newLeft, kScreenWidth - 40);

    const int insideX = static_cast<int>((kScreenWidth - 20) / 15);
    const DockStep reveal = dockToEdge(at(kScreenWidth - 40, 600, insideX, 100));
    ASSERT_TRUE(reveal.newLeft);
    EXPECT_FLOAT_EQ(*reveal.newLeft, kScreenWidth - kWidth + 10);
    EXPECT_TRUE(reveal.show);

    // Resting on the revealed window repeats the reveal and the show on every step.
    const DockStep again = dockToEdge(at(kScreenWidth - kWidth + 10, 600, insideX, 100));
    EXPECT_FLOAT_EQ(again.newLeft.value(), kScreenWidth - kWidth + 10);
    EXPECT_TRUE(again.show);
}

TEST_F(DockToEdgeTest, RightEdgeTestUsesFourTwips) {
    // Right edge 4 twips inside the screen edge still hides; 5 twips inside does not.
    EXPECT_TRUE(dockToEdge(at(kScreenWidth - kWidth - 4, 600, 10, 100)).newLeft);
    EXPECT_TRUE(dockToEdge(at(kScreenWidth - kWidth - 5, 600, 10, 100)).changesNothing());
}

TEST_F(DockToEdgeTest, TopEdgeIsTriedBeforeLeftAndRight) {
    DockInput in = at(0, 60, 500, 500);  // top at pixel 4, also flush left
    const DockStep hide = dockToEdge(in);
    ASSERT_TRUE(hide.newTop);
    EXPECT_FLOAT_EQ(*hide.newTop, 40 - kHeight);
    EXPECT_FALSE(hide.newLeft);

    DockInput five = at(3000, 75, 500, 500);  // top at pixel 5: not hidden upward
    EXPECT_TRUE(dockToEdge(five).changesNothing());

    DockInput hiddenUp = at(0, 40 - kHeight, 10, 0);
    hiddenUp.rect = {0, -606, 131, 3};
    hiddenUp.pointer = {10, 1};
    const DockStep reveal = dockToEdge(hiddenUp);
    ASSERT_TRUE(reveal.newTop);
    EXPECT_FLOAT_EQ(*reveal.newTop, -10.0f);
    EXPECT_FALSE(reveal.newLeft);
    EXPECT_TRUE(reveal.show);
}

TEST_F(DockToEdgeTest, MinimizedWindowIsNeverMoved) {
    EXPECT_TRUE(dockToEdge(at(0, 600, 500, 100, true)).changesNothing());
    EXPECT_TRUE(dockToEdge(at(40 - kWidth, 600, 1, 100, true)).changesNothing());
}

TEST_F(DockToEdgeTest, FailedReadsLeaveZerosAndHideAtTheTop) {
    DockInput in = at(3000, 600, 0, 0);
    in.rect = {};  // nothing read: zero rectangle, pointer at the origin is outside it
    const DockStep step = dockToEdge(in);
    EXPECT_TRUE(step.newTop);
}
