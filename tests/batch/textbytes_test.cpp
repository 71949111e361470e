// quorvel-batch and the bytes of texts: bytes that do not decode survive a replacement, input
// that is not text is refused, and no value grows past what the drawing's version holds.
#include <gtest/gtest.h>

#include "batch/options.h"
#include "tests/support/ezdxf_reference.h"

namespace quorvel::testsupport {
namespace {

namespace fs = std::filesystem;
using batch::parseArguments;
using batch::parsePairs;
using batch::UsageError;

TEST(TextInputTest, InvalidUtf8InFindReplaceOrPairsIsRefused) {
    EXPECT_THROW(parseArguments({"--find", "\xC3", "--replace", "b", "x.dxf"}), UsageError);
    EXPECT_THROW(parseArguments({"--find", "a", "--replace", "b\xFF", "x.dxf"}), UsageError);
    // Neither UTF-8 nor GBK (0xFF starts nothing in either); GBK and UTF-8 files still read.
    EXPECT_THROW(parsePairs("a\t\xFF\n"), UsageError);
    EXPECT_EQ(parsePairs("\xBE\xC9\t\xD0\xC2\n")[0].replace, u"新");
}

class BatchBytesTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!ezdxfAvailable())
            GTEST_SKIP() << "ezdxf is not installed";
        for (const char* name : {"r12.dxf", "r2000_gbk.dxf", "r2018_utf8.dxf"})
            fs::copy_file(ezdxfKindDrawings() / name, folder_.path() / name);
    }

    int run(const std::string& arguments, std::string* output) {
        return runCommand("XDG_DATA_HOME='" + (folder_.path() / "data").string() + "' " +
                              QUORVEL_BATCH_PROGRAM + " " + arguments + " 2>&1",
                          output);
    }

    fs::path drawing(const char* name) const { return folder_.path() / name; }

    TemporaryFolder folder_;
};

TEST_F(BatchBytesTest, BytesThatAreNotGbkComeBackAsTheyWere) {
    std::string bytes = readFile(drawing("r2000_gbk.dxf"));
    const std::string before = "\nsingle OLD \xD6\xD0\xCE\xC4";  // "中文" in GBK
    ASSERT_NE(bytes.find(before), std::string::npos);
    bytes.replace(bytes.find(before), before.size(), "\nx\xFFy OLD caf\xE9 \\M+5D6D0");
    writeFile(drawing("r2000_gbk.dxf"), bytes);

    std::string output;
    ASSERT_EQ(run("--find OLD --replace 新 '" + drawing("r2000_gbk.dxf").string() + "'", &output),
              0)
        << output;
    EXPECT_NE(readFile(drawing("r2000_gbk.dxf")).find("\nx\xFFy \xD0\xC2 caf\xE9 \\M+5D6D0\n"),
              std::string::npos);

    // Input that is not UTF-8 never reaches a drawing.
    const std::string unchanged = readFile(drawing("r2018_utf8.dxf"));
    EXPECT_EQ(
        run("--find '\xC3' --replace x '" + drawing("r2018_utf8.dxf").string() + "'", &output), 2);
    EXPECT_NE(output.find("不是有效的 UTF-8 文字"), std::string::npos) << output;
    EXPECT_EQ(readFile(drawing("r2018_utf8.dxf")), unchanged);
}

TEST_F(BatchBytesTest, AValueLongerThanTheVersionHoldsIsRefusedAndNothingSaved) {
    const std::string long2018(3000, 'y');  // more than 2,049 bytes
    const std::string long12(300, 'y');     // more than 255 bytes
    const std::string r2018 = readFile(drawing("r2018_utf8.dxf"));
    const std::string r12 = readFile(drawing("r12.dxf"));
    std::string output;
    EXPECT_EQ(
        run("--find OLD --replace " + long2018 + " '" + drawing("r2018_utf8.dxf").string() + "'",
            &output),
        1);
    EXPECT_NE(output.find("2049 字节"), std::string::npos) << output;
    EXPECT_EQ(run("--find OLD --replace " + long12 + " --kinds attrib '" +
                      drawing("r12.dxf").string() + "'",
                  &output),
              1);
    EXPECT_NE(output.find("255 字节"), std::string::npos) << output;
    EXPECT_EQ(readFile(drawing("r2018_utf8.dxf")), r2018);
    EXPECT_EQ(readFile(drawing("r12.dxf")), r12);

    // Multi-line text goes in chunks, whatever its length.
    ASSERT_EQ(run("--find OLD --replace " + long2018 + " --kinds mtext '" +
                      drawing("r2018_utf8.dxf").string() + "'",
                  &output),
              0)
        << output;
    bool found = false;
    for (const auto& [handle, seen] : textsOfEveryKind(drawing("r2018_utf8.dxf")))
        found = found || (seen.kind == "MTEXT" && seen.text.find(long2018) != std::string::npos);
    EXPECT_TRUE(found);
}

}  // namespace
}  // namespace quorvel::testsupport
