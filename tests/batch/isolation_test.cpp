// Drawings that crash or hang the engine fail alone, and --retry runs only them again.
#include <gtest/gtest.h>

#include "tests/batch/batchrun.h"

namespace quorvel::testsupport {
namespace {

namespace fs = std::filesystem;

TEST_F(BatchRunTest, ACrashOrHangFailsOnlyItsDrawingAndRetryRunsOnlyThoseAgain) {
    fs::copy_file(originals_ / "r2018_utf8.dxf", drawings_ / "crash.dxf");
    fs::copy_file(originals_ / "r2018_utf8.dxf", drawings_ / "hang.dxf");
    // "OLD OLD" tells a drawing changed twice from one changed once.
    const std::string options = "--find OLD --replace 'OLD OLD' --kinds all --layer 'TEXTS,0' ";
    std::string output;
    ASSERT_EQ(run(options + "--jobs 2 --timeout 3 " + quoted(drawings_.string()), &output,
                  "QUORVEL_BATCH_WORKER_FAULT=abort:crash.dxf,hang:hang.dxf"),
              1)
        << output;
    const std::string id = runId(output);
    EXPECT_NE(output.find("crash.dxf：失败，读入或修改图形时工作进程崩溃（信号 6，SIGABRT）"),
              std::string::npos)
        << output;
    EXPECT_NE(output.find("hang.dxf：失败，处理超过 3 秒"), std::string::npos) << output;
    EXPECT_NE(output.find("成功 3 个，失败 2 个"), std::string::npos) << output;
    EXPECT_EQ(readFile(drawings_ / "crash.dxf"), readFile(originals_ / "r2018_utf8.dxf"));
    EXPECT_EQ(readFile(drawings_ / "hang.dxf"), readFile(originals_ / "r2018_utf8.dxf"));
    const auto once = textsOfEveryKind(drawings_ / "r2018_utf8.dxf");
    EXPECT_EQ(once.at("30").text, "single OLD OLD ✓");

    // Paths or other options do not go with --retry; nor do options the journal did not write.
    EXPECT_EQ(run("--retry " + id + " " + quoted(drawings_.string()), &output), 2) << output;
    EXPECT_EQ(run("--retry " + id + " --exact", &output), 2) << output;
    const fs::path journal = runFolder(id) / "journal.tsv";
    const std::string kept = readFile(journal);
    writeFile(journal, replaceAll(kept, "\noptions\t", "\noptions\t--report\tx.csv\t"));
    EXPECT_EQ(run("--retry " + id, &output), 2) << output;
    writeFile(journal, kept);

    ASSERT_EQ(run("--retry " + id + " --jobs 1", &output), 0) << output;
    EXPECT_NE(output.find("图形 2 个，成功 2 个"), std::string::npos) << output;
    // The same options as the first run, once, and nothing else run again.
    EXPECT_EQ(textsOfEveryKind(drawings_ / "crash.dxf"), once);
    EXPECT_EQ(textsOfEveryKind(drawings_ / "hang.dxf"), once);
    EXPECT_EQ(textsOfEveryKind(drawings_ / "r2018_utf8.dxf"), once);
    EXPECT_EQ(textsOfEveryKind(drawings_ / "r12.dxf").at("2E").text, "single OLD OLD r12");
    EXPECT_EQ(run("--retry " + runId(output), &output), 0) << output;
    EXPECT_NE(output.find("没有需要重试的图形"), std::string::npos) << output;
}

}  // namespace
}  // namespace quorvel::testsupport
