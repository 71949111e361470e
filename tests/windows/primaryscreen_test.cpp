// Placement with the primary screen to the right of another one (an external monitor left of
// a laptop): every position counts from the primary screen's top-left corner. The offscreen
// platform makes its leftmost screen the primary one, so the screen on the left is left out.
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <gtest/gtest.h>

#include "windows/windowplacer.h"

using namespace quorvel;

TEST(PrimaryScreenAwayFromTheOrigin, CentringEdgesAndAutoHideStayOnThePrimaryScreen) {
    const QRect primary = QGuiApplication::primaryScreen()->geometry();
    ASSERT_EQ(primary, QRect(1920, 0, 1280, 1024)) << "needs its screen configuration";

    QWidget main;
    main.resize(552, 475);
    windows::CenterForm(&main);
    EXPECT_EQ(main.pos(), QPoint(1920 + (1280 - 552) / 2, (1024 - 475) / 3));

    QWidget panel(nullptr, Qt::FramelessWindowHint);
    panel.resize(131, 609);
    windows::CenterForm1(&panel, placement::Edge::Right);
    EXPECT_EQ(panel.geometry().right(), primary.right());
    windows::CenterForm1(&panel, placement::Edge::Left);
    EXPECT_EQ(panel.x(), primary.left());
    windows::SetTopmost(&panel);
    EXPECT_EQ(panel.x(), primary.left());
    panel.show();

    // Pointer away: hidden to the left edge of the primary screen, a 40-twip strip left.
    windows::DockToEdge(&panel, primary.center());
    EXPECT_EQ(panel.x(), primary.left() - 128);
    // Pointer on the strip: back, 10 twips past the edge.
    windows::DockToEdge(&panel, QPoint(primary.left() + 1, panel.y() + 10));
    EXPECT_EQ(panel.x(), primary.left() - 1);
}
