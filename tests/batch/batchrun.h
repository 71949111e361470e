#pragma once
// Runs of the quorvel-batch program over copies of drawings ezdxf wrote, each test in a folder of
// its own with its own data folder for the journal.

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

#include "tests/support/ezdxf_reference.h"

namespace quorvel::testsupport {

inline const char* const kDrawings[] = {"r12.dxf", "r2000_gbk.dxf", "r2018_utf8.dxf"};

inline std::string quoted(const std::string& text) {
    std::string out = "'";
    for (const char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

using Seen = KindText;

inline std::string replaceAll(std::string text, const std::string& find, const std::string& with) {
    for (std::size_t at = text.find(find); at != std::string::npos;
         at = text.find(find, at + with.size())) {
        text.replace(at, find.size(), with);
    }
    return text;
}

class BatchRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!ezdxfAvailable())
            GTEST_SKIP() << "ezdxf is not installed";
        originals_ = ezdxfKindDrawings();
        drawings_ = folder_.path() / "drawings";
        std::filesystem::create_directories(drawings_);
        for (const char* name : kDrawings)
            std::filesystem::copy_file(originals_ / name, drawings_ / name);
    }

    // The program with `arguments`; `before` goes in front of the command (a shell prefix).
    int run(const std::string& arguments, std::string* output = nullptr,
            const std::string& before = "") {
        std::string text;
        const int status =
            runCommand(before + " env XDG_DATA_HOME=" + quoted((folder_.path() / "data").string()) +
                           " " + QUORVEL_BATCH_PROGRAM + " " + arguments + " 2>&1",
                       &text);
        if (output)
            *output = text;
        return status;
    }

    static std::string runId(const std::string& output) {
        std::smatch match;
        const std::regex line("(^|\n)运行编号：([0-9A-Za-z-]+)\n");
        return std::regex_search(output, match, line) ? match[2].str() : "";
    }

    bool sameAsOriginal(const char* name) {
        return readFile(drawings_ / name) == readFile(originals_ / name);
    }

    std::filesystem::path runFolder(const std::string& id) const {
        return folder_.path() / "data" / "quorvel" / "runs" / id;
    }

    TemporaryFolder folder_;
    std::filesystem::path originals_;
    std::filesystem::path drawings_;
};

}  // namespace quorvel::testsupport
