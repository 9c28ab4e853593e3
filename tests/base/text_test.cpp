#include "base/text.h"

#include <gtest/gtest.h>

namespace kestrawl::base {
namespace {

TEST(TextTest, Utf16RoundTripKeepsEveryPlane) {
  const std::string samples[] = {"", "plain", "Grüße", "日本語", "emoji 😀 end"};
  for (const auto& s : samples) EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(s)), s);
  EXPECT_EQ(Utf8ToUtf16("😀").size(), 2u);
}

TEST(TextTest, InvalidUtf8BecomesReplacementCharacter) {
  EXPECT_EQ(Utf8ToUtf16("a\xC3"), u"a\uFFFD");
  EXPECT_EQ(Utf8ToUtf16("\xC0\x80"), u"\uFFFD\uFFFD");  // overlong form
}

TEST(TextTest, CaseRulesCoverNonLatinScripts) {
  EXPECT_TRUE(EqualsNoCase("TargetDir", "TARGETDIR"));
  EXPECT_TRUE(EqualsNoCase("ÄÖÜ", "äöü"));
  EXPECT_TRUE(EqualsNoCase("ΣΟΦΙΑ", "σοφια"));
  EXPECT_FALSE(EqualsNoCase("abc", "abd"));
  EXPECT_EQ(ToUpper("straße"), "STRASSE");
  EXPECT_EQ(ToLower("ÉCOLE"), "école");
  EXPECT_LT(CompareNoCase("apple", "Banana"), 0);
  EXPECT_TRUE(StartsWithNoCase("HKEY_Local", "hkey_"));
  EXPECT_TRUE(EndsWithNoCase("Setup.EXE", ".exe"));
}

}  // namespace
}  // namespace kestrawl::base
