#include "script/hash_table.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace kestrawl::script {
namespace {

std::vector<std::pair<std::string, std::string>> Enumerate(const TStringHashTable& table) {
  std::vector<std::pair<std::string, std::string>> out;
  THashEnumerator it(table);
  while (it.MoveNext()) out.emplace_back(it.Key(), it.Value());
  return out;
}

// Runs f and returns the message of the EHashTableError it throws ("" if none).
template <typename F>
std::string ErrorOf(F&& f) {
  try {
    f();
  } catch (const EHashTableError& e) {
    return e.what();
  }
  return "";
}

TStringHashTable StoreTable() { return TStringHashTable(THashCaseMode::kCaseInsensitive, 0, 2.0); }

TEST(ElfHashTest, KnownValues) {
  // Expected values come from the textbook formulation (g = h & 0xF0000000).
  const std::pair<std::u16string, uint32_t> cases[] = {
      {u"", 0},
      {u"a", 0x61},
      {u"a1", 0x641},               // 0x61 * 16 + 0x31
      {u"printf", 0x077905a6},
      {u"abcdefghij", 0x0abaa66a},  // long enough for the top bits to fold back
      {u"\U0001F600x", 0x00e61d78}, // a surrogate pair hashes as two code units
  };
  for (const auto& [text, hash] : cases) EXPECT_EQ(ElfHash(text), hash) << hash;
}

TEST(StringHashTableTest, CaseInsensitiveHashAgreesWithEquality) {
  TStringHashTable table = StoreTable();
  const std::pair<std::string, std::string> equal[] = {
      {"TargetDir", "TARGETDIR"}, {"straße", "STRASSE"}, {"ÄÖÜ", "äöü"},
      {"ΣΟΦΟΣ", "σοφος"},          {"K", "\u212A"},       // Kelvin sign folds to k
  };
  for (const auto& [a, b] : equal) {
    ASSERT_TRUE(table.KeysEqual(a, b)) << a;
    EXPECT_EQ(table.HashOf(a), table.HashOf(b)) << a;
    table.Put(a, "v");
    EXPECT_TRUE(table.Contains(b)) << b;
  }
  EXPECT_EQ(table.Count(), std::size(equal));
  // ASCII names hash as their lower-case form.
  EXPECT_EQ(table.HashOf("TARGETDIR"), ElfHash(u"targetdir"));
}

TEST(StringHashTableTest, CaseSensitiveKeysAreDistinct) {
  TStringHashTable table(THashCaseMode::kCaseSensitive);
  table.Put("TargetDir", "1");
  table.Put("TARGETDIR", "2");
  EXPECT_EQ(table.Count(), 2u);
  EXPECT_NE(table.HashOf("TargetDir"), table.HashOf("TARGETDIR"));
  std::string value;
  ASSERT_TRUE(table.TryGet("TargetDir", value));
  EXPECT_EQ(value, "1");
  EXPECT_FALSE(table.Contains("targetdir"));
}

TEST(StringHashTableTest, ReplaceKeepsFirstKeyCase) {
  TStringHashTable table = StoreTable();
  table.Put("TargetDir", "C:\\A");
  table.Put("TARGETDIR", "C:\\B");
  EXPECT_EQ(table.Count(), 1u);
  auto pairs = Enumerate(table);
  ASSERT_EQ(pairs.size(), 1u);
  EXPECT_EQ(pairs[0], std::make_pair(std::string("TargetDir"), std::string("C:\\B")));
}

TEST(StringHashTableTest, EnumerationIsBucketOrderNewestFirst) {
  // With 32 buckets (lower-cased ELF hash mod 32):
  //   "b"  = 0x62          -> bucket 2
  //   "a"  = 0x61          -> bucket 1
  //   "a0" = 0x61*16+0x30  -> 0x640, bucket 0
  //   "A1" = 0x61*16+0x31  -> 0x641, bucket 1 (linked after "a", so before it)
  //   "zz" = 0x7a*16+0x7a  -> 0x81a, bucket 26
  TStringHashTable table = StoreTable();
  for (const char* key : {"b", "a", "a0", "A1", "zz"}) table.Put(key, std::string(key) + "!");
  ASSERT_EQ(table.BucketCount(), 32u);
  std::vector<std::string> keys;
  for (const auto& [key, value] : Enumerate(table)) {
    EXPECT_EQ(value, key + "!");
    keys.push_back(key);
  }
  EXPECT_EQ(keys, (std::vector<std::string>{"a0", "A1", "a", "b", "zz"}));
}

TEST(StringHashTableTest, RemoveUnlinksOnlyTheMatchingNode) {
  TStringHashTable table = StoreTable();
  for (const char* key : {"a", "A1", "b"}) table.Put(key, key);  // "a" and "A1" share bucket 1
  table.Remove("A");       // the older node, behind "A1" in the chain
  table.Remove("missing"); // no error
  table.Remove("");
  EXPECT_EQ(table.Count(), 2u);
  EXPECT_FALSE(table.Contains("a"));
  EXPECT_TRUE(table.Contains("a1"));
  EXPECT_TRUE(table.Contains("B"));
  table.Remove("a1");
  table.Remove("b");
  EXPECT_EQ(table.Count(), 0u);
  EXPECT_TRUE(Enumerate(table).empty());
}

TEST(StringHashTableTest, EmptyKeyIsIgnoredAndNeverContained) {
  TStringHashTable table = StoreTable();
  table.Put("", "x");
  EXPECT_EQ(table.Count(), 0u);
  EXPECT_EQ(table.BucketCount(), 0u);
  EXPECT_FALSE(table.Contains(""));
  std::string value = "unchanged";
  EXPECT_FALSE(table.TryGet("", value));
  EXPECT_FALSE(table.TryGet("nothing", value));
  EXPECT_EQ(value, "unchanged");
}

TEST(StringHashTableTest, GrowsAtTwiceTheBucketCount) {
  TStringHashTable table = StoreTable();
  EXPECT_EQ(table.BucketCount(), 0u);
  table.Put("N0", "0");
  EXPECT_EQ(table.BucketCount(), 32u);
  for (int i = 1; i < 64; ++i) table.Put("N" + std::to_string(i), std::to_string(i));
  EXPECT_EQ(table.Count(), 64u);
  EXPECT_EQ(table.BucketCount(), 32u);
  table.Put("N64", "64");
  EXPECT_EQ(table.BucketCount(), 64u);
  EXPECT_EQ(table.Count(), 65u);
  table.Put("n5", "replaced");
  for (int i = 0; i <= 64; ++i) {
    std::string value;
    ASSERT_TRUE(table.TryGet("n" + std::to_string(i), value)) << i;
    EXPECT_EQ(value, i == 5 ? "replaced" : std::to_string(i));
  }
  // Enumeration still covers every node exactly once after the rehash.
  EXPECT_EQ(Enumerate(table).size(), 65u);
  for (int i = 65; i < 129; ++i) table.Put("N" + std::to_string(i), "");
  EXPECT_EQ(table.BucketCount(), 128u);
}

TEST(StringHashTableTest, ModificationWhileIteratingThrows) {
  TStringHashTable table = StoreTable();
  table.Put("A", "1");
  const std::string kMessage = "Can not modify a collection while iterating";
  {
    THashEnumerator first(table);
    {
      THashEnumerator second(table);
      EXPECT_TRUE(table.Iterating());
    }
    // The first enumerator still exists: the table is still guarded.
    EXPECT_TRUE(table.Iterating());
    EXPECT_EQ(ErrorOf([&] { table.Put("B", "2"); }), kMessage);
    EXPECT_EQ(ErrorOf([&] { table.Put("A", "3"); }), kMessage);
    EXPECT_EQ(ErrorOf([&] { table.Remove("A"); }), kMessage);
    EXPECT_EQ(ErrorOf([&] { table.Clear(); }), kMessage);
    std::string value;
    EXPECT_TRUE(table.TryGet("a", value));  // reads are allowed
    EXPECT_EQ(value, "1");
  }
  EXPECT_FALSE(table.Iterating());
  table.Put("B", "2");
  EXPECT_EQ(table.Count(), 2u);
}

TEST(StringHashTableTest, FixedTables) {
  TStringHashTable empty(THashCaseMode::kCaseInsensitive, 0, 2.0, /*fixed=*/true);
  EXPECT_EQ(ErrorOf([&] { empty.Put("A", "1"); }), "Hash table is fixed with size 0");
  EXPECT_FALSE(empty.Contains("A"));

  TStringHashTable small(THashCaseMode::kCaseInsensitive, 4, 0.5, /*fixed=*/true);
  for (int i = 0; i < 100; ++i) small.Put("K" + std::to_string(i), std::to_string(i));
  EXPECT_EQ(small.BucketCount(), 4u);
  EXPECT_EQ(small.Count(), 100u);
  for (int i = 0; i < 100; ++i) EXPECT_TRUE(small.Contains("k" + std::to_string(i))) << i;
}

TEST(StringHashTableTest, LoadFactorRange) {
  for (double bad : {0.0, 0.09, 7.01, -1.0, std::numeric_limits<double>::quiet_NaN()}) {
    EXPECT_EQ(ErrorOf([&] { TStringHashTable t(THashCaseMode::kCaseSensitive, 0, bad); }),
              "Argument out of range")
        << bad;
  }
  for (double good : {0.1, 7.0}) {
    EXPECT_EQ(ErrorOf([&] { TStringHashTable t(THashCaseMode::kCaseSensitive, 0, good); }), "");
  }
}

TEST(StringHashTableTest, ClearReturnsToInitialCapacity) {
  struct Case {
    uint32_t capacity;
    double load_factor;
    uint32_t after_first_put;
  };
  for (const Case& c : {Case{0, 2.0, 32}, Case{8, 1.0, 8}, Case{3, 0.5, 3}}) {
    TStringHashTable table(THashCaseMode::kCaseInsensitive, c.capacity, c.load_factor);
    EXPECT_EQ(table.BucketCount(), c.capacity);
    table.Put("first", "1");
    EXPECT_EQ(table.BucketCount(), c.after_first_put);
    for (int i = 0; i < 200; ++i) table.Put("K" + std::to_string(i), "");
    EXPECT_GT(table.BucketCount(), c.after_first_put);
    table.Clear();
    EXPECT_EQ(table.Count(), 0u);
    EXPECT_EQ(table.BucketCount(), c.capacity);
    EXPECT_FALSE(table.Contains("first"));
    EXPECT_TRUE(Enumerate(table).empty());
    table.Put("again", "2");
    EXPECT_TRUE(table.Contains("AGAIN"));
  }
}

}  // namespace
}  // namespace kestrawl::script
