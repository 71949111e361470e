// What a Chinese user sees of the main window: Qt's own texts in Chinese, whole letters in the
// text fields, frame captions clear of the controls, tooltips only where they belong, and help
// handed to whatever can open it.
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QToolTip>

#include <gtest/gtest.h>

#include "app/captionframe.h"
#include "app/mainwindow.h"
#include "platform/helpviewer.h"
#include "platform/qttranslations.h"

using namespace quorvel;

namespace {

bool hasChinese(const QString& text) {
    return std::any_of(text.begin(), text.end(),
                       [](QChar c) { return c.unicode() >= 0x4E00 && c.unicode() <= 0x9FFF; });
}

QImage render(QWidget* widget, qreal devicePixelRatio) {
    QImage image(widget->size() * devicePixelRatio, QImage::Format_RGB32);
    image.setDevicePixelRatio(devicePixelRatio);
    image.fill(Qt::white);
    widget->render(&image);
    return image;
}

int differingPixels(const QImage& a, const QImage& b) {
    int count = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            count += a.pixel(x, y) != b.pixel(x, y) ? 1 : 0;
        }
    }
    return count;
}

// The ink a text leaves in a field: the field drawn with the text against it drawn empty.
int inkOf(QLineEdit* field, const QString& text, qreal devicePixelRatio) {
    field->setText(QString());
    const QImage empty = render(field, devicePixelRatio);
    field->setText(text);
    return differingPixels(render(field, devicePixelRatio), empty);
}

}  // namespace

TEST(ChineseDesktop, QtsOwnDialogsButtonsAndMenusAreChinese) {
    ASSERT_TRUE(platform::installChineseQtTranslations(*qApp));
    QMessageBox box(QMessageBox::Critical, QStringLiteral("错误"), QStringLiteral("x"),
                    QMessageBox::Ok);
    EXPECT_EQ(box.button(QMessageBox::Ok)->text(), QStringLiteral("确定"));

    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    for (const char* name : {"lookInLabel", "fileNameLabel", "fileTypeLabel"}) {
        auto* label = dialog.findChild<QLabel*>(QString::fromLatin1(name));
        ASSERT_NE(label, nullptr) << name;
        EXPECT_TRUE(hasChinese(label->text())) << label->text().toStdString();
    }

    EXPECT_EQ(QFileIconProvider().type(QFileInfo(QDir::tempPath())), QStringLiteral("文件夹"));

    QLineEdit field;
    std::unique_ptr<QMenu> menu(field.createStandardContextMenu());
    for (QAction* action : menu->actions()) {
        EXPECT_TRUE(action->isSeparator() || hasChinese(action->text()))
            << action->text().toStdString();
    }
}

TEST(ChineseDesktop, EveryGlyphIsWholeInTheFieldsAt96And120Dpi) {
    app::MainWindow window{app::MainWindowServices{}};
    window.Text3->setEnabled(true);
    for (const qreal ratio : {1.0, 1.25}) {
        for (QLineEdit* field : {window.Text1, window.Text3}) {
            const QString text = field == window.Text1 ? QStringLiteral("gjpqy_ 中文 Ág")
                                                       : QStringLiteral("DIM_1 gy");
            const QSize size = field->size();
            ASSERT_EQ(size.height(), 18);
            const int inField = inkOf(field, text, ratio);
            // The same field 40 pixels taller holds the text unclipped, its centred line moved by
            // 20 pixels, a whole number of device pixels at both ratios.
            field->resize(size.width(), size.height() + 40);
            const int unclipped = inkOf(field, text, ratio);
            field->resize(size);
            EXPECT_GT(inField, 0);
            EXPECT_EQ(inField, unclipped) << field->objectName().toStdString() << " at " << ratio;
        }
    }
}

TEST(ChineseDesktop, FrameCaptionsSitClearOfTheControls) {
    app::MainWindow window{app::MainWindowServices{}};
    for (QGroupBox* frame : {window.Frame1, window.Frame2, window.Frame3, window.Frame4}) {
        const QRect caption = static_cast<app::CaptionFrame*>(frame)->captionRect();
        for (QWidget* child : frame->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            EXPECT_FALSE(child->geometry().intersects(caption))
                << child->objectName().toStdString() << " covers " << frame->title().toStdString();
        }
    }
}

TEST(ChineseDesktop, ButtonsInsideTheListFrameShowNoTooltipOfTheFrame) {
    app::MainWindow window{app::MainWindowServices{}};
    window.show();
    // No tooltip is up before the first one asked for; a shown one changes its text at once.
    const auto tipOver = [](QWidget* widget, QPoint at) {
        QHelpEvent help(QEvent::ToolTip, at, widget->mapToGlobal(at));
        QApplication::sendEvent(widget, &help);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    };
    const QPoint middle(20, 12);
    EXPECT_EQ(tipOver(window.xpcmdbutton1, middle), QString());
    EXPECT_EQ(tipOver(window.xpcmdbutton9, middle), QString());
    EXPECT_EQ(tipOver(window.Text1, QPoint(5, 5)), QString());
    EXPECT_EQ(tipOver(window.xpcmdbutton5, middle), QStringLiteral("支持资源管理器拖放文件！"));
    EXPECT_EQ(tipOver(window.Frame1, QPoint(3, window.Frame1->height() - 3)),
              QStringLiteral("双击删除单个列表"));
}

TEST(ChineseDesktop, HelpGoesToTheDesktopsViewerElseAKnownViewerElseNowhere) {
    QStringList onPath;
    bool associated = false;
    const platform::HelpDesktop desktop{
        [&] { return associated; },
        [&](const QString& name) {
            return onPath.contains(name) ? QStringLiteral("/usr/bin/") + name : QString();
        }};
    const QString file = QStringLiteral("/opt/quorvel/Quorvel.chm");
    EXPECT_FALSE(platform::chooseHelpLaunch(file, desktop));

    onPath = QStringList{"kchmviewer", "xdg-open"};
    auto launch = platform::chooseHelpLaunch(file, desktop);
    ASSERT_TRUE(launch);
    EXPECT_EQ(launch->program, QStringLiteral("/usr/bin/kchmviewer"));
    EXPECT_EQ(launch->arguments, QStringList{file});

    associated = true;
    launch = platform::chooseHelpLaunch(file, desktop);
    ASSERT_TRUE(launch);
    EXPECT_EQ(launch->program, QStringLiteral("/usr/bin/xdg-open"));
}
