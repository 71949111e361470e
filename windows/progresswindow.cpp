#include "windows/progresswindow.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QThread>
#include <QWindow>

#include "windows/windowplacer.h"

namespace quorvel::windows {

namespace {

constexpr int kClientWidthTwips = 3900;
constexpr int kClientHeightTwips = 1140;
constexpr int kExposureWaitMs = 1000;
constexpr unsigned long kExposurePollMs = 5;

int toPixels(int twips, float twipsPerPixel) {
    return static_cast<int>(placement::roundHalfEven(twips / static_cast<double>(twipsPerPixel)));
}

}  // namespace

Form3::Form3(std::function<void()> showMainWindow, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint),
      showMainWindow_(std::move(showMainWindow)) {
    setObjectName(QStringLiteral("Form3"));
    // Closing unloads the window: the next run starts again from the layout texts.
    setAttribute(Qt::WA_DeleteOnClose);

    const placement::ScreenTwips screen = screenTwips(this);
    setFixedSize(toPixels(kClientWidthTwips, screen.twipsPerPixelX),
                 toPixels(kClientHeightTwips, screen.twipsPerPixelY));

    struct LabelPlace {
        QLabel** label;
        const char* name;
        QString text;
        int left;
        int top;
    };
    const LabelPlace places[] = {
        {&Label1, "Label1", QStringLiteral("正在替换第   页  共   页"), 840, 120},
        {&Label2, "Label2", QStringLiteral("开始时间："), 840, 480},
        {&Label3, "Label3", QString(), 1920, 480},
        {&Label4, "Label4", QStringLiteral("结束时间："), 840, 840},
        {&Label5, "Label5", QString(), 1920, 840},
    };
    for (const LabelPlace& place : places) {
        auto* label = new QLabel(this);
        label->setObjectName(QString::fromLatin1(place.name));
        label->move(toPixels(place.left, screen.twipsPerPixelX),
                    toPixels(place.top, screen.twipsPerPixelY));
        setLabelText(label, place.text);
        // A double-click on a text is a double-click on the window.
        label->installEventFilter(this);
        *place.label = label;
    }

    // Placement at load: topmost first, then centred, which replaces the position.
    SetTopmost(this);
    CenterForm(this);
}

void Form3::showForRun() {
    show();
    raise();
    // Nothing is drawn in a window before the window system has reported it on the screen, and
    // the run does not return to the event loop: wait for that here, letting window events
    // through but no user input, for at most a second.
    const auto exposed = [this] { return windowHandle() && windowHandle()->isExposed(); };
    const QDeadlineTimer deadline(kExposureWaitMs);
    while (!exposed() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                        QEventLoop::ExcludeSocketNotifiers);
        if (!exposed()) {
            QThread::msleep(kExposurePollMs);
        }
    }
    repaint();
}

void Form3::setLabelText(QLabel* label, const QString& text) {
    label->setText(text);
    label->adjustSize();
}

void Form3::mouseDoubleClickEvent(QMouseEvent* event) {
    event->accept();
    returnToMainWindow();
}

bool Form3::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonDblClick && watched->parent() == this) {
        returnToMainWindow();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void Form3::returnToMainWindow() {
    close();
}

void Form3::closeEvent(QCloseEvent* event) {
    // A run blocks the interface, but a double-click can still arrive while its error message
    // is up; leaving then would show the main window before the run has finished. Ignored until
    // the run has ended.
    if (runGoingOn_) {
        event->ignore();
        return;
    }
    event->accept();
    // However the window goes (a double-click, or the window system closing it), the hidden
    // main window comes back: otherwise nothing would be left to return to it.
    if (showMainWindow_) {
        showMainWindow_();
    }
}

}  // namespace quorvel::windows
