// The compiled script as loaded into memory: the 28 fields of the text that
// the authoring tool appends to the engine, in file order. Lists hold their
// lines as written (without the closing "$" line); the parameter table holds
// its lines with the dollar escapes already undone and keeps a hash index for
// the GUID lookup of GetParameter.
//
// Per-command lists are addressed by the zero-based command index. A damaged
// (truncated) script may have per-command lists shorter than the command
// list; reading past the end of one throws EScriptFault, which the
// interpreter reports as a run-time error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kestrawl::script {

// A fault in the loaded script found while running it (an access beyond the
// end of a per-command list). Ends the run with a run-time error.
class EScriptFault : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class CompiledScript {
 public:
  // 1. Command names in script order; the command index is the position.
  std::vector<std::string> command_names;
  // 2. Command GUIDs, parallel to command_names.
  std::vector<std::string> command_guids;
  // 3. See parameter_table() / SetParameterTable().
  // 4. One line per command: "C" when the command is switched off, else empty.
  std::vector<std::string> disable_flags;
  // 5. Product code GUID (becomes PRODUCTCODE).
  std::string product_code;
  // 6. Product title (becomes TITLE and the initial STARTMENU).
  std::string product_title;
  // 7. Names of the commands carried out by plug-in libraries.
  std::vector<std::string> plugin_commands;
  // 8. Publisher (becomes COMPANY).
  std::string publisher;
  // 9. Add/Remove Programs value Contact.
  std::string contact;
  // 10. Add/Remove Programs value HelpLink.
  std::string help_link;
  // 11. Add/Remove Programs value URLUpdateInfo.
  std::string update_info_link;
  // 12. Add/Remove Programs value Comments.
  std::string comments;
  // 13. Product version (becomes VERSION).
  std::string product_version;
  // 14. Web media blocks: pairs of lines (block name, value).
  std::vector<std::string> web_media_blocks;
  // 15. One line per command: empty or the media folder ("Name\").
  std::vector<std::string> media_folders;
  // 16. Engine cache layout selector (2 and 3 are distinguished).
  int32_t cache_mode = 0;
  // 17. Component sizes: pairs of lines (component name, size in bytes).
  std::vector<std::string> component_sizes;
  // 18. Revision code GUID (becomes REVISIONCODE).
  std::string revision_code;
  // 19. Media files: triples of lines (feature, "XXXXXXXX\file", media path).
  std::vector<std::string> media_files;
  // 20. True when the line read exactly "TRUE": a run may offer the language window.
  bool language_prompt = false;
  // 21. Default language name ("English").
  std::string default_language;
  // 22. Command headers: pairs of lines (8 hex digits, command index).
  std::vector<std::string> command_headers;
  // 23. Compiler variables: pairs of lines (name, value).
  std::vector<std::string> compiler_variables;
  // 24. Authoring code page (kept, not used).
  int32_t code_page = 0;
  // 25. One line per command: "<source file>*<zero-based line>".
  std::vector<std::string> source_locations;
  // 26. Byte total for the native engine's progress.
  int64_t total_size = 0;
  // 27. File headers: groups of four lines (8 hex digits, "NEWHEADER",
  //     media path, empty line).
  std::vector<std::string> file_headers;
  // 28. One line per command: "<result variable or 0>*<include depth>".
  std::vector<std::string> include_markers;

  // 3. The parameter table: entries of one GUID line followed by that
  // command's parameter lines. Lines are the values themselves ("$" for a
  // parameter that is a dollar sign). Setting it rebuilds the GUID index.
  const std::vector<std::string>& parameter_table() const { return parameter_table_; }
  void SetParameterTable(std::vector<std::string> lines);

  // Number of commands (lines of field 1).
  size_t command_count() const { return command_names.size(); }

  // Parameter k of command i: the line k places after the first line of the
  // parameter table equal to the command's GUID (ignoring case); k = 0 gives
  // that GUID line. Empty when no line equals the GUID (or the GUID is empty)
  // or when k runs past the end of the table. Throws EScriptFault when i is
  // beyond the GUID list.
  std::string GetParameter(size_t command_index, size_t k) const;

  // Per-command lists; each throws EScriptFault when the index is beyond the
  // end of its list.
  const std::string& CommandName(size_t command_index) const;
  const std::string& CommandGuid(size_t command_index) const;
  bool IsDisabled(size_t command_index) const;
  const std::string& MediaFolder(size_t command_index) const;
  const std::string& SourceLocation(size_t command_index) const;
  const std::string& IncludeMarker(size_t command_index) const;

  bool operator==(const CompiledScript& other) const = default;

 private:
  std::vector<std::string> parameter_table_;
  // Upper-cased line -> position of its first occurrence in the table.
  std::unordered_map<std::string, size_t> first_position_;
};

}  // namespace kestrawl::script
