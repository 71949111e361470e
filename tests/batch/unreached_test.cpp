// What a run does not search, counted per drawing, against ezdxf's count
// (tests/support/unreached_model.py): a drawing with every such thing, and drawings of other
// writers (QUORVEL_DXF_CORPUS=full takes them all).
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>

#include "tests/batch/batchrun.h"

namespace quorvel::testsupport {
namespace {

namespace fs = std::filesystem;

std::string unreachedModel(const std::string& arguments) {
    std::string output;
    runCommand(std::string("/usr/bin/python3 ") + QUORVEL_UNREACHED_MODEL + " " + arguments,
               &output);
    return output;
}

// The model's lines as the report's rows: tab-separated to CSV, references on lines of their own.
std::set<std::string> expectedRows(const std::string& modelOutput) {
    std::set<std::string> rows;
    std::istringstream lines(modelOutput);
    for (std::string line; std::getline(lines, line);) {
        std::string row;
        std::istringstream fields(line);
        for (std::string field; std::getline(fields, field, '\t');) {
            field = replaceAll(field, "\\n", "\n");
            if (field.find_first_of(",\"\n") != std::string::npos)
                field = "\"" + replaceAll(field, "\"", "\"\"") + "\"";
            row += (row.empty() ? "" : ",") + field;
        }
        rows.insert(row);
    }
    return rows;
}

// The rows of the report's section on what was not searched.
std::set<std::string> reportedRows(const std::string& report) {
    const std::string heading =
        "未搜索的内容,代理对象,OLE 对象,外部参照,含字段的文字,匿名块中的文字\r\n";
    const std::size_t begin = report.find(heading);
    if (begin == std::string::npos)
        return {{"no section"}};
    // Rows end at an empty line; a quoted field holds lone line feeds only.
    std::set<std::string> rows;
    for (std::size_t at = begin + heading.size(), end; (end = report.find("\r\n", at)) != at;
         at = end + 2)
        rows.insert(report.substr(at, end - at));
    return rows;
}

TEST_F(BatchRunTest, WhatARunDoesNotSearchIsCountedAsEzdxfCountsIt) {
    const fs::path drawing = drawings_ / "unreached.dxf";
    unreachedModel("write " + quoted(drawing.string()));
    const std::string counted = unreachedModel("count " + quoted(drawing.string()));
    ASSERT_NE(counted, "");
    const fs::path report = folder_.path() / "report.csv";
    std::string output;
    ASSERT_EQ(run("--find 甲 --replace 乙 --kinds all --report " + quoted(report.string()) + " " +
                      quoted(drawing.string()),
                  &output),
              0)
        << output;
    EXPECT_EQ(reportedRows(readFile(report)), expectedRows(counted));
    EXPECT_NE(output.find("未搜索：" + drawing.string() +
                          "：代理对象 1 个，OLE 对象 1 个，外部参照 1 个（首层底图：..\\底图\\首层."
                          "dwg），含字段的文字 2 处（更新字段时会被改回），匿名块中的文字 2 处\n"),
              std::string::npos)
        << output;
    // Texts of anonymous blocks stay as they are.
    EXPECT_NE(readFile(drawing).find("动态块 甲"), std::string::npos);
    const fs::path page = folder_.path() / "report.html";
    ASSERT_EQ(run("--dry-run --find 甲 --replace 乙 --ignore-case --report " +
                      quoted(page.string()) + " " + quoted(drawing.string()),
                  &output),
              0)
        << output;
    const std::string html = readFile(page);
    EXPECT_NE(html.find("<p>运行选项：--ignore-case</p>"), std::string::npos);
    EXPECT_NE(html.find("<td>首层底图：..\\底图\\首层.dwg</td><td>2</td><td>2</td></tr>"),
              std::string::npos)
        << html;
}

TEST_F(BatchRunTest, WhatARunDoesNotSearchInOtherWritersDrawingsAgreesWithEzdxf) {
    const char* mode = std::getenv("QUORVEL_DXF_CORPUS");
    const bool full = mode && std::string(mode) == "full";
    std::vector<std::string> drawings;
    for (const char* root : {"/usr/share/librecad", "/usr/share/openscad/testdata"}) {
        std::error_code error;
        for (const auto& entry : fs::recursive_directory_iterator(root, error)) {
            std::string extension = entry.path().extension().string();
            std::transform(extension.begin(), extension.end(), extension.begin(), ::tolower);
            if (entry.is_regular_file() && extension == ".dxf")
                drawings.push_back(entry.path().string());
        }
    }
    std::sort(drawings.begin(), drawings.end());
    std::string list;
    for (std::size_t i = 0; i < drawings.size(); ++i) {
        if (full || i % 20 == 0)
            list += testsupport::quoted(drawings[i]) + " ";
    }
    if (list.empty())
        GTEST_SKIP() << "no drawings of other writers installed";
    const fs::path report = folder_.path() / "report.csv";
    std::string output;
    run("--dry-run --find 甲 --replace 乙 --kinds all --report " + quoted(report.string()) + " " +
            list,
        &output);
    EXPECT_EQ(reportedRows(readFile(report)), expectedRows(unreachedModel("count " + list)));
}

}  // namespace
}  // namespace quorvel::testsupport
