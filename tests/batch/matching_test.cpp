// The matching options over an ezdxf-written drawing, checked against a Python model of the
// documented rules (tests/support/matching_model.py), and the combinations the tool refuses.
#include <gtest/gtest.h>

#include "tests/batch/batchrun.h"

namespace quorvel::testsupport {
namespace {

namespace fs = std::filesystem;

std::string model(const std::string& arguments, std::string* output = nullptr) {
    std::string text;
    runCommand(
        std::string("/usr/bin/python3 ") + QUORVEL_MATCHING_MODEL + " " + arguments + " 2>&1",
        &text);
    if (output)
        *output = text;
    return text;
}

class MatchingTest : public BatchRunTest {
protected:
    void SetUp() override {
        BatchRunTest::SetUp();
        if (IsSkipped())
            return;
        original_ = folder_.path() / "matching.dxf";
        model("write " + quoted(original_.string()));
        ASSERT_TRUE(fs::exists(original_));
    }
    fs::path original_;
};

TEST_F(MatchingTest, EachOptionAndCombinationAgreesWithTheModel) {
    struct Case {
        const char* find;
        const char* replace;
        const char* options;
    };
    const Case cases[] = {
        {"M1", "MX", ""},
        {"m1", "mx", "--ignore-case"},
        {"M1", "门M1", "--whole-word"},
        {"m1", "Y", "--whole-word --ignore-case"},
        {"ABC123(", "X", "--width-insensitive"},
        {"door-0", "门-", "--width-insensitive --ignore-case"},
        {"café", "咖啡", "--ignore-case"},
        {"φ", "fai", "--ignore-case"},
        {"DOOR-02", "D2", "--exact --ignore-case"},
        {"abc123(甲)", "全", "--exact --width-insensitive"},
        {"door-##", "W", "--wildcards"},
        {"DOOR-##", "W", "--wildcards --ignore-case"},
        {"DOOR-##", "W", "--wildcards --ignore-case --width-insensitive"},
        {"*M1*", "含M1", "--wildcards"},
        {"~*[门M]*", "无", "--wildcards"},
        {"ABC 123 *", "半角", "--wildcards --width-insensitive --ignore-case"},
        {"标高 ±?.###", "±0.000 标高", "--wildcards"},
        {"问题？", "答", "--wildcards --width-insensitive"},
        {"C1;m1", "C3;M9", "--raw --ignore-case"},
        {"M1", "N", "--raw --whole-word"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(std::string(test.options) + " " + test.find);
        const fs::path drawing = drawings_ / "matching.dxf";
        fs::copy_file(original_, drawing, fs::copy_options::overwrite_existing);
        std::string output;
        ASSERT_EQ(run(std::string("--kinds all ") + test.options + " --find " + quoted(test.find) +
                          " --replace " + quoted(test.replace) + " " + quoted(drawing.string()),
                      &output),
                  0)
            << output;
        EXPECT_EQ(model("check " + quoted(original_.string()) + " " + quoted(drawing.string()) +
                        " " + quoted(test.find) + " " + quoted(test.replace) + " " + test.options),
                  "");
        EXPECT_NE(readFile(drawing), readFile(original_)) << "the case changes nothing";
    }
}

TEST_F(MatchingTest, OptionsReachRetryAndTheReportAndNonsenseIsRefused) {
    std::string output;
    for (const char* nonsense : {"--wildcards --exact", "--whole-word --exact",
                                 "--whole-word --wildcards", "--host bus --ignore-case"}) {
        EXPECT_EQ(run(std::string(nonsense) + " --find a --replace b " + quoted(drawings_.string()),
                      &output),
                  2)
            << nonsense;
        EXPECT_NE(output.find("--"), std::string::npos) << output;
    }
    // A run whose one drawing fails is retried with the same matching options.
    const fs::path report = folder_.path() / "report.csv";
    const fs::path drawing = drawings_ / "matching.dxf";
    fs::copy_file(original_, drawing);
    run("--kinds all --ignore-case --width-insensitive --find ｍ１ --replace 甲 " +
            quoted(drawing.string()),
        &output, "QUORVEL_BATCH_WORKER_FAULT=abort:matching.dxf");
    const std::string id = runId(output);
    ASSERT_FALSE(id.empty()) << output;
    ASSERT_EQ(run("--retry " + id + " --report " + quoted(report.string()), &output), 0) << output;
    EXPECT_EQ(model("check " + quoted(original_.string()) + " " + quoted(drawing.string()) +
                    " ｍ１ 甲 --ignore-case --width-insensitive"),
              "");
    EXPECT_NE(readFile(report).find("--ignore-case --width-insensitive"), std::string::npos);
}

}  // namespace
}  // namespace quorvel::testsupport
