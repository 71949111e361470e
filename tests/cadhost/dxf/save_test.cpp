// Saving: what reaches the disk is the drawing as edited, in order, with its backup, or nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "cadhost/dxf/drawing.h"
#include "cadhost/dxf/tags.h"
#include "dxf_test_support.h"

namespace quorvel::dxf {
namespace {

using testing::readFile;
using testing::TemporaryFolder;

// A drawing the way CAD programs write them: padded codes, CR LF, a text every tenth entity.
std::string largeDrawing(int entities, std::uint64_t handseed = 0) {
    std::string out =
        "  0\r\nSECTION\r\n  2\r\nHEADER\r\n  9\r\n$ACADVER\r\n  1\r\nAC1009\r\n"
        "  9\r\n$DWGCODEPAGE\r\n  3\r\nDOS850\r\n  9\r\n$HANDSEED\r\n  5\r\n" +
        formatHandle(handseed ? handseed : static_cast<std::uint64_t>(entities) + 0x100) +
        "\r\n  0\r\nENDSEC\r\n  0\r\nSECTION\r\n  2\r\nENTITIES\r\n";
    for (int i = 0; i < entities; ++i) {
        const std::string handle = formatHandle(static_cast<std::uint64_t>(i) + 0x20);
        const std::string at = std::to_string(i) + ".0";
        if (i % 10 == 0) {
            out += "  0\r\nTEXT\r\n  5\r\n" + handle + "\r\n  8\r\nTEXTS\r\n 10\r\n" + at +
                   "\r\n 20\r\n0.0\r\n 40\r\n2.5\r\n  1\r\ntext " + std::to_string(i) + "\r\n";
        } else {
            out += "  0\r\nLINE\r\n  5\r\n" + handle + "\r\n  8\r\n0\r\n 10\r\n" + at +
                   "\r\n 20\r\n0.0\r\n 11\r\n" + at + "\r\n 21\r\n1.0\r\n";
        }
    }
    return out + "  0\r\nENDSEC\r\n  0\r\nEOF\r\n";
}

TEST(DrawingSave, LargeEditedDrawingsReachTheDiskInOrder) {
    TemporaryFolder folder;
    // Untouched stretches shorter than, around and longer than the writer's buffer.
    for (const int entities : {500, 5000, 12000, 40000}) {
        SCOPED_TRACE(entities);
        Drawing drawing = Drawing::fromBytes(largeDrawing(entities));
        const auto texts = drawing.select({0}, {"TEXT"});
        for (const EntityId id : {texts.back(), texts[texts.size() / 2]}) {
            const EntityId copy = drawing.copy(id);
            drawing.erase(id);
            drawing.setText(copy, "新的文字");
        }
        const auto file = folder.path() / "large.dxf";
        drawing.save(file);
        const std::string saved = readFile(file);
        const std::string expected = drawing.toBytes();
        ASSERT_TRUE(saved == expected)
            << "file begins " << saved.substr(0, 40) << ", differs from byte "
            << std::mismatch(saved.begin(), saved.end(), expected.begin(), expected.end()).first -
                   saved.begin();
        const Drawing reread = Drawing::load(file);
        EXPECT_EQ(reread.select({0}, {"TEXT"}).size(), texts.size());
        EXPECT_EQ(reread.select({0}, {"LINE"}).size(), drawing.select({0}, {"LINE"}).size());
        EXPECT_EQ(reread.select({1}, {"新的文字"}).size(), 2u);
    }
}

}  // namespace
}  // namespace quorvel::dxf
