// The shared text helpers: one rule each.
#include "host/common/text.h"

#include <gtest/gtest.h>

namespace sowfield::host {
namespace {

TEST(Text, TrimTakesAsciiWhiteSpaceFromBothEndsOnly) {
    EXPECT_EQ(trim(" \t\r\n\f\vName = 1 \t\r\n\f\v"), "Name = 1");
    EXPECT_EQ(trim(" \t "), "");
    EXPECT_EQ(trim("\xa0x"), "\xa0x");  // not ASCII white space
}

TEST(Text, CaseIsIgnoredForAsciiLettersOnly) {
    EXPECT_TRUE(equal_ignoring_case("Size WeightMap", "size weightmap"));
    EXPECT_FALSE(equal_ignoring_case("Size", "Sizes"));
    EXPECT_FALSE(equal_ignoring_case("[", "{"));  // '[' + 32 is '{', but neither is a letter
    EXPECT_FALSE(equal_ignoring_case("\xc9", "\xe9"));
}

TEST(Text, HexIsLowerCaseAndPaddedToTheDigitsAsked) {
    EXPECT_EQ(hex(0), "0x0");
    EXPECT_EQ(hex(0x8001), "0x8001");
    EXPECT_EQ(hex(0xABCDEF, 8), "0x00abcdef");
    EXPECT_EQ(hex(0xFFFFFFFFFFFFFFFFull), "0xffffffffffffffff");
}

}  // namespace
}  // namespace sowfield::host
