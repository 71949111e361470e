// Takes docs/screenshots/preview.png: Quorvel beside the host window after a preview of the
// site-plan sample. Needs an X server of its own (see tests/integration/preview_screenshot.sh).
//
//   preview_screenshot <output.png> <sample drawing>
#include <QApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>

#include "tests/integration/quorvelrig.h"
#include "tests/support/privatebus.h"

namespace {

void settle(int milliseconds) {
    QDeadlineTimer deadline(milliseconds);
    while (!deadline.hasExpired()) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(20);
    }
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication application(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: preview_screenshot <output.png> <sample drawing>\n");
        return 2;
    }
    QTemporaryDir folder;
    const QString drawing = folder.filePath(QStringLiteral("总平面图.dwg"));
    if (!QFile::copy(QString::fromLocal8Bit(argv[2]), drawing)) {
        std::fprintf(stderr, "cannot copy the sample drawing\n");
        return 1;
    }

    quorvel::testsupport::PrivateBus bus;
    if (!bus.started()) {
        std::fprintf(stderr, "no private bus\n");
        return 1;
    }
    quorvel::integration::Quorvel quorvel(bus.address(), folder.path());
    quorvel.list({drawing});
    quorvel.search(QStringLiteral("示例设计院"), QStringLiteral("新建设计院"));
    quorvel.newerGeneration(true);
    // The host window opens at the screen's left; Quorvel goes to its right.
    const QRect screen = QApplication::primaryScreen()->geometry();
    quorvel.window->move(screen.width() - quorvel.window->frameGeometry().width() - 10, 40);
    settle(1000);

    quorvel.window->xpcmdbutton7->click();
    if (!quorvel.boxes.shown.empty()) {
        std::fprintf(stderr, "the preview failed: %s\n",
                     quorvel.boxes.texts().join(u'|').toLocal8Bit().constData());
        return 1;
    }
    settle(3000);
    const QPixmap shot = QApplication::primaryScreen()->grabWindow(0);
    if (!shot.save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
