// The host core both hosts are adapters over: documents, recovery copies, saves, the command line
// and selection sets.
#include "cadhost/core/commandline.h"
#include "cadhost/core/hosterror.h"
#include "cadhost/core/hostmodel.h"
#include "cadhost/core/selectionsets.h"
#include "tests/support/ezdxf_reference.h"

#include <gmock/gmock.h>

namespace quorvel::cadhost::core {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::StartsWith;

class HostCoreTest : public ::testing::Test,
                     protected ModelObserver,
                     protected CommandLineObserver {
protected:
    fs::path drawingFile(const std::string& kind = "sample") {
        const fs::path path = folder.path() / (kind + ".dwg");
        testsupport::writeDrawing(kind, path);
        return path;
    }

    const dxf::TextGeometry& lastText() {
        const auto last = model.activeOrThrow().drawing.lastObject();
        info = *model.activeOrThrow().drawing.entity(*last);
        return std::get<dxf::TextGeometry>(info.geometry);
    }

    std::string joinedHistory() const {
        std::string joined;
        for (const std::string& line : history) {
            joined += line + "\n";
        }
        return joined;
    }

    void lineEchoed(const std::string& line) override { history.push_back(line); }
    void notice(const std::string& line) override { notices.push_back(line); }

    testsupport::TemporaryFolder folder;
    HostModel model{Release::R2000, CADHOST_TEMPLATE_SOURCE, this};
    CommandLine commandLine{model, this};
    std::vector<std::string> history;
    std::vector<std::string> notices;
    dxf::EntityInfo info;
};

TEST_F(HostCoreTest, FilediaTakesZeroOrOneByEnterOrSpaceAndRefusesOtherValues) {
    commandLine.type(u"filedia\r0\r");
    EXPECT_EQ(model.filedia(), 0);
    commandLine.type(u"FILEDIA 1\n");
    EXPECT_EQ(model.filedia(), 1);

    commandLine.type(u"_filedia\r7\r");
    EXPECT_EQ(model.filedia(), 1);
    EXPECT_THAT(joinedHistory(), HasSubstr("需要 0 或 1"));
    // the refused value ended the command: the next field is a command again
    commandLine.type(u"filedia\r0\r");
    EXPECT_EQ(model.filedia(), 0);
    EXPECT_TRUE(commandLine.isIdle());

    commandLine.type(u"line\r");
    EXPECT_THAT(joinedHistory(), HasSubstr("未知命令“line”。"));
    EXPECT_THAT(commandLine.takeFailures(), IsEmpty());  // unknown input is no failure
}

TEST_F(HostCoreTest, JustifyTextChangesTheLastTextKeepingItsPlace) {
    model.openNew(drawingFile());
    const dxf::Point before = lastText().insertion;

    commandLine.type(u"justifytext\rl\rl\r\rmc\r");

    const dxf::TextGeometry& text = lastText();
    EXPECT_EQ(text.horizontal, 1);  // center
    EXPECT_EQ(text.vertical, 2);    // middle
    ASSERT_TRUE(text.alignment.has_value());
    // the text's left end stays; the middle point now lies to its right and above it
    EXPECT_GT(text.alignment->x, before.x);
    EXPECT_GT(text.alignment->y, before.y);
    EXPECT_THAT(joinedHistory(), HasSubstr("找到 1 个（1 个重复）"));
    EXPECT_FALSE(model.activeOrThrow().isSaved());
    EXPECT_TRUE(commandLine.isIdle());
}

TEST_F(HostCoreTest, JustifyTextRefusesWhatItCannotDoAndEndsTheCommand) {
    model.openNew(drawingFile());
    commandLine.type(u"justifytext\rl\r\rzz\r");
    EXPECT_EQ(lastText().horizontal, 0);
    EXPECT_THAT(joinedHistory(), HasSubstr("无效的对正选项“zz”"));
    EXPECT_TRUE(model.activeOrThrow().isSaved());
    // an invalid option must not leave a prompt that swallows the next command's "l"
    commandLine.type(u"justifytext\rl\r\rR\r");
    EXPECT_EQ(lastText().horizontal, 2);

    // A last object that is no text is ignored: nothing selected, Enter ends the command.
    model.openNew(drawingFile("lastline"));
    commandLine.type(u"justifytext\rl\r\r");
    EXPECT_TRUE(commandLine.isIdle());
    EXPECT_TRUE(model.activeOrThrow().isSaved());
    EXPECT_THAT(joinedHistory(), HasSubstr("不是单行文字"));
}

TEST_F(HostCoreTest, EscapeGivesUpTheCommandHalfWay) {
    model.openNew(drawingFile());
    commandLine.type(u"justifytext\rl\r");
    commandLine.cancel();
    commandLine.type(u"mc\r");
    EXPECT_EQ(lastText().horizontal, 0);
    EXPECT_THAT(joinedHistory(), HasSubstr("选择对象: *取消*"));
    EXPECT_THAT(joinedHistory(), HasSubstr("未知命令“mc”。"));
}

TEST_F(HostCoreTest, OpeningOverUnsavedChangesNeitherForksNorDropsThem) {
    const fs::path recovery = folder.path() / "recovery";
    model.setRecoveryCopies(recovery);  // numbered copies, as the stand-in makes them
    const fs::path path = drawingFile();
    const int number = model.openNew(path).number;
    commandLine.type(u"justifytext\rl\r\rr\r");
    ASSERT_FALSE(model.activeOrThrow().isSaved());

    // Another spelling of the same file is still that file: the unsaved edits are set aside as a
    // recovery copy, which the first document belongs to from then on.
    const int fresh = model.openNew(folder.path() / "." / "sample.dwg").number;
    const Document& aside = model.document(number);
    EXPECT_TRUE(aside.isSaved());
    EXPECT_EQ(aside.filePath, recovery / "sample-1.dwg");
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_THAT(notices[0], HasSubstr(pathText(aside.filePath)));
    EXPECT_EQ(testsupport::modelSpaceTexts(aside.filePath).back().halign, 2);
    EXPECT_NE(testsupport::modelSpaceTexts(path).back().halign, 2);  // the file is untouched

    // Opening over a document's own unsaved changes keeps them as a recovery copy too.
    commandLine.type(u"justifytext\rl\r\rr\r");
    model.openInto(fresh, drawingFile("sample-r12"));
    ASSERT_EQ(notices.size(), 2u);
    EXPECT_THAT(notices[1], HasSubstr(pathText(recovery / "sample-2.dwg")));
    const auto texts = testsupport::modelSpaceTexts(recovery / "sample-2.dwg");
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts.back().halign, 2);  // the unsaved change is in the copy
    EXPECT_EQ(model.activeOrThrow().filePath, folder.path() / "sample-r12.dwg");

    // A stamped copy is numbered only when the stamped name is taken.
    model.setRecoveryCopies(recovery, [] { return std::string("stamp"); });
    model.openInto(fresh, path);
    for (const char* expected : {"sample-stamp.dwg", "sample-stamp-2.dwg"}) {
        commandLine.type(u"justifytext\rl\r\rr\r");
        model.openInto(fresh, path);
        EXPECT_TRUE(fs::exists(recovery / expected)) << expected;
    }
}

TEST_F(HostCoreTest, QsaveWritesTheDrawingAndKeepsTheOldFileAsBak) {
    const fs::path path = drawingFile();
    model.openNew(path);
    commandLine.type(u"justifytext\rl\r\rr\rqsave\r");

    EXPECT_THAT(commandLine.takeFailures(), IsEmpty());
    EXPECT_TRUE(model.activeOrThrow().isSaved());
    EXPECT_TRUE(fs::exists(folder.path() / "sample.bak"));
    EXPECT_THAT(joinedHistory(), HasSubstr("图形已保存到 " + pathText(path)));
    const auto texts = testsupport::modelSpaceTexts(path);
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts.back().halign, 2);
    EXPECT_EQ(texts.back().text, "旧文本");
}

TEST_F(HostCoreTest, QsaveThatCannotSaveIsAFailureAndKeepsTheDrawingUnsaved) {
    commandLine.type(u"qsave\r");
    EXPECT_THAT(commandLine.takeFailures(), ElementsAre("没有打开的图形，无法保存。"));

    const fs::path doomed = folder.path() / "doomed";
    fs::create_directory(doomed);
    testsupport::writeDrawing("sample", doomed / "gone.dwg");
    model.openNew(doomed / "gone.dwg");
    commandLine.type(u"justifytext\rl\r\rc\r");
    fs::remove_all(doomed);  // the folder is gone: nothing can be written there

    commandLine.type(u"qsave\r");

    const auto failures = commandLine.takeFailures();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_THAT(failures[0], HasSubstr("无法保存"));
    EXPECT_FALSE(model.activeOrThrow().isSaved());
}

TEST_F(HostCoreTest, QsaveOfAnUntitledDrawingAsksForAName) {
    model.addFromTemplate({});
    EXPECT_EQ(model.caption(), "CAD 主机 - [Drawing1.dwg]");
    model.setFiledia(0);
    const fs::path target = folder.path() / "with space.dwg";

    commandLine.type(u"qsave\r\"" + target.u16string() + u"\"\r");

    EXPECT_THAT(commandLine.takeFailures(), IsEmpty());
    EXPECT_TRUE(fs::exists(target));
    EXPECT_EQ(model.activeOrThrow().filePath, target);
    EXPECT_TRUE(commandLine.isIdle());

    // With FILEDIA 1 a dialog asks; cancelling it saves nothing.
    model.addFromTemplate({});
    model.setFiledia(1);
    std::string suggested;
    commandLine.askSavePath = [&](const std::string& name) {
        suggested = name;
        return std::optional<fs::path>(fs::path());
    };
    commandLine.type(u"qsave\r");
    EXPECT_EQ(suggested, "Drawing2.dwg");
    EXPECT_TRUE(model.activeOrThrow().isUntitled());
    EXPECT_EQ(history.back(), "*取消*");
}

TEST_F(HostCoreTest, DocumentsCloseSavingOnlyWhatHasAName) {
    model.addFromTemplate({});
    const int untitled = model.activeOrThrow().number;
    const int named = model.openNew(drawingFile()).number;
    EXPECT_THROW(model.close(untitled, true), HostError);  // no name: stays open
    model.close(named, false);
    EXPECT_EQ(model.activeOrThrow().number, untitled);
    model.close(untitled, false);
    try {
        model.activeOrThrow();
        ADD_FAILURE();
    } catch (const HostError& error) {
        EXPECT_EQ(error.kind(), HostErrorKind::NoActiveDocument);
    }
    try {
        model.openNew(folder.path() / "missing.dwg");
        ADD_FAILURE();
    } catch (const HostError& error) {
        EXPECT_EQ(error.kind(), HostErrorKind::OpenFailed);
        EXPECT_THAT(error.what(), StartsWith("找不到文件“"));
    }
}

TEST_F(HostCoreTest, SelectionSetsHaveUniqueNamesAndCollectEachObjectOnce) {
    Document& document = model.openNew(drawingFile());
    const int number = addSelectionSet(document, "Found").number;
    EXPECT_THROW(addSelectionSet(document, "  "), HostError);
    try {
        addSelectionSet(document, "fOUND");
        ADD_FAILURE();
    } catch (const HostError& error) {
        EXPECT_EQ(error.kind(), HostErrorKind::DuplicateName);
    }
    addSelectionSet(document, "F*");  // wildcard characters are no pattern in a name
    SelectionSet& set = selectionSet(document, number);

    selectInto(document, set, 3, {0}, {"TEXT"});
    selectInto(document, set, 5, {0}, {"TEXT"});
    selectInto(document, set, 5, {0}, {"TEXT"});
    const auto texts = document.drawing.select({0}, {"TEXT"});
    EXPECT_GT(texts.size(), 1u);
    EXPECT_EQ(set.entities.size(), texts.size());
    EXPECT_EQ(set.entities.front(), *document.drawing.lastObject());
    EXPECT_THROW(selectInto(document, set, 2, {}, {}), HostError);
    EXPECT_THROW(selectInto(document, set, 5, {0, 8}, {"TEXT"}), HostError);
    EXPECT_THROW(selectionSet(document, 99), HostError);
}

}  // namespace
}  // namespace quorvel::cadhost::core
