// Software identification tags: the exact file written for a known product,
// both locations, nothing at all without a regid, removal with its folder
// clean-up, and texts that must stay well-formed XML.
#include "maintenance/identification_tags.h"

#include <gtest/gtest.h>

#include <pugixml.hpp>

#include <string>
#include <string_view>
#include <vector>

#include "script/script_error.h"
#include "support/script_fixture.h"

namespace kestrawl::maintenance {
namespace {

constexpr const char* kRegid = "regid.2010-04.com.example";
constexpr const char* kProductFolder = "C:\\Program Files\\Example\\Demo\\";
constexpr const char* kCommonFolder = "C:\\ProgramData\\regid.2010-04.com.example\\";
constexpr const char* kFileName = "regid.2010-04.com.example_Demo.swidtag";

// A machine with a product "Demo" 5.2 by "Example Co" whose script defines
// the regid (unless told not to).
class TagMachine {
 public:
  explicit TagMachine(bool with_regid = true) {
    fixture_.SetScript({});
    if (with_regid) fixture_.engine().script.compiler_variables = {"SWID", kRegid};
    Set("TITLE", "Demo");
    Set("VERSION", "5.2");
    Set("COMPANY", "Example Co");
    Set("TARGETDIR", kProductFolder);
  }

  void Set(const std::string& name, const std::string& value) { fixture_.vars().DeclareVariable(name, value, "test"); }
  void AddCompilerVariable(const std::string& name, const std::string& value) {
    auto& pairs = fixture_.engine().script.compiler_variables;
    pairs.push_back(name);
    pairs.push_back(value);
  }
  void Write() { WriteIdentificationTags(fixture_.engine()); }
  void Remove() { RemoveIdentificationTags(fixture_.engine()); }

  platform::FileSystem& files() { return fixture_.machine().Files(); }
  bool FileExists(const std::string& path) { return files().FileExists(path); }
  bool FolderExists(const std::string& path) { return files().FolderExists(path); }
  std::string Read(const std::string& path) {
    std::string data;
    EXPECT_EQ(files().ReadWholeFile(path, &data), 0u) << path;
    return data;
  }

 private:
  testing::ScriptFixture fixture_;
};

// The parser accepts a bare "&" as text, so references are checked by hand:
// every "&" must start one of the references the writer uses.
bool AmpersandsAreReferences(const std::string& text) {
  for (size_t at = text.find('&'); at != std::string::npos; at = text.find('&', at + 1)) {
    const std::string_view rest = std::string_view(text).substr(at);
    if (!rest.starts_with("&amp;") && !rest.starts_with("&lt;") && !rest.starts_with("&gt;") &&
        !rest.starts_with("&#13;"))
      return false;
  }
  return true;
}

// The whole tag of the known product, byte for byte.
constexpr const char* kDemoTag =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
    "<swid:software_identification_tag xmlns:ds=\"http://www.w3.org/2000/09/xmldsig#\" "
    "xmlns:swid=\"http://standards.iso.org/iso/19770/-2/2008/schema.xsd\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
    "xsi:schemaLocation=\"http://standards.iso.org/iso/19770/-2/2008/schema.xsd "
    "software_identification_tag.xsd\">\r\n"
    "  <swid:entitlement_required_indicator>false</swid:entitlement_required_indicator>\r\n"
    "  <swid:product_title>Demo</swid:product_title>\r\n"
    "  <swid:product_version>\r\n"
    "    <swid:name>5.2</swid:name>\r\n"
    "    <swid:numeric>\r\n"
    "      <swid:major>5</swid:major>\r\n"
    "      <swid:minor>2</swid:minor>\r\n"
    "      <swid:build>0</swid:build>\r\n"
    "      <swid:review>0</swid:review>\r\n"
    "    </swid:numeric>\r\n"
    "  </swid:product_version>\r\n"
    "  <swid:software_creator>\r\n"
    "    <swid:name>Example Co</swid:name>\r\n"
    "    <swid:regid>regid.2010-04.com.example</swid:regid>\r\n"
    "  </swid:software_creator>\r\n"
    "  <swid:software_licensor>\r\n"
    "    <swid:name>Example Co</swid:name>\r\n"
    "    <swid:regid>regid.2010-04.com.example</swid:regid>\r\n"
    "  </swid:software_licensor>\r\n"
    "  <swid:software_id>\r\n"
    "    <swid:unique_id>Demo</swid:unique_id>\r\n"
    "    <swid:tag_creator_regid>regid.2010-04.com.example</swid:tag_creator_regid>\r\n"
    "  </swid:software_id>\r\n"
    "  <swid:tag_creator>\r\n"
    "    <swid:name>Example Co</swid:name>\r\n"
    "    <swid:regid>regid.2010-04.com.example</swid:regid>\r\n"
    "  </swid:tag_creator>\r\n"
    "</swid:software_identification_tag>\r\n";

TEST(IdentificationTags, WritesTheExactTagToBothFoldersCreatingThem) {
  TagMachine m;
  ASSERT_FALSE(m.FolderExists(kProductFolder));
  m.Write();
  EXPECT_EQ(m.Read(std::string(kCommonFolder) + kFileName), kDemoTag);
  EXPECT_EQ(m.Read(std::string(kProductFolder) + kFileName), kDemoTag);
}

TEST(IdentificationTags, WithoutRegidNothingIsWrittenCreatedOrRemoved) {
  TagMachine m(/*with_regid=*/false);
  std::vector<platform::FileEntry> before, after;
  m.files().List("C:\\ProgramData\\*", &before);
  m.Write();
  EXPECT_FALSE(m.FolderExists(kProductFolder));
  m.files().List("C:\\ProgramData\\*", &after);
  EXPECT_EQ(after.size(), before.size());

  // Removal leaves even an empty product folder alone.
  ASSERT_EQ(m.files().CreateFolderTree(kProductFolder), 0u);
  m.Remove();
  EXPECT_TRUE(m.FolderExists(kProductFolder));
}

TEST(IdentificationTags, EmptyRegidCountsAsNone) {
  TagMachine m(/*with_regid=*/false);
  m.AddCompilerVariable("SWID", "");
  m.Write();
  EXPECT_FALSE(m.FolderExists(kProductFolder));
  EXPECT_FALSE(m.FileExists("C:\\ProgramData\\_Demo.swidtag"));
}

TEST(IdentificationTags, UnavailableProductFolderWritesNothingAnywhere) {
  struct Case {
    const char* what;
    const char* target;
  };
  const Case cases[] = {
      {"empty TARGETDIR", ""},
      {"relative TARGETDIR", "Demo"},
      {"TARGETDIR names a file", "C:\\Program Files\\Example\\Demo.txt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TagMachine m;
    ASSERT_EQ(m.files().CreateFolderTree("C:\\Program Files\\Example"), 0u);
    ASSERT_EQ(m.files().WriteWholeFile("C:\\Program Files\\Example\\Demo.txt", "x"), 0u);
    m.Set("TARGETDIR", c.target);
    m.Write();
    EXPECT_FALSE(m.FolderExists(kCommonFolder));
    EXPECT_EQ(m.Read("C:\\Program Files\\Example\\Demo.txt"), "x");
  }
}

TEST(IdentificationTags, RemovalDeletesBothTagsAndTheEmptyFolders) {
  TagMachine m;
  m.Write();
  ASSERT_TRUE(m.FileExists(std::string(kProductFolder) + kFileName));
  m.Remove();
  EXPECT_FALSE(m.FolderExists(kCommonFolder));
  EXPECT_FALSE(m.FolderExists(kProductFolder));
  // Only the two tag folders go; their parents stay.
  EXPECT_TRUE(m.FolderExists("C:\\Program Files\\Example"));
  EXPECT_TRUE(m.FolderExists("C:\\ProgramData"));
}

TEST(IdentificationTags, RemovalKeepsFoldersThatHoldOtherFiles) {
  TagMachine m;
  m.Write();
  const std::string app = std::string(kProductFolder) + "demo.exe";
  const std::string note = std::string(kCommonFolder) + "other.swidtag";
  ASSERT_EQ(m.files().WriteWholeFile(app, "MZ"), 0u);
  ASSERT_EQ(m.files().WriteWholeFile(note, "n"), 0u);
  m.Remove();
  EXPECT_FALSE(m.FileExists(std::string(kProductFolder) + kFileName));
  EXPECT_FALSE(m.FileExists(std::string(kCommonFolder) + kFileName));
  EXPECT_EQ(m.Read(app), "MZ");
  EXPECT_EQ(m.Read(note), "n");
}

TEST(IdentificationTags, RemovalWithoutProductFolderStillDeletesTheCommonTag) {
  TagMachine m;
  m.Write();
  ASSERT_EQ(m.files().DeleteTree(kProductFolder), 0u);
  m.Remove();
  EXPECT_FALSE(m.FolderExists(kCommonFolder));
  EXPECT_FALSE(m.FolderExists(kProductFolder));  // not re-created by the removal
}

// Texts with XML markup characters are escaped and read back unchanged.
TEST(IdentificationTags, TextsAreEscapedAndTheFileIsWellFormed) {
  TagMachine m;
  m.Set("TITLE", "Tom & Jerry's 'Best' Edition");
  m.Set("COMPANY", "<A&B> \"Tools\" ]]> Ltd");
  m.Set("VERSION", "7.1 <beta>");
  m.Write();
  const std::string path = std::string(kProductFolder) + kRegid + "_Tom & Jerry's 'Best' Edition.swidtag";
  const std::string text = m.Read(path);
  EXPECT_EQ(m.Read(std::string(kCommonFolder) + kRegid + "_Tom & Jerry's 'Best' Edition.swidtag"), text);

  EXPECT_TRUE(AmpersandsAreReferences(text)) << text;
  pugi::xml_document doc;
  const pugi::xml_parse_result parsed = doc.load_buffer(text.data(), text.size());
  ASSERT_TRUE(parsed) << parsed.description() << "\n" << text;
  const pugi::xml_node root = doc.child("swid:software_identification_tag");
  ASSERT_TRUE(root);
  EXPECT_STREQ(root.attribute("xmlns:swid").value(), "http://standards.iso.org/iso/19770/-2/2008/schema.xsd");
  EXPECT_STREQ(root.child("swid:product_title").text().get(), "Tom & Jerry's 'Best' Edition");
  EXPECT_STREQ(root.child("swid:software_id").child("swid:unique_id").text().get(), "Tom & Jerry's 'Best' Edition");
  for (const char* party : {"swid:software_creator", "swid:software_licensor", "swid:tag_creator"}) {
    SCOPED_TRACE(party);
    EXPECT_STREQ(root.child(party).child("swid:name").text().get(), "<A&B> \"Tools\" ]]> Ltd");
    EXPECT_STREQ(root.child(party).child("swid:regid").text().get(), kRegid);
  }
  const pugi::xml_node version = root.child("swid:product_version");
  EXPECT_STREQ(version.child("swid:name").text().get(), "7.1 <beta>");
  EXPECT_STREQ(version.child("swid:numeric").child("swid:major").text().get(), "7");
  EXPECT_STREQ(version.child("swid:numeric").child("swid:minor").text().get(), "0");
}

// Characters that cannot appear in a file name can still appear in the
// content: the text itself stays well-formed, control characters included.
TEST(IdentificationTags, TagTextStaysWellFormedForAnyTitle) {
  IdentificationTag tag;
  tag.regid = kRegid;
  tag.title = "A<B>&C\x01\r\nD";
  tag.version = "1";
  tag.company = "Co";
  const std::string text = IdentificationTagText(tag);
  EXPECT_TRUE(AmpersandsAreReferences(text)) << text;
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_buffer(text.data(), text.size())) << text;
  EXPECT_STREQ(doc.child("swid:software_identification_tag").child("swid:product_title").text().get(),
               "A<B>&C\r\nD");
}

TEST(IdentificationTags, NamesThatCannotFormAFileNameAreRefusedWithoutWriting) {
  struct Case {
    const char* what;
    const char* regid;
    const char* title;
  };
  const Case cases[] = {
      {"regid climbing out of the common folder", "..\\..\\Windows", "Demo"},
      {"regid of dots only", "..", "Demo"},
      {"title with a colon (a stream name)", kRegid, "Demo: Deluxe"},
      {"title with a backslash", kRegid, "Demo\\Deluxe"},
      {"title with a markup character", kRegid, "Demo <Deluxe>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TagMachine m(/*with_regid=*/false);
    m.AddCompilerVariable("SWID", c.regid);
    m.Set("TITLE", c.title);
    EXPECT_THROW(m.Write(), script::EScriptError);
    EXPECT_FALSE(m.FolderExists(kProductFolder));
    EXPECT_NO_THROW(m.Remove());
  }
}

TEST(IdentificationTags, AFileThatCannotBeWrittenIsAnError) {
  TagMachine m;
  // A folder in the way of the common tag file.
  ASSERT_EQ(m.files().CreateFolderTree(std::string(kCommonFolder) + kFileName), 0u);
  EXPECT_THROW(m.Write(), script::EScriptError);
}

TEST(IdentificationTags, EntitlementIsTheFlagValueOfItsCompilerVariable) {
  struct Case {
    const char* value;  // nullptr: not defined
    const char* expected;
  };
  const Case cases[] = {{nullptr, "false"}, {"TRUE", "true"}, {"true", "true"}, {"-1", "true"},
                        {"1", "false"},     {"yes", "false"}, {"", "false"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value ? c.value : "(undefined)");
    TagMachine m;
    if (c.value) m.AddCompilerVariable("SWID_ENTITLEMENT", c.value);
    m.Write();
    const std::string line = std::string("<swid:entitlement_required_indicator>") + c.expected + "<";
    EXPECT_NE(m.Read(std::string(kProductFolder) + kFileName).find(line), std::string::npos);
  }
}

TEST(IdentificationTags, VersionNumbersAreTheFirstFourDecimalParts) {
  struct Case {
    const char* version;
    TagVersionNumbers expected;
  };
  const Case cases[] = {
      {"5.2", {5, 2, 0, 0}},
      {"1.2.3.4", {1, 2, 3, 4}},
      {"1.2.3.4.5", {1, 2, 3, 4}},
      {"10.0.19045", {10, 0, 19045, 0}},
      {"", {0, 0, 0, 0}},
      {"5.", {5, 0, 0, 0}},
      {"1.2.3b", {1, 2, 0, 0}},      // last part not a number
      {"1.x.3.4", {1, 0, 3, 4}},     // a part before a dot that is not a number
      {"1..3", {1, 0, 3, 0}},
      {"v2.1", {0, 1, 0, 0}},
      {"99999999999.1", {0, 1, 0, 0}},  // out of range
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version);
    EXPECT_EQ(ParseTagVersion(c.version), c.expected);
  }
}

}  // namespace
}  // namespace kestrawl::maintenance
