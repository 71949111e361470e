// Font files read for the characters they hold, and the report's warning for new characters a
// text's style cannot show, over a drawing ezdxf wrote.
#include <gtest/gtest.h>

#include <fstream>

#include "batch/fontfiles.h"
#include "tests/support/ezdxf_reference.h"

namespace quorvel::batch {
namespace {

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::writeFile;

const fs::path kLatinFont = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
const fs::path kChineseCollection = "/usr/share/fonts/truetype/arphic/uming.ttc";

void appendU16(std::string& out, unsigned value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>(value >> 8);
}

// A compiled SHX file of the given format whose shapes are numbered `numbers` (shape 0, the
// font's description, is added). The first word of the signature is not looked at.
std::string shxFile(const std::string& format, const std::vector<unsigned>& numbers) {
    std::string out = "Test-86 " + format + "\r\n\x1A";
    if (format == "unifont 1.0") {
        appendU16(out, static_cast<unsigned>(numbers.size() + 1));
        appendU16(out, 0);
        appendU16(out, 4);
        out += std::string("u\0\5\2", 4);
        for (const unsigned number : numbers) {
            appendU16(out, number);
            appendU16(out, 2);
            out += std::string(2, '\0');
        }
        return out;
    }
    if (format == "bigfont 1.0")
        return out + std::string(16, '\0');
    std::vector<unsigned> all{0};
    all.insert(all.end(), numbers.begin(), numbers.end());
    appendU16(out, all.front());
    appendU16(out, all.back());
    appendU16(out, static_cast<unsigned>(all.size()));
    for (const unsigned number : all) {
        appendU16(out, number);
        appendU16(out, 2);
    }
    return out + std::string(2 * all.size(), '\0') + "EOF";
}

std::vector<unsigned> printableAscii() {
    std::vector<unsigned> numbers;
    for (unsigned c = 0x20; c < 0x7F; ++c)
        numbers.push_back(c);
    return numbers;
}

TEST(FontFilesTest, ShxFormatsAndWhatCannotBeRead) {
    const FontFile shapes = readFontFile(shxFile("shapes 1.1", printableAscii()));
    EXPECT_EQ(shapes.kind, FontFile::Kind::ShapeFont);
    EXPECT_TRUE(shapes.holds(U'A'));
    EXPECT_FALSE(shapes.holds(0));  // the description is no character
    EXPECT_FALSE(shapes.holds(U'Ж'));
    const FontFile unifont = readFontFile(shxFile("unifont 1.0", {U'A', U'中'}));
    EXPECT_EQ(unifont.kind, FontFile::Kind::UniFont);
    EXPECT_TRUE(unifont.holds(U'中'));
    EXPECT_FALSE(unifont.holds(U'B'));
    EXPECT_EQ(readFontFile(shxFile("bigfont 1.0", {})).kind, FontFile::Kind::BigFont);
    // Cut short, or a format never seen: unknown rather than "holds nothing".
    const std::string whole = shxFile("shapes 1.0", printableAscii());
    EXPECT_EQ(readFontFile(whole.substr(0, 40)).kind, FontFile::Kind::Unknown);
    EXPECT_EQ(readFontFile("Test-86 shapes 2.0\r\n\x1A").kind, FontFile::Kind::Unknown);
    EXPECT_EQ(readFontFile("not a font").kind, FontFile::Kind::Unknown);
}

TEST(FontFilesTest, TrueTypeFontsAndCollections) {
    if (!fs::exists(kLatinFont) || !fs::exists(kChineseCollection))
        GTEST_SKIP() << "fonts-dejavu-core and fonts-arphic-uming are not installed";
    const std::string latinBytes = readFile(kLatinFont);
    const FontFile latin = readFontFile(latinBytes);
    ASSERT_EQ(latin.kind, FontFile::Kind::TrueType);
    EXPECT_TRUE(latin.holds(U'A'));
    EXPECT_TRUE(latin.holds(U'Ж'));
    EXPECT_FALSE(latin.holds(U'中'));
    EXPECT_FALSE(latin.holds(0xFFFF));
    const FontFile chinese = readFontFile(readFile(kChineseCollection));
    ASSERT_EQ(chinese.kind, FontFile::Kind::TrueType);
    EXPECT_TRUE(chinese.holds(U'中'));
    EXPECT_TRUE(chinese.holds(U'图'));
    for (const std::size_t cut : {std::size_t{12}, std::size_t{600}})
        EXPECT_EQ(readFontFile(latinBytes.substr(0, cut)).kind, FontFile::Kind::Unknown) << cut;

    // Faces by the names inside the files, whatever the files are called.
    testsupport::TemporaryFolder folder;
    fs::create_symlink(kLatinFont, folder.path() / "a.ttf");
    fs::create_symlink(kChineseCollection, folder.path() / "b.ttc");
    writeFile(folder.path() / "c.ttf", latinBytes.substr(0, 600));
    const FontFolder fonts({folder.path()});
    ASSERT_NE(fonts.findFace("dejavu sans"), nullptr);
    EXPECT_FALSE(fonts.findFace("DejaVu Sans")->holds(U'中'));
    ASSERT_NE(fonts.findFace("AR PL UMing TW MBE"), nullptr);
    EXPECT_TRUE(fonts.findFace("AR PL UMing TW MBE")->holds(U'中'));
    EXPECT_EQ(fonts.findFace("SimSun"), nullptr);
    EXPECT_EQ(fonts.find("A.TTF"), fonts.findFace("DejaVu Sans"));
}

// Whole runs: the report's column and the count, by the styles alone and with the font files.
class DisplayWarningTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testsupport::ezdxfAvailable())
            GTEST_SKIP() << "ezdxf is not installed";
        testsupport::writeDrawing("styles", folder_.path() / "styles.dxf");
        fs::create_directories(fonts_);
    }

    // The report's last column by the new text of each row.
    std::map<std::string, std::string> warnings(const std::string& extra, std::string* output) {
        const fs::path report = folder_.path() / "report.csv";
        const std::string command = std::string(QUORVEL_BATCH_PROGRAM) +
                                    " --dry-run --kinds all --find OLD --replace 新Ж " + extra +
                                    " --report " + report.string() + " " +
                                    (folder_.path() / "styles.dxf").string() + " 2>&1";
        EXPECT_EQ(testsupport::runCommand(command, output), 0) << *output;
        std::map<std::string, std::string> byText;
        std::istringstream rows(readFile(report));
        std::string row;
        std::getline(rows, row);
        EXPECT_NE(row.find(",新文字,可能无法显示\r"), std::string::npos) << row;
        while (std::getline(rows, row)) {
            row.pop_back();  // '\r'
            const std::size_t last = row.rfind(',');
            const std::size_t text = row.rfind(',', last - 1);
            byText[row.substr(text + 1, last - text - 1)] = row.substr(last + 1);
        }
        return byText;
    }

    testsupport::TemporaryFolder folder_;
    fs::path fonts_ = folder_.path() / "fonts";
};

TEST_F(DisplayWarningTest, ByTheStylesAlone) {
    std::string output;
    const auto byText = warnings("", &output);
    EXPECT_EQ(byText.at("新Ж SHXONLY"), "样式 SHXONLY：SHX 字体 txt.shx 没有大字体，不能显示“新”");
    EXPECT_EQ(byText.at("新Ж MTEXT"), byText.at("新Ж SHXONLY"));
    EXPECT_EQ(byText.at("新Ж WITHBIG"), "");
    EXPECT_EQ(byText.at("新Ж FACE"), "");
    EXPECT_EQ(byText.at("x 新Ж INLINE"), "");  // switches to a face of its own
    EXPECT_EQ(byText.at("新Ж DIM"), "");
    EXPECT_EQ(byText.at("新Ж 宋体样式"), "");  // a face, where the font file belongs
    EXPECT_NE(output.find("其中 3 处新文字"), std::string::npos) << output;  // and BARE
}

TEST_F(DisplayWarningTest, ByTheFontFiles) {
    if (!fs::exists(kLatinFont))
        GTEST_SKIP() << "fonts-dejavu-core is not installed";
    writeFile(fonts_ / "TXT.SHX", shxFile("shapes 1.0", printableAscii()));
    // SHX and TrueType files in folders of their own, as a drafter's machine keeps them.
    const fs::path trueType = folder_.path() / "truetype";
    fs::create_directories(trueType);
    fs::copy_file(kLatinFont, trueType / "DejaVuSans.ttf");
    const std::string folders = "--fonts " + fonts_.string() + " --fonts " + trueType.string();
    std::string output;
    auto byText = warnings(folders, &output);
    const std::string notInTxt = "；SHX 字体 txt.shx 中没有“Ж”";
    EXPECT_EQ(byText.at("新Ж SHXONLY"),
              "样式 SHXONLY：SHX 字体 txt.shx 没有大字体，不能显示“新”" + notInTxt);
    // GBK, and so the big font, holds Cyrillic too.
    EXPECT_EQ(byText.at("新Ж WITHBIG"),
              "样式 WITHBIG：大字体 gbcbig.shx 在字体文件夹中找不到，不能显示“新Ж”");
    const std::string notInFace =
        "样式 FACE：TrueType 字体 DejaVu Sans（DejaVuSans.ttf）中没有“新”";
    EXPECT_EQ(byText.at("新Ж FACE"), notInFace);
    // The text style of its dimension style, or its own override of it.
    EXPECT_EQ(byText.at("新Ж DIM"), notInFace);
    EXPECT_EQ(byText.at("新Ж DIMOVERRIDE"), notInFace);
    EXPECT_EQ(byText.at("x 新Ж INLINE"), "");
    EXPECT_EQ(byText.at("新Ж BARE"), "样式 BARE：TrueType 字体 DejaVu Sans 中没有“新”");
    EXPECT_EQ(byText.at("新Ж 宋体样式"), "");  // not in the folders
    EXPECT_NE(output.find("其中 7 处新文字"), std::string::npos) << output;

    writeFile(fonts_ / "gbcbig.shx", shxFile("bigfont 1.0", {}));
    byText = warnings(folders, &output);
    EXPECT_EQ(byText.at("新Ж WITHBIG"), "");  // both characters are the big font's
}

}  // namespace
}  // namespace quorvel::batch
