// cad-host's command line over the host core (tested in tests/cadhost/core): keystrokes as the
// bus and the window send them.
#include "cadhost/host/commandinterpreter.h"
#include "cadhost/host/hosterror.h"
#include "cadhost/host/hostmodel.h"
#include "cadhost/host/keystrokes.h"
#include "tests/support/ezdxf_qt.h"

#include <QFile>
#include <QTemporaryDir>

#include <gmock/gmock.h>

namespace ezdxf = quorvel::testsupport::ezdxfqt;

namespace quorvel::cadhost {
namespace {

using ::testing::IsEmpty;

class CommandInterpreterTest : public ::testing::Test {
protected:
    QString drawingFile(const QString& kind = QStringLiteral("sample")) {
        const QString path = folder.filePath(kind + QStringLiteral(".dwg"));
        ezdxf::write(kind, path);
        return path;
    }

    QTemporaryDir folder;
    HostModel model{Release::R2000, QStringLiteral(CADHOST_TEMPLATE_SOURCE)};
    CommandInterpreter interpreter{model};
};

// A command left waiting does not swallow a typed save that starts with Escapes.
TEST_F(CommandInterpreterTest, EscapesBeforeACommandEndTheOneWaiting) {
    model.openNew(drawingFile());
    interpreter.typeKeys(parseKeyStrokes(QStringLiteral("justifytext~l~")));
    interpreter.typeKeys(parseKeyStrokes(QStringLiteral("{ESC}{ESC}qsave~")));
    EXPECT_TRUE(interpreter.isIdle());
    EXPECT_THAT(interpreter.takeFailures(), IsEmpty());
    EXPECT_TRUE(QFile::exists(folder.filePath(QStringLiteral("sample.bak"))));
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
