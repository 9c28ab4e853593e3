// The INI and XML commands on a throw-away machine.
#include "script/commands/ini_xml_commands.h"

#include <gtest/gtest.h>

#include "script/script_error.h"
#include "support/script_fixture.h"

namespace kestrawl::script {
namespace {

using testing::RunCommand;
using testing::ScriptFixture;

CommandHandler Handler(std::string_view name) {
  for (const auto& e : IniXmlCommandHandlers())
    if (e.name == name) return e.handler;
  return nullptr;
}

constexpr const char* kConfig =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
    "<config version=\"2\">\r\n"
    "  <items>\r\n"
    "    <item id=\"1\">one</item>\r\n"
    "    <item id=\"2\">two\r\nlines</item>\r\n"
    "    <item>three</item>\r\n"
    "  </items>\r\n"
    "  <items><item id=\"9\">later</item></items>\r\n"
    "  <a><b>b1</b><b>b2</b></a>\r\n"
    "  <a><b>b3</b></a>\r\n"
    "</config>\r\n";

class IniXmlCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(files().CreateFolderTree("C:\\Data"), 0u);
    ASSERT_EQ(files().WriteWholeFile("C:\\Data\\config.xml", kConfig), 0u);
  }
  platform::FileSystem& files() { return f_.machine().Files(); }
  std::string Var(const std::string& name) { return f_.vars().GetVariable(name); }
  std::string File(const std::string& path) {
    std::string data;
    return files().ReadWholeFile(path, &data) == 0 ? data : "<missing>";
  }
  std::string GetXml(const std::string& file, const std::string& path, const std::string& attribute) {
    RunCommand(f_, Handler("Get XML File Settings"), "Get XML File Settings", {"R", file, path, attribute});
    return Var("R");
  }
  std::string XPath(const std::string& queries, const std::string& what, const std::string& file = "C:\\Data\\config.xml") {
    RunCommand(f_, Handler("Evaluate XPath Query"), "Evaluate XPath Query", {file, queries, "R", what});
    return Var("R");
  }
  // "Edit XML File" with parameters 1 to 10.
  void Edit(std::vector<std::string> params) { RunCommand(f_, Handler("Edit XML File"), "Edit XML File", std::move(params)); }

  ScriptFixture f_;
};

TEST_F(IniXmlCommandsTest, GetIniReadsThroughTheProfileAndNeedsSectionAndKey) {
  ASSERT_EQ(files().WriteWholeFile("C:\\Data\\app.ini", "[Main]\r\nName = \"Value\"\r\n"), 0u);
  struct Case {
    std::string section, key, expected;
  };
  const Case cases[] = {{"Main", "Name", "Value"}, {"main", "NAME", "Value"}, {"Main", "", ""},
                        {"", "Name", ""},          {"Main", "Other", ""},    {"Other", "Name", ""}};
  for (const Case& c : cases) {
    f_.vars().DeleteVariable("R");
    RunCommand(f_, Handler("Get INI File Settings"), "Get INI File Settings", {"R", "C:\\Data\\app.ini", c.section, c.key});
    EXPECT_TRUE(f_.vars().VariableExists("R"));
    EXPECT_EQ(Var("R"), c.expected) << c.section << "/" << c.key;
  }
  RunCommand(f_, Handler("Get INI File Settings"), "Get INI File Settings", {"R", "C:\\Data\\none.ini", "Main", "Name"});
  EXPECT_EQ(Var("R"), "");
}

TEST_F(IniXmlCommandsTest, GetXmlWalksTheElementPath) {
  struct Case {
    std::string path, attribute, expected;
  };
  const Case cases[] = {
      {"config", "version", "2"},
      {"config\\items\\item", "", "three$NEWLINE$two$NEWLINE$lines$NEWLINE$one"},  // reverse order
      {"config\\items\\item", "id", "2$NEWLINE$1"},                                 // only nodes that have it
      {"config\\a\\b", "", "b2$NEWLINE$b1"},                                          // first <a> only
      {"Config\\items", "", ""},                                                      // case-sensitive
      {"config\\nothing\\item", "", ""},
      {"", "", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(GetXml("C:\\Data\\config.xml", c.path, c.attribute), c.expected) << c.path;
  EXPECT_EQ(GetXml("C:\\Data\\missing.xml", "config", "version"), "");
  ASSERT_EQ(files().WriteWholeFile("C:\\Data\\broken.xml", "<config><open></config>"), 0u);
  EXPECT_EQ(GetXml("C:\\Data\\broken.xml", "config", ""), "");
}

TEST_F(IniXmlCommandsTest, XPathChainsFromTheFirstMatch) {
  struct Case {
    std::string queries, what, expected;
  };
  const Case cases[] = {
      {"/config/a + b", "3", "b1$NEWLINE$b2"},
      {"/config/a+b", "1", "b$NEWLINE$b"},
      {"items/item[@id='1']", "0", "<item id=\"1\">one</item>"},
      {"items/item/@id", "2", "1$NEWLINE$2$NEWLINE$9"},
      {"items[1]/item/@id", "0", "id=\"1\"$NEWLINE$id=\"2\""},
      {"items[1]/item[1]/text()", "1", "#text"},
      {"items[1]/item", "2", "$NEWLINE$$NEWLINE$"},  // elements have no value
      {"nothing + item", "3", ""},
      {"items[", "3", ""},    // a malformed expression
      {"count(a)", "3", ""},  // not a node set
      {"a", "7", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(XPath(c.queries, c.what), c.expected) << c.queries;
  EXPECT_EQ(XPath("a", "3", "C:\\Data\\missing.xml"), "");
  EXPECT_THROW(XPath("a", "x"), EScriptError);
}

TEST_F(IniXmlCommandsTest, EditSetsTextAddsDeletesAndSetsAttributes) {
  const std::string f = "C:\\Data\\config.xml";
  Edit({f, "", "", "config\\a\\b", "new", "", "1", "", "", ""});
  EXPECT_EQ(GetXml(f, "config\\a\\b", ""), "new$NEWLINE$new");

  Edit({f, "", "", "config\\items\\item", "four", "id=4,kind=extra", "2", "", "", ""});
  Edit({f, "", "1", "config\\items\\item", "zero", "id=0", "2", "", "", ""});
  EXPECT_EQ(XPath("items[1]/item", "3"), "zero$NEWLINE$one$NEWLINE$two\nlines$NEWLINE$three$NEWLINE$four");
  EXPECT_EQ(XPath("items[1]/item[last()]/@kind", "2"), "extra");
  EXPECT_EQ(XPath("items[2]/item", "3"), "later");

  Edit({f, "", "", "config\\items\\item", "", "id, state", "4", "on", "", ""});
  EXPECT_EQ(GetXml(f, "config\\items\\item", "state"), "on$NEWLINE$on$NEWLINE$on$NEWLINE$on$NEWLINE$on");
  Edit({f, "", "", "config\\items\\item", "", "state", "4", "", "", ""});
  EXPECT_EQ(GetXml(f, "config\\items\\item", "state"), "");
  EXPECT_EQ(GetXml(f, "config\\items\\item", "id"), "on$NEWLINE$on$NEWLINE$on$NEWLINE$on$NEWLINE$on");

  Edit({f, "", "", "config\\a", "", "", "3", "", "", ""});
  EXPECT_EQ(XPath("a", "1"), "");
  EXPECT_EQ(XPath("items", "1"), "items$NEWLINE$items");
}

TEST_F(IniXmlCommandsTest, EditKeepsLayoutOrReindents) {
  const std::string f = "C:\\Data\\config.xml";
  Edit({f, "", "", "config", "", "version", "4", "3", "FALSE", ""});
  std::string expected = kConfig;
  expected.replace(expected.find("version=\"2\""), 11, "version=\"3\"");
  EXPECT_EQ(File(f), expected);

  Edit({f, "", "", "config\\a", "", "", "3", "", "TRUE", ""});
  const std::string indented = File(f);
  EXPECT_NE(indented.find("\n  <items>\n    <item id=\"1\">one</item>\n"), std::string::npos) << indented;
}

TEST_F(IniXmlCommandsTest, EditStartsANewDocumentAndMakesNumberedBackups) {
  const std::string f = "C:\\Data\\new.xml";
  Edit({f, "UTF-8", "", "settings", "", "", "2", "", "FALSE", "TRUE"});  // no file: no backup
  Edit({f, "UTF-8", "", "settings\\entry", "text & <more>", "\"name=a b\"", "2", "", "FALSE", "TRUE"});
  Edit({f, "UTF-8", "", "settings\\entry", "", "", "3", "", "FALSE", "TRUE"});
  EXPECT_EQ(File(f + ".backup. 0"), "<?xml version=\"1.0\" encoding=\"UTF-8\"?><settings/>");
  EXPECT_EQ(File(f + ".backup. 1"),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><settings><entry name=\"a b\">text &amp; &lt;more&gt;</entry>"
            "</settings>");
  EXPECT_EQ(File(f + ".backup. 2"), "<missing>");
  EXPECT_EQ(File(f), File(f + ".backup. 0"));
}

TEST_F(IniXmlCommandsTest, EditLeavesFilesItCannotHandleAlone) {
  // A file that is not XML is not replaced by a new document.
  ASSERT_EQ(files().WriteWholeFile("C:\\Data\\notes.xml", "just some notes"), 0u);
  Edit({"C:\\Data\\notes.xml", "", "", "notes", "", "", "2", "", "", ""});
  EXPECT_EQ(File("C:\\Data\\notes.xml"), "just some notes");

  // Names that are not XML names would make the file unreadable.
  const std::string before = File("C:\\Data\\config.xml");
  Edit({"C:\\Data\\config.xml", "", "", "config\\bad name", "", "", "2", "", "", ""});
  Edit({"C:\\Data\\config.xml", "", "", "config\\items", "", "a<b=1", "2", "", "", ""});
  Edit({"C:\\Data\\config.xml", "", "", "config", "", "x<y", "4", "1", "", ""});
  // Unknown operations and paths that select nothing change nothing either.
  Edit({"C:\\Data\\config.xml", "", "", "config", "t", "", "9", "", "TRUE", ""});
  Edit({"C:\\Data\\config.xml", "", "", "other", "t", "", "1", "", "TRUE", ""});
  EXPECT_EQ(File("C:\\Data\\config.xml"), before);

  EXPECT_THROW(Edit({"C:\\Data\\config.xml", "", "", "config", "", "", "set", "", "", ""}), EScriptError);
}

TEST_F(IniXmlCommandsTest, EditKeepsTheFileEncoding) {
  // UTF-16 with a byte-order mark: <r/> declared as UTF-16.
  const std::string text = "<?xml version=\"1.0\" encoding=\"UTF-16\"?><r/>";
  std::string utf16 = "\xFF\xFE";
  for (char c : text) {
    utf16 += c;
    utf16 += '\0';
  }
  ASSERT_EQ(files().WriteWholeFile("C:\\Data\\wide.xml", utf16), 0u);
  Edit({"C:\\Data\\wide.xml", "", "", "r", "", "k", "4", "v", "", ""});
  const std::string saved = File("C:\\Data\\wide.xml");
  ASSERT_GE(saved.size(), 2u);
  EXPECT_EQ(saved.substr(0, 2), "\xFF\xFE");
  EXPECT_EQ(GetXml("C:\\Data\\wide.xml", "r", "k"), "v");
}

}  // namespace
}  // namespace kestrawl::script
