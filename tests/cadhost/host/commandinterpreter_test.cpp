// The host's command line: the same interpreter serves SendCommand, keystrokes and the window.
#include "cadhost/host/commandinterpreter.h"
#include "cadhost/host/hosterror.h"
#include "cadhost/host/hostmodel.h"
#include "cadhost/host/keystrokes.h"
#include "tests/support/ezdxf_qt.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gmock/gmock.h>

namespace ezdxf = quorvel::testsupport::ezdxfqt;

namespace quorvel::cadhost {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;

class CommandInterpreterTest : public ::testing::Test {
protected:
    CommandInterpreterTest() {
        QObject::connect(&interpreter, &CommandInterpreter::lineEchoed,
                         [this](const QString& line) { history.append(line); });
    }

    QString drawingFile(const QString& kind = QStringLiteral("sample")) {
        const QString path = folder.filePath(kind + QStringLiteral(".dwg"));
        ezdxf::write(kind, path);
        return path;
    }

    const dxf::TextGeometry& lastText() {
        const auto last = model.activeOrThrow().drawing.lastObject();
        info = *model.activeOrThrow().drawing.entity(*last);
        return std::get<dxf::TextGeometry>(info.geometry);
    }

    std::string joinedHistory() const { return history.join(u'\n').toStdString(); }

    QTemporaryDir folder;
    HostModel model{Release::R2000, QStringLiteral(CADHOST_TEMPLATE_SOURCE)};
    CommandInterpreter interpreter{model};
    QStringList history;
    dxf::EntityInfo info;
};

TEST_F(CommandInterpreterTest, FilediaTakesZeroOrOneByEnterOrSpaceAndRefusesOtherValues) {
    interpreter.type(QStringLiteral("filedia\r0\r"));
    EXPECT_EQ(model.filedia(), 0);
    interpreter.type(QStringLiteral("FILEDIA 1\n"));
    EXPECT_EQ(model.filedia(), 1);

    interpreter.type(QStringLiteral("_filedia\r7\r"));
    EXPECT_EQ(model.filedia(), 1);
    EXPECT_THAT(joinedHistory(), HasSubstr("需要 0 或 1"));
    // the refused value ended the command: the next field is a command again
    interpreter.type(QStringLiteral("filedia\r0\r"));
    EXPECT_EQ(model.filedia(), 0);
    EXPECT_TRUE(interpreter.isIdle());
    EXPECT_THAT(interpreter.takeFailures(), IsEmpty());
}

TEST_F(CommandInterpreterTest, UnknownInputIsEchoedNotFailed) {
    interpreter.type(QStringLiteral("line\r"));
    EXPECT_THAT(joinedHistory(), HasSubstr("未知命令“line”。"));
    EXPECT_THAT(interpreter.takeFailures(), IsEmpty());
    EXPECT_TRUE(interpreter.isIdle());
}

TEST_F(CommandInterpreterTest, JustifyTextChangesTheLastTextKeepingItsPlace) {
    model.openNew(drawingFile());
    const dxf::Point before = lastText().insertion;

    interpreter.type(QStringLiteral("justifytext\rl\r\rmc\r"));

    const dxf::TextGeometry& text = lastText();
    EXPECT_EQ(text.horizontal, 1);  // center
    EXPECT_EQ(text.vertical, 2);    // middle
    ASSERT_TRUE(text.alignment.has_value());
    // the text's left end stays; the middle point now lies to its right and above it
    EXPECT_GT(text.alignment->x, before.x);
    EXPECT_GT(text.alignment->y, before.y);
    EXPECT_FALSE(model.activeOrThrow().isSaved());
    EXPECT_TRUE(interpreter.isIdle());
}

TEST_F(CommandInterpreterTest, JustifyTextWithAnUnknownOptionChangesNothingAndEndsTheCommand) {
    model.openNew(drawingFile());
    interpreter.type(QStringLiteral("justifytext\rl\r\rzz\r"));
    EXPECT_EQ(lastText().horizontal, 0);
    EXPECT_THAT(joinedHistory(), HasSubstr("无效的对正选项“zz”"));
    EXPECT_TRUE(model.activeOrThrow().isSaved());

    // an invalid option must not leave a prompt that swallows the next command's "l"
    interpreter.type(QStringLiteral("justifytext\rl\r\rR\r"));
    EXPECT_EQ(lastText().horizontal, 2);
}

TEST_F(CommandInterpreterTest, JustifyTextIgnoresALastObjectThatIsNoText) {
    model.openNew(drawingFile(QStringLiteral("lastline")));
    interpreter.type(QStringLiteral("justifytext\rl\r\r"));
    EXPECT_TRUE(interpreter.isIdle());  // nothing selected: Enter ends the command
    EXPECT_TRUE(model.activeOrThrow().isSaved());
    EXPECT_THAT(joinedHistory(), HasSubstr("不是单行文字"));
}

TEST_F(CommandInterpreterTest, EscapeCancelsACommandHalfWay) {
    model.openNew(drawingFile());
    interpreter.typeKeys(parseKeyStrokes(QStringLiteral("justifytext~l~{ESC}mc~")));
    EXPECT_EQ(lastText().horizontal, 0);
    EXPECT_THAT(joinedHistory(), HasSubstr("未知命令“mc”。"));

    // A command left waiting does not swallow a typed save that starts with Escapes.
    interpreter.typeKeys(parseKeyStrokes(QStringLiteral("justifytext~l~")));
    interpreter.typeKeys(parseKeyStrokes(QStringLiteral("{ESC}{ESC}qsave~")));
    EXPECT_TRUE(interpreter.isIdle());
    EXPECT_THAT(interpreter.takeFailures(), IsEmpty());
    EXPECT_TRUE(QFile::exists(folder.filePath(QStringLiteral("sample.bak"))));
}

TEST_F(CommandInterpreterTest, OpeningOverUnsavedChangesNeitherForksNorDropsThem) {
    qputenv("XDG_DATA_HOME", folder.filePath(QStringLiteral("data")).toUtf8());
    QStringList notices;
    QObject::connect(&model, &HostModel::notice, [&](const QString& line) { notices << line; });
    const QString path = drawingFile();
    const int number = model.openNew(path).number;
    interpreter.type(QStringLiteral("justifytext\rl\r\rr\r"));
    ASSERT_FALSE(model.activeOrThrow().isSaved());

    // Another spelling of the same file is still that file: the unsaved edits are set aside as a
    // recovery copy, which the first document belongs to from then on.
    const QString respelt = folder.path() + QStringLiteral("/./sample.dwg");
    const int fresh = model.openNew(respelt).number;
    const HostDocument& aside = model.document(number);
    EXPECT_TRUE(aside.isSaved());
    EXPECT_TRUE(aside.filePath.startsWith(HostModel::recoveryFolder()))
        << aside.filePath.toStdString();
    ASSERT_EQ(notices.size(), 1);
    EXPECT_THAT(notices[0].toStdString(), HasSubstr(aside.filePath.toStdString()));
    EXPECT_EQ(ezdxf::modelSpaceTexts(aside.filePath).back().halign, 2);
    EXPECT_NE(ezdxf::modelSpaceTexts(path).back().halign, 2);  // the file is untouched

    // Opening over a document's own unsaved changes keeps them as a recovery copy too.
    interpreter.type(QStringLiteral("justifytext\rl\r\rr\r"));
    ASSERT_FALSE(model.document(fresh).isSaved());
    model.openInto(fresh, drawingFile(QStringLiteral("sample-r12")));
    ASSERT_EQ(notices.size(), 2);
    const QStringList copies = QDir(HostModel::recoveryFolder()).entryList(QDir::Files);
    ASSERT_EQ(copies.size(), 2);
    const QString copy =
        HostModel::recoveryFolder() + u'/' +
        (HostModel::recoveryFolder() + u'/' + copies[0] == aside.filePath ? copies[1] : copies[0]);
    EXPECT_THAT(notices[1].toStdString(), HasSubstr(copy.toStdString()));
    const auto texts = ezdxf::modelSpaceTexts(copy);
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts.back().halign, 2);  // the unsaved change is in the copy
    EXPECT_TRUE(model.activeOrThrow().filePath.endsWith(u"r12.dwg"));
}

TEST_F(CommandInterpreterTest, QsaveWritesTheDrawingAndKeepsTheOldFileAsBak) {
    const QString path = drawingFile();
    model.openNew(path);
    interpreter.type(QStringLiteral("justifytext\rl\r\rr\rqsave\r"));

    EXPECT_THAT(interpreter.takeFailures(), IsEmpty());
    EXPECT_TRUE(model.activeOrThrow().isSaved());
    EXPECT_TRUE(QFile::exists(folder.filePath(QStringLiteral("sample.bak"))));
    const auto texts = ezdxf::modelSpaceTexts(path);
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts.back().halign, 2);
    EXPECT_EQ(texts.back().text, QStringLiteral("旧文本"));
}

TEST_F(CommandInterpreterTest, QsaveThatCannotWriteIsAFailureAndKeepsTheDrawingUnsaved) {
    QTemporaryDir doomed;
    const QString path = doomed.filePath(QStringLiteral("gone.dwg"));
    ezdxf::write(QStringLiteral("sample"), path);
    model.openNew(path);
    interpreter.type(QStringLiteral("justifytext\rl\r\rc\r"));
    doomed.remove();  // the folder is gone: nothing can be written there

    interpreter.type(QStringLiteral("qsave\r"));

    const QStringList failures = interpreter.takeFailures();
    ASSERT_EQ(failures.size(), 1);
    EXPECT_THAT(failures[0].toStdString(), HasSubstr("无法保存"));
    EXPECT_FALSE(model.activeOrThrow().isSaved());
}

TEST_F(CommandInterpreterTest, QsaveOfAnUntitledDrawingAsksForANameOnTheCommandLine) {
    model.addFromTemplate(QString());
    model.setFiledia(0);
    const QString target = folder.filePath(QStringLiteral("with space.dwg"));

    interpreter.type(QStringLiteral("qsave\r") + target + u'\r');

    EXPECT_THAT(interpreter.takeFailures(), IsEmpty());
    EXPECT_TRUE(QFile::exists(target));
    EXPECT_EQ(model.activeOrThrow().filePath, QDir::cleanPath(target));
    EXPECT_TRUE(interpreter.isIdle());
}

TEST_F(CommandInterpreterTest, QsaveWithoutADrawingFails) {
    interpreter.type(QStringLiteral("qsave\r"));
    EXPECT_EQ(interpreter.takeFailures().size(), 1);
}

TEST(KeyStrokesTest, ReadsTheUsualNotation) {
    using Kind = KeyStroke::Kind;
    const auto strokes = parseKeyStrokes(QStringLiteral("a~{ENTER}{~}+b{BS 2}{esc}{}}"));
    const std::vector<KeyStroke> expected{
        {Kind::Character, u'a'}, {Kind::Enter, {}},       {Kind::Enter, {}},
        {Kind::Character, u'~'}, {Kind::Character, u'B'}, {Kind::Backspace, {}},
        {Kind::Backspace, {}},   {Kind::Escape, {}},      {Kind::Character, u'}'},
    };
    EXPECT_EQ(strokes, expected);
    EXPECT_EQ(parseKeyStrokes(QStringLiteral("+(ab)")).size(), 2u);
}

TEST(KeyStrokesTest, RefusesWhatACommandLineCannotTypeBeforeTypingAnything) {
    for (const char* keys : {"^c", "%f", "{F1}", "{ENTER", "+", "(ab", "x)", "{}", "{a 99999}"}) {
        EXPECT_THROW(parseKeyStrokes(QString::fromUtf8(keys)), HostError) << keys;
    }
}

}  // namespace
}  // namespace quorvel::cadhost
