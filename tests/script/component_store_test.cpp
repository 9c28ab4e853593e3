// The component store on its own (definitions, sizes, locks, the feature
// tree and check list operations) and the feature-selection file format.
#include "script/component_store.h"

#include <gtest/gtest.h>

#include "script/compiled_script.h"
#include "script/feature_selections.h"

namespace kestrawl::script {
namespace {

class ComponentStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CompiledScript script;
    script.component_sizes = {kPredefinedComponent, "0", "PRODUCT", "1000", "PRODUCT\\TOOLS", "250"};
    store_.Reset(script);
  }
  void Define(const std::string& name, bool selected = true, const std::string& description = "") {
    store_.Define(name, name, selected, description);
  }
  ComponentStore store_;
};

TEST_F(ComponentStoreTest, ResetDefinesThePredefinedComponentAndTakesTheScriptSizes) {
  EXPECT_EQ(store_.lists().names, std::vector<std::string>{kPredefinedComponent});
  EXPECT_TRUE(store_.IsSelected(kPredefinedComponent));
  EXPECT_EQ(store_.Size("product\\tools"), 250);
  Define("Product");
  store_.installed_size = 7;
  CompiledScript empty;
  store_.Reset(empty);
  EXPECT_FALSE(store_.IsDefined("Product"));
  EXPECT_EQ(store_.installed_size, 0);
  EXPECT_EQ(store_.lists().sizes, (std::vector<std::string>{kPredefinedComponent, "0"}));
}

TEST_F(ComponentStoreTest, RedefiningKeepsTheStateButTakesTheNewDescription) {
  Define("Product", true, "old");
  Define("PRODUCT", false, "new");
  EXPECT_EQ(store_.lists().names.size(), 2u);
  EXPECT_TRUE(store_.IsSelected("Product"));
  EXPECT_EQ(store_.Description("product"), "new");
  // A size pair is added only for names without one.
  EXPECT_EQ(store_.lists().sizes.size(), 6u);
  Define("Docs", false);
  EXPECT_EQ(store_.lists().sizes.back(), "0");
  EXPECT_FALSE(store_.IsSelected("Docs"));
}

TEST_F(ComponentStoreTest, TranslatedNameInheritsTheRecordedSize) {
  store_.Define("Produkt", "Product", true, "");
  EXPECT_EQ(store_.Size("Produkt"), 1000);
  EXPECT_EQ(store_.SelectedSize(), 1000);
}

TEST_F(ComponentStoreTest, SetSizeChangesTheFirstPairOrAppendsOne) {
  Define("Product");
  Define("Docs");
  store_.SetSize("product", 5);
  store_.SetSize("Docs", -3);
  store_.SetSize("Unknown", 9);
  EXPECT_EQ(store_.Size("Product"), 5);
  EXPECT_EQ(store_.Size("Docs"), -3);
  EXPECT_EQ(store_.Size("Unknown"), 0);
  EXPECT_EQ(store_.lists().sizes.size(), 8u);
}

TEST(ComponentSizeText, OnlyPlainDecimal64BitIntegersAreSizes) {
  struct Case {
    const char* text;
    bool ok;
    int64_t value;
  };
  const Case cases[] = {{"0", true, 0},          {"-12", true, -12}, {"+7", true, 7},
                        {"9223372036854775807", true, INT64_MAX},    {"9223372036854775808", false, 0},
                        {"12x", false, 0},       {"", false, 0},     {"-", false, 0},
                        {" 1", false, 0},        {"0x10", false, 0}};
  for (const auto& c : cases) {
    int64_t v = 0;
    EXPECT_EQ(ParseComponentSize(c.text, &v), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(v, c.value) << c.text;
    }
  }
}

TEST_F(ComponentStoreTest, LockCoversDescendantsAndUnlockIgnoresAsciiCase) {
  Define("Product");
  Define("Product\\Tools");
  Define("Productivity");
  store_.SetChoice("Product", false);
  store_.SetChoice("Product", false);
  store_.SetChoice("Unknown", false);
  EXPECT_EQ(store_.lists().locked, std::vector<std::string>{"Product"});
  EXPECT_TRUE(store_.IsLocked("product\\tools"));
  EXPECT_FALSE(store_.IsLocked("Productivity"));
  store_.SetChoice("PRODUCT", true);
  EXPECT_TRUE(store_.lists().locked.empty());
}

TEST_F(ComponentStoreTest, TreeShowsVisibleComponentsOneNodePerLevel) {
  Define("Product\\Tools\\Extra", false);  // before its ancestors
  Define("Product", true);
  Define("product\\Docs", false);
  Define("Hidden");
  Define("Hidden\\Child");
  Define("Gone");
  store_.SetVisible("Hidden", false);
  store_.Delete("Gone");

  std::vector<ComponentTreeNode> roots = store_.FillTree();
  ASSERT_EQ(roots.size(), 1u);
  const ComponentTreeNode& product = roots[0];
  EXPECT_EQ(product.text, "Product");
  EXPECT_EQ(product.data, store_.Find("Product"));
  EXPECT_EQ(product.image, 1);
  EXPECT_EQ(product.selected_image, 1);
  ASSERT_EQ(product.children.size(), 2u);
  const ComponentTreeNode& tools = product.children[0];
  EXPECT_EQ(tools.text, "Tools");
  EXPECT_EQ(tools.data, 0u);  // a level, not a component
  ASSERT_EQ(tools.children.size(), 1u);
  EXPECT_EQ(tools.children[0].data, 2u);
  EXPECT_EQ(tools.children[0].image, 0);
  EXPECT_EQ(product.children[1].text, "Docs");
  EXPECT_EQ(store_.NameAt(product.children[1].data), "product\\Docs");

  // Showing again brings the hidden subtree back.
  store_.SetVisible("hidden", true);
  EXPECT_EQ(store_.FillTree().size(), 2u);
}

TEST_F(ComponentStoreTest, CheckListListsTopLevelComponents) {
  Define("Product", true);
  Define("Product\\Tools", true);
  Define("Docs", false);
  Define("Hidden");
  store_.SetVisible("Hidden", false);
  std::vector<CheckListItem> items = store_.FillCheckList();
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].text, "Product");
  EXPECT_TRUE(items[0].checked);
  EXPECT_EQ(items[1].text, "Docs");
  EXPECT_FALSE(items[1].checked);
}

TEST_F(ComponentStoreTest, ReadingTheCheckListSetsTheItemAndItsUnlockedDescendants) {
  Define("Product", true);
  Define("Product\\Tools", true);
  Define("Product\\Tools\\Deep", true);
  Define("Product\\Docs", true);
  Define("ProductExtras", true);
  store_.SetChoice("Product\\Tools", false);

  std::vector<CheckListItem> items = {{"Product", false}};
  store_.ReadCheckList(items);
  EXPECT_FALSE(store_.IsSelected("Product"));
  EXPECT_FALSE(store_.IsSelected("Product\\Docs"));
  EXPECT_TRUE(store_.IsSelected("Product\\Tools"));        // locked
  EXPECT_TRUE(store_.IsSelected("Product\\Tools\\Deep"));  // below a locked one
  EXPECT_TRUE(store_.IsSelected("ProductExtras"));         // another component
  EXPECT_FALSE(items[0].checked);                          // shows Product itself
}

TEST_F(ComponentStoreTest, ALockedItemKeepsItsSubtreeAndShowsItsState) {
  Define("Product", true);
  Define("Product\\Tools", true);
  store_.SetChoice("Product", false);
  std::vector<CheckListItem> items = {{"Product", false}};
  store_.ReadCheckList(items);
  EXPECT_TRUE(store_.IsSelected("Product"));
  EXPECT_TRUE(store_.IsSelected("Product\\Tools"));
  EXPECT_TRUE(items[0].checked);
}

TEST_F(ComponentStoreTest, ApplyingALoadedSelectionTakesStatesOfDefinedNamesOnly) {
  Define("Product", true);
  Define("Docs", false);
  ComponentLists loaded;
  loaded.names = {"PRODUCT", "docs", "Stranger"};
  loaded.states = {"FALSE", "TRUE", "TRUE"};
  loaded.deleted = {"Docs"};
  loaded.hidden = {"Product"};
  loaded.locked = {"Docs"};
  loaded.sizes = {"PRODUCT", "1"};
  store_.ApplySelection(loaded);
  EXPECT_EQ(store_.lists().states, (std::vector<std::string>{"TRUE", "FALSE", "TRUE"}));
  EXPECT_FALSE(store_.IsDefined("Stranger"));
  EXPECT_EQ(store_.lists().deleted, loaded.deleted);
  EXPECT_EQ(store_.lists().hidden, loaded.hidden);
  EXPECT_EQ(store_.lists().locked, loaded.locked);
  EXPECT_EQ(store_.Size("Product"), 1000);
}

TEST_F(ComponentStoreTest, AppendedListsStayParallelAndAnEmptyStateIsSetByTheNextDefinition) {
  ComponentLists loaded;
  loaded.names = {"Product", "Docs"};
  loaded.states = {"FALSE"};
  store_.AppendLists(loaded);
  EXPECT_EQ(store_.lists().states, (std::vector<std::string>{"TRUE", "FALSE", ""}));
  Define("Docs", true, "d");
  Define("Product", true);
  EXPECT_TRUE(store_.IsSelected("Docs"));
  EXPECT_FALSE(store_.IsSelected("Product"));
  EXPECT_EQ(store_.Description("Docs"), "d");
}

// ---- the feature-selection file format ---------------------------------------------

FeatureSelections Sample() {
  FeatureSelections s;
  s.components.names = {kPredefinedComponent, "Product", "Product\\Tools"};
  s.components.states = {"TRUE", "TRUE", "FALSE"};
  s.components.deleted = {"Product\\Tools"};
  s.components.hidden = {};
  s.components.locked = {"Product"};
  s.components.sizes = {kPredefinedComponent, "0", "PRODUCT", "1000"};
  s.target_dir = "C:\\Program Files\\App\\";
  s.all_users = "TRUE";
  s.start_menu = "App";
  s.pairs = {{"NOTES", "a$NEWLINE$b"}, {kBitnessMarker, "x64"}, {"OVERRIDECACHE", ""}, {"NATIVE_ENGINE", "TRUE"}};
  return s;
}

TEST(FeatureSelectionFile, WritesTheDocumentedLayout) {
  const std::string expected =
      "VELK-PREDEF-COMPONENT\r\nProduct\r\nProduct\\Tools\r\n$\r\n"
      "TRUE\r\nTRUE\r\nFALSE\r\n$\r\n"
      "Product\\Tools\r\n$\r\n"
      "$\r\n"
      "Product\r\n$\r\n"
      "VELK-PREDEF-COMPONENT\r\n0\r\nPRODUCT\r\n1000\r\n$\r\n"
      "C:\\Program Files\\App\\\r\nTRUE\r\nApp\r\n\r\n"
      "NOTES\r\na$NEWLINE$b\r\nVELK64WOW\r\nx64\r\nOVERRIDECACHE\r\n\r\nNATIVE_ENGINE\r\nTRUE\r\n";
  EXPECT_EQ(FormatFeatureSelections(Sample()), expected);
}

TEST(FeatureSelectionFile, ReadsWhatItWritesAlsoWithBomAndOtherLineEnds) {
  const std::string text = FormatFeatureSelections(Sample());
  std::string lf;
  for (char ch : text)
    if (ch != '\r') lf.push_back(ch);
  for (const std::string& variant : {text, "\xEF\xBB\xBF" + text, lf}) {
    FeatureSelections back;
    std::string error;
    ASSERT_TRUE(ParseFeatureSelections(variant, &back, &error)) << error;
    EXPECT_EQ(back, Sample());
  }
}

TEST(FeatureSelectionFile, LineBreaksInsideValuesCannotBreakTheLayout) {
  FeatureSelections s = Sample();
  s.target_dir = "C:\\a\r\nb";
  s.pairs[0].second = "one\ntwo\rthree";
  FeatureSelections back;
  std::string error;
  ASSERT_TRUE(ParseFeatureSelections(FormatFeatureSelections(s), &back, &error)) << error;
  EXPECT_EQ(back.target_dir, "C:\\a$NEWLINE$b");
  EXPECT_EQ(back.pairs[0].second, "one$NEWLINE$two$NEWLINE$three");
  EXPECT_EQ(back.pairs.size(), s.pairs.size());
}

TEST(FeatureSelectionFile, RejectsDamagedFiles) {
  const std::string good = FormatFeatureSelections(Sample());
  const std::string cases[] = {
      "",
      "garbage without structure",
      good.substr(0, good.find("$\r\n") + 3),                     // only the names
      "A\r\nB\r\n$\r\nTRUE\r\n$\r\n$\r\n$\r\n$\r\n$\r\nT\r\nA\r\nS\r\n\r\n",  // one state for two names
      "A\r\n$\r\nTRUE\r\n$\r\n$\r\n$\r\n$\r\nA\r\n$\r\nT\r\nA\r\nS\r\n\r\n",  // size without value
      "A\r\n$\r\nTRUE\r\n$\r\n$\r\n$\r\n$\r\n$\r\nT\r\nA\r\n",                // folder lines cut off
      std::string("$\0\r\0\n\0", 6),                                 // UTF-16 text
  };
  for (const std::string& text : cases) {
    FeatureSelections back;
    std::string error;
    EXPECT_FALSE(ParseFeatureSelections(text, &back, &error)) << text;
    EXPECT_FALSE(error.empty());
  }
}

TEST(FeatureSelectionFile, AMissingLastValueReadsAsEmpty) {
  FeatureSelections back;
  std::string error;
  ASSERT_TRUE(ParseFeatureSelections("$\r\n$\r\n$\r\n$\r\n$\r\n$\r\nT\r\nA\r\nS\r\n\r\nX\r\n", &back, &error));
  ASSERT_EQ(back.pairs.size(), 1u);
  EXPECT_EQ(back.pairs[0], (std::pair<std::string, std::string>{"X", ""}));
}

}  // namespace
}  // namespace kestrawl::script
