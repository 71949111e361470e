#include "windows/windowicon.h"

// Resources of a static library must be registered by hand, outside any namespace.
static void registerWindowResources() {
    Q_INIT_RESOURCE(quorvel_windows);
}

namespace quorvel::windows {

QPixmap windowIconPixmap() {
    static const bool registered = [] {
        registerWindowResources();
        return true;
    }();
    (void)registered;
    return QPixmap(QStringLiteral(":/windows/quorvel.xpm"));
}

QIcon windowIcon() {
    return QIcon(windowIconPixmap());
}

}  // namespace quorvel::windows
