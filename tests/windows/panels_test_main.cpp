// main() for the side panel tests: a 1280 x 1024 offscreen screen at 96 DPI, tall enough for the
// panels (609 pixels) to stand clear of its top edge, and the web views' needs met.
#include <QApplication>

#include <unistd.h>

#include <gmock/gmock.h>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" QUORVEL_OFFSCREEN_CONFIG);
    if (geteuid() == 0) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    }
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
