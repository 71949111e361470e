// The windows on a real X server under a real window manager (openbox), which frames, stacks
// and constrains them as a desktop does. The test starts its own Xvfb and openbox; what is on
// the screen is read back with xwininfo, xprop and xdotool, not from Qt.
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPointer>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

#include <unistd.h>

#include <cstdio>

#include <gtest/gtest.h>

#include "app/mainwindow.h"
#include "windows/progresswindow.h"
#include "windows/sidepanel.h"
#include "windows/windowplacer.h"

using namespace quorvel;

namespace {

constexpr int kScreenWidth = 1280;
constexpr int kScreenHeight = 1024;
constexpr int kWaitMs = 20000;

bool gWindowManagerRunning = false;

QString run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(kWaitMs)) {
        process.kill();
        process.waitForFinished();
    }
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

int field(const QString& text, const char* label) {
    const QRegularExpression pattern(QString::fromLatin1(label) + QStringLiteral(":\\s*(-?\\d+)"));
    return pattern.match(text).captured(1).toInt();
}

// The window's client area where the X server has it, in root coordinates.
QRect clientOnScreen(WId window) {
    const QString info = run(QStringLiteral("xwininfo"), {"-id", QString::number(window)});
    return {field(info, "Absolute upper-left X"), field(info, "Absolute upper-left Y"),
            field(info, "Width"), field(info, "Height")};
}

// Left, top, right and bottom frame widths the window manager reports; null before it has.
QMargins frameExtents(WId window) {
    const QString text =
        run(QStringLiteral("xprop"), {"-id", QString::number(window), "_NET_FRAME_EXTENTS"});
    const auto m =
        QRegularExpression(QStringLiteral("= (\\d+), (\\d+), (\\d+), (\\d+)")).match(text);
    if (!m.hasMatch()) {
        return {};
    }
    return {m.captured(1).toInt(), m.captured(3).toInt(), m.captured(2).toInt(),
            m.captured(4).toInt()};
}

// Client windows from bottom to top.
QList<WId> stackingOrder() {
    const QString text = run(QStringLiteral("xprop"), {"-root", "_NET_CLIENT_LIST_STACKING"});
    QList<WId> order;
    const QRegularExpression id(QStringLiteral("0x[0-9a-f]+"));
    for (auto it = id.globalMatch(text); it.hasNext();) {
        order.append(it.next().captured(0).toULongLong(nullptr, 16));
    }
    return order;
}

bool waitFor(const std::function<bool()>& condition) {
    return QTest::qWaitFor(condition, kWaitMs);
}

class ManualTimer final : public windows::PanelTimer {
public:
    explicit ManualTimer(std::function<void()> onTick) : onTick(std::move(onTick)) {}
    void setInterval(int milliseconds) override { interval_ = milliseconds; }
    int interval() const override { return interval_; }
    std::function<void()> onTick;

private:
    int interval_ = 0;
};

class UnderAWindowManager : public ::testing::Test {
protected:
    void SetUp() override {
        if (!gWindowManagerRunning) {
            GTEST_SKIP() << "needs Xvfb and openbox";
        }
    }
};

}  // namespace

TEST_F(UnderAWindowManager, MainWindowIsCentredWithItsFrame) {
    app::MainWindow window{app::MainWindowServices{}};
    windows::CenterForm(&window);
    window.show();
    QRect frame;
    const bool centred = waitFor([&] {
        const QMargins extents = frameExtents(window.winId());
        frame = clientOnScreen(window.winId()).marginsAdded(extents);
        return !extents.isNull() && std::abs(frame.x() - (kScreenWidth - frame.width()) / 2) <= 1 &&
               std::abs(frame.y() - (kScreenHeight - frame.height()) / 3) <= 1;
    });
    EXPECT_TRUE(centred) << "frame at " << frame.x() << "," << frame.y() << " size "
                         << frame.width() << "x" << frame.height();
}

TEST_F(UnderAWindowManager, PanelsSitAtTheirEdgesAndHideToTheirStrip) {
    std::vector<ManualTimer*> timers;
    QPoint pointer(kScreenWidth / 2, kScreenHeight / 2);
    windows::SidePanelServices services;
    services.makeTimer = [&timers](QObject*, std::function<void()> onTick) {
        auto timer = std::make_unique<ManualTimer>(std::move(onTick));
        timers.push_back(timer.get());
        return std::unique_ptr<windows::PanelTimer>(std::move(timer));
    };
    services.pointerPosition = [&pointer] { return pointer; };
    const auto right = windows::SidePanel::makeRightPanel(services);
    const auto left = windows::SidePanel::makeLeftPanel(services);
    right->show();
    left->show();
    const int width = right->width();
    EXPECT_TRUE(waitFor([&] {
        return clientOnScreen(right->winId()).right() == kScreenWidth - 1 &&
               clientOnScreen(left->winId()).left() == 0;
    }));
    EXPECT_TRUE(frameExtents(right->winId()).isNull());

    // Every timer ticks once: the start delay is over and each panel takes one step.
    const auto tickAll = [&timers] {
        for (ManualTimer* timer : timers) {
            timer->onTick();
        }
    };
    tickAll();
    tickAll();
    // 40 twips at 15 twips a pixel, the panel's left edge rounded to whole pixels.
    const int hiddenLeft = static_cast<int>(placement::roundHalfEven((40.0 - width * 15) / 15));
    const int hiddenRight =
        static_cast<int>(placement::roundHalfEven((kScreenWidth * 15 - 40) / 15.0));
    QRect leftOnScreen;
    QRect rightOnScreen;
    const bool hidden = waitFor([&] {
        leftOnScreen = clientOnScreen(left->winId());
        rightOnScreen = clientOnScreen(right->winId());
        return leftOnScreen.left() == hiddenLeft && rightOnScreen.left() == hiddenRight;
    });
    EXPECT_TRUE(hidden) << "strips " << leftOnScreen.right() + 1 << " and "
                        << kScreenWidth - rightOnScreen.left() << " pixels wide";

    // The pointer on the left strip brings that panel back, 10 twips past the edge.
    pointer = QPoint(1, leftOnScreen.top() + 10);
    tickAll();
    EXPECT_TRUE(waitFor([&] { return clientOnScreen(left->winId()).left() == -1; }));
}

TEST_F(UnderAWindowManager, ProgressWindowStaysAboveTheHostAndTakesTheDoubleClick) {
    // The host's window: another program's ordinary window, brought to the front by the run.
    QProcess host;
    host.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--host-window")});
    ASSERT_TRUE(host.waitForReadyRead(kWaitMs));
    const WId hostWindow = host.readLine().trimmed().toULongLong();

    QWidget mainWindow;
    bool returned = false;
    QPointer<windows::Form3> form = new windows::Form3([&] {
        mainWindow.show();
        returned = true;
    });
    form->setRunGoingOn(true);
    form->showForRun();
    run(QStringLiteral("xdotool"), {"windowactivate", "--sync", QString::number(hostWindow)});
    run(QStringLiteral("xdotool"), {"windowraise", QString::number(hostWindow)});
    const auto formAboveHost = [&] {
        const QList<WId> order = stackingOrder();
        return order.contains(hostWindow) &&
               order.indexOf(form->winId()) > order.indexOf(hostWindow);
    };
    EXPECT_TRUE(waitFor(formAboveHost));

    form->setRunGoingOn(false);
    windows::Form3::setLabelText(form->Label1, QStringLiteral("文本替换完成 双击窗口返回"));
    const QPoint centre = clientOnScreen(form->winId()).center();
    run(QStringLiteral("xdotool"),
        {"mousemove", "--sync", QString::number(centre.x()), QString::number(centre.y()), "click",
         "--repeat", "2", "--delay", "80", "1"});
    EXPECT_TRUE(waitFor([&] { return returned && form.isNull(); }));
    EXPECT_TRUE(mainWindow.isVisible());
    host.kill();
    host.waitForFinished();
}

int main(int argc, char** argv) {
    // The host's stand-in: a plain window of its own program, its id on the first output line.
    if (argc > 1 && QByteArray(argv[1]) == "--host-window") {
        QApplication application(argc, argv);
        QWidget window;
        window.setWindowTitle(QStringLiteral("host"));
        window.setGeometry(300, 200, 600, 400);
        window.show();
        printf("%llu\n", static_cast<unsigned long long>(window.winId()));
        fflush(stdout);
        return QApplication::exec();
    }

    QProcess xvfb;
    QProcess openbox;
    const bool listingOnly = QByteArray(argc > 1 ? argv[1] : "").startsWith("--gtest_list_tests");
    if (!listingOnly && !QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty() &&
        !QStandardPaths::findExecutable(QStringLiteral("openbox")).isEmpty()) {
        // -displayfd: the server picks a free display and writes its number once it is ready.
        xvfb.start(QStringLiteral("Xvfb"), {"-displayfd", "1", "-screen", "0", "1280x1024x24",
                                            "-dpi", "96", "-nolisten", "tcp"});
        if (xvfb.waitForReadyRead(kWaitMs)) {
            const QByteArray display = ":" + xvfb.readLine().trimmed();
            qputenv("DISPLAY", display);
            openbox.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
            QElapsedTimer waited;
            waited.start();
            while (waited.elapsed() < kWaitMs && !gWindowManagerRunning) {
                gWindowManagerRunning =
                    run(QStringLiteral("xprop"), {"-root", "_NET_SUPPORTING_WM_CHECK"})
                        .contains(QLatin1String("window id"));
                usleep(50 * 1000);
            }
        }
    }
    qputenv("QT_QPA_PLATFORM", gWindowManagerRunning ? "xcb" : "offscreen");
    if (geteuid() == 0) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    }
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    int result = 0;
    {
        QApplication application(argc, argv);
        ::testing::InitGoogleTest(&argc, argv);
        result = RUN_ALL_TESTS();
    }
    openbox.terminate();
    openbox.waitForFinished();
    xvfb.terminate();
    xvfb.waitForFinished();
    return result;
}
