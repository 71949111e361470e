#pragma once
#include <QPoint>
#include <QUrl>
#include <QWidget>

#include <functional>
#include <memory>

#include "windows/placement.h"

#if defined(Q_OS_WIN)
#include "windows/systembrowser.h"
#else
class QWebEngineView;
#endif

namespace quorvel::windows {

// What shows a panel's page: Qt's web view, or on Windows the system's browser control.
#if defined(Q_OS_WIN)
using PanelBrowser = SystemBrowser;
#else
using PanelBrowser = QWebEngineView;
#endif

// A repeating timer. Interval 0 means idle, as a timer given no interval does not fire.
class PanelTimer {
public:
    virtual ~PanelTimer() = default;
    virtual void setInterval(int milliseconds) = 0;
    // The interval last asked for.
    virtual int interval() const = 0;
};

// What a side panel needs from outside: timers and the pointer position. Tests substitute both
// so that nothing has to wait or move a real pointer.
struct SidePanelServices {
    std::function<std::unique_ptr<PanelTimer>(QObject* owner, std::function<void()> onTick)>
        makeTimer;
    std::function<QPoint()> pointerPosition;
};

// Qt timers and the real pointer.
SidePanelServices systemSidePanelServices();

// The shortest interval a Qt panel timer really runs at, whatever it is asked for.
inline constexpr int kShortestTimerIntervalMs = 10;

// A side panel ("adfrm" at the right edge, "ad1frm" at the left): a borderless, topmost,
// light-blue window filled by a web view showing one download page. Five seconds after it has
// loaded it starts to hide at its edge whenever the pointer is not over it.
class SidePanel : public QWidget {
    Q_OBJECT
public:
    SidePanel(const QString& name, placement::Edge edge, const QUrl& page,
              SidePanelServices services);

    static std::unique_ptr<SidePanel> makeRightPanel(SidePanelServices services);  // adfrm
    static std::unique_ptr<SidePanel> makeLeftPanel(SidePanelServices services);   // ad1frm

    placement::Edge edge() const { return edge_; }

    PanelBrowser* WebBrowser1 = nullptr;
    PanelTimer& Timer1() { return *timer1_; }
    PanelTimer& Timer2() { return *timer2_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Form_Load(const QUrl& page);
    void Timer1_Timer();
    void Timer2_Timer();

    placement::Edge edge_;
    SidePanelServices services_;
    std::unique_ptr<PanelTimer> timer1_;
    std::unique_ptr<PanelTimer> timer2_;
};

}  // namespace quorvel::windows
