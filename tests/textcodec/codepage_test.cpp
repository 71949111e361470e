#include "textcodec/codepage936.h"

#include <gtest/gtest.h>

using quorvel::codepage::fromCodePage936;
using quorvel::codepage::toCodePage936;

TEST(CodePage936, AsciiAndChineseBothWays) {
    EXPECT_EQ(toCodePage936(u"batch.scr"), "batch.scr");
    EXPECT_EQ(toCodePage936(u"文字"), "\xCE\xC4\xD7\xD6");
    EXPECT_EQ(fromCodePage936("\xCE\xC4\xD7\xD6 ok"), u"文字 ok");
    EXPECT_EQ(toCodePage936(u""), "");
    EXPECT_EQ(fromCodePage936(""), u"");
    // Full-width punctuation that the program's own texts use.
    EXPECT_EQ(fromCodePage936(toCodePage936(u"所有文件（*.*)！")), u"所有文件（*.*)！");
}

TEST(CodePage936, WhatGbkCannotHoldBecomesOneQuestionMarkPerCharacter) {
    EXPECT_EQ(toCodePage936(u"x😀y"), "x?y");
    EXPECT_EQ(toCodePage936(u"\u0E01\u0E02"), "??");  // Thai
    const std::u16string loneHigh(1, u'\xD83D');
    const std::u16string loneLow(1, u'\xDE00');
    EXPECT_EQ(toCodePage936(u"a" + loneHigh + u"b"), "a?b");
    EXPECT_EQ(toCodePage936(u"a" + loneLow), "a?");
    EXPECT_EQ(toCodePage936(u"a" + loneHigh), "a?");
    EXPECT_EQ(toCodePage936(std::u16string(u"a\0b", 3)), std::string("a\0b", 3));
}

TEST(CodePage936, BytesThatDoNotDecodeAreReplacedAndTheRestSurvives) {
    EXPECT_EQ(fromCodePage936("\xFF"
                              "a"),
              u"\uFFFD"
              "a");
    EXPECT_EQ(fromCodePage936("a\xCE"), u"a\uFFFD");               // cut after a lead byte
    EXPECT_EQ(fromCodePage936("\xCE\x20\xCE\xC4"), u"\uFFFD 文");  // lead byte with a bad trail
}

TEST(CodePage936, LongTextsConvertInFull) {
    std::u16string text;
    for (int i = 0; i < 50000; ++i) {
        text += u"图纸";
    }
    const std::string bytes = toCodePage936(text);
    EXPECT_EQ(bytes.size(), 200000u);
    EXPECT_EQ(fromCodePage936(bytes), text);
}
