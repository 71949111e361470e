#include "platform/linkopener.h"

#include <QDesktopServices>
#include <QUrl>

namespace quorvel::platform {

bool isOpenableLink(const QString& address) {
    const QUrl url(address, QUrl::StrictMode);
    if (!url.isValid()) {
        return false;
    }
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("mailto")) {
        return !url.path().isEmpty();
    }
    return (scheme == QLatin1String("http") || scheme == QLatin1String("https")) &&
           !url.host().isEmpty();
}

void DesktopLinkOpener::OpenLink(QWidget* /*owner*/, const QString& address) {
    if (isOpenableLink(address)) {
        QDesktopServices::openUrl(QUrl(address, QUrl::StrictMode));
    }
}

}  // namespace quorvel::platform
