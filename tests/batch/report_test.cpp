// The HTML report's pictures: drawn where ezdxf reads the shapes, hostile text kept as text, one
// self-contained file, and small for a large drawing.
#include <gtest/gtest.h>

#include <regex>

#include "batch/svgpicture.h"
#include "tests/batch/batchrun.h"

namespace quorvel::testsupport {
namespace {

namespace fs = std::filesystem;

const char* const kHostile = "NEW<script>alert(\"x\")</script>&'";

// The report from its drawing pictures on: a dry run's title differs, nothing else may.
std::string pictures(const std::string& report) {
    return report.substr(report.find("<div class=\"drawings\">"));
}

TEST_F(BatchRunTest, ReportPicturesShowTheDrawingAsEzdxfReadsIt) {
    const fs::path folder = folder_.path() / "picture";
    fs::create_directories(folder);
    const fs::path drawing = folder / "p.dxf";
    writeDrawing("picture", drawing);
    const std::string arguments = "--find OLD --replace " + quoted(kHostile) + " --kinds all " +
                                  quoted(drawing.string()) + " --report ";
    std::string output;
    ASSERT_EQ(run("--dry-run " + arguments + quoted((folder / "dry.html").string()), &output), 0)
        << output;
    ASSERT_EQ(run(arguments + quoted((folder / "r.html").string()), &output), 0) << output;

    // Every shape where ezdxf has it, each row's old and new text marked in its pictures.
    std::string checked;
    EXPECT_TRUE(runEzdxf({"check-report", (folder / "r.html").string(), drawing.string(),
                          (folder / "p.bak").string()},
                         &checked))
        << checked;
    const std::string report = readFile(folder / "r.html");
    // A dry run shows the edit it would make, in the same pictures.
    EXPECT_EQ(pictures(readFile(folder / "dry.html")), pictures(report));

    // Text of a drawing stays text; nothing is fetched from elsewhere.
    EXPECT_EQ(report.find("<script>alert"), std::string::npos);
    EXPECT_NE(report.find("NEW&lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt;&amp;&#39;"),
              std::string::npos);
    const std::regex outside(
        R"((src|href)\s*=|<link|<iframe|url\(|@import|https?://(?!www\.w3\.org/2000/svg"))",
        std::regex::icase | std::regex::ECMAScript);
    EXPECT_FALSE(std::regex_search(report, outside));
}

TEST_F(BatchRunTest, ReportOfALargeDrawingStaysSmall) {
    const fs::path folder = folder_.path() / "large";
    fs::create_directories(folder);
    ASSERT_TRUE(runEzdxf({"bench", (folder / "large.dxf").string(), "400", "30000"}));
    std::string output;
    ASSERT_EQ(run("--dry-run --find 旧文本 --replace 新文本 " + quoted(folder.string()) +
                      " --report " + quoted((folder / "r.html").string()),
                  &output),
              0)
        << output;
    const std::string report = readFile(folder / "r.html");
    EXPECT_LT(report.size(), 8u << 20);
    // The space's picture keeps its largest shapes only.
    const std::size_t space = report.find("<div class=\"space\">");
    const std::string overview = report.substr(space, report.find("</svg>", space) - space);
    const std::regex shape(R"(M-?\d|font-size=)");
    EXPECT_LE(std::distance(std::sregex_iterator(overview.begin(), overview.end(), shape),
                            std::sregex_iterator()),
              static_cast<long>(batch::kOverviewShapes));
    // Rows past the cap keep their marks but get no pictures of their own.
    const auto row = [&](int n) {
        const std::size_t at = report.find("data-n=\"" + std::to_string(n) + "\">");
        return report.substr(at, report.find("</tr>", at) - at);
    };
    EXPECT_NE(row(1).find("<svg"), std::string::npos);
    EXPECT_EQ(row(400).find("<svg"), std::string::npos);
    EXPECT_NE(overview.find("data-row=\"400\""), std::string::npos);
}

TEST(XmlText, KeepsEveryTextOfADrawingAsText) {
    EXPECT_EQ(batch::xmlText("a<b>&\"c'\x01\x1f\td\n\xff\xef\xbf\xbe"),
              "a&lt;b&gt;&amp;&quot;c&#39;\td\n\xef\xbf\xbd\xef\xbf\xbd");
}

}  // namespace
}  // namespace quorvel::testsupport
