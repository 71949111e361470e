// Whole runs of quorvel-batch over drawings that ezdxf wrote, read back with ezdxf.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "tests/batch/batchrun.h"

namespace quorvel::testsupport {
namespace {

namespace fs = std::filesystem;

TEST_F(BatchRunTest, EveryKindChangesInPlaceAsEzdxfReadsIt) {
    std::string output;
    ASSERT_EQ(run("--find OLD --replace 新值 --kinds all " + quoted(drawings_.string()), &output),
              0)
        << output;
    EXPECT_FALSE(runId(output).empty()) << output;
    for (const char* name : kDrawings) {
        SCOPED_TRACE(name);
        const auto before = textsOfEveryKind(originals_ / name);
        const auto after = textsOfEveryKind(drawings_ / name);
        ASSERT_EQ(after.size(), before.size());  // same handles: edited in place
        EXPECT_EQ(after.at("AUDIT").text, "0");
        for (const auto& [handle, seen] : before) {
            if (handle == "AUDIT")
                continue;
            // The pictures of dimensions (*D blocks) follow their overrides.
            std::string expected = replaceAll(seen.text, "OLD", "新值");
            if (seen.text.find("O{\\C1;LD}") != std::string::npos)
                expected =
                    replaceAll(replaceAll(seen.text, "O{\\C1;LD}", "新值{\\C1;}"), "OLD", "新值");
            EXPECT_EQ(after.at(handle), (Seen{seen.kind, seen.block, expected})) << handle;
        }
        // Long multi-line text went back in chunks a reader takes.
        std::istringstream lines(readFile(drawings_ / name));
        for (std::string line; std::getline(lines, line);)
            EXPECT_LE(line.size(), 256u);
    }
}

TEST_F(BatchRunTest, DryRunChangesNothingAndReportsWhatARealRunChanges) {
    const fs::path dryReport = folder_.path() / "dry.csv";
    const fs::path realReport = folder_.path() / "real.csv";
    const std::string arguments = "--find OLD --replace NEW --kinds all --layer 'TEXTS,0' " +
                                  quoted(drawings_.string()) + " --report ";
    std::string output;
    ASSERT_EQ(run("--dry-run " + arguments + quoted(dryReport.string()), &output), 0) << output;
    EXPECT_TRUE(runId(output).empty());
    for (const char* name : kDrawings)
        EXPECT_TRUE(sameAsOriginal(name)) << name;
    ASSERT_EQ(run(arguments + quoted(realReport.string()), &output), 0) << output;
    const std::string report = readFile(dryReport);
    EXPECT_EQ(report.substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_EQ(report, readFile(realReport));

    // The report names exactly the texts whose value changed, as ezdxf sees them.
    std::set<std::string> changed;
    for (const char* name : kDrawings) {
        const auto before = textsOfEveryKind(originals_ / name);
        for (const auto& [handle, seen] : textsOfEveryKind(drawings_ / name)) {
            // A dimension's picture follows it: the report names the dimension.
            if (!(seen == before.at(handle)) && seen.block.rfind("*D", 0) != 0)
                changed.insert((drawings_ / name).string() + "," + handle);
        }
    }
    std::set<std::string> reported;
    std::istringstream rows(report);
    std::string row;
    std::getline(rows, row);
    while (std::getline(rows, row)) {
        if (row.rfind(drawings_.string(), 0) == 0)  // not the second line of a quoted field
            reported.insert(row.substr(0, row.find(',', row.find(',') + 1)));
    }
    EXPECT_EQ(reported, changed);
    EXPECT_GT(changed.size(), 15u);
    EXPECT_NE(report.find(",布局 布局二,TEXTS,单行文字,paper OLD,paper NEW"), std::string::npos);
}

TEST_F(BatchRunTest, ListFilesAndFoldersGiveEachDrawingOnce) {
    fs::create_directories(drawings_ / "sub");
    fs::rename(drawings_ / "r12.dxf", drawings_ / "sub" / "r12.dxf");
    const std::string twice = (drawings_ / "r2018_utf8.dxf").string();
    // A list file as the windows write it: GBK, CR LF, paths as typed.
    writeFile(folder_.path() / "list.txt",
              twice + "\r\n" + twice + "  \r\n" + drawings_.string() + "\r\n");
    std::string output;
    ASSERT_EQ(run("--find OLD --replace 'OLD OLD' --recursive @" +
                      quoted((folder_.path() / "list.txt").string()),
                  &output),
              0)
        << output;
    EXPECT_EQ(textsOfEveryKind(drawings_ / "r2018_utf8.dxf").at("30").text, "single OLD OLD ✓");
    EXPECT_EQ(textsOfEveryKind(drawings_ / "r2000_gbk.dxf").at("30").text, "single OLD OLD 中文");
    EXPECT_EQ(textsOfEveryKind(drawings_ / "sub" / "r12.dxf").at("2E").text, "single OLD OLD r12");
    EXPECT_NE(output.find("图形 3 个"), std::string::npos) << output;
}

TEST_F(BatchRunTest, HeightAndJustificationGoToTheChangedTextsOnly) {
    const fs::path drawing = drawings_ / "r2018_utf8.dxf";
    std::string output;
    ASSERT_EQ(run("--find single --replace 单 --height 5 --justify MC " + quoted(drawing.string()),
                  &output),
              0)
        << output;
    const EzdxfView view = readWithEzdxf(drawing);
    const TextSeen& changed = view.texts.at("30");
    EXPECT_EQ(changed.text, "单 OLD ✓");
    EXPECT_DOUBLE_EQ(changed.height, 5);
    EXPECT_EQ(changed.horizontal, 1);
    EXPECT_EQ(changed.vertical, 2);
    EXPECT_DOUBLE_EQ(view.texts.at("31").height, 2.5);
    EXPECT_EQ(view.auditErrors, 0);
}

TEST_F(BatchRunTest, UndoGivesBackTheOriginalBytesButNotOverLaterChanges) {
    std::string output;
    ASSERT_EQ(
        run("--find OLD --replace X --kinds all --jobs 2 " + quoted(drawings_.string()), &output),
        0);
    const std::string id = runId(output);
    ASSERT_FALSE(id.empty()) << output;
    const fs::path touched = drawings_ / "r12.dxf";
    writeFile(touched, "999\nedited later\n" + readFile(touched));

    EXPECT_EQ(run("--undo " + id, &output), 1) << output;
    EXPECT_FALSE(sameAsOriginal("r12.dxf"));
    EXPECT_TRUE(sameAsOriginal("r2000_gbk.dxf"));
    EXPECT_TRUE(sameAsOriginal("r2018_utf8.dxf"));
    EXPECT_EQ(run("--undo " + id + " --force", &output), 0) << output;
    for (const char* name : kDrawings)
        EXPECT_TRUE(sameAsOriginal(name)) << name;
    EXPECT_EQ(run("--undo no-such-run", &output), 2);
}

TEST_F(BatchRunTest, AFailingDrawingIsReportedAndTheOthersGoOn) {
    writeFile(drawings_ / "r2000_gbk.dxf", "0\nSECTION\n2\nENTITIES\n0\nTEXT\n1\nOLD\n");
    std::string output;
    EXPECT_EQ(run("--find OLD --replace NEW --jobs 1 " + quoted(drawings_.string()) + " " +
                      quoted((drawings_ / "missing.dxf").string()),
                  &output),
              1);
    EXPECT_NE(output.find("r2000_gbk.dxf：失败"), std::string::npos) << output;
    EXPECT_NE(output.find("missing.dxf：失败"), std::string::npos) << output;
    EXPECT_EQ(textsOfEveryKind(drawings_ / "r12.dxf").at("2E").text, "single NEW r12");
    EXPECT_EQ(textsOfEveryKind(drawings_ / "r2018_utf8.dxf").at("30").text, "single NEW ✓");
    EXPECT_EQ(run("--find OLD " + quoted(drawings_.string()), &output), 2);
}

// Codes, stacks, dimension pictures and multi-line attributes, as ezdxf reads the result.
TEST_F(BatchRunTest, MatchesWhatAReaderSees) {
    const fs::path folder = folder_.path() / "visible";
    fs::create_directories(folder);
    ASSERT_TRUE(runEzdxf({"make-visible", folder.string()}));
    writeFile(folder_.path() / "pairs.txt",
              "J\tXY\n°\t度\nTypical\tMain\n2\"x5\tZ\n\"x5\t\"x6\n⌀\t直径\nOLD\tNEW\n");
    std::string output;
    ASSERT_EQ(run("--kinds all --pairs " + quoted((folder_.path() / "pairs.txt").string()) +
                      " --report " + quoted((folder_.path() / "r.csv").string()) + " " +
                      quoted(folder.string()),
                  &output),
              0)
        << output;
    for (const char* name : {"visible_r2018.dxf", "visible_r2013.dxf"}) {
        SCOPED_TRACE(name);
        const auto texts = textsOfEveryKind(folder / name);
        EXPECT_EQ(texts.at("AUDIT").text, "0");
        EXPECT_EQ(texts.at("2F").text, "Mtext^Jwith");
        EXPECT_EQ(texts.at("30").text, "45度 TO 60度");
        EXPECT_EQ(texts.at("31").text, "2{\\H0.7x;\\S1#2;}\"x6{\\S1#4;}\"");
        EXPECT_EQ(texts.at("32").text, "%%UMain Assembly Detail");
        // The picture follows its override; a picture that shows something else keeps both.
        EXPECT_EQ(texts.at("33").text, "直径<>");
        EXPECT_EQ(texts.at("43").text, "\\A1;{\\C1;直径}50");
        EXPECT_EQ(texts.at("47").text, "OLD<>");
        EXPECT_NE(output.find(std::string(name) + "，句柄 47：标注图形中的文字与替代文字对不上"),
                  std::string::npos)
            << output;
    }
    const std::string line = "my multi line text\\Psecond NEW line";
    EXPECT_EQ(textsOfEveryKind(folder / "visible_r2018.dxf").at("5D").text, "||" + line);
    EXPECT_EQ(textsOfEveryKind(folder / "visible_r2013.dxf").at("5D").text, line + "||" + line);
    const std::string report = readFile(folder_.path() / "r.csv");
    EXPECT_NE(report.find(",标注,⌀<>,直径<>"), std::string::npos) << report;
    EXPECT_NE(report.find(",\"2 1/2\"\"x5 1/4\"\"\",\"2 1/2\"\"x6 1/4\"\"\""), std::string::npos)
        << report;
}

// Tables (cells in the entity before R2007, as values from R2007, a second time in a TABLECONTENT
// object) and multileaders, as ezdxf and the raw tags read them: every copy and the table's
// picture change, fields and numbers stay, a table whose copies disagree stays whole, and
// nothing else in the file changes.
TEST_F(BatchRunTest, TablesAndMultileadersChangeEveryCopyOrStayWhole) {
    const fs::path before = folder_.path() / "before";
    const fs::path after = folder_.path() / "tables";
    fs::create_directories(before);
    ASSERT_TRUE(runEzdxf({"make-tables", before.string()}));
    fs::copy(before, after);
    std::string output;
    ASSERT_EQ(
        run("--find OLD --replace 新值 --kinds table,mleader " + quoted(after.string()), &output),
        0)
        << output;
    EXPECT_NE(output.find("table_content_differs.dxf，句柄 39：单元格文字在表格内容对象"
                          "（TABLECONTENT）中另存了一份，两处不一致，未修改此表格"),
              std::string::npos)
        << output;
    EXPECT_EQ(readFile(after / "table_content_differs.dxf"),
              readFile(before / "table_content_differs.dxf"));
    const std::map<std::string, std::string> changedRecords = {
        {"mleader_r2018.dxf", "MULTILEADER 2F"},
        {"table_r2004_gbk.dxf", "MTEXT 34,MTEXT 35,MTEXT 37,MTEXT 38,ACAD_TABLE 39"},
        {"table_r2010.dxf", "MTEXT 34,MTEXT 35,MTEXT 37,ACAD_TABLE 39"},
        {"table_content_r2018.dxf", "MTEXT 34,MTEXT 35,MTEXT 37,ACAD_TABLE 39,TABLECONTENT 3C"},
        {"table_content_differs.dxf", ""}};
    for (const auto& [name, records] : changedRecords) {
        SCOPED_TRACE(name);
        std::string changed;
        ASSERT_TRUE(
            runEzdxf({"changed", (before / name).string(), (after / name).string()}, &changed));
        std::string seen;
        std::istringstream lines(changed);
        for (std::string line; std::getline(lines, line);) {
            if (line.starts_with("CHANGED\t"))
                seen += (seen.empty() ? "" : ",") + replaceAll(line.substr(8), "\t", " ");
        }
        EXPECT_EQ(seen, records);
        EXPECT_NE(changed.find("AUDIT\t0\n"), std::string::npos) << changed;
        // Numbers are values (from R2007), fields the host's: both stay, with their pictures.
        const bool legacy = name == "table_r2004_gbk.dxf";
        const bool whole = name == "table_content_differs.dxf";
        const auto old = textsOfEveryKind(before / name);
        const auto now = textsOfEveryKind(after / name);
        ASSERT_EQ(now.size(), old.size());
        for (const auto& [handle, text] : old) {
            const bool stays = whole || (text.block == "*Model_Space" && text.kind == "MTEXT") ||
                               text.text.find("field") != std::string::npos ||
                               (text.text == "OLD 12" && !legacy);
            EXPECT_EQ(now.at(handle).text, stays ? text.text : replaceAll(text.text, "OLD", "新值"))
                << handle;
        }
    }
}

// Drawings of other writers with tables and multileaders, from a folder named by
// QUORVEL_KINDS_CORPUS (none is shipped with Debian): each result reads in ezdxf as its original
// did, and only tables, their TABLECONTENT, their pictures' texts and multileaders differ.
TEST_F(BatchRunTest, TablesAndMultileadersOfOtherWriters) {
    const char* corpus = std::getenv("QUORVEL_KINDS_CORPUS");
    if (!corpus)
        GTEST_SKIP() << "QUORVEL_KINDS_CORPUS names no folder";
    const fs::path after = folder_.path() / "corpus";
    fs::copy(corpus, after);
    writeFile(folder_.path() / "pairs.txt", "e\tÉ\nLEADER\t引线\nxx\t叉叉\nTable\t表格\n");
    std::string output;
    ASSERT_EQ(
        run("--kinds table,mleader --pairs " + quoted((folder_.path() / "pairs.txt").string()) +
                " " + quoted(after.string()),
            &output),
        0)
        << output;
    const std::set<std::string> editable = {"ACAD_TABLE", "TABLECONTENT", "MULTILEADER", "MTEXT",
                                            "TEXT"};
    int edited = 0;
    for (const auto& entry : fs::directory_iterator(corpus)) {
        SCOPED_TRACE(entry.path().string());
        std::string before, changed;
        ASSERT_TRUE(runEzdxf({"changed", entry.path().string(), entry.path().string()}, &before));
        ASSERT_TRUE(
            runEzdxf({"changed", entry.path().string(), (after / entry.path().filename()).string()},
                     &changed));
        std::istringstream lines(changed);
        std::string line;
        std::getline(lines, line);
        EXPECT_EQ(line + "\n", before.substr(0, before.find('\n') + 1));  // audit, as before
        std::getline(lines, line);
        EXPECT_EQ(line + "\n", before.substr(before.find('\n') + 1));  // as many records
        while (std::getline(lines, line)) {
            const std::string type = line.substr(8, line.find('\t', 8) - 8);
            EXPECT_TRUE(editable.contains(type)) << line;
            edited += type == "ACAD_TABLE" || type == "MULTILEADER";
        }
    }
    EXPECT_GT(edited, 0);
}

}  // namespace
}  // namespace quorvel::testsupport
