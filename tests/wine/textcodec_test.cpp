// The DXF engine's code pages through the Windows API: the same results as iconv gives on Linux.
#include <gtest/gtest.h>

#include "dxf/codepage.h"

namespace {

using quorvel::dxf::decodeEscapes;
using quorvel::dxf::TextCodec;

TEST(TextCodecOnWindows, ConvertsReplacesAndEscapes) {
    const TextCodec gbk("GBK");
    ASSERT_EQ(gbk.encoding(), "GBK");
    EXPECT_EQ(gbk.decode("\xBE\xC9\xCE\xC4\xB1\xBE"), "旧文本");
    EXPECT_EQ(gbk.encode("旧文本"), "\xBE\xC9\xCE\xC4\xB1\xBE");
    // A byte that starts no character is kept as the private code point U+10FF00 + byte, which
    // encodes back to that byte; what follows still decodes.
    EXPECT_EQ(gbk.decode("A\xFF\xBE\xC9"), "A\xF4\x8F\xBF\xBF旧");
    EXPECT_EQ(gbk.encode(gbk.decode("A\xFF\xBE\xC9")), "A\xFF\xBE\xC9");
    // What the code page lacks is written as escapes.
    EXPECT_EQ(gbk.encode("a😀"), "a\\U+D83D\\U+DE00");

    const TextCodec big5("CP950");
    EXPECT_EQ(big5.decode("\xBA\x7E\xA6\x72"), "漢字");
    EXPECT_EQ(decodeEscapes("\\M+5BEC9本"), "旧本");
    // A code page the system lacks falls back to Windows-1252, which every byte decodes in.
    EXPECT_EQ(TextCodec("NO-SUCH-CODEPAGE").encoding(), "CP1252");
}

}  // namespace
