#include "base/comma_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrawl::base {
namespace {

using Items = std::vector<std::string>;

TEST(CommaListTest, Writing) {
  const std::pair<Items, std::string> cases[] = {
      {{}, ""},
      {{""}, "\"\""},
      {{"a"}, "a"},
      {{"a", "b", "c"}, "a,b,c"},
      {{"", ""}, ","},
      {{"a", "", "b"}, "a,,b"},
      {{"", "a"}, ",a"},
      {{"a", ""}, "a,"},
      {{"two words"}, "\"two words\""},
      {{"x,y"}, "\"x,y\""},
      {{"say \"hi\""}, "\"say \"\"hi\"\"\""},
      {{"tab\there"}, "\"tab\there\""},
      {{"C:\\Program Files\\App", "HKLM|machine"}, "\"C:\\Program Files\\App\",HKLM|machine"},
      {{"Grüße", "日本"}, "Grüße,日本"},  // bytes above the space are not blanks
      {{"a=b;c"}, "a=b;c"},
  };
  for (const auto& [items, text] : cases) EXPECT_EQ(JoinCommaText(items), text) << text;
}

TEST(CommaListTest, Reading) {
  const std::pair<std::string, Items> cases[] = {
      {"", {}},
      {"   ", {}},
      {"\"\"", {""}},
      {"a,b", {"a", "b"}},
      {"a b", {"a", "b"}},                     // unquoted white space splits
      {"a , b", {"a", "b"}},                   // blanks around a comma are dropped
      {" \t a\r\n b ", {"a", "b"}},
      {"a,,b", {"a", "", "b"}},
      {",a", {"", "a"}},
      {"a,", {"a", ""}},                       // a trailing comma ends an empty item
      {"a, ", {"a", ""}},
      {",", {"", ""}},
      {"\"a b\",\"c,d\"", {"a b", "c,d"}},
      {"\"say \"\"hi\"\"\"", {"say \"hi\""}},
      {"\"\"\"\"", {"\""}},
      {"\"a\"b", {"a", "b"}},                  // text right after a closing quote starts an item
      {"\"unterminated, text", {"unterminated, text"}},
      {"ab\"c", {"ab\"c"}},                    // a quote inside an unquoted item is kept
  };
  for (const auto& [text, items] : cases) EXPECT_EQ(SplitCommaText(text), items) << text;
}

TEST(CommaListTest, RoundTrip) {
  const Items cases[] = {
      {},
      {""},
      {"", ""},
      {"", "", ""},
      {"a", ""},
      {"", "a"},
      {" leading", "trailing ", " "},
      {"\"", "\"\"", "\"quoted\"", "mid\"dle"},
      {",", ",,", "a,b"},
      {"line\r\nbreak", "\t", "bell\a", std::string("nul\0inside", 10), std::string(1, '\0')},
      {"C:\\Program Files (x86)\\App\\", "HKEY_LOCAL_MACHINE|", "Software\\Vendor"},
      {"Grüße", "日本語", "emoji 😀"},
      {"a,\"b c\",d", "nested"},  // an item that is itself a comma text
  };
  for (const Items& items : cases) {
    std::string text = JoinCommaText(items);
    EXPECT_EQ(SplitCommaText(text), items) << text;
    // Unquoted items never carry blanks, so a written list splits the same way.
    EXPECT_EQ(JoinCommaText(SplitCommaText(text)), text);
  }
}

TEST(CommaListTest, NestedListsUnwrap) {
  Items inner = {"HKLM|", "Software\\My App", "Value Name"};
  std::string inner_text = JoinCommaText(inner);
  std::string outer_text = JoinCommaText({inner_text});
  Items outer = SplitCommaText(outer_text);
  ASSERT_EQ(outer.size(), 1u);
  EXPECT_EQ(SplitCommaText(outer[0]), inner);
}

}  // namespace
}  // namespace kestrawl::base
