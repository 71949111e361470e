#include "drawinglist/listcommands.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <deque>

#include "app/mainwindow.h"
#include "drawinglist/drawinglistmodel.h"
#include "drawinglist/drawinglistview.h"
#include "platform/filedialogs.h"
#include "platform/messageboxes.h"

using quorvel::drawinglist::DrawingListCommands;
using quorvel::drawinglist::DrawingListModel;
using quorvel::drawinglist::DrawingListView;
using quorvel::platform::FileFilter;
using quorvel::platform::MessageIcon;

namespace {

// Answers each dialog with the next scripted result; nothing scripted means a cancel.
class ScriptedFileDialogs : public quorvel::platform::FileDialogs {
public:
    struct Shown {
        QString kind;
        QString title;
        QStringList labels;
        QStringList firstPatterns;
    };

    std::optional<QStringList> chooseFilesToOpen(QWidget*, const QString& title,
                                                 const std::vector<FileFilter>& filters) override {
        return next("open many", title, filters);
    }
    std::optional<QString> chooseFileToOpen(QWidget*, const QString& title,
                                            const std::vector<FileFilter>& filters) override {
        return first(next("open", title, filters));
    }
    std::optional<QString> chooseFileToSave(QWidget*, const QString& title,
                                            const std::vector<FileFilter>& filters) override {
        return first(next("save", title, filters));
    }

    void answer(QStringList paths) { answers.push_back(std::move(paths)); }
    void cancel() { answers.push_back(std::nullopt); }

    std::deque<std::optional<QStringList>> answers;
    std::vector<Shown> shown;

private:
    std::optional<QStringList> next(const QString& kind, const QString& title,
                                    const std::vector<FileFilter>& filters) {
        Shown s{kind, title, {}, filters.empty() ? QStringList() : filters.front().patterns};
        for (const FileFilter& f : filters) {
            s.labels << f.label;
        }
        shown.push_back(s);
        std::optional<QStringList> answer;
        if (!answers.empty()) {
            answer = answers.front();
            answers.pop_front();
        }
        return answer;
    }
    static std::optional<QString> first(const std::optional<QStringList>& paths) {
        return paths && !paths->isEmpty() ? std::optional<QString>(paths->front()) : std::nullopt;
    }
};

class RecordingMessageBoxes : public quorvel::platform::MessageBoxes {
public:
    struct Message {
        QWidget* owner;
        QString text;
        QString caption;
        MessageIcon icon;
    };
    void showMessage(QWidget* owner, const QString& text, const QString& caption,
                     MessageIcon icon) override {
        shown.push_back({owner, text, caption, icon});
    }
    QStringList texts() const {
        QStringList all;
        for (const Message& m : shown) {
            all << m.text;
        }
        return all;
    }
    std::vector<Message> shown;
};

QByteArray readBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return "<unreadable>";
    }
    return file.readAll();
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

class ListCommandsTest : public ::testing::Test {
protected:
    ListCommandsTest() : commands(&view, &dialogs, &messages, &owner) {}

    DrawingListModel& model() { return *view.drawings(); }
    QStringList entries() {
        QStringList all;
        for (int i = 0; i < model().count(); ++i) {
            all << model().textAt(i);
        }
        return all;
    }
    QString file(const QString& name) const { return folder.filePath(name); }

    QWidget owner;
    DrawingListView view;
    ScriptedFileDialogs dialogs;
    RecordingMessageBoxes messages;
    DrawingListCommands commands;
    QTemporaryDir folder;
};

}  // namespace

TEST_F(ListCommandsTest, AddFilesSkipsExactDuplicatesCaseIncluded) {
    model().addAll({"/d/one.dwg", "/d/two.dwg"});
    dialogs.answer(
        {"/d/one.dwg", "/d/ONE.dwg", "/d/three.dwg", "/d/two.dwg", "/d/five.dwg", "/d/three.dwg"});
    commands.addFiles();
    EXPECT_EQ(entries(), QStringList({"/d/five.dwg", "/d/one.dwg", "/d/ONE.dwg", "/d/three.dwg",
                                      "/d/two.dwg"}));
    EXPECT_TRUE(messages.shown.empty());
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].kind, "open many");
    EXPECT_EQ(dialogs.shown[0].title, "Select File(s)...");
    EXPECT_EQ(dialogs.shown[0].labels, QStringList({"图形 (*.dwg)"}));
    EXPECT_EQ(dialogs.shown[0].firstPatterns, QStringList({"*.dwg"}));

    // Already there: nothing more, and nothing shown.
    dialogs.answer({"/d/five.dwg"});
    commands.addFiles();
    EXPECT_EQ(model().count(), 5);
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(ListCommandsTest, CancelledAddShowsTheStopMessageAndKeepsTheList) {
    model().add("/d/kept.dwg");
    dialogs.cancel();
    commands.addFiles();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "请选择文件！");
    EXPECT_EQ(messages.shown[0].caption, "错误");
    EXPECT_EQ(messages.shown[0].icon, MessageIcon::Stop);
    EXPECT_EQ(messages.shown[0].owner, &owner);
    EXPECT_EQ(entries(), QStringList({"/d/kept.dwg"}));
}

TEST_F(ListCommandsTest, SaveWritesGbkLinesWithCrLfAndEmptyListGivesNoBytes) {
    ASSERT_TRUE(folder.isValid());
    writeBytes(file("list.txt"), "old content that is longer\r\n");
    const auto permissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                             QFileDevice::ReadUser | QFileDevice::WriteUser |
                             QFileDevice::ReadGroup;
    ASSERT_TRUE(QFile::setPermissions(file("list.txt"), permissions));
    ASSERT_TRUE(QFile::link(file("list.txt"), file("link.txt")));
    dialogs.answer({file("link.txt")});
    commands.saveList();
    // Replaced without a question, through the link, keeping who may read it.
    EXPECT_EQ(readBytes(file("list.txt")), QByteArray());
    EXPECT_EQ(QFile::permissions(file("list.txt")), permissions);
    EXPECT_TRUE(QFileInfo(file("link.txt")).isSymLink());
    QFile::remove(file("link.txt"));

    model().addAll({"C:\\b.dwg", "C:\\a.dwg", "D:\\图纸\\总图.dwg"});
    dialogs.answer({file("list")});
    commands.saveList();
    EXPECT_EQ(
        readBytes(file("list")),
        QByteArray("C:\\a.dwg\r\nC:\\b.dwg\r\nD:\\\xCD\xBC\xD6\xBD\\\xD7\xDC\xCD\xBC.dwg\r\n"));
    EXPECT_FALSE(QFile::exists(file("list.txt.txt")));
    EXPECT_TRUE(messages.shown.empty());

    ASSERT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(dialogs.shown[0].kind, "save");
    EXPECT_EQ(dialogs.shown[0].title, "保存列表文件");
    EXPECT_EQ(dialogs.shown[0].labels, QStringList({"列表文件(*.txt)", "所有文件（*.*)"}));
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files), QStringList({"list", "list.txt"}));
}

TEST_F(ListCommandsTest, ReadReplacesTheListWithTheFilesLinesInSortedOrder) {
    ASSERT_TRUE(folder.isValid());
    writeBytes(file("in.txt"), "z.dwg\r\n  a.dwg\r\n\r\nz.dwg\rB.dwg");
    model().add("/d/old.dwg");
    dialogs.answer({file("in.txt")});
    commands.readList();
    EXPECT_EQ(entries(), QStringList({"", "  a.dwg", "B.dwg", "z.dwg", "z.dwg"}));
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(dialogs.shown.back().kind, "open");
    EXPECT_EQ(dialogs.shown.back().title, "读取列表文件");
    EXPECT_EQ(dialogs.shown.back().labels, QStringList({"列表文件(*.txt)", "所有文件（*.*)"}));

    dialogs.answer({file("out.txt")});
    commands.saveList();
    EXPECT_EQ(readBytes(file("out.txt")), QByteArray("\r\n  a.dwg\r\nB.dwg\r\nz.dwg\r\nz.dwg\r\n"));
}

TEST_F(ListCommandsTest, CancelledOrRefusedNamesShowTheCancelledMessages) {
    ASSERT_TRUE(folder.isValid());
    model().add("/d/a.dwg");
    dialogs.cancel();
    commands.saveList();
    dialogs.answer({folder.path()});  // a folder
    commands.saveList();
    writeBytes(file("locked.txt"), "keep\r\n");
    QFile::setPermissions(file("locked.txt"), QFileDevice::ReadOwner | QFileDevice::ReadUser);
    dialogs.answer({file("locked.txt")});
    commands.saveList();
    EXPECT_EQ(messages.texts(),
              QStringList({"保存文件被取消！", "保存文件被取消！", "保存文件被取消！"}));
    EXPECT_EQ(readBytes(file("locked.txt")), QByteArray("keep\r\n"));
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files), QStringList({"locked.txt"}));

    messages.shown.clear();
    dialogs.cancel();
    commands.readList();
    EXPECT_EQ(model().count(), 0);  // emptied before the dialog opened
    dialogs.answer({folder.path()});
    commands.readList();
    EXPECT_EQ(messages.texts(), QStringList({"读取文件被取消！", "读取文件被取消！"}));
    for (const auto& m : messages.shown) {
        EXPECT_EQ(m.caption, "错误");
        EXPECT_EQ(m.icon, MessageIcon::Stop);
    }
}

TEST_F(ListCommandsTest, MissingFilesAndFoldersAreFormatFailures) {
    ASSERT_TRUE(folder.isValid());
    model().add("/d/a.dwg");
    dialogs.answer({file("no such folder/list.txt")});
    commands.saveList();
    dialogs.answer({file("missing.txt")});
    commands.readList();
    EXPECT_EQ(model().count(), 0);
    EXPECT_EQ(messages.texts(),
              QStringList({"数据文件格式有误或操作不当！", "数据文件格式有误或操作不当！"}));
}

TEST_F(ListCommandsTest, PipesDevicesAndHugeFilesAreFormatFailuresAtOnce) {
    ASSERT_TRUE(folder.isValid());
    ASSERT_EQ(::mkfifo(QFile::encodeName(file("pipe")).constData(), 0600), 0);
    QFile huge(file("huge.txt"));  // sparse: takes no room on disk
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly) && huge.resize(qint64{65} << 20));
    huge.close();
    for (const QString& path : {file("pipe"), QStringLiteral("/dev/zero"), file("huge.txt")}) {
        dialogs.answer({path});
        commands.readList();
    }
    EXPECT_EQ(messages.texts(), QStringList(3, "数据文件格式有误或操作不当！"));
    EXPECT_EQ(model().count(), 0);
}

TEST_F(ListCommandsTest, AFailedWriteLeavesThePreviousListFileWhole) {
    ASSERT_TRUE(folder.isValid());
    const QByteArray previous = "C:\\old.dwg\r\n";
    writeBytes(file("list.txt"), previous);
    for (int i = 0; i < 200; ++i) {
        model().add(QStringLiteral("/drawings/%1.dwg").arg(i));
    }
    // Files may grow to 1 KiB only, so writing the 4 KiB list fails part-way.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    dialogs.answer({file("list.txt")});
    commands.saveList();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_EQ(messages.texts(), QStringList({"数据文件格式有误或操作不当！"}));
    EXPECT_EQ(readBytes(file("list.txt")), previous);
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files), QStringList({"list.txt"}));
}

TEST_F(ListCommandsTest, HardFilesReadWithoutLosingLines) {
    ASSERT_TRUE(folder.isValid());
    QByteArray hard("bad \xFF byte\r\nnul\0byte\r\n", 23);
    hard += QByteArray(1 << 20, 'x') + "\r\n";
    for (int i = 0; i < 100000; ++i) {
        hard += "/d/" + QByteArray::number(i) + ".dwg\r\n";
    }
    writeBytes(file("hard.txt"), hard);
    dialogs.answer({file("hard.txt")});
    commands.readList();
    EXPECT_TRUE(messages.shown.empty());
    ASSERT_EQ(model().count(), 100003);
    EXPECT_TRUE(entries().contains(QString::fromUtf16(u"bad \uFFFD byte")));
    EXPECT_TRUE(entries().contains(QString::fromUtf16(u"nul\0byte", 8)));
}

TEST(ListCommandsMessageBox, TheRealMessageBoxShowsTheTextWithOneOkButton) {
    QWidget owner;
    DrawingListView view;
    ScriptedFileDialogs dialogs;
    quorvel::platform::QtMessageBoxes boxes;
    DrawingListCommands commands(&view, &dialogs, &boxes, &owner);

    QString text, title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttonCount = -1;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        text = box->text();
        title = box->windowTitle();
        icon = box->icon();
        buttonCount = static_cast<int>(box->buttons().size());
        box->button(QMessageBox::Ok)->click();
    });
    dialogs.cancel();
    commands.readList();  // returns once the box is answered
    EXPECT_EQ(text, "读取文件被取消！");
    EXPECT_EQ(title, "错误");
    EXPECT_EQ(icon, QMessageBox::Critical);
    EXPECT_EQ(buttonCount, 1);
}

TEST(ListCommandsMessageBox, DetailsWaitBehindTheMessage) {
    quorvel::platform::QtMessageBoxes boxes;
    QString text, details;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        text = box->text();
        details = box->detailedText();
        box->button(QMessageBox::Ok)->click();
    });
    boxes.showDetailedMessage(nullptr, "操作不当！", "错误", MessageIcon::Stop, "图形：/d/a.dwg");
    EXPECT_EQ(text, "操作不当！");
    EXPECT_EQ(details, "图形：/d/a.dwg");
}

TEST(ListCommandsMainWindow, TheFiveButtonsUnderTheListDriveIt) {
    ScriptedFileDialogs dialogs;
    RecordingMessageBoxes messages;
    quorvel::app::MainWindowServices services;
    services.fileDialogs = &dialogs;
    services.messageBoxes = &messages;
    quorvel::app::MainWindow window(services);
    DrawingListModel& model = *window.List2->drawings();

    dialogs.answer({"/d/b.dwg", "/d/a.dwg", "/d/c.dwg"});
    window.xpcmdbutton5->click();
    ASSERT_EQ(model.count(), 3);
    window.List2->selectionModel()->select(model.index(1), QItemSelectionModel::Select);
    window.xpcmdbutton1->click();
    EXPECT_EQ(model.textAt(1), "/d/c.dwg");

    window.xpcmdbutton8->click();  // cancelled
    window.xpcmdbutton6->click();
    EXPECT_EQ(model.count(), 0);
    window.xpcmdbutton9->click();  // cancelled
    ASSERT_EQ(dialogs.shown.size(), 3u);
    EXPECT_EQ(dialogs.shown[1].title, "保存列表文件");
    EXPECT_EQ(dialogs.shown[2].title, "读取列表文件");
    EXPECT_EQ(messages.texts(), QStringList({"保存文件被取消！", "读取文件被取消！"}));
    EXPECT_EQ(messages.shown[0].owner, &window);
}
