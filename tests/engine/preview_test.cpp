// The preview of xpcmdbutton7: the first drawing only, left open and unsaved.
#include <gtest/gtest.h>

#include "tests/support/engine/rig.h"

namespace quorvel::engine::testing {
namespace {

using Generation = RecordingHost::Generation;
using Journal = std::vector<std::string>;

const Journal kConnect = [] {
    Journal journal = attachAndActivate();
    journal.push_back("Application.FullName");
    return journal;
}();

void listThree(RunRig& rig) {
    for (const char16_t* path : {u"/d/1.dwg", u"/d/2.dwg", u"/d/3.dwg"}) {
        rig.listDrawing(path, {{u"AB"}, {u"x"}});
    }
}

TEST(Preview, NewerGenerationOpensOnlyTheFirstDrawingAndSavesNothing) {
    RunRig rig;
    listThree(rig);
    rig.options.check3 = 1;
    rig.preview();

    Journal expected = kConnect;
    expected.insert(
        expected.end(),
        {"Application.Documents", "Documents.Add(" + kTemplateDrawing + ")",
         "Script.write(" + kScriptFile + "|AB)", "Application.Documents",
         "Documents.Open(/d/1.dwg)",
         // dialogs go off only after the open
         "Application.ActiveDocument", "Document.SendCommand(filedia<CR>0<CR>)", "Random.reseed",
         "Application.ActiveDocument", "Document.SelectionSets", "SelectionSets.Add(1001)",
         "SelectionSet.Select(5,0='text')", "SelectionSet.entities", "Text.TextString", "Text.Copy",
         "Text.erase", "Application.ActiveDocument",
         "Document.SendCommand(justifytext<CR>l<CR><CR>mc<CR>)", "Text.TextString",
         "Text.setTextString(XY)", "Text.TextString", "Application.ActiveDocument",
         "Document.SendCommand(filedia<CR>1<CR>)"});
    EXPECT_EQ(rig.journalFrom(), expected);

    EXPECT_EQ(rig.list.entries.size(), 3u);
    EXPECT_TRUE(rig.host.savedPaths.empty());
    EXPECT_EQ(rig.textsOnDisk(u"/d/1.dwg"), (std::vector<std::u16string>{u"AB", u"x"}));
    ASSERT_TRUE(rig.host.active);
    EXPECT_EQ(rig.host.active->path, u"/d/1.dwg");
    EXPECT_TRUE(rig.host.active->modified);
    EXPECT_EQ(rig.host.active->entities.back().text, u"XY");
    EXPECT_EQ(rig.host.fileDialogs, 1);
    EXPECT_TRUE(rig.mainWindow.visible);
    EXPECT_FALSE(rig.progress.shown);
    EXPECT_TRUE(rig.messages.shown.empty());
}

TEST(Preview, OlderGenerationTypesKeysButNeverSaves) {
    RunRig rig(Generation::R14);
    listThree(rig);
    rig.options.check3 = 1;  // no effect on this path
    rig.preview();
    EXPECT_EQ(rig.host.keystrokes,
              (std::vector<std::u16string>{u"{ESC}{ESC}filedia~0~", u"{ESC}{ESC}filedia~1~",
                                           u"{ESC}{ESC}filedia~1~"}));
    const Journal tail = rig.journalFrom("Application.FullName");
    ASSERT_GE(tail.size(), 6u);
    EXPECT_EQ(tail[1], "Script.write(" + kScriptFile + "|AB)");
    EXPECT_EQ(tail[2], "Application.ActiveDocument");
    EXPECT_EQ(tail[3], "Document.Open(/d/1.dwg)");
    EXPECT_EQ(tail[4], "Window.sendKeys+wait({ESC}{ESC}filedia~0~)");
    EXPECT_TRUE(rig.host.commands.empty());
    EXPECT_TRUE(rig.host.savedPaths.empty());
    EXPECT_EQ(rig.list.entries.size(), 3u);
    EXPECT_EQ(rig.host.active->entities.back().text, u"XY");
}

TEST(Preview, EmptyListMakesTheTemplateDocumentOnly) {
    RunRig rig;
    rig.preview();
    Journal expected = kConnect;
    expected.insert(expected.end(),
                    {"Application.Documents", "Documents.Add(" + kTemplateDrawing + ")"});
    EXPECT_EQ(rig.journalFrom(), expected);
    EXPECT_TRUE(rig.script.written.empty());
}

TEST(Preview, EmptySearchTextAndFailuresLeaveTheMainWindowShown) {
    RunRig empty;
    listThree(empty);
    empty.options.text1.clear();
    empty.preview();
    EXPECT_EQ(empty.journalFrom(), (Journal{"MsgBox(查找内容不能为空！|错误)"}));

    RunRig wrongVersion(Generation::R14);  // newer path chosen against the older host
    wrongVersion.options.option2 = true;
    listThree(wrongVersion);
    wrongVersion.preview();
    EXPECT_EQ(wrongVersion.messages.shown,
              (std::vector<ShownMessage>{{u"CAD版本不对！", u"错误", MessageIcon::Stop}}));
    EXPECT_TRUE(wrongVersion.mainWindow.visible);
    EXPECT_EQ(wrongVersion.list.entries.size(), 3u);

    RunRig noHost;
    noHost.host.running = false;
    noHost.host.installed = false;
    noHost.preview();
    EXPECT_EQ(noHost.messages.shown.size(), 2u);
    EXPECT_EQ(noHost.messages.shown.at(1).text, u"操作不当！");
}

}  // namespace
}  // namespace quorvel::engine::testing
