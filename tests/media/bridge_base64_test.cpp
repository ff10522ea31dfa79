#include "base64.h"

#include <gtest/gtest.h>

static std::string encode(const std::string& text)
{
    return base64_encode(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

TEST(Base64, MatchesTheRfcTestVectors)
{
    EXPECT_EQ(encode(""), "");
    EXPECT_EQ(encode("f"), "Zg==");
    EXPECT_EQ(encode("fo"), "Zm8=");
    EXPECT_EQ(encode("foo"), "Zm9v");
    EXPECT_EQ(encode("foob"), "Zm9vYg==");
    EXPECT_EQ(encode("fooba"), "Zm9vYmE=");
    EXPECT_EQ(encode("foobar"), "Zm9vYmFy");
}

TEST(Base64, UsesTheStandardAlphabetForHighBytes)
{
    EXPECT_EQ(encode("\xfb\xff"), "+/8=");
    EXPECT_EQ(encode("\xff\xff\xff"), "////");
    EXPECT_EQ(encode(std::string("\0\0\0", 3)), "AAAA");
}

TEST(Base64, WritesNoLineBreaksInLongInput)
{
    std::string text = encode(std::string(3000, 'x'));
    EXPECT_EQ(text.size(), 4000u);
    EXPECT_EQ(text.find('\n'), std::string::npos);
}
