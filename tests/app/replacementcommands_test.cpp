// Command9 and xpcmdbutton7 on the real main window, against the recording host.
#include "app/replacementcommands.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include "app/mainwindow.h"
#include "drawinglist/drawinglistmodel.h"
#include "drawinglist/drawinglistview.h"
#include "platform/localclock.h"
#include "platform/messageboxes.h"
#include "platform/scriptfilewriter.h"
#include "platform/timerrandom.h"
#include "tests/support/engine/recordinghost.h"

namespace {

using namespace quorvel;
using engine::testing::RecordingHost;

struct Message {
    QWidget* owner;
    QString text;
    QString caption;
    platform::MessageIcon icon;
};

class RecordingMessageBoxes : public platform::MessageBoxes {
public:
    void showMessage(QWidget* owner, const QString& text, const QString& caption,
                     platform::MessageIcon icon) override {
        shown.push_back({owner, text, caption, icon});
    }
    std::vector<Message> shown;
};

struct Commands : ::testing::Test {
    Commands() : window(app::MainWindowServices{}) {
        host.running = true;
        host.openNew({}, {}, {});
        app::ReplacementPlatform platform;
        platform.connector = &host.connector();
        platform.windows = &host.windowControl();
        platform.messageBoxes = &boxes;
        platform.clock = &clock;
        platform.random = &random;
        platform.scriptWriter = &scriptWriter;
        platform.programFolder = programFolder.path();
        commands = std::make_unique<app::ReplacementCommands>(window, platform);
        window.show();
    }
    void addDrawing(const QString& path, const std::u16string& text) {
        host.addFile(path.toStdU16String(), {{text}});
        window.List2->drawings()->add(path);
    }

    QTemporaryDir programFolder;
    RecordingHost host;
    RecordingMessageBoxes boxes;
    platform::LocaleClock clock;
    platform::TimerSeededRandom random;
    platform::CodePageScriptFileWriter scriptWriter;
    app::MainWindow window;
    std::unique_ptr<app::ReplacementCommands> commands;
};

TEST_F(Commands, BatchRunHidesTheWindowAndFormThreeLeadsBack) {
    addDrawing(QStringLiteral("/d/b.dwg"), u"图号 AB");
    addDrawing(QStringLiteral("/d/a.dwg"), u"AB");
    window.Text1->setText(QStringLiteral("AB"));
    window.Text2->setText(QStringLiteral("XY"));
    QTest::mouseClick(window.Command9, Qt::LeftButton);

    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(window.List2->drawings()->count(), 0);
    EXPECT_FALSE(window.isVisible());
    // List order, which is the sorted order.
    EXPECT_EQ(host.savedPaths, (std::vector<std::u16string>{u"/d/a.dwg", u"/d/b.dwg"}));
    EXPECT_EQ(host.files.at(u"/d/b.dwg").back().text, u"图号 XY");

    windows::Form3* form = commands->progress().form();
    ASSERT_NE(form, nullptr);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->Label1->text(), QStringLiteral("文本替换完成 双击窗口返回"));
    EXPECT_FALSE(form->Label3->text().isEmpty());
    EXPECT_FALSE(form->Label5->text().isEmpty());
    EXPECT_FALSE(form->runGoingOn());
    QFile script(QDir(programFolder.path()).filePath(QStringLiteral("batch.scr")));
    ASSERT_TRUE(script.open(QIODevice::ReadOnly));
    EXPECT_EQ(script.readAll(), QByteArray("AB"));

    QTest::mouseDClick(form->Label2, Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(commands->progress().form(), nullptr);
    EXPECT_TRUE(window.isVisible());

    // The next run starts from the layout texts again.
    window.List2->drawings()->add(QStringLiteral("/d/a.dwg"));
    host.failAt("Documents.Open", 3);
    QTest::mouseClick(window.Command9, Qt::LeftButton);
    form = commands->progress().form();
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->Label1->text(), QStringLiteral("正在替换第 1 页   共 1 页"));
    EXPECT_TRUE(form->Label5->text().isEmpty());
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, QStringLiteral("操作不当！"));
    EXPECT_EQ(boxes.shown[0].caption, QStringLiteral("错误"));
    EXPECT_EQ(boxes.shown[0].icon, platform::MessageIcon::Stop);
    EXPECT_EQ(boxes.shown[0].owner, form);  // the main window is hidden
    EXPECT_EQ(window.List2->drawings()->count(), 1);
}

TEST_F(Commands, PreviewReadsTheControlsAsTheyStand) {
    addDrawing(QStringLiteral("/d/a.dwg"), u"AB ");
    window.Text1->setText(QStringLiteral("AB"));
    window.Text2->setText(QStringLiteral("XY"));
    window.Check2->setCheckState(Qt::PartiallyChecked);  // greyed: substring mode
    window.Check4->setChecked(true);
    window.Text5->setText(QStringLiteral(" 2.5mm"));
    window.Option1->setChecked(true);  // older generation: keystrokes
    QTest::mouseClick(window.xpcmdbutton7, Qt::LeftButton);

    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(commands->progress().form(), nullptr);
    EXPECT_EQ(window.List2->drawings()->count(), 1);
    EXPECT_EQ(host.keystrokes.front(), u"{ESC}{ESC}filedia~0~");
    ASSERT_TRUE(host.active);
    EXPECT_EQ(host.active->entities.back().text, u"XY ");
    EXPECT_DOUBLE_EQ(host.active->entities.back().height, 2.5);
}

TEST_F(Commands, EmptySearchTextIsRefusedOverTheMainWindow) {
    addDrawing(QStringLiteral("/d/a.dwg"), u"AB");
    QTest::mouseClick(window.Command9, Qt::LeftButton);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].owner, &window);
    EXPECT_EQ(boxes.shown[0].text, QStringLiteral("查找内容不能为空！"));
    EXPECT_TRUE(host.journal.empty());
    EXPECT_TRUE(window.isVisible());
}

}  // namespace
