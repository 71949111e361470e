#include "windows/sidepanel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScreen>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <gmock/gmock.h>

#include "windows/makerinfo.h"

using namespace quorvel;
using windows::SidePanel;

namespace {

// Timers that run on a simulated clock, one millisecond at a time.
class FakeClock {
public:
    class Timer final : public windows::PanelTimer {
    public:
        Timer(FakeClock& clock, std::function<void()> onTick)
            : clock_(clock), onTick_(std::move(onTick)) {}
        void setInterval(int milliseconds) override {
            if (milliseconds != interval_) {
                due_ = clock_.now_ + milliseconds;
            }
            interval_ = milliseconds;
        }
        int interval() const override { return interval_; }

    private:
        friend class FakeClock;
        FakeClock& clock_;
        std::function<void()> onTick_;
        int interval_ = 0;
        long long due_ = 0;
    };

    windows::SidePanelServices services(QPoint& pointer) {
        windows::SidePanelServices s;
        s.makeTimer = [this](QObject*, std::function<void()> onTick) {
            auto timer = std::make_unique<Timer>(*this, std::move(onTick));
            timers_.push_back(timer.get());
            return std::unique_ptr<windows::PanelTimer>(std::move(timer));
        };
        s.pointerPosition = [&pointer] { return pointer; };
        return s;
    }

    void advance(int milliseconds) {
        for (int i = 0; i < milliseconds; ++i) {
            ++now_;
            for (Timer* timer : timers_) {
                if (timer->interval_ > 0 && now_ >= timer->due_) {
                    timer->due_ = now_ + timer->interval_;
                    timer->onTick_();
                }
            }
        }
    }

private:
    long long now_ = 0;
    std::vector<Timer*> timers_;
};

int toPixels(double twips) {
    return static_cast<int>(placement::roundHalfEven(twips / 15.0));
}

class SidePanelTest : public ::testing::Test {
protected:
    void SetUp() override {
        screen = QApplication::primaryScreen()->geometry();
        ASSERT_EQ(screen.size(), QSize(1280, 1024)) << "needs the panels' offscreen screen";
        ASSERT_DOUBLE_EQ(QApplication::primaryScreen()->logicalDotsPerInchX(), 96.0);
        right = SidePanel::makeRightPanel(clock.services(pointer));
        left = SidePanel::makeLeftPanel(clock.services(pointer));
        right->show();
        left->show();
    }

    QPoint insideOf(const SidePanel& panel) const {
        const QRect r = panel.frameGeometry();
        // On the screen and strictly inside the panel.
        const int x = std::clamp(r.center().x(), std::max(r.left() + 1, 0),
                                 std::min(r.right() - 1, screen.width() - 1));
        return {x, r.top() + 10};
    }

    QRect screen;
    FakeClock clock;
    QPoint pointer{640, 512};  // over neither panel
    std::unique_ptr<SidePanel> right;
    std::unique_ptr<SidePanel> left;
    const int panelTop = toPixels((1024 * 15 - 9135) / 3.0);
};

TEST_F(SidePanelTest, StartUpPlacesBothPanelsFlushWithTheirEdgesInFrontOfEverything) {
    EXPECT_EQ(right->objectName(), "adfrm");
    EXPECT_EQ(left->objectName(), "ad1frm");
    for (SidePanel* panel : {right.get(), left.get()}) {
        SCOPED_TRACE(panel->objectName().toStdString());
        EXPECT_EQ(panel->windowTitle(), QStringLiteral("休息一下，马上回来！"));
        EXPECT_TRUE(panel->windowIcon().availableSizes().contains(QSize(32, 32)));
        EXPECT_TRUE(panel->windowFlags() & Qt::FramelessWindowHint);
        EXPECT_TRUE(panel->windowFlags() & Qt::WindowStaysOnTopHint);
        EXPECT_TRUE(panel->isVisible());
        EXPECT_EQ(panel->size(), QSize(131, 609));
        EXPECT_EQ(panel->y(), panelTop);
        EXPECT_EQ(panel->palette().color(QPalette::Window), QColor(197, 210, 240));
        // The web view overlaps every side, so only the page shows.
        EXPECT_EQ(panel->WebBrowser1->geometry(), QRect(-7, -13, 160, 646));
        EXPECT_EQ(panel->Timer2().interval(), 5000);
        EXPECT_EQ(panel->Timer1().interval(), 0);
    }
    EXPECT_EQ(right->x() + right->width(), screen.width());
    EXPECT_EQ(left->x(), 0);
    EXPECT_EQ(right->WebBrowser1->page()->requestedUrl(),
              QUrl(QString::fromUtf8(maker::kRightPanelPage)));
    EXPECT_EQ(left->WebBrowser1->page()->requestedUrl(),
              QUrl(QString::fromUtf8(maker::kLeftPanelPage)));
}

TEST_F(SidePanelTest, NothingHidesDuringTheFirstFiveSeconds) {
    const QPoint rightStart = right->pos();
    const QPoint leftStart = left->pos();
    clock.advance(4999);
    EXPECT_EQ(right->pos(), rightStart);
    EXPECT_EQ(left->pos(), leftStart);
    EXPECT_EQ(left->Timer1().interval(), 0);

    clock.advance(1);  // Timer2's first tick starts the fast timer
    EXPECT_EQ(left->Timer1().interval(), 1);
    EXPECT_EQ(left->pos(), leftStart);

    clock.advance(1);
    EXPECT_EQ(left->x(), toPixels(40 - 1965));
    EXPECT_EQ(right->x(), toPixels(1280 * 15 - 40));
    EXPECT_EQ(left->y(), panelTop);  // only the side moves
}

TEST_F(SidePanelTest, LeftPanelStaysWhileThePointerIsOverItThenHidesLeavingAStrip) {
    pointer = insideOf(*left);
    clock.advance(5100);
    EXPECT_EQ(left->x(), 0);
    EXPECT_EQ(right->x(), toPixels(1280 * 15 - 40));  // the pointer is not over this one

    pointer = {640, 512};
    clock.advance(1);
    EXPECT_EQ(left->x(), -128);
    EXPECT_EQ(left->frameGeometry().right() + 1, 3);  // 40 twips of it remain on the screen

    pointer = {1, left->y() + 100};  // touch the strip
    clock.advance(1);
    EXPECT_EQ(left->x(), toPixels(-10));
    EXPECT_TRUE(left->isVisible());
    clock.advance(1000);  // resting on it keeps it out
    EXPECT_EQ(left->x(), toPixels(-10));

    pointer = {300, 300};
    clock.advance(1);
    EXPECT_EQ(left->x(), -128);
}

TEST_F(SidePanelTest, RightPanelRevealsTenTwipsPastTheEdgeAndHidesAgain) {
    clock.advance(5001);
    EXPECT_EQ(right->x(), 1277);
    EXPECT_EQ(screen.width() - right->x(), 3);  // the strip

    pointer = {1278, right->y() + 5};
    clock.advance(1);
    EXPECT_EQ(right->x(), toPixels(1280 * 15 - 1965 + 10));
    EXPECT_GT(right->frameGeometry().right() + 1, screen.width());  // not flush
    clock.advance(500);
    EXPECT_EQ(right->x(), toPixels(1280 * 15 - 1965 + 10));

    pointer = {1100, 900};
    clock.advance(1);
    EXPECT_EQ(right->x(), 1277);
}

TEST_F(SidePanelTest, AMinimizedPanelIsNeverMoved) {
    left->setWindowState(Qt::WindowMinimized);
    ASSERT_TRUE(left->isMinimized());
    const QPoint before = left->pos();
    clock.advance(6000);
    EXPECT_EQ(left->pos(), before);
    EXPECT_EQ(right->x(), 1277);
}

TEST_F(SidePanelTest, PanelsCloseWhenTheProgramQuits) {
    // The main window's close (exit button or window system) quits the program.
    QTimer::singleShot(0, [] { QCoreApplication::quit(); });
    QTimer::singleShot(5000, [] { QCoreApplication::exit(99); });  // rather than hang
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_FALSE(right->isVisible());
    EXPECT_FALSE(left->isVisible());
}

TEST_F(SidePanelTest, PanelsKeepTheProgramRunningWhileTheMainWindowIsHidden) {
    // A batch run hides the main window and its progress window closes before it comes back.
    QWidget progressWindow;
    progressWindow.show();
    QTimer::singleShot(0, &progressWindow, [&progressWindow] { progressWindow.close(); });
    QTimer::singleShot(50, [] { QCoreApplication::exit(7); });
    EXPECT_EQ(QApplication::exec(), 7);
}

TEST(PanelTimer, IdleAtIntervalZeroAndNeverFasterThanTheWindowSystemTimers) {
    const windows::SidePanelServices services = windows::systemSidePanelServices();
    QObject owner;
    int ticks = 0;
    auto timer = services.makeTimer(&owner, [&ticks] { ++ticks; });
    timer->setInterval(0);
    QElapsedTimer elapsed;
    elapsed.start();
    while (elapsed.elapsed() < 30) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    EXPECT_EQ(ticks, 0);

    timer->setInterval(1);
    EXPECT_EQ(timer->interval(), 1);
    elapsed.restart();
    while (elapsed.elapsed() < 100) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    EXPECT_GT(ticks, 0);
    EXPECT_LE(ticks, 100 / windows::kShortestTimerIntervalMs + 2);
}

}  // namespace
