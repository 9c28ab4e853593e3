#include "script/compiled_script.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <string_view>

#include "script/compiled_script_reader.h"
#include "script/compiled_script_writer.h"

namespace kestrawl::script {
namespace {

// Joins lines with CR LF, each line terminated.
std::string Lines(std::initializer_list<std::string_view> lines, std::string_view eol = "\r\n") {
  std::string text;
  for (std::string_view line : lines) {
    text.append(line);
    text.append(eol);
  }
  return text;
}

// A script whose every field holds a value that tells it apart.
std::string FullText(std::string_view eol = "\r\n") {
  return Lines({"Set Variable", "End", "Display Dialog", "$",               // 1
                "{AAAA}", "{BBBB}", "{CCCC}", "$",                          // 2
                "{cccc}", "dialog1", "$DOLLAR$", "{aaaa}", "NAME", "value", "$",  // 3
                "", "C", "", "$",                                           // 4
                "{PRODUCT}", "My Product",                                  // 5, 6
                "Plug In", "$",                                             // 7
                "Maker", "Contact", "http://help", "http://update", "Remarks",
                "1.2.3",                                                    // 8-13
                "offline", "block.7z", "$",                                 // 14
                "", "", "Media1\\", "$",                                    // 15
                "3",                                                        // 16
                "VELK-PREDEF-COMPONENT", "0", "Main", "1024", "$",          // 17
                "{REVISION}",                                               // 18
                "Main", "0000000A\\a.txt", "Main\\00000001\\0000000A\\", "$",  // 19
                "TRUE", "English",                                          // 20, 21
                "0000000B", "2", "$",                                       // 22
                "BUILD", "42", "$",                                         // 23
                "1252",                                                     // 24
                "C:\\src\\setup.kes*0", "C:\\src\\setup.kes*1", "C:\\src\\setup.kes*2", "$",  // 25
                "5000000000",                                               // 26
                "0000000C", "NEWHEADER", "Main\\a.txt", "", "$",            // 27
                "0*0", "0*0", "RESULT*1", "$"},                             // 28
               eol);
}

TEST(CompiledScriptReaderTest, ReadsEveryFieldInFileOrder) {
  CompiledScript s = ParseCompiledScript(FullText());
  EXPECT_EQ(s.command_names, (std::vector<std::string>{"Set Variable", "End", "Display Dialog"}));
  EXPECT_EQ(s.command_guids, (std::vector<std::string>{"{AAAA}", "{BBBB}", "{CCCC}"}));
  EXPECT_EQ(s.parameter_table(),
            (std::vector<std::string>{"{cccc}", "dialog1", "$", "{aaaa}", "NAME", "value"}));
  EXPECT_EQ(s.disable_flags, (std::vector<std::string>{"", "C", ""}));
  EXPECT_EQ(s.product_code, "{PRODUCT}");
  EXPECT_EQ(s.product_title, "My Product");
  EXPECT_EQ(s.plugin_commands, (std::vector<std::string>{"Plug In"}));
  EXPECT_EQ(s.publisher, "Maker");
  EXPECT_EQ(s.contact, "Contact");
  EXPECT_EQ(s.help_link, "http://help");
  EXPECT_EQ(s.update_info_link, "http://update");
  EXPECT_EQ(s.comments, "Remarks");
  EXPECT_EQ(s.product_version, "1.2.3");
  EXPECT_EQ(s.web_media_blocks, (std::vector<std::string>{"offline", "block.7z"}));
  EXPECT_EQ(s.media_folders, (std::vector<std::string>{"", "", "Media1\\"}));
  EXPECT_EQ(s.cache_mode, 3);
  EXPECT_EQ(s.component_sizes,
            (std::vector<std::string>{"VELK-PREDEF-COMPONENT", "0", "Main", "1024"}));
  EXPECT_EQ(s.revision_code, "{REVISION}");
  EXPECT_EQ(s.media_files.size(), 3u);
  EXPECT_TRUE(s.language_prompt);
  EXPECT_EQ(s.default_language, "English");
  EXPECT_EQ(s.command_headers, (std::vector<std::string>{"0000000B", "2"}));
  EXPECT_EQ(s.compiler_variables, (std::vector<std::string>{"BUILD", "42"}));
  EXPECT_EQ(s.code_page, 1252);
  EXPECT_EQ(s.source_locations.size(), 3u);
  EXPECT_EQ(s.total_size, 5000000000);
  EXPECT_EQ(s.file_headers, (std::vector<std::string>{"0000000C", "NEWHEADER", "Main\\a.txt", ""}));
  EXPECT_EQ(s.include_markers, (std::vector<std::string>{"0*0", "0*0", "RESULT*1"}));

  EXPECT_EQ(s.CommandName(2), "Display Dialog");
  EXPECT_TRUE(s.IsDisabled(1));
  EXPECT_FALSE(s.IsDisabled(0));
  EXPECT_EQ(s.MediaFolder(2), "Media1\\");
  EXPECT_EQ(s.SourceLocation(1), "C:\\src\\setup.kes*1");
  EXPECT_EQ(s.IncludeMarker(2), "RESULT*1");
}

TEST(CompiledScriptReaderTest, ByteOrderMarkAndLineEndsDoNotChangeTheResult) {
  const CompiledScript plain = ParseCompiledScript(FullText());
  EXPECT_EQ(ParseCompiledScript("\xEF\xBB\xBF" + FullText()), plain);
  EXPECT_EQ(ParseCompiledScript(FullText("\n")), plain);
  // Only one mark is skipped; a second one belongs to the first command name.
  CompiledScript twice = ParseCompiledScript("\xEF\xBB\xBF\xEF\xBB\xBF" + FullText());
  EXPECT_EQ(twice.command_names[0], "\xEF\xBB\xBFSet Variable");
}

TEST(CompiledScriptReaderTest, OnlyWholeDollarParametersAreUnescaped) {
  const struct {
    std::string_view stored;
    std::string_view read;
  } cases[] = {
      {"$DOLLAR$", "$"},          {"$WILD_DOLLAR$", "$"},     {"$DOLLAR$x", "$DOLLAR$x"},
      {"x$DOLLAR$", "x$DOLLAR$"}, {" $DOLLAR$", " $DOLLAR$"}, {"$dollar$", "$dollar$"},
      {"$$", "$$"},               {"a $ b", "a $ b"},
  };
  for (const auto& c : cases) {
    CompiledScript s = ParseCompiledScript(
        Lines({"Set Variable", "$", "{G1}", "$", "{G1}", c.stored, "after", "$"}));
    EXPECT_EQ(s.GetParameter(0, 1), c.read) << c.stored;
    EXPECT_EQ(s.GetParameter(0, 2), "after") << c.stored;
  }
  // Other lists keep the escape text as it is.
  CompiledScript s = ParseCompiledScript(Lines({"$DOLLAR$", "$"}));
  EXPECT_EQ(s.command_names, (std::vector<std::string>{"$DOLLAR$"}));
}

TEST(CompiledScriptReaderTest, ParametersAreFoundByGuidIgnoringCase) {
  CompiledScript s = ParseCompiledScript(
      Lines({"A", "B", "C", "D", "$",
             "{0A1B-CD}", "{NO-ENTRY}", "{3C}", "", "$",
             // entries out of command order; a repeated GUID line: the first wins
             "{3c}", "x", "{0a1b-cd}", "p1", "p2", "{0A1B-CD}", "late", "$"}));
  EXPECT_EQ(s.GetParameter(0, 0), "{0a1b-cd}");
  EXPECT_EQ(s.GetParameter(0, 1), "p1");
  EXPECT_EQ(s.GetParameter(0, 2), "p2");
  EXPECT_EQ(s.GetParameter(0, 3), "{0A1B-CD}");  // the fixed count is the command's business
  EXPECT_EQ(s.GetParameter(0, 5), "");           // past the end of the table
  EXPECT_EQ(s.GetParameter(0, 1000000), "");
  EXPECT_EQ(s.GetParameter(1, 0), "");  // no entry: every parameter is empty
  EXPECT_EQ(s.GetParameter(1, 1), "");
  EXPECT_EQ(s.GetParameter(2, 1), "x");
  // An empty GUID does not pick up an empty parameter line.
  EXPECT_EQ(s.GetParameter(3, 1), "");
  EXPECT_THROW(s.GetParameter(4, 1), EScriptFault);
}

TEST(CompiledScriptReaderTest, BytesAfterTheLastFieldAreIgnored) {
  const CompiledScript plain = ParseCompiledScript(FullText());
  std::string signed_text = FullText();
  signed_text.append(std::string("\x30\x82\x1f\x00\r\n$\r\nextra\r\n\xff\xfe", 16));
  EXPECT_EQ(ParseCompiledScript(signed_text), plain);
}

TEST(CompiledScriptReaderTest, TruncatedTextGivesShorterListsAndFaultsOnAccess) {
  const std::string full = FullText();
  // Every cut loads without harm.
  for (size_t cut = 0; cut <= full.size(); ++cut) {
    CompiledScript s = ParseCompiledScript(std::string_view(full).substr(0, cut));
    EXPECT_LE(s.command_names.size(), 3u) << cut;
    EXPECT_LE(s.parameter_table().size(), 6u) << cut;
    EXPECT_LE(s.include_markers.size(), 3u) << cut;
  }
  // Cut inside the parameter table: everything after it is empty.
  const size_t cut = full.find("NAME");
  CompiledScript s = ParseCompiledScript(std::string_view(full).substr(0, cut));
  EXPECT_EQ(s.command_names.size(), 3u);
  EXPECT_EQ(s.parameter_table().size(), 4u);
  EXPECT_EQ(s.GetParameter(0, 1), "");  // k runs past the shortened table
  EXPECT_TRUE(s.disable_flags.empty());
  EXPECT_EQ(s.product_title, "");
  EXPECT_EQ(s.cache_mode, 0);
  EXPECT_THROW(s.IsDisabled(0), EScriptFault);
  EXPECT_THROW(s.MediaFolder(2), EScriptFault);
  EXPECT_THROW(s.SourceLocation(0), EScriptFault);
  EXPECT_THROW(s.IncludeMarker(0), EScriptFault);
  EXPECT_NO_THROW(s.CommandName(2));
  EXPECT_THROW(s.CommandName(3), EScriptFault);
  try {
    s.MediaFolder(2);
  } catch (const EScriptFault& e) {
    EXPECT_STREQ(e.what(), "Command index 2 is beyond the end of the media folder list (0 lines).");
  }
}

TEST(CompiledScriptReaderTest, DamagedIntegersReadAsZero) {
  const struct {
    std::string_view text;
    int32_t value;
  } cases[] = {
      {"2", 2},     {" 3\t", 3},  {"+4", 4},          {"-1", -1},         {"", 0},
      {"abc", 0},   {"12abc", 0}, {"1 2", 0},         {"0x10", 0},        {"--1", 0},
      {"2147483647", 2147483647}, {"2147483648", 0},  {"99999999999999999999", 0},
  };
  for (const auto& c : cases) {
    std::string text = Lines({"$", "$", "$", "$", "", "", "$", "", "", "", "", "", "", "$", "$"});
    text += std::string(c.text) + "\r\n";
    EXPECT_EQ(ParseCompiledScript(text).cache_mode, c.value) << c.text;
  }
  std::string total = FullText();
  total.replace(total.find("5000000000"), 10, "9223372036854775808");
  EXPECT_EQ(ParseCompiledScript(total).total_size, 0);
}

TEST(CompiledScriptReaderTest, LanguagePromptNeedsExactlyTrue) {
  for (auto [line, expected] : {std::pair{"TRUE", true}, {"True", false}, {"FALSE", false},
                                {"-1", false}, {"", false}}) {
    std::string text = FullText();
    text.replace(text.find("TRUE\r\n"), 4, line);
    EXPECT_EQ(ParseCompiledScript(text).language_prompt, expected) << line;
  }
}

CompiledScript FullyPopulated() {
  CompiledScript s;
  s.command_names = {"Set Variable", "If", "End", "Display Dialog"};
  s.command_guids = {"{11111111-AAAA}", "{22222222-BBBB}", "{33333333-CCCC}", "{44444444-DDDD}"};
  s.SetParameterTable({"{44444444-dddd}", "Welcome", "", "$", "{11111111-AAAA}", "PRICE", "$DOLLAR$5",
                       "Grüße 日本語"});
  s.disable_flags = {"", "", "C", ""};
  s.product_code = "{PRODUCT-CODE}";
  s.product_title = "Prödüct $";
  s.plugin_commands = {"My Plug-in Command"};
  s.publisher = "Maker Ltd.";
  s.contact = "support@example.org";
  s.help_link = "https://example.org/help";
  s.update_info_link = "https://example.org/update";
  s.comments = "A comment";
  s.product_version = "2.0.1";
  s.web_media_blocks = {"offline", "C:\\media\\", "Block1", "https://example.org/b1.7z"};
  s.media_folders = {"", "Disk1\\", "", ""};
  s.cache_mode = 2;
  s.component_sizes = {"VELK-PREDEF-COMPONENT", "0", "Docs", "4096"};
  s.revision_code = "{REVISION-CODE}";
  s.media_files = {"Docs", "0000001F\\readme.txt", "Docs\\00000001\\0000001F\\"};
  s.language_prompt = true;
  s.default_language = "German";
  s.command_headers = {"00000003", "1"};
  s.compiler_variables = {"BUILD", "#7#"};
  s.code_page = 1252;
  s.source_locations = {"C:\\s.kes*0", "C:\\s.kes*1", "C:\\s.kes*2", "C:\\s.kes*3"};
  s.total_size = 123456789012345;
  s.file_headers = {"0000001F", "NEWHEADER", "Docs\\readme.txt", ""};
  s.include_markers = {"0*0", "0*0", "0*0", "INCRESULT*1"};
  return s;
}

TEST(CompiledScriptWriterTest, RoundTripKeepsEveryField) {
  const CompiledScript original = FullyPopulated();
  const std::string text = WriteCompiledScript(original);
  EXPECT_TRUE(text.starts_with("\xEF\xBB\xBFSet Variable\r\nIf\r\n"));
  EXPECT_NE(text.find("\r\nWelcome\r\n\r\n$DOLLAR$\r\n{11111111-AAAA}\r\n"), std::string::npos);
  EXPECT_TRUE(text.ends_with("\r\nINCRESULT*1\r\n$\r\n"));
  const CompiledScript read = ParseCompiledScript(text);
  EXPECT_EQ(read, original);
  EXPECT_EQ(read.GetParameter(3, 3), "$");
  EXPECT_EQ(read.GetParameter(0, 2), "$DOLLAR$5");
  // An empty script survives too.
  EXPECT_EQ(ParseCompiledScript(WriteCompiledScript(CompiledScript())), CompiledScript());
}

TEST(CompiledScriptWriterTest, RefusesValuesTheFormatCannotHold) {
  const struct {
    const char* what;
    void (*damage)(CompiledScript&);
  } cases[] = {
      {"CR in a line", [](CompiledScript& s) { s.product_title = "a\rb"; }},
      {"LF in a line", [](CompiledScript& s) { s.comments = "a\nb"; }},
      {"LF in a list", [](CompiledScript& s) { s.compiler_variables[1] = "x\r\n"; }},
      {"LF in a parameter", [](CompiledScript& s) { s.SetParameterTable({"{G}", "a\nb"}); }},
      {"$ in a list", [](CompiledScript& s) { s.web_media_blocks[1] = "$"; }},
      {"$ in the command list", [](CompiledScript& s) { s.command_names[0] = "$"; }},
      {"escape text as a parameter", [](CompiledScript& s) { s.SetParameterTable({"$DOLLAR$"}); }},
      {"wild escape text as a parameter",
       [](CompiledScript& s) { s.SetParameterTable({"{G}", "$WILD_DOLLAR$"}); }},
  };
  for (const auto& c : cases) {
    CompiledScript s = FullyPopulated();
    c.damage(s);
    EXPECT_THROW(WriteCompiledScript(s), ECompiledScriptWrite) << c.what;
  }
}

}  // namespace
}  // namespace kestrawl::script
