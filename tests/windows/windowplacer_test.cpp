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

TEST(WindowPlacer, EdgePlacementAndTopmost) {
    QWidget w(nullptr, Qt::FramelessWindowHint);
    w.resize(131, 609);
    windows::CenterForm1(&w, placement::Edge::Right);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(w.x() + w.width(), screen.width());
    windows::CenterForm1(&w, placement::Edge::Left);
    EXPECT_EQ(w.x(), 0);
    windows::SetTopmost(&w);
    EXPECT_TRUE(w.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(w.size(), QSize(131, 609));
}

TEST(WindowPlacer, DockToEdgeHidesAndRevealsARealWindow) {
    QWidget w(nullptr, Qt::FramelessWindowHint);
    w.resize(131, 609);
    windows::CenterForm1(&w, placement::Edge::Left);
    w.show();
    const placement::ScreenTwips s = windows::screenTwips(&w);
    windows::DockToEdge(&w, QPoint(500, 500));
    EXPECT_EQ(w.x(), static_cast<int>(placement::roundHalfEven((40 - 131 * s.twipsPerPixelX) /
                                                                 s.twipsPerPixelX)));
    windows::DockToEdge(&w, QPoint(1, w.y() + 10));
    EXPECT_EQ(w.x(), static_cast<int>(placement::roundHalfEven(-10 / s.twipsPerPixelX)));
}
