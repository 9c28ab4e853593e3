#include "base/wildcard.h"

#include <gtest/gtest.h>

#include <string>

namespace kestrawl::base {
namespace {

struct Case {
  const char* pattern;
  const char* name;
  bool match;
};

TEST(WildcardTest, WindowsRules) {
  const Case cases[] = {
      // "*.*" and "*" match everything, names without a dot too.
      {"*.*", "README", true},
      {"*.*", "a.b.c", true},
      {"*", ".hidden", true},
      // "*." matches only names without an extension.
      {"*.", "README", true},
      {"*.", "readme.txt", false},
      {"*.", "a.b", false},
      // "name.*" also matches the bare name.
      {"setup.*", "setup", true},
      {"setup.*", "setup.exe", true},
      {"setup.*", "setupx", false},
      // '?' is one character, or none at the end or before a dot.
      {"a?", "ab", true},
      {"a?", "a", true},
      {"a?", "abc", false},
      {"???.txt", "ab.txt", true},
      {"???.txt", "abcd.txt", false},
      {"a?c", "abc", true},
      {"a?c", "ac", false},
      // Case is ignored, beyond ASCII too.
      {"*.TXT", "notes.txt", true},
      {"GRÜSSE*", "grüsse.doc", true},
      {"*.txt", "notes.txt.bak", false},
      {"*.t*", "a.b.txt", true},
      {"*a*b*", "xaYbz", true},
      {"*a*b*", "xbYaz", false},
      {"exact.txt", "EXACT.TXT", true},
      {"exact.txt", "exact.tx", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(WildcardMatch(c.pattern, c.name), c.match) << c.pattern << " vs " << c.name;
  }
}

TEST(WildcardTest, LongAndBrokenInputStaysDefined) {
  std::string stars(3000, '*');
  EXPECT_TRUE(WildcardMatch(stars + "x", std::string(3000, 'a') + "x"));
  EXPECT_FALSE(WildcardMatch(std::string(5000, '*'), "a"));  // past any file name length
  EXPECT_TRUE(WildcardMatch("?", "\xC3"));                  // invalid UTF-8 counts as one character
}

TEST(WildcardTest, HasWildcards) {
  EXPECT_TRUE(HasWildcards("*.txt"));
  EXPECT_TRUE(HasWildcards("a?"));
  EXPECT_FALSE(HasWildcards("plain.txt"));
}

}  // namespace
}  // namespace kestrawl::base
