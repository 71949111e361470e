#pragma once
#include <QUrl>
#include <QWidget>

class QLabel;
struct IWebBrowser2;

namespace quorvel::windows {

// A side panel's page on Windows, where Qt has no web engine: the system's browser control
// (the WebBrowser control, hosted in the window class of the system's ATL library), or, where
// that cannot be created, the page's address as a link that opens the default browser.
class SystemBrowser : public QWidget {
    Q_OBJECT
public:
    explicit SystemBrowser(QWidget* parent = nullptr);
    ~SystemBrowser() override;
    SystemBrowser(const SystemBrowser&) = delete;
    SystemBrowser& operator=(const SystemBrowser&) = delete;

    void load(const QUrl& page);

    bool showsBrowserControl() const { return browser_ != nullptr; }
    // The link standing in for the browser control; null while the control shows the page.
    QLabel* pageLink() const { return link_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    bool createBrowserControl(const QUrl& page);
    void showPageLink(const QUrl& page);
    void fitToVisiblePart();

    void* controlWindow_ = nullptr;  // HWND of the window hosting the control
    IWebBrowser2* browser_ = nullptr;
    QLabel* link_ = nullptr;
    bool comInitialized_ = false;
};

}  // namespace quorvel::windows
