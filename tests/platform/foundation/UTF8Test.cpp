#include "platform/foundation/UTF8.h"

#include <gtest/gtest.h>

TEST(UTF8, AcceptsWellFormedTextOnly) {
    EXPECT_TRUE(isValidUTF8(""));
    EXPECT_TRUE(isValidUTF8("plain ascii"));
    EXPECT_TRUE(isValidUTF8("caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x94\xA5"));  // 2, 3 and 4 bytes
    EXPECT_TRUE(isValidUTF8("\xF4\x8F\xBF\xBF"));                           // U+10FFFF
    for (const char* bad : {"\xE9",                   // Latin-1
                            "\xC0\xAF",               // overlong slash
                            "\xE0\x80\xAF",           // overlong, three bytes
                            "\xED\xA0\x80",           // surrogate
                            "\xF4\x90\x80\x80",       // above U+10FFFF
                            "\xE2\x82",               // cut short
                            "\x80"})                  // lone continuation byte
        EXPECT_FALSE(isValidUTF8(bad)) << bad;
}

TEST(UTF8, LossyDecodingReplacesEachBadByte) {
    EXPECT_EQ(decodeUTF8Lossy("a\xE9z"), "a\xEF\xBF\xBDz");
    EXPECT_EQ(decodeUTF8Lossy("\xE2\x82"), "\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(decodeUTF8Lossy("ok \xE2\x82\xAC"), "ok \xE2\x82\xAC");
}
