#include "windows/windowplacer.h"

#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace quorvel::windows {

namespace {

// Every window places itself on the primary screen, whichever screen it was created on; the
// arithmetic works relative to that screen's top-left corner, which need not be (0, 0).
QScreen* placementScreen() {
    return QGuiApplication::primaryScreen();
}

QPoint screenOrigin() {
    QScreen* screen = placementScreen();
    return screen ? screen->geometry().topLeft() : QPoint();
}

// Fractional twips become whole pixels by rounding to the nearest pixel.
int twipsToPixels(float twips, float twipsPerPixel) {
    if (twipsPerPixel <= 0) {
        return 0;
    }
    return static_cast<int>(placement::roundHalfEven(static_cast<double>(twips) / twipsPerPixel));
}

// A window manager puts its frame around a window only once the window is shown; until then
// the frame is the bare window. Centres the window again as soon as the frame is known, once.
class RecentreWhenFramed final : public QObject {
public:
    static constexpr const char* kName = "recentreWhenFramed";

    explicit RecentreWhenFramed(QWidget* window)
        : QObject(window), centredFrame_(window->frameGeometry().size()) {
        setObjectName(kName);
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Move && event->type() != QEvent::Resize) {
            return false;
        }
        auto* window = static_cast<QWidget*>(watched);
        const QSize frame = window->frameGeometry().size();
        if (frame != centredFrame_) {
            centredFrame_ = frame;
            centreNow(window);
            if (frame != window->size()) {
                window->removeEventFilter(this);
                deleteLater();
            }
        }
        return false;
    }

public:
    static void centreNow(QWidget* window);

private:
    QSize centredFrame_;
};

}  // namespace

placement::ScreenTwips screenTwips(const QWidget* /*window*/) {
    placement::ScreenTwips s;
    QScreen* screen = placementScreen();
    if (!screen) {
        return s;
    }
    const double dpiX = screen->logicalDotsPerInchX();
    const double dpiY = screen->logicalDotsPerInchY();
    s.twipsPerPixelX = dpiX > 0 ? static_cast<float>(1440.0 / dpiX) : 15.0f;
    s.twipsPerPixelY = dpiY > 0 ? static_cast<float>(1440.0 / dpiY) : 15.0f;
    const QRect g = screen->geometry();
    s.width = static_cast<float>(g.width() * static_cast<double>(s.twipsPerPixelX));
    s.height = static_cast<float>(g.height() * static_cast<double>(s.twipsPerPixelY));
    return s;
}

placement::TwipsGeometry twipsGeometry(const QWidget* window) {
    const placement::ScreenTwips s = screenTwips(window);
    const QRect frame = window->frameGeometry().translated(-screenOrigin());
    placement::TwipsGeometry g;
    g.left = static_cast<float>(frame.x() * static_cast<double>(s.twipsPerPixelX));
    g.top = static_cast<float>(frame.y() * static_cast<double>(s.twipsPerPixelY));
    g.width = static_cast<float>(frame.width() * static_cast<double>(s.twipsPerPixelX));
    g.height = static_cast<float>(frame.height() * static_cast<double>(s.twipsPerPixelY));
    return g;
}

void moveToTwips(QWidget* window, float left, float top) {
    const placement::ScreenTwips s = screenTwips(window);
    window->move(screenOrigin() + QPoint(twipsToPixels(left, s.twipsPerPixelX),
                                         twipsToPixels(top, s.twipsPerPixelY)));
}

void RecentreWhenFramed::centreNow(QWidget* window) {
    const placement::TwipsGeometry g = twipsGeometry(window);
    const placement::TwipsPosition p =
        placement::centerForm(screenTwips(window), g.width, g.height);
    moveToTwips(window, p.left, p.top);
}

void CenterForm(QWidget* window) {
    RecentreWhenFramed::centreNow(window);
    if (!window->isVisible() &&
        !window->findChild<QObject*>(QString::fromLatin1(RecentreWhenFramed::kName),
                                     Qt::FindDirectChildrenOnly)) {
        new RecentreWhenFramed(window);
    }
}

void CenterForm1(QWidget* window, placement::Edge edge) {
    const placement::TwipsGeometry g = twipsGeometry(window);
    const placement::TwipsPosition p =
        placement::centerFormAtEdge(screenTwips(window), g.width, g.height, edge);
    moveToTwips(window, p.left, p.top);
}

void SetTopmost(QWidget* window) {
    const placement::TopmostRect r =
        placement::topmostRect(twipsGeometry(window), screenTwips(window));
    const bool wasVisible = window->isVisible();
    if (!(window->windowFlags() & Qt::WindowStaysOnTopHint)) {
        // Changing the flags re-creates the native window and hides it; show it again if it was up.
        window->setWindowFlag(Qt::WindowStaysOnTopHint, true);
        if (wasVisible) {
            window->show();
        }
    }
    window->move(screenOrigin() + QPoint(r.x, r.y));
    // The rectangle is the outer frame; keep the frame's extra size out of the client size.
    const QSize frameExtra = window->frameGeometry().size() - window->size();
    window->resize(r.cx - frameExtra.width(), r.cy - frameExtra.height());
    window->raise();
}

void DockToEdge(QWidget* window, QPoint pointer) {
    placement::DockInput in;
    const QPoint origin = screenOrigin();
    in.pointer = {pointer.x() - origin.x(), pointer.y() - origin.y()};
    const QRect frame = window->frameGeometry().translated(-origin);
    in.rect = {frame.left(), frame.top(), frame.left() + frame.width(),
               frame.top() + frame.height()};
    in.minimized = window->isMinimized();
    in.window = twipsGeometry(window);
    in.screenWidth = screenTwips(window).width;
    const placement::DockStep step = placement::dockToEdge(in);
    if (step.newLeft || step.newTop) {
        moveToTwips(window, step.newLeft.value_or(in.window.left),
                    step.newTop.value_or(in.window.top));
    }
    if (step.show) {
        window->show();
    }
}

void DockToEdge(QWidget* window) {
    DockToEdge(window, QCursor::pos());
}

}  // namespace quorvel::windows
