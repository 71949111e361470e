#include "app/appicon.h"

#include <QPixmap>

// Resources of a static library must be registered by hand, outside any namespace.
static void registerAppResources() { Q_INIT_RESOURCE(app); }

namespace quorvel::app {

QIcon programIcon() {
    static const QIcon icon = [] {
        registerAppResources();
        return QIcon(QPixmap(QStringLiteral(":/icons/quorvel.xpm")));
    }();
    return icon;
}

}  // namespace quorvel::app
