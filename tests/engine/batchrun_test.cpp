// The batch run of Command9 against the recording host.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/engine/rig.h"

namespace quorvel::engine::testing {
namespace {

using Generation = RecordingHost::Generation;
using Journal = std::vector<std::string>;

Drawing sampleDrawing(const std::u16string& number) {
    return {
        {u"AB-" + number},
        {u"other"},
        {u"AB", u"0", u"MTEXT"},  // multi-line text is never selected
    };
}

void append(Journal& journal, const Journal& more) {
    journal.insert(journal.end(), more.begin(), more.end());
}

Journal connectAndShow() {
    Journal journal = attachAndActivate();
    append(journal, {"Form3.show", "batchfrm.hide", "Application.Caption", kActivate,
                     "Form3.Label3(10:00:01)", "Application.FullName"});
    return journal;
}

// Selecting and rewriting one drawing of sampleDrawing(), up to the dialogs coming back on.
Journal selectAndRewrite(const std::string& setName, bool newer) {
    Journal journal = {"Random.reseed",
                       "Application.ActiveDocument",
                       "Document.SelectionSets",
                       "SelectionSets.Add(" + setName + ")",
                       "SelectionSet.Select(5,0='text')",
                       "SelectionSet.entities",
                       "Text.TextString",
                       "Text.Copy",
                       "Text.erase"};
    if (newer) {
        append(journal, {"Application.ActiveDocument",
                         "Document.SendCommand(justifytext<CR>l<CR><CR>mc<CR>)"});
    }
    append(journal, {"Text.TextString", "Text.setTextString(XY-" + setName.substr(3) + ")",
                     "Text.setHeight(2.5)", "Text.TextString"});
    return journal;
}

struct ThreeDrawings : ::testing::TestWithParam<Generation> {};

TEST_P(ThreeDrawings, RunsEveryDrawingAndConsumesTheList) {
    const bool newer = GetParam() == Generation::R2000;
    RunRig rig(GetParam());
    rig.options.check3 = 1;  // justification: only the newer path acts on it
    rig.options.check4 = 1;
    rig.options.text5 = u" 2.5mm ";
    rig.listDrawing(u"/d/1.dwg", sampleDrawing(u"1"));
    rig.listDrawing(u" /d/2.dwg ", sampleDrawing(u"2"));  // entries are trimmed
    rig.listDrawing(u"/d/3.dwg", sampleDrawing(u"3"));
    rig.host.files[u"/d/2.dwg"] = rig.host.files[u" /d/2.dwg "];
    rig.batch();

    Journal expected = connectAndShow();
    if (newer) {
        append(expected, {"Application.Documents", "Documents.Add(" + kTemplateDrawing + ")",
                          "Script.write(" + kScriptFile + "|AB)", "Application.ActiveDocument",
                          "Document.SendCommand(filedia<CR>0<CR>)"});
    } else {
        append(expected, {"Script.write(" + kScriptFile + "|AB)",
                          "Window.sendKeys+wait({ESC}{ESC}filedia~0~)"});
    }
    for (int i = 1; i <= 3; ++i) {
        const std::string number = std::to_string(i);
        append(expected, {"Form3.Label1(正在替换第 " + number + " 页   共 3 页)", "Form3.repaint"});
        if (newer) {
            append(expected, {"Application.Documents", "Documents.Open(/d/" + number + ".dwg)"});
        } else {
            append(expected,
                   {"Application.ActiveDocument", "Document.Open(/d/" + number + ".dwg)"});
        }
        append(expected, selectAndRewrite("100" + number, newer));
        if (newer) {
            append(expected,
                   {"Application.ActiveDocument", "Document.SendCommand(filedia<CR>1<CR>)",
                    "Application.ActiveDocument", "Document.Close(true)"});
        } else {
            append(expected, {"Window.sendKeys+wait({ESC}{ESC}filedia~1~)",
                              "Window.sendKeys+wait({ESC}{ESC}filedia~1~)",
                              "Window.sendKeys+wait({ESC}{ESC}qsave~)"});
        }
        expected.push_back("List.removeAt(0)");
    }
    append(expected, {"Form3.Label1(文本替换完成 双击窗口返回)", "Form3.Label5(10:00:02)",
                      "List.removeAll", "Form3.runEnded"});
    EXPECT_EQ(rig.journalFrom(), expected);

    EXPECT_TRUE(rig.list.entries.empty());
    EXPECT_TRUE(rig.messages.shown.empty());
    EXPECT_FALSE(rig.mainWindow.visible);
    EXPECT_EQ(rig.progress.label1, u"文本替换完成 双击窗口返回");
    EXPECT_EQ(rig.progress.label3, u"10:00:01");
    EXPECT_EQ(rig.progress.label5, u"10:00:02");
    EXPECT_EQ(rig.host.fileDialogs, 1);
    for (const char16_t* path : {u"/d/1.dwg", u"/d/2.dwg", u"/d/3.dwg"}) {
        const auto& saved = rig.host.files.at(path);
        ASSERT_EQ(saved.size(), 3u);
        // The rewritten text is a copy at the end of the drawing, the multi-line text untouched.
        EXPECT_EQ(saved[0].text, u"other");
        EXPECT_EQ(saved[1].text, u"AB");
        EXPECT_EQ(saved[2].text.substr(0, 3), u"XY-");
        EXPECT_DOUBLE_EQ(saved[2].height, 2.5);
        EXPECT_EQ(saved[2].justification, newer ? u"MC" : u"L");
    }
    EXPECT_EQ(
        rig.script.written,
        (std::vector<std::pair<std::u16string, std::u16string>>{{fromUtf8(kScriptFile), u"AB"}}));
    if (newer) {
        // Only the template document is left open.
        ASSERT_EQ(rig.host.documents.size(), 2u);
        EXPECT_EQ(rig.host.documents[1]->templatePath, fromUtf8(kTemplateDrawing));
    }
}

INSTANTIATE_TEST_SUITE_P(BothGenerations, ThreeDrawings,
                         ::testing::Values(Generation::R2000, Generation::R14),
                         [](const auto& info) {
                             return info.param == Generation::R2000 ? "R2000" : "R14";
                         });

// Matching and rewriting, checked on the saved drawing.
struct MatchCase {
    const char* name;
    int exact;
    std::u16string search;
    std::u16string replacement;
    std::u16string entityText;
    std::u16string savedText;
};

std::ostream& operator<<(std::ostream& out, const MatchCase& c) {
    return out << c.name;
}

struct Matching : ::testing::TestWithParam<MatchCase> {};

TEST_P(Matching, RewritesOnlyMatchingTexts) {
    const MatchCase& c = GetParam();
    RunRig rig;
    rig.options.check2 = c.exact;
    rig.options.text1 = c.search;
    rig.options.text2 = c.replacement;
    rig.listDrawing(u"/d/a.dwg", {{c.entityText}});
    rig.batch();
    ASSERT_TRUE(rig.messages.shown.empty());
    EXPECT_EQ(rig.textsOnDisk(u"/d/a.dwg"), std::vector<std::u16string>{c.savedText});
}

INSTANTIATE_TEST_SUITE_P(
    ExactAndSubstring, Matching,
    ::testing::Values(MatchCase{"exact_equal", 1, u"AB", u"XY", u"AB", u"XY"},
                      MatchCase{"exact_trailing_space_differs", 1, u"AB", u"XY", u"AB ", u"AB "},
                      MatchCase{"exact_longer_text_differs", 1, u"AB", u"XY", u"ABAB", u"ABAB"},
                      MatchCase{"exact_case_matters", 1, u"AB", u"XY", u"ab", u"ab"},
                      MatchCase{"exact_empty_replacement_empties", 1, u"AB", u"", u"AB", u""},
                      MatchCase{"greyed_tick_is_substring", 2, u"AB", u"XY", u"AB ", u"XY "},
                      MatchCase{"substring_keeps_trailing_space", 0, u"AB", u"XY", u"AB ", u"XY "},
                      MatchCase{"substring_every_occurrence", 0, u"-", u"", u"A-B-C", u"ABC"},
                      MatchCase{"substring_case_matters", 0, u"road", u"X", u"Road", u"Road"},
                      MatchCase{"substring_search_not_trimmed", 0, u" AB", u"X", u"AB", u"AB"},
                      MatchCase{"substring_chinese", 0, u"图号", u"编号", u"图号：A-1",
                                u"编号：A-1"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BatchOptions, LayerFilterIsPassedUntrimmedAndBuiltPerDrawing) {
    RunRig rig;
    rig.options.check1 = 1;
    rig.options.text3 = u"Dim ";
    rig.listDrawing(u"/d/a.dwg", {{u"AB", u"Dim"}, {u"AB", u"Dim "}});
    rig.listDrawing(u"/d/b.dwg", {{u"AB", u"Dim "}});
    rig.batch();
    ASSERT_EQ(rig.host.selects.size(), 2u);
    for (const SelectCall& call : rig.host.selects) {
        EXPECT_EQ(call.mode, 5);
        EXPECT_FALSE(call.corner1Given || call.corner2Given);
        EXPECT_EQ(call.filterTypes, (std::vector<std::int16_t>{0, 8}));
        EXPECT_EQ(call.filterValues,
                  (std::vector<FilterValue>{std::u16string(u"text"), std::u16string(u"Dim ")}));
    }
    EXPECT_EQ(rig.textsOnDisk(u"/d/a.dwg"), (std::vector<std::u16string>{u"AB", u"XY"}));

    // Without the tick every text of the drawing is considered, whatever Text3 says.
    RunRig plain;
    plain.options.check1 = 2;  // greyed counts as cleared
    plain.listDrawing(u"/d/a.dwg", {{u"AB", u"Dim"}, {u"AB", u"0"}});
    plain.batch();
    ASSERT_EQ(plain.host.selects.size(), 1u);
    EXPECT_EQ(plain.host.selects[0].filterTypes, std::vector<std::int16_t>{0});
    EXPECT_EQ(plain.textsOnDisk(u"/d/a.dwg"), (std::vector<std::u16string>{u"XY", u"XY"}));
}

TEST(BatchOptions, HeightAndJustificationOnlyWhenTicked) {
    RunRig rig;
    rig.options.check3 = 0;
    rig.options.check4 = 2;  // greyed: no height change
    rig.options.text5 = u"2.5mm";
    rig.listDrawing(u"/d/a.dwg", {{u"AB"}});
    rig.batch();
    EXPECT_DOUBLE_EQ(rig.host.files.at(u"/d/a.dwg")[0].height, 2.5);  // the original height
    for (const std::u16string& command : rig.host.commands) {
        EXPECT_EQ(command.find(u"justifytext"), std::u16string::npos);
    }

    RunRig withHeight;
    withHeight.options.check4 = 1;
    withHeight.options.text5 = u"  7.25 mm";
    withHeight.options.check3 = 1;
    withHeight.options.text4 = u" tl ";
    withHeight.listDrawing(u"/d/a.dwg", {{u"AB"}});
    withHeight.batch();
    EXPECT_DOUBLE_EQ(withHeight.host.files.at(u"/d/a.dwg")[0].height, 7.25);
    EXPECT_EQ(withHeight.host.commands.at(1), u"justifytext\rl\r\rtl\r");

    // A height text that is no number gives 0, which the host refuses.
    RunRig zero;
    zero.options.check4 = 1;
    zero.options.text5 = u"mm";
    zero.listDrawing(u"/d/a.dwg", {{u"AB"}});
    zero.batch();
    EXPECT_EQ(zero.messages.shown.at(0).text, u"操作不当！");
}

TEST(BatchOptions, TheSameFileListedTwiceIsRewrittenOnce) {
    for (const Generation generation : {Generation::R2000, Generation::R14}) {
        RunRig rig(generation);
        rig.options.text2 = u"ABAB";
        rig.listDrawing(u"/d/a.dwg", {{u"AB"}});
        rig.host.links[u"/d/link.dwg"] = u"/d/a.dwg";
        rig.list.entries.push_back(u"/d/a.dwg");
        rig.list.entries.push_back(u"/d/link.dwg");
        rig.batch();
        EXPECT_TRUE(rig.messages.shown.empty());
        EXPECT_TRUE(rig.list.entries.empty());
        EXPECT_EQ(rig.textsOnDisk(u"/d/a.dwg"), std::vector<std::u16string>{u"ABAB"});
        EXPECT_EQ(rig.host.savedPaths.size(), 1u);
        EXPECT_EQ(rig.progress.label1, u"文本替换完成 双击窗口返回");
    }
}

TEST(BatchFailures, ATypedSaveThatWritesNothingFailsAndKeepsTheDrawingListed) {
    RunRig rig(Generation::R14);
    rig.listDrawing(u"/d/b.dwg", {{u"AB"}});
    rig.host.keysSwallowed = true;
    rig.batch();
    ASSERT_EQ(rig.messages.shown.size(), 1u);
    EXPECT_EQ(rig.messages.shown[0].text, u"操作不当！");
    EXPECT_EQ(rig.messages.details[0],
              u"图形：/d/b.dwg\n原因：保存命令没有写入图形文件，修改没有保存。");
    EXPECT_EQ(rig.list.entries, std::vector<std::u16string>{u"/d/b.dwg"});
    EXPECT_EQ(rig.textsOnDisk(u"/d/b.dwg"), std::vector<std::u16string>{u"AB"});
}

TEST(BatchStart, AHostInUseByAnotherRunIsRefusedUntouched) {
    RunRig rig;
    rig.listDrawing(u"/d/a.dwg", {{u"AB"}});
    rig.runLock.heldElsewhere = true;
    rig.batch();
    rig.preview();
    const std::string refusal =
        "MsgBox(另一个批量替换或预览正在使用 CAD 主机，请等它结束后再试。|错误)";
    EXPECT_EQ(rig.journalFrom(), (Journal{refusal, refusal}));
    EXPECT_EQ(rig.list.entries, std::vector<std::u16string>{u"/d/a.dwg"});
    rig.runLock.heldElsewhere = false;
    rig.batch();
    EXPECT_TRUE(rig.list.entries.empty());
    EXPECT_FALSE(rig.runLock.held);  // given back after the run
}

TEST(BatchStart, EmptySearchTextContactsNothing) {
    for (bool withDrawings : {false, true}) {
        RunRig rig;
        rig.options.text1.clear();
        if (withDrawings) {
            rig.listDrawing(u"/d/a.dwg", {{u"AB"}});
        }
        rig.batch();
        EXPECT_EQ(rig.journalFrom(), (Journal{"MsgBox(查找内容不能为空！|错误)"}));
        EXPECT_EQ(rig.messages.shown.at(0).icon, MessageIcon::Stop);
        EXPECT_TRUE(rig.mainWindow.visible);
    }
}

TEST(BatchStart, EmptyListShowsProgressWithoutTouchingDrawings) {
    RunRig rig;
    rig.batch();
    Journal expected = connectAndShow();
    append(expected, {"Application.Documents", "Documents.Add(" + kTemplateDrawing + ")",
                      "List.removeAll", "Form3.runEnded"});
    EXPECT_EQ(rig.journalFrom(), expected);
    EXPECT_EQ(rig.progress.label1, u"正在替换第   页  共   页");
    EXPECT_TRUE(rig.progress.label5.empty());
    EXPECT_TRUE(rig.script.written.empty());
}

TEST(BatchFailures, SecondOfThreeDrawingsFails) {
    RunRig rig;
    for (const char16_t* path : {u"/d/1.dwg", u"/d/2.dwg", u"/d/3.dwg"}) {
        rig.listDrawing(path, {{u"AB"}});
    }
    rig.host.failAt("Text.setTextString", 2);
    rig.batch();
    ASSERT_EQ(rig.messages.shown.size(), 1u);
    EXPECT_EQ(rig.messages.shown[0], (ShownMessage{u"操作不当！", u"错误", MessageIcon::Stop}));
    EXPECT_EQ(rig.messages.details[0], u"图形：/d/2.dwg\n原因：调用失败");
    EXPECT_EQ(rig.list.entries, (std::vector<std::u16string>{u"/d/2.dwg", u"/d/3.dwg"}));
    EXPECT_EQ(rig.progress.label1, u"正在替换第 2 页   共 3 页");
    EXPECT_TRUE(rig.progress.label5.empty());
    EXPECT_FALSE(rig.mainWindow.visible);
    EXPECT_FALSE(rig.progress.running);
    EXPECT_EQ(rig.textsOnDisk(u"/d/1.dwg"), std::vector<std::u16string>{u"XY"});
    EXPECT_EQ(rig.textsOnDisk(u"/d/2.dwg"), std::vector<std::u16string>{u"AB"});
    // The failed drawing stays open with its changes, unsaved. Dialogs went off once before the
    // loop and back on after the first drawing.
    EXPECT_TRUE(rig.host.active->modified);
    EXPECT_EQ(rig.host.active->path, u"/d/2.dwg");
    EXPECT_EQ(rig.host.fileDialogs, 1);
    EXPECT_EQ(rig.journal.back(), "Form3.runEnded");
}

TEST(BatchFailures, MissingMemberIsTheWrongCadVersion) {
    // The newer path against the older host: its documents collection is missing.
    RunRig rig(Generation::R14);
    rig.options.option2 = true;
    rig.listDrawing(u"/d/a.dwg", {{u"AB"}});
    rig.batch();
    EXPECT_EQ(rig.messages.shown.at(0),
              (ShownMessage{u"CAD版本不对！", u"错误", MessageIcon::Stop}));
    EXPECT_EQ(rig.list.entries.size(), 1u);

    // Any lacking member counts the same, other error numbers do not.
    RunRig copyMissing;
    copyMissing.host.lackMember("Text.Copy");
    copyMissing.listDrawing(u"/d/a.dwg", {{u"AB"}});
    copyMissing.batch();
    EXPECT_EQ(copyMissing.messages.shown.at(0).text, u"CAD版本不对！");

    RunRig otherNumber;
    otherNumber.host.failAt("Text.Copy", 1, 439);
    otherNumber.listDrawing(u"/d/a.dwg", {{u"AB"}});
    otherNumber.batch();
    EXPECT_EQ(otherNumber.messages.shown.at(0).text, u"操作不当！");
}

TEST(BatchFailures, UnwritableScriptAndUnopenableDrawingEndTheRun) {
    RunRig rig;
    rig.script.failing = true;
    rig.listDrawing(u"/d/a.dwg", {{u"AB"}});
    rig.batch();
    EXPECT_EQ(rig.messages.shown.at(0).text, u"操作不当！");
    EXPECT_TRUE(rig.host.commands.empty());  // dialogs were never switched off

    RunRig missing;
    missing.list.entries = {u"/d/missing.dwg", u"/d/b.dwg"};
    missing.batch();
    EXPECT_EQ(missing.messages.shown.at(0).text, u"操作不当！");
    EXPECT_EQ(missing.list.entries.size(), 2u);
}

TEST(BatchFailures, AHostThatStaysBusyGetsItsOwnMessageAndItsFileDialogsBack) {
    RunRig rig;
    rig.listDrawing(u"/d/a.dwg", {{u"AB"}});
    rig.host.failAt("Text.Copy", 1, kErrorHostBusy, u"CAD 主机一直拒绝调用（正忙）");
    rig.batch();
    ASSERT_EQ(rig.messages.shown.size(), 1u);
    EXPECT_EQ(rig.messages.shown[0].text, u"CAD 主机忙，没有响应！");
    EXPECT_EQ(rig.messages.details[0], u"图形：/d/a.dwg\n原因：CAD 主机一直拒绝调用（正忙）");
    // FILEDIA was off for the first drawing; it is put back before the message.
    EXPECT_EQ(rig.host.fileDialogs, 1);
    EXPECT_EQ(rig.list.entries.size(), 1u);
}

// A host that refuses to open a drawing already open: the preview's own document is closed
// unsaved and the drawing opened afresh; one with the user's own changes stops the run.
TEST(BatchFailures, AHostThatRefusesADrawingOpenAlready) {
    RunRig rig;
    rig.host.refusesOpenTwice = true;
    rig.listDrawing(u"/d/a.dwg", {{u"AB"}});
    ReplacementRun run = rig.makeRun();
    run.runPreview();
    run.runPreview();  // the first preview's document is the preview's too
    run.runBatch();
    EXPECT_TRUE(rig.messages.shown.empty());
    EXPECT_TRUE(rig.list.entries.empty());
    EXPECT_EQ(rig.textsOnDisk(u"/d/a.dwg"), std::vector<std::u16string>{u"XY"});
    EXPECT_EQ(std::count(rig.journal.begin(), rig.journal.end(), "Document.Close(false)"), 2);

    RunRig users;
    users.host.refusesOpenTwice = true;
    users.listDrawing(u"/d/a.dwg", {{u"AB"}});
    users.host.openNew(u"/d/a.dwg", {{u"user's"}}, {})->modified = true;
    users.batch();
    ASSERT_EQ(users.messages.shown.size(), 1u);
    EXPECT_EQ(
        users.messages.shown[0].text,
        u"图形“/d/a.dwg”已在 CAD 主机中打开，并有未保存的修改。请先在 CAD 主机中保存或关闭它，"
        u"再重新开始。");
    EXPECT_EQ(users.list.entries.size(), 1u);
    EXPECT_EQ(users.textsOnDisk(u"/d/a.dwg"), std::vector<std::u16string>{u"AB"});
    EXPECT_TRUE(users.host.documents.at(1)->modified);
    EXPECT_FALSE(users.host.documents.at(1)->closed);
}

TEST(BatchFailures, NoHostGivesTwoMessagesInARow) {
    RunRig rig;
    rig.host.running = false;
    rig.host.installed = false;
    rig.listDrawing(u"/d/a.dwg", {{u"AB"}});
    rig.batch();
    const std::vector<ShownMessage> expected = {
        {u"ActiveX 部件不能创建对象", u"Quorvel", MessageIcon::None},
        {u"操作不当！", u"错误", MessageIcon::Stop},
    };
    EXPECT_EQ(rig.messages.shown, expected);
    EXPECT_FALSE(rig.progress.shown);
    EXPECT_TRUE(rig.mainWindow.visible);
    EXPECT_EQ(rig.list.entries.size(), 1u);
}

TEST(BatchFailures, HostWindowNotFoundEndsTheRun) {
    RunRig rig;
    rig.host.failAt("Window.activateByTitle", 1, kErrorInvalidCall, u"找不到窗口");
    rig.listDrawing(u"/d/a.dwg", {{u"AB"}});
    rig.batch();
    EXPECT_EQ(rig.messages.shown.at(0).text, u"操作不当！");
    EXPECT_FALSE(rig.progress.shown);
}

}  // namespace
}  // namespace quorvel::engine::testing
