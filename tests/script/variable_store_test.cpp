#include "script/variable_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace kestrawl::script {
namespace {

TEST(VariableStoreTest, NamesIgnoreCaseAndKeepFirstInsertionCase) {
  VariableStore store;
  store.AssignVariable("TargetDir", "C:\\A", "Set Variable Action");
  EXPECT_EQ(store.GetVariable("TARGETDIR"), "C:\\A");
  store.AssignVariable("TARGETDIR", "C:\\B", "Set Variable Action");
  EXPECT_EQ(store.GetVariable("targetdir"), "C:\\B");
  std::vector<std::string> names;
  EXPECT_EQ(store.Manager().Names(names), 1u);
  EXPECT_EQ(names, std::vector<std::string>{"TargetDir"});
}

TEST(VariableStoreTest, MissingAndEmptyDifferOnlyInExistence) {
  VariableStore store;
  EXPECT_EQ(store.GetVariable("NEVER"), "");
  EXPECT_FALSE(store.VariableExists("NEVER"));
  store.DeclareVariable("EMPTY", "", "Initialization");
  EXPECT_EQ(store.GetVariable("EMPTY"), "");
  EXPECT_TRUE(store.VariableExists("empty"));
  store.DeleteVariable("Empty");
  EXPECT_FALSE(store.VariableExists("EMPTY"));
  store.DeleteVariable("EMPTY");  // already gone: no error
  store.DeleteVariable("");
}

TEST(VariableStoreTest, OwnNameBetweenDollarsMeansEmpty) {
  struct Case {
    const char* name;
    const char* value;
    const char* expected;
  };
  const Case cases[] = {
      {"X", "$x$", ""},       {"X", "$X$", ""},         {"Path", "$PATH$", ""},
      {"X", "$Y$", "$Y$"},    {"X", "$x", "$x"},        {"X", "$$", "$$"},
      {"X", "x$x$", "x$x$"},  {"Straße", "$STRASSE$", ""},
  };
  for (const Case& c : cases) {
    // Both when the variable is new and when it already exists.
    VariableStore fresh;
    fresh.DeclareVariable(c.name, c.value, "Compilation");
    EXPECT_TRUE(fresh.VariableExists(c.name)) << c.value;
    EXPECT_EQ(fresh.GetVariable(c.name), c.expected) << c.value;

    VariableStore existing;
    existing.DeclareVariable(c.name, "old", "Compilation");
    existing.DeclareVariable(c.name, c.value, "Compilation");
    EXPECT_EQ(existing.GetVariable(c.name), c.expected) << c.value;
    existing.AssignVariable(c.name, "old", "Set Variable Action");
    existing.AssignVariable(c.name, c.value, "Set Variable Action");
    EXPECT_EQ(existing.GetVariable(c.name), c.expected) << c.value;
  }
  VariableStore store;
  store.DeclareVariable("", "value", "Compilation");
  store.AssignVariable("", "value", "Set Variable Action");
  std::vector<std::string> names;
  EXPECT_EQ(store.Manager().Names(names), 0u);
}

class SilentOverrideTest : public ::testing::Test {
 protected:
  void StartRun(bool silent) {
    store.SetSilent(silent);
    store.SetCommandLineOverrides({"X", "1", "TARGETDIR", "C:\\Cmd"});
    store.AssignVariable("X", "1", kInjectOverrideSource);
  }
  VariableStore store;
};

TEST_F(SilentOverrideTest, SilentRunKeepsCommandLineValues) {
  StartRun(true);
  store.AssignVariable("x", "2", "Set Variable Action");
  EXPECT_EQ(store.GetVariable("X"), "1");
  store.DeclareVariable("X", "4", "Initialization");  // declaring an existing one assigns
  EXPECT_EQ(store.GetVariable("X"), "1");
  store.AssignVariable("TargetDir", "C:\\Script", "Set Variable Action");  // not yet set
  EXPECT_FALSE(store.VariableExists("TARGETDIR"));
  store.AssignVariable("X", "3", kInjectOverrideSource);
  EXPECT_EQ(store.GetVariable("X"), "3");
}

TEST_F(SilentOverrideTest, ValueEntriesOfTheListAreNotNames) {
  StartRun(true);
  store.AssignVariable("1", "changed", "Set Variable Action");  // "1" is a value entry
  EXPECT_EQ(store.GetVariable("1"), "changed");
  store.AssignVariable("c:\\cmd", "changed", "Set Variable Action");
  EXPECT_EQ(store.GetVariable("C:\\CMD"), "changed");
}

TEST_F(SilentOverrideTest, SilentRunCreatesUpperCaseNames) {
  StartRun(true);
  store.AssignVariable("NewVar", "v", "Set Variable Action");
  std::vector<std::string> names;
  store.Manager().Names(names);
  EXPECT_NE(std::find(names.begin(), names.end(), "NEWVAR"), names.end());
}

TEST_F(SilentOverrideTest, InteractiveRunAssignsFreely) {
  StartRun(false);
  store.AssignVariable("x", "2", "Set Variable Action");
  EXPECT_EQ(store.GetVariable("X"), "2");
  store.AssignVariable("NewVar", "v", "Set Variable Action");
  std::vector<std::string> names;
  store.Manager().Names(names);
  EXPECT_NE(std::find(names.begin(), names.end(), "NewVar"), names.end());
}

TEST(VariableStoreTest, CommaTextCarriesEveryPair) {
  VariableStore store;
  const std::vector<std::pair<std::string, std::string>> vars = {
      {"TARGETDIR", "C:\\Program Files\\My App"},
      {"EMPTY", ""},
      {"QUOTE", "say \"hi\", then go"},
      {"LINES", "a\r\nb\tc"},
      {"UNICODE", "Grüße 日本"},
  };
  for (const auto& [name, value] : vars) store.AssignVariable(name, value, "Set Variable Action");
  std::string text = store.AllVariablesAsCommaText();

  std::vector<std::string> pairs;
  store.Manager().Pairs(pairs);
  EXPECT_EQ(pairs.size(), vars.size() * 2);

  VariableStore copy;
  copy.ApplyCommaText(text);
  for (const auto& [name, value] : vars) {
    EXPECT_TRUE(copy.VariableExists(name)) << name;
    EXPECT_EQ(copy.GetVariable(name), value) << name;
  }
  // Same enumeration order, so the same text.
  EXPECT_EQ(copy.AllVariablesAsCommaText(), text);
}

TEST(VariableStoreTest, ApplyCommaTextIgnoresOddLastItemAndOverwrites) {
  VariableStore store;
  store.AssignVariable("A", "old", "Set Variable Action");
  store.ApplyCommaText("a,new,B,\"two words\",C");
  EXPECT_EQ(store.GetVariable("A"), "new");
  EXPECT_EQ(store.GetVariable("B"), "two words");
  EXPECT_FALSE(store.VariableExists("C"));
  store.ApplyCommaText("");
  EXPECT_EQ(store.GetVariable("A"), "new");
}

TEST(VariableStoreTest, ClearAllVariablesEmptiesTheStore) {
  VariableStore store;
  for (int i = 0; i < 100; ++i) store.DeclareVariable("V" + std::to_string(i), "x", "Bootstrap");
  store.ClearAllVariables();
  std::vector<std::string> names;
  EXPECT_EQ(store.Manager().Names(names), 0u);
  EXPECT_EQ(store.AllVariablesAsCommaText(), "");
  store.DeclareVariable("AFTER", "1", "Bootstrap");
  EXPECT_EQ(store.GetVariable("after"), "1");
}

TEST(VariableStoreTest, ConcurrentWritersAndReaders) {
  constexpr int kWriters = 8;
  constexpr int kNamesPerWriter = 2000;
  VariableStore store;
  std::atomic<bool> done{false};
  std::atomic<long> reads{0};
  std::vector<std::thread> readers;
  for (int r = 0; r < 3; ++r) {
    readers.emplace_back([&, r] {
      std::vector<std::string> list;
      while (!done.load()) {
        if (r == 0) {
          store.Manager().Pairs(list);
          ASSERT_EQ(list.size() % 2, 0u);
        } else {
          std::string value = store.GetVariable("W3_N" + std::to_string(reads % kNamesPerWriter));
          ASSERT_TRUE(value.empty() || value.rfind("value", 0) == 0) << value;
          store.VariableExists("missing");
        }
        ++reads;
      }
    });
  }
  std::vector<std::thread> writers;
  for (int w = 0; w < kWriters; ++w) {
    writers.emplace_back([&, w] {
      for (int i = 0; i < kNamesPerWriter; ++i) {
        std::string name = "W" + std::to_string(w) + "_N" + std::to_string(i);
        store.AssignVariable(name, "value" + std::to_string(i), "Worker Action");
        if (i % 10 == 0) store.DeleteVariable("W" + std::to_string(w) + "_TMP");
        if (i % 10 == 5) store.DeclareVariable("W" + std::to_string(w) + "_TMP", "t", "Worker");
      }
    });
  }
  for (auto& t : writers) t.join();
  done = true;
  for (auto& t : readers) t.join();

  std::vector<std::string> names;
  store.Manager().Names(names);
  EXPECT_EQ(names.size(), static_cast<size_t>(kWriters * kNamesPerWriter + kWriters));
  for (int w = 0; w < kWriters; ++w)
    for (int i = 0; i < kNamesPerWriter; ++i)
      ASSERT_EQ(store.GetVariable("w" + std::to_string(w) + "_n" + std::to_string(i)),
                "value" + std::to_string(i));
}

TEST(TextBooleanTest, ToBoolean) {
  const std::pair<const char*, bool> cases[] = {
      {"TRUE", true},  {"true", true},   {"True", true},  {"-1", true},
      {"1", false},    {"yes", false},   {"", false},     {"FALSE", false},
      {" TRUE", false}, {"TRUE ", false}, {"-1 ", false}, {"--1", false},
      {"-01", false},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(ToBoolean(text), expected) << text;
  EXPECT_EQ(FromBoolean(true), "TRUE");
  EXPECT_EQ(FromBoolean(false), "FALSE");
  EXPECT_TRUE(ToBoolean(FromBoolean(true)));
  EXPECT_FALSE(ToBoolean(FromBoolean(false)));
}

}  // namespace
}  // namespace kestrawl::script
