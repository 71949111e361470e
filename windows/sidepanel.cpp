#include "windows/sidepanel.h"

#include <QCoreApplication>
#include <QCursor>
#include <QTimer>
#if !defined(Q_OS_WIN)
#include <QWebEngineView>
#endif

#include <algorithm>

#include "windows/makerinfo.h"
#include "windows/windowicon.h"
#include "windows/windowplacer.h"

namespace quorvel::windows {

namespace {

constexpr int kClientWidthTwips = 1965;
constexpr int kClientHeightTwips = 9135;
// The web view overlaps the window on every side, so its border and scroll bars stay outside.
constexpr int kBrowserLeftTwips = -100;
constexpr int kBrowserTopTwips = -200;
constexpr int kBrowserWidthTwips = 2400;
constexpr int kBrowserHeightTwips = 9690;
constexpr int kStartDelayMs = 5000;
constexpr int kDockIntervalMs = 1;

// A QTimer that stays idle at interval 0 (a QTimer would fire on every pass of the event loop)
// and never runs faster than every kShortestTimerIntervalMs. The panels were designed around
// window-system timers that fire a 1 ms request only every 10 to 16 ms; really running 1000
// times a second per panel costs CPU for no visible difference.
class QtPanelTimer final : public PanelTimer {
public:
    // The timer has no parent: it belongs to this object alone. The owner only scopes the tick.
    QtPanelTimer(QObject* owner, std::function<void()> onTick) {
        timer_.setTimerType(Qt::CoarseTimer);
        QObject::connect(&timer_, &QTimer::timeout, owner, std::move(onTick));
    }

    void setInterval(int milliseconds) override {
        requested_ = milliseconds;
        if (milliseconds <= 0) {
            timer_.stop();
            return;
        }
        const int effective = std::max(milliseconds, kShortestTimerIntervalMs);
        if (!timer_.isActive() || timer_.interval() != effective) {
            timer_.start(effective);
        }
    }

    int interval() const override { return requested_; }

private:
    QTimer timer_;
    int requested_ = 0;
};

int twipsToPixels(int twips, float twipsPerPixel) {
    return static_cast<int>(placement::roundHalfEven(twips / static_cast<double>(twipsPerPixel)));
}

}  // namespace

SidePanelServices systemSidePanelServices() {
    SidePanelServices services;
    services.makeTimer = [](QObject* owner, std::function<void()> onTick) {
        return std::unique_ptr<PanelTimer>(new QtPanelTimer(owner, std::move(onTick)));
    };
    services.pointerPosition = [] { return QCursor::pos(); };
    return services;
}

SidePanel::SidePanel(const QString& name, placement::Edge edge, const QUrl& page,
                     SidePanelServices services)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      edge_(edge),
      services_(std::move(services)) {
    setObjectName(name);
    setWindowTitle(QStringLiteral("休息一下，马上回来！"));
    // Qualified: unqualified, the name finds QWidget::windowIcon() and sets nothing new.
    setWindowIcon(quorvel::windows::windowIcon());
    // The panels close when the program quits: by its exit command, or when the main window is
    // closed by the window system. Until then they count as open windows, as the main window may
    // be hidden for a while (a batch run) without the program ending.
    // Tool windows do not count by default.
    setAttribute(Qt::WA_QuitOnClose, true);
    if (QCoreApplication* application = QCoreApplication::instance()) {
        connect(application, &QCoreApplication::aboutToQuit, this, &QWidget::close);
    }

    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, QColor(197, 210, 240));
    setPalette(palette);
    setAutoFillBackground(true);

    const placement::ScreenTwips screen = screenTwips(this);
    const float tppX = screen.twipsPerPixelX;
    const float tppY = screen.twipsPerPixelY;
    setFixedSize(twipsToPixels(kClientWidthTwips, tppX), twipsToPixels(kClientHeightTwips, tppY));

    WebBrowser1 = new PanelBrowser(this);
    WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));
    WebBrowser1->setGeometry(
        twipsToPixels(kBrowserLeftTwips, tppX), twipsToPixels(kBrowserTopTwips, tppY),
        twipsToPixels(kBrowserWidthTwips, tppX), twipsToPixels(kBrowserHeightTwips, tppY));

    // Timer1 starts idle; Timer2 gives it its interval five seconds after the load.
    timer2_ = services_.makeTimer(this, [this] { Timer2_Timer(); });
    timer1_ = services_.makeTimer(this, [this] { Timer1_Timer(); });
    timer2_->setInterval(kStartDelayMs);
    timer1_->setInterval(0);

    Form_Load(page);
}

void SidePanel::Form_Load(const QUrl& page) {
    CenterForm1(this, edge_);
    SetTopmost(this);
    // The page loads by itself; a page that cannot be fetched is the web view's own business.
    WebBrowser1->load(page);
}

void SidePanel::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // An edge panel to the window manager: window managers keep part of an ordinary window on
    // the screen (openbox a tenth of its width), a wider strip than the panel hides to. Set on
    // the native window as it is about to be mapped: the web view's GL surface makes Qt create
    // that window anew after the constructor.
    setAttribute(Qt::WA_X11NetWmWindowTypeDock, false);
    setAttribute(Qt::WA_X11NetWmWindowTypeDock, true);
}

void SidePanel::Timer2_Timer() {
    timer1_->setInterval(kDockIntervalMs);
}

void SidePanel::Timer1_Timer() {
    DockToEdge(this, services_.pointerPosition());
}

std::unique_ptr<SidePanel> SidePanel::makeRightPanel(SidePanelServices services) {
    return std::make_unique<SidePanel>(QStringLiteral("adfrm"), placement::Edge::Right,
                                       QUrl(QString::fromUtf8(maker::kRightPanelPage)),
                                       std::move(services));
}

std::unique_ptr<SidePanel> SidePanel::makeLeftPanel(SidePanelServices services) {
    return std::make_unique<SidePanel>(QStringLiteral("ad1frm"), placement::Edge::Left,
                                       QUrl(QString::fromUtf8(maker::kLeftPanelPage)),
                                       std::move(services));
}

}  // namespace quorvel::windows
