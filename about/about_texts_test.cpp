// Tests of the version dialog's texts.
#include "about/about_texts.h"

#include <gtest/gtest.h>

namespace about {
namespace {

TEST(AboutTexts, VersionLineWritesEachNumberInItsShortestDecimalForm)
{
    EXPECT_EQ(version_line(1, 0, 0), "ﾊﾞｰｼﾞｮﾝ 1.0.0");
    EXPECT_EQ(version_line(2, 10, 305), "ﾊﾞｰｼﾞｮﾝ 2.10.305");
    EXPECT_EQ(version_line(-1, 32767, -32768), "ﾊﾞｰｼﾞｮﾝ -1.32767.-32768");
}

TEST(AboutTexts, CaptionIsTheTitleFollowedDirectlyByTheSuffix)
{
    EXPECT_EQ(about_caption("X"), "Xのﾊﾞｰｼﾞｮﾝ情報");
    EXPECT_EQ(about_caption(""), "のﾊﾞｰｼﾞｮﾝ情報");
}

TEST(AboutTexts, CopyrightBreaksTheLineAtEveryPairOfSpacesFromTheLeft)
{
    EXPECT_EQ(copyright_lines("(C) 2024 Company"), "(C) 2024 Company");
    EXPECT_EQ(copyright_lines("(C)  Company"), "(C)\r\nCompany");
    EXPECT_EQ(copyright_lines("(C)   Company"), "(C)\r\n Company");
    EXPECT_EQ(copyright_lines("(C)    Company"), "(C)\r\n\r\nCompany");
    EXPECT_EQ(copyright_lines("  lead, trail  "), "\r\nlead, trail\r\n");
    EXPECT_EQ(copyright_lines("著作権\t\t表示　　全角"), "著作権\t\t表示　　全角");
    EXPECT_EQ(copyright_lines(""), "");
}

} // namespace
} // namespace about
