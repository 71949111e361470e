#include "windows/systembrowser.h"

#include <QLabel>

#include <windows.h>
// Keep after windows.h.
#include <exdisp.h>
#include <objbase.h>

#include "windows/fonts.h"

namespace quorvel::windows {

namespace {

// The ATL library of the system (atl.dll, part of Windows) hosts ActiveX controls in its window
// class "AtlAxWin": given an address as its window text, it creates the WebBrowser control and
// opens that page.
class AtlHosting {
public:
    static const AtlHosting& instance() {
        static const AtlHosting hosting;
        return hosting;
    }

    bool ready() const { return ready_; }

    IUnknown* controlOf(HWND window) const {
        IUnknown* control = nullptr;
        return getControl_ && SUCCEEDED(getControl_(window, &control)) ? control : nullptr;
    }

private:
    using AtlAxWinInit = BOOL(WINAPI*)();
    using AtlAxGetControl = HRESULT(WINAPI*)(HWND, IUnknown**);

    AtlHosting() {
        HMODULE atl = LoadLibraryW(L"atl.dll");
        if (!atl) {
            return;
        }
        const auto init = reinterpret_cast<AtlAxWinInit>(
            reinterpret_cast<void*>(GetProcAddress(atl, "AtlAxWinInit")));
        getControl_ = reinterpret_cast<AtlAxGetControl>(
            reinterpret_cast<void*>(GetProcAddress(atl, "AtlAxGetControl")));
        ready_ = init && getControl_ && init();
    }

    AtlAxGetControl getControl_ = nullptr;
    bool ready_ = false;
};

// Room between the link and the panel's edges.
constexpr int kLinkMargin = 8;

// Lets the narrow panel break the long address after its slashes and dots.
QString breakableAddress(const QString& address) {
    QString shown;
    for (const QChar c : address) {
        shown += c;
        if (c == QLatin1Char('/') || c == QLatin1Char('.')) {
            shown += QChar(0x200B);
        }
    }
    return shown.toHtmlEscaped();
}

}  // namespace

SystemBrowser::SystemBrowser(QWidget* parent) : QWidget(parent) {
    // The control needs a single-threaded apartment on this thread (Qt usually made one).
    const HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    comInitialized_ = SUCCEEDED(result);
}

SystemBrowser::~SystemBrowser() {
    if (browser_) {
        browser_->Release();
    }
    const auto window = static_cast<HWND>(controlWindow_);
    if (window && IsWindow(window)) {
        DestroyWindow(window);
    }
    if (comInitialized_) {
        CoUninitialize();
    }
}

void SystemBrowser::load(const QUrl& page) {
    if (browser_) {
        const std::wstring address = page.toString().toStdWString();
        BSTR url = SysAllocString(address.c_str());
        browser_->Navigate(url, nullptr, nullptr, nullptr, nullptr);
        SysFreeString(url);
        return;
    }
    if (!link_ && createBrowserControl(page)) {
        return;
    }
    showPageLink(page);
}

bool SystemBrowser::createBrowserControl(const QUrl& page) {
    const AtlHosting& atl = AtlHosting::instance();
    if (!atl.ready()) {
        return false;
    }
    const std::wstring address = page.toString().toStdWString();
    const qreal scale = devicePixelRatioF();
    HWND window = CreateWindowExW(
        0, L"AtlAxWin", address.c_str(), WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0,
        qRound(width() * scale), qRound(height() * scale), reinterpret_cast<HWND>(winId()), nullptr,
        GetModuleHandleW(nullptr), nullptr);
    if (!window) {
        return false;
    }
    IUnknown* control = atl.controlOf(window);
    IWebBrowser2* browser = nullptr;
    if (control) {
        control->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&browser));
        control->Release();
    }
    if (!browser) {
        DestroyWindow(window);
        return false;
    }
    // A page's script errors must not put message boxes over the panel.
    browser->put_Silent(VARIANT_TRUE);
    controlWindow_ = window;
    browser_ = browser;
    return true;
}

void SystemBrowser::showPageLink(const QUrl& page) {
    if (!link_) {
        link_ = new QLabel(this);
        link_->setObjectName(QStringLiteral("pageLink"));
        link_->setWordWrap(true);
        link_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        link_->setTextFormat(Qt::RichText);
        // Opens the address with the system's default browser.
        link_->setOpenExternalLinks(true);
        QFont font(songtiFontFamily());
        font.setPointSize(9);
        link_->setFont(font);
    }
    const QString address = page.toString();
    link_->setText(QStringLiteral("%1<br><br><a href=\"%2\">%3</a>")
                       .arg(QStringLiteral("在浏览器中打开："), address.toHtmlEscaped(),
                            breakableAddress(address)));
    link_->setToolTip(address);
    fitToVisiblePart();
    link_->show();
}

void SystemBrowser::fitToVisiblePart() {
    if (link_) {
        // The view may reach past its panel's edges; the link stays on the part that shows.
        QRect visible = rect();
        if (parentWidget()) {
            visible &= QRect(mapFromParent(QPoint(0, 0)), parentWidget()->size());
        }
        link_->setGeometry(visible.adjusted(kLinkMargin, kLinkMargin, -kLinkMargin, -kLinkMargin));
    }
    const auto window = static_cast<HWND>(controlWindow_);
    if (window) {
        const qreal scale = devicePixelRatioF();
        MoveWindow(window, 0, 0, qRound(width() * scale), qRound(height() * scale), TRUE);
    }
}

void SystemBrowser::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    fitToVisiblePart();
}

void SystemBrowser::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    fitToVisiblePart();
}

}  // namespace quorvel::windows
