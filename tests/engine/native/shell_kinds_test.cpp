// "Create Shortcut", "Create File Type" and "Install Assembly": the files and
// registry values they make and the undo entries they leave.
#include <unistd.h>

#include "base/shell_link.h"
#include "engine/native/kinds_fixture.h"
#include "platform/assembly_cache.h"
#include "support/test_support.h"

namespace kestrawl::engine::native {
namespace {

using platform::RegRoot;
using platform::RegValue;

class ShortcutTest : public KindsTest {
 protected:
  // name, description, folder, target, arguments, working folder, icon file, icon index, show mode
  std::vector<std::string> Record(const std::string& folder, const std::string& index = "2",
                                  const std::string& show = "1") {
    return {"My App", "Starts it", folder, "C:\\App\\app.exe", "-x \"y\"", "C:\\App", "C:\\App\\app.ico",
            index, show};
  }
  std::optional<base::ShellLink> Link(const std::string& path) { return base::DecodeShellLink(Text(path)); }
};

TEST_F(ShortcutTest, AMissingFolderIsCreatedFirstWithItsOwnUndoEntry) {
  files().CreateFolderTree("C:\\App");
  files().WriteWholeFile("C:\\App\\app.exe", "exe");
  ASSERT_TRUE(Apply("Create Shortcut", Record("C:\\Menu\\Kestrawl\\Apps")));
  const auto link = Link("C:\\Menu\\Kestrawl\\Apps\\My App.lnk");
  ASSERT_TRUE(link);
  EXPECT_EQ(link->target, "C:\\App\\app.exe");
  EXPECT_EQ(link->arguments, "-x \"y\"");
  EXPECT_EQ(link->working_folder, "C:\\App\\");
  EXPECT_EQ(link->description, "Starts it");
  EXPECT_EQ(link->icon_file, "C:\\App\\app.ico");
  EXPECT_EQ(link->icon_index, 2);
  EXPECT_EQ(link->show_command, 3u);
  EXPECT_EQ(link->target_size, 3u);

  // An independent reader accepts the shortcut as the engine wrote it.
  if (access("/usr/bin/lnkinfo", X_OK) == 0) {
    std::string host;
    ASSERT_EQ(files().GetNativePath("C:\\Menu\\Kestrawl\\Apps\\My App.lnk", &host), 0u);
    const testing::RunResult r = testing::Run({"/usr/bin/lnkinfo", host});
    ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
    for (const char* expected : {"C:\\App\\app.exe", "Starts it", "C:\\App\\app.ico"})
      EXPECT_NE(r.out.find(expected), std::string::npos) << expected << "\n" << r.out;
  }

  const auto undo = Undo();
  ASSERT_EQ(undo.size(), 2u);
  EXPECT_EQ(undo[0].element, "Delete Folder");
  EXPECT_EQ(undo[0].data, (std::vector<std::string>{"C:\\Menu\\Kestrawl\\Apps", "C:\\Menu\\Kestrawl", "C:\\Menu"}));
  EXPECT_EQ(undo[1].element, "Delete File");
  EXPECT_EQ(undo[1].data, (std::vector<std::string>{"C:\\Menu\\Kestrawl\\Apps\\My App.lnk"}));
}

TEST_F(ShortcutTest, ShowModesAndIconIndexesOutsideTheirValuesFallBackToDefaults) {
  files().CreateFolderTree("C:\\Menu");
  struct Case {
    std::string index, show;
    int32_t icon_index;
    uint32_t show_command;
  };
  const Case cases[] = {{"0", "0", 0, 1}, {"-3", "2", -3, 7}, {"x", "9", 0, 1}, {"", "", 0, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.index + "/" + c.show);
    ASSERT_TRUE(Apply("Create Shortcut", Record("C:\\Menu", c.index, c.show)));
    const auto link = Link("C:\\Menu\\My App.lnk");
    ASSERT_TRUE(link);
    EXPECT_EQ(link->icon_index, c.icon_index);
    EXPECT_EQ(link->show_command, c.show_command);
  }
  EXPECT_EQ(UndoKinds(), std::vector<std::string>(4, "Delete File"));
}

TEST_F(ShortcutTest, AShortcutThatCannotBeWrittenIsPromptedAndNotLogged) {
  files().CreateFolderTree("C:\\Menu\\My App.lnk");  // a folder in the way
  EXPECT_TRUE(Apply("Create Shortcut", Record("C:\\Menu")));
  ASSERT_EQ(host_.prompts.size(), 1u);
  EXPECT_NE(host_.prompts[0].text.find("\r\rC:\\Menu\\My App.lnk"), std::string::npos);
  EXPECT_TRUE(Undo().empty());

  EXPECT_TRUE(Apply("Create Shortcut", {"", "", ""}));  // no name, no folder
  EXPECT_EQ(host_.prompts.size(), 2u);
}

class FileTypeTest : public KindsTest {};

TEST_F(FileTypeTest, WritesTheIdentifierExtensionsAndVerbsAsLoggedValues) {
  const std::string verbs = base::JoinCommaText(
      {base::JoinCommaText({"open", "\"%1\"", "", "", ""}),
       base::JoinCommaText({"print", "/p \"%1\"", "[print(\"%1\")]", "KwApp", "System"})});
  ASSERT_TRUE(Apply("Create File Type", {"Kw.Doc", "C:\\App\\app.exe", "Kestrawl Document", "C:\\App\\doc.ico",
                                         "1", ".kwd,.kwx", verbs}));
  EXPECT_TRUE(host_.prompts.empty());
  const auto value = [&](const std::string& key) { return Value(RegRoot::kClassesRoot, key, ""); };
  EXPECT_EQ(value("Kw.Doc"), RegValue::String("Kestrawl Document"));
  EXPECT_EQ(value("Kw.Doc\\DefaultIcon"), RegValue::String("C:\\App\\doc.ico,1"));
  EXPECT_EQ(value(".kwd"), RegValue::String("Kw.Doc"));
  EXPECT_EQ(value(".kwx"), RegValue::String("Kw.Doc"));
  EXPECT_EQ(value("Kw.Doc\\Shell\\open\\Command"), RegValue::String("\"C:\\App\\app.exe\" \"%1\""));
  EXPECT_FALSE(value("Kw.Doc\\Shell\\open\\ddeexec"));
  EXPECT_EQ(value("Kw.Doc\\Shell\\print\\Command"), RegValue::String("\"C:\\App\\app.exe\" /p \"%1\""));
  EXPECT_EQ(value("Kw.Doc\\Shell\\print\\ddeexec"), RegValue::String("[print(\"%1\")]"));
  EXPECT_EQ(value("Kw.Doc\\Shell\\print\\ddeexec\\application"), RegValue::String("KwApp"));
  EXPECT_EQ(value("Kw.Doc\\Shell\\print\\ddeexec\\topic"), RegValue::String("System"));

  const auto undo = Undo();
  ASSERT_EQ(undo.size(), 9u);
  for (const auto& entry : undo) EXPECT_EQ(entry.element, "Delete Registry");
  EXPECT_EQ(undo[0].data, (std::vector<std::string>{"-2147483648|", "Kw.Doc", "", "Kw.Doc"}));
}

TEST_F(FileTypeTest, IconWithoutIndexAndMissingIdentifier) {
  ASSERT_TRUE(Apply("Create File Type", {"Kw.Plain", "C:\\a.exe", "Plain", "C:\\a.ico", "", "", ""}));
  EXPECT_EQ(Value(RegRoot::kClassesRoot, "Kw.Plain\\DefaultIcon", ""), RegValue::String("C:\\a.ico"));
  EXPECT_EQ(Undo().size(), 2u);

  // Without an identifier every value would land on the root itself.
  EXPECT_TRUE(Apply("Create File Type", {"", "C:\\a.exe", "Nothing", "", "", ".kwn", ""}));
  EXPECT_EQ(host_.prompts.size(), 1u);
  EXPECT_FALSE(Value(RegRoot::kClassesRoot, ".kwn", ""));
  EXPECT_EQ(Undo().size(), 2u);
}

class AssemblyTest : public KindsTest {};

TEST_F(AssemblyTest, IntoTheCacheWithThisInstancesReference) {
  AddGroup("0000000C", {{"Kw.Lib.dll", "Kw.Lib"}});
  ASSERT_TRUE(Apply("Install Assembly", {"0000000C", "", "TRUE"}));
  platform::System& sys = fixture_.machine().Sys();
  const auto refs = platform::gac::References(files(), sys, "Kw.Lib");
  ASSERT_EQ(refs.size(), 1u);
  EXPECT_EQ(refs[0].scheme, platform::gac::kOpaqueStringScheme);
  EXPECT_EQ(refs[0].identifier, kProductCode);
  EXPECT_EQ(refs[0].description, "Kestrawl");
  EXPECT_EQ(Text(platform::gac::AssemblyFolder(sys, "Kw.Lib") + "Kw.Lib.dll"), "payload of Kw.Lib.dll");
  const auto undo = Undo();
  ASSERT_EQ(undo.size(), 1u);
  EXPECT_EQ(undo[0].element, "Remove Assembly");
  EXPECT_EQ(undo[0].data, (std::vector<std::string>{"Kw.Lib"}));
}

TEST_F(AssemblyTest, ACacheFailureIsSilentAndNotLogged) {
  AddGroup("0000000C", {{"bad.dll", "Bad/Name"}});
  EXPECT_TRUE(Apply("Install Assembly", {"0000000C", "", "TRUE"}));
  EXPECT_TRUE(host_.prompts.empty());
  EXPECT_TRUE(Undo().empty());
}

TEST_F(AssemblyTest, OutsideTheCacheTheFileIsPlacedAndLogged) {
  AddGroup("0000000C", {{"Kw.Lib.dll", "Kw.Lib"}});
  files().CreateFolderTree("C:\\App");
  ASSERT_TRUE(Apply("Install Assembly", {"0000000C", "C:\\App", "FALSE"}));
  EXPECT_EQ(Text("C:\\App\\Kw.Lib.dll"), "payload of Kw.Lib.dll");
  EXPECT_TRUE(platform::gac::References(files(), fixture_.machine().Sys(), "Kw.Lib").empty());
  EXPECT_EQ(UndoKinds(), (std::vector<std::string>{"Delete File"}));
}

}  // namespace
}  // namespace kestrawl::engine::native
