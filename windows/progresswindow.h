#pragma once
// The progress window "Form3": stands in for the hidden main window during a batch run, shows
// drawing i of n and the start and end times, and leads back to the main window on a
// double-click.

#include <QWidget>
#include <functional>

class QLabel;

namespace quorvel::windows {

class Form3 : public QWidget {
    Q_OBJECT
public:
    // showMainWindow is called after the window has closed on the return double-click.
    explicit Form3(std::function<void()> showMainWindow, QWidget* parent = nullptr);

    // Sets a label's text; every label sizes itself to its text.
    static void setLabelText(QLabel* label, const QString& text);

    // Shows the window for a batch run, ready to be painted on request (repaint()) although the
    // run keeps the event loop busy.
    void showForRun();

    // While a run is going on the return double-click is ignored.
    void setRunGoingOn(bool going) { runGoingOn_ = going; }
    bool runGoingOn() const { return runGoingOn_; }

    QLabel* Label1 = nullptr;  // progress line, finish message
    QLabel* Label2 = nullptr;  // "开始时间："
    QLabel* Label3 = nullptr;  // start time
    QLabel* Label4 = nullptr;  // "结束时间："
    QLabel* Label5 = nullptr;  // end time

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void returnToMainWindow();

    std::function<void()> showMainWindow_;
    bool runGoingOn_ = false;
};

}  // namespace quorvel::windows
