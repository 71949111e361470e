// The placement arithmetic on the real screen; the panels' tests (sidepanel_test) cover the edge
// placement, topmost and docking through the panels themselves.
#include "windows/windowplacer.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <gtest/gtest.h>

using namespace quorvel;

TEST(WindowPlacer, TwipsPerPixelFollowsTheLogicalDpi) {
    QWidget w;
    const placement::ScreenTwips s = windows::screenTwips(&w);
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    EXPECT_FLOAT_EQ(s.twipsPerPixelX, static_cast<float>(1440.0 / screen->logicalDotsPerInchX()));
    EXPECT_FLOAT_EQ(s.width, static_cast<float>(screen->geometry().width() * s.twipsPerPixelX));
}

TEST(WindowPlacer, CenterFormPutsTheWindowAtOneThirdOfTheFreeHeight) {
    QWidget w;
    w.resize(300, 120);
    windows::CenterForm(&w);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_NEAR(w.x(), (screen.width() - 300) / 2.0, 1);
    EXPECT_NEAR(w.y(), (screen.height() - 120) / 3.0, 1);
}
