#include "patches/regex/CSRegex.h"
#include "patches/regex/CSRegexException.h"
#include "patches/regex/CSRegexStringOperations.h"

#include <gtest/gtest.h>

TEST(CSRegex, MatchingIsUnanchoredCaseSensitiveAndNoMatchIsNull) {
    EXPECT_TRUE(matchedByPattern("", ".*"));
    EXPECT_TRUE(matchedByPattern("anything at all", ".*"));
    EXPECT_TRUE(matchedByPattern("abc", "b"));
    EXPECT_FALSE(matchedByPattern("abc", "^b"));
    EXPECT_FALSE(matchedByPattern("abc", "B"));
    EXPECT_TRUE(matchedByPattern("Synth Port 1", "Port [0-9]+$"));

    const StringRef piece = substringMatchedByPattern("xxabbbcxx", "ab+c");
    ASSERT_TRUE(piece);
    EXPECT_EQ(*piece, "abbbc");
    EXPECT_EQ(substringMatchedByPattern("xyz", "ab+c"), nullptr);
    EXPECT_FALSE(substringsCapturedByPattern("xyz", "a(b)c").has_value());
}

TEST(CSRegex, CapturesTellAGroupThatTookNoPartFromAnEmptyOne) {
    EXPECT_EQ(CSRegex::null(), CSRegex::null());
    EXPECT_EQ(*CSRegex::null(), "");

    const auto absent = substringsCapturedByPattern("ac", "a(b)?c");
    ASSERT_TRUE(absent.has_value());
    ASSERT_EQ(absent->size(), 2u);
    EXPECT_EQ(*(*absent)[0], "ac");
    EXPECT_EQ((*absent)[1], CSRegex::null());

    const auto empty = substringsCapturedByPattern("ac", "a(b*)c");
    ASSERT_TRUE(empty.has_value());
    ASSERT_EQ(empty->size(), 2u);
    ASSERT_TRUE((*empty)[1]);
    EXPECT_EQ(*(*empty)[1], "");
    EXPECT_NE((*empty)[1], CSRegex::null());

    const auto noGroups = substringsCapturedByPattern("say hello there", "hel+o");
    ASSERT_TRUE(noGroups.has_value());
    ASSERT_EQ(noGroups->size(), 1u);
    EXPECT_EQ(*(*noGroups)[0], "hello");

    const auto nested = substringsCapturedByPattern("key=value", "(([a-z]+)=)([a-z]+)");
    ASSERT_TRUE(nested.has_value());
    ASSERT_EQ(nested->size(), 4u);
    EXPECT_EQ(*(*nested)[1], "key=");
    EXPECT_EQ(*(*nested)[2], "key");
    EXPECT_EQ(*(*nested)[3], "value");
}

TEST(CSRegex, OffsetsAreBytesOfUTF8AndBadPiecesDecodeWithReplacement) {
    // "é" is two bytes: the match after it starts at byte 3.
    EXPECT_EQ(*substringMatchedByPattern("caf\xC3\xA9 noir", "n.*"), "noir");
    EXPECT_EQ(*substringMatchedByPattern("caf\xC3\xA9 noir", "caf\xC3\xA9"), "caf\xC3\xA9");
    // A group ending inside the two-byte character holds its first byte only.
    const auto split = substringsCapturedByPattern("\xC3\xA9", "^(\xC3)");
    ASSERT_TRUE(split.has_value());
    EXPECT_EQ(*(*split)[1], "\xEF\xBF\xBD");
}

TEST(CSRegex, EscapedPatternEscapesTheSyntaxCharactersOnly) {
    EXPECT_EQ(*escapedPattern("a.b]"), "a\\.b]");
    EXPECT_EQ(*escapedPattern("x{1}"), "x\\{1}");
    EXPECT_EQ(*escapedPattern("^.[$()|*+?{\\"), "\\^\\.\\[\\$\\(\\)\\|\\*\\+\\?\\{\\\\");
    EXPECT_EQ(*escapedPattern("plain caf\xC3\xA9"), "plain caf\xC3\xA9");
    // An escaped text matches itself literally.
    const std::string name = "Synth (1) [A].*";
    EXPECT_TRUE(matchedByPattern(name, "^" + *escapedPattern(name) + "$"));
    EXPECT_FALSE(matchedByPattern("Synth (1) [A]xx", "^" + *escapedPattern(name) + "$"));
}

TEST(CSRegex, ABadPatternThrowsWithTheLibrarysReason) {
    try {
        matchedByPattern("subject", "(");
        FAIL() << "no exception";
    } catch (const CSRegexException& e) {
        const std::string reason = e.what();
        EXPECT_EQ(reason.rfind("Could not compile regex \"(\": ", 0), 0u) << reason;
        EXPECT_GT(reason.size(), std::string("Could not compile regex \"(\": ").size());
        EXPECT_EQ(e.reason(), reason);
        EXPECT_STREQ(CSRegexException::name, "CSRegexException");
    }
    EXPECT_THROW(CSRegex("a[b", 0), CSRegexException);
    EXPECT_THROW(substringsCapturedByPattern("x", "*+("), CSRegexException);
}
