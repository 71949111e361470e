#include "app/mainwindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include "platform/helpviewer.h"

using quorvel::app::MainWindow;
using quorvel::app::MainWindowServices;

namespace {

class RecordingHelpViewer : public quorvel::platform::HelpViewer {
public:
    void showHelp(QWidget* owner, const QString& path) override {
        owners.push_back(owner);
        paths.push_back(path);
    }
    std::vector<QWidget*> owners;
    QStringList paths;
};

struct Expected {
    const char* name;
    const char* container;
    int left, top, width, height;
};

// The layout in twips, as the window is designed.
const Expected kControls[] = {
    {"xpcmdbutton7", "batchfrm", 360, 6600, 1215, 375},
    {"xpcmdbutton2", "batchfrm", 5130, 6600, 1215, 375},
    {"xpcmdbutton3", "batchfrm", 6720, 6600, 1215, 375},
    {"Command9", "batchfrm", 1950, 6600, 1215, 375},
    {"xpcmdbutton4", "batchfrm", 3540, 6600, 1215, 375},
    {"Frame2", "batchfrm", 120, 3960, 4215, 1335},
    {"Text2", "Frame2", 1320, 840, 2535, 270},
    {"Text1", "Frame2", 1320, 360, 2535, 270},
    {"Label4", "Frame2", 600, 840, 540, 180},
    {"Label3", "Frame2", 480, 405, 720, 180},
    {"Frame3", "batchfrm", 120, 5400, 4215, 975},
    {"Option1", "Frame3", 480, 480, 975, 255},
    {"Option2", "Frame3", 2280, 480, 1215, 255},
    {"Frame4", "batchfrm", 4440, 3960, 3735, 2415},
    {"Check2", "Frame4", 240, 480, 1095, 255},
    {"Text3", "Frame4", 2400, 952, 1095, 270},
    {"Check1", "Frame4", 240, 960, 1095, 255},
    {"Text4", "Frame4", 2400, 1432, 1095, 270},
    {"Check3", "Frame4", 240, 1440, 2055, 255},
    {"Text5", "Frame4", 2400, 1912, 1095, 270},
    {"Check4", "Frame4", 240, 1920, 1815, 255},
    {"Frame1", "batchfrm", 120, 120, 8055, 3735},
    {"List2", "Frame1", 120, 240, 7755, 2760},
    {"xpcmdbutton5", "Frame1", 240, 3180, 1215, 375},
    {"xpcmdbutton6", "Frame1", 3480, 3180, 1215, 375},
    {"xpcmdbutton1", "Frame1", 1860, 3180, 1215, 375},
    {"xpcmdbutton8", "Frame1", 5100, 3180, 1215, 375},
    {"xpcmdbutton9", "Frame1", 6720, 3180, 1215, 375},
};

class MainWindowTest : public ::testing::Test {
protected:
    MainWindowTest() {
        services.helpViewer = &help;
        services.programFolder = QStringLiteral("/opt/quorvel");
        window = std::make_unique<MainWindow>(services);
        twipsPerPixel = 1440.0 / window->logicalDpiX();
    }

    template <typename T = QWidget>
    T* control(const char* name) {
        auto* w = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }

    int px(int twips) const { return qRound(twips / twipsPerPixel); }

    RecordingHelpViewer help;
    MainWindowServices services;
    std::unique_ptr<MainWindow> window;
    double twipsPerPixel = 15;
};

}  // namespace

TEST_F(MainWindowTest, TitleFixedSizeAndIcon) {
    EXPECT_EQ(window->objectName(), "batchfrm");
    EXPECT_EQ(window->windowTitle(), "Quorvel V2.0");
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    EXPECT_EQ(window->size(), QSize(px(8280), px(7125)));
    ASSERT_FALSE(window->windowIcon().isNull());
    EXPECT_TRUE(window->windowIcon().availableSizes().contains(QSize(32, 32)));
}

TEST_F(MainWindowTest, EveryControlSitsInItsContainerAtItsPlace) {
    for (const Expected& e : kControls) {
        QWidget* w = control(e.name);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->parentWidget()->objectName(), QString::fromLatin1(e.container)) << e.name;
        EXPECT_EQ(w->geometry(), QRect(px(e.left), px(e.top), px(e.width), px(e.height))) << e.name;
    }
}

TEST_F(MainWindowTest, CaptionsFontsAndTooltips) {
    const std::pair<const char*, const char*> captions[] = {
        {"xpcmdbutton5", "  添加文件"}, {"xpcmdbutton1", "  删除选择"},
        {"xpcmdbutton6", "  删除全部"}, {"xpcmdbutton8", "  保存列表"},
        {"xpcmdbutton9", "  读取列表"}, {"xpcmdbutton7", "  替换预览"},
        {"Command9", "  批量替换"},     {"xpcmdbutton4", "  帮助"},
        {"xpcmdbutton2", "  更多软件"}, {"xpcmdbutton3", "  退出"},
    };
    for (const auto& [name, caption] : captions) {
        auto* button = control<QPushButton>(name);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->text(), QString::fromUtf8(caption)) << name;
        EXPECT_EQ(button->font().pointSize(), 9) << name;
        EXPECT_EQ(button->font().family(), quorvel::app::buttonFontFamily()) << name;
        const QString expectedTip = QString::fromLatin1(name) == "xpcmdbutton5"
                                        ? QStringLiteral("支持资源管理器拖放文件！")
                                        : QString();
        EXPECT_EQ(button->toolTip(), expectedTip) << name;
    }
    EXPECT_TRUE(
        QStringList({"宋体", "SimSun", "AR PL UMing CN", "Noto Serif CJK SC", "Noto Sans CJK SC"})
            .contains(quorvel::app::buttonFontFamily()));

    EXPECT_EQ(control<QGroupBox>("Frame1")->title(), "初始化文件");
    EXPECT_EQ(control<QGroupBox>("Frame2")->title(), "内容");
    EXPECT_EQ(control<QGroupBox>("Frame3")->title(), "CAD版本");
    EXPECT_EQ(control<QGroupBox>("Frame4")->title(), "选项");
    EXPECT_EQ(control<QLabel>("Label3")->text(), "查找内容");
    EXPECT_EQ(control<QLabel>("Label4")->text(), "替换为");
    EXPECT_EQ(control<QRadioButton>("Option1")->text(), "For R14");
    EXPECT_EQ(control<QRadioButton>("Option2")->text(), "For R2000+");
    EXPECT_EQ(control<QCheckBox>("Check2")->text(), "完全匹配");
    EXPECT_EQ(control<QCheckBox>("Check1")->text(), "指定图层");
    EXPECT_EQ(control<QCheckBox>("Check3")->text(), "修改文本的对齐方式");
    EXPECT_EQ(control<QCheckBox>("Check4")->text(), "修改文本的高度");
    EXPECT_EQ(control("Frame1")->toolTip(), "双击删除单个列表");
    EXPECT_EQ(control("List2")->toolTip(), "双击删除单个列表");
    for (const char* silent :
         {"Frame2", "Frame3", "Frame4", "Text1", "Text2", "Text3", "Check1", "Option1", "Label3"}) {
        EXPECT_TRUE(control(silent)->toolTip().isEmpty()) << silent;
    }
}

TEST_F(MainWindowTest, InitialValuesAndEnabledStates) {
    EXPECT_TRUE(control<QLineEdit>("Text1")->text().isEmpty());
    EXPECT_TRUE(control<QLineEdit>("Text2")->text().isEmpty());
    // No length limit: a long search or replacement text is kept whole.
    const QString longText(40000, QLatin1Char('x'));
    for (const char* name : {"Text1", "Text2"}) {
        control<QLineEdit>(name)->setText(longText);
        EXPECT_EQ(control<QLineEdit>(name)->text(), longText) << name;
    }
    EXPECT_EQ(control<QLineEdit>("Text3")->text(), "0");
    EXPECT_EQ(control<QLineEdit>("Text4")->text(), "mc");
    EXPECT_EQ(control<QLineEdit>("Text5")->text(), "5");
    for (const char* name : {"Text3", "Text4", "Text5"}) {
        EXPECT_FALSE(control(name)->isEnabled()) << name;
    }
    for (const char* name : {"Check1", "Check2", "Check3", "Check4"}) {
        EXPECT_TRUE(control(name)->isEnabled()) << name;
        EXPECT_FALSE(control<QCheckBox>(name)->isChecked()) << name;
    }
    EXPECT_TRUE(control<QRadioButton>("Option2")->isChecked());
    EXPECT_FALSE(control<QRadioButton>("Option1")->isChecked());
    EXPECT_EQ(control<QListView>("List2")->model()->rowCount(), 0);
    EXPECT_EQ(control<QListView>("List2")->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_EQ(control<QListView>("List2")->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
}

TEST_F(MainWindowTest, TabOrderFollowsTheTabIndicesAndFocusStartsOnPreview) {
    window->show();
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    EXPECT_EQ(QApplication::focusWidget(), control("xpcmdbutton7"));

    // Walk the chain Qt keeps: real tabbing skips disabled fields.
    QStringList chain;
    QWidget* w = control("xpcmdbutton7");
    do {
        if (w->focusPolicy() != Qt::NoFocus) {
            chain << w->objectName();
        }
        w = w->nextInFocusChain();
    } while (w != control("xpcmdbutton7"));
    const QStringList full = {"xpcmdbutton7", "xpcmdbutton2", "xpcmdbutton3", "Command9",
                              "xpcmdbutton4", "Text2",        "Text1",        "Option1",
                              "Option2",      "Check2",       "Text3",        "Check1",
                              "Text4",        "Check3",       "Text5",        "Check4",
                              "List2",        "xpcmdbutton5", "xpcmdbutton6", "xpcmdbutton1",
                              "xpcmdbutton8", "xpcmdbutton9"};
    EXPECT_EQ(chain, full);

    // Real tabbing: the option group is one stop, at its chosen button.
    QStringList tabbed;
    for (int i = 0; i < 10; ++i) {
        tabbed << QApplication::focusWidget()->objectName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    EXPECT_EQ(tabbed,
              QStringList({"xpcmdbutton7", "xpcmdbutton2", "xpcmdbutton3", "Command9",
                           "xpcmdbutton4", "Text2", "Text1", "Option2", "Check2", "Check1"}));
}

TEST_F(MainWindowTest, TickBoxesEnableTheirFieldsAndKeepTheText) {
    auto* check1 = control<QCheckBox>("Check1");
    auto* text3 = control<QLineEdit>("Text3");
    QTest::mouseClick(check1, Qt::LeftButton);
    EXPECT_TRUE(text3->isEnabled());
    text3->setText("标注");
    QTest::mouseClick(check1, Qt::LeftButton);
    EXPECT_FALSE(text3->isEnabled());
    EXPECT_EQ(text3->text(), "标注");

    QTest::mouseClick(control("Check4"), Qt::LeftButton);
    EXPECT_TRUE(control("Text5")->isEnabled());
    EXPECT_FALSE(control("Text4")->isEnabled());
}

TEST_F(MainWindowTest, OlderGenerationGreysJustificationButKeepsItsTick) {
    auto* check3 = control<QCheckBox>("Check3");
    QTest::mouseClick(check3, Qt::LeftButton);
    ASSERT_TRUE(control("Text4")->isEnabled());
    control<QRadioButton>("Option1")->click();
    EXPECT_FALSE(check3->isEnabled());
    EXPECT_TRUE(check3->isChecked());
    EXPECT_TRUE(control("Text4")->isEnabled());
    control<QRadioButton>("Option2")->click();
    EXPECT_TRUE(check3->isEnabled());
    EXPECT_TRUE(check3->isChecked());
}

TEST_F(MainWindowTest, HelpOpensTheHelpFileOwnedByTheMainWindow) {
    control<QPushButton>("xpcmdbutton4")->click();
    ASSERT_EQ(help.paths.size(), 1);
    EXPECT_EQ(help.paths.front(), "/opt/quorvel/Quorvel.chm");
    EXPECT_EQ(help.owners.front(), window.get());
}

TEST(MainWindowHelpPath, RootFolderGetsNoDoubledSeparator) {
    MainWindowServices services;
    services.programFolder = QStringLiteral("/");
    MainWindow window(services);
    EXPECT_EQ(window.helpFilePath(), "/Quorvel.chm");
    services.programFolder = QStringLiteral("/usr/lib/quorvel/");
    EXPECT_EQ(MainWindow(services).helpFilePath(), "/usr/lib/quorvel/Quorvel.chm");
}

TEST_F(MainWindowTest, ExitEndsTheEventLoopAtOnce) {
    QWidget other;
    other.show();
    window->show();
    QTimer::singleShot(0, [this] { control<QPushButton>("xpcmdbutton3")->click(); });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    bool timedOut = false;
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        timedOut = true;
        QCoreApplication::exit(1);
    });
    watchdog.start(5000);
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_FALSE(timedOut);
}
