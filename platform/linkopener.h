#pragma once
#include <QString>

class QWidget;

namespace quorvel::platform {

// Hands a web or mail address to the desktop, which opens it in the web browser or the mail
// program. Whether that worked is the desktop's business: nothing is reported back.
class LinkOpener {
public:
    virtual ~LinkOpener() = default;
    virtual void OpenLink(QWidget* owner, const QString& address) = 0;
};

// Opens addresses through QDesktopServices. Only web pages and mail links are handed on, so a
// stray local path or program can never be started through a link.
class DesktopLinkOpener final : public LinkOpener {
public:
    void OpenLink(QWidget* owner, const QString& address) override;
};

// Whether an address is one that a link may open (http, https or mailto).
bool isOpenableLink(const QString& address);

}  // namespace quorvel::platform
