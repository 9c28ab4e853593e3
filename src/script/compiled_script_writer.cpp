#include "script/compiled_script_writer.h"

#include <string_view>
#include <utility>
#include <vector>

namespace kestrawl::script {
namespace {

class Writer {
 public:
  void Line(std::string_view field, std::string_view value) {
    if (value.find_first_of("\r\n") != std::string_view::npos) {
      throw ECompiledScriptWrite("The " + std::string(field) +
                                 " contains a line break, which the compiled script cannot hold.");
    }
    out_.append(value);
    out_.append("\r\n");
  }

  void List(std::string_view field, const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
      if (line == "$") {
        throw ECompiledScriptWrite("The " + std::string(field) +
                                   " contains a line \"$\", which would end the list.");
      }
      Line(field, line);
    }
    out_.append("$\r\n");
  }

  void Parameters(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
      if (line == "$DOLLAR$" || line == "$WILD_DOLLAR$") {
        throw ECompiledScriptWrite("The parameter table contains the line \"" + line +
                                   "\", which would read back as \"$\".");
      }
      Line("parameter table", line == "$" ? std::string_view("$DOLLAR$") : line);
    }
    out_.append("$\r\n");
  }

  std::string Take() { return std::move(out_); }

 private:
  std::string out_ = "\xEF\xBB\xBF";
};

}  // namespace

std::string WriteCompiledScript(const CompiledScript& s) {
  Writer w;
  w.List("command list", s.command_names);
  w.List("command GUID list", s.command_guids);
  w.Parameters(s.parameter_table());
  w.List("disable list", s.disable_flags);
  w.Line("product code", s.product_code);
  w.Line("product title", s.product_title);
  w.List("plug-in command list", s.plugin_commands);
  w.Line("publisher", s.publisher);
  w.Line("contact", s.contact);
  w.Line("help link", s.help_link);
  w.Line("update information link", s.update_info_link);
  w.Line("comments", s.comments);
  w.Line("product version", s.product_version);
  w.List("web media block table", s.web_media_blocks);
  w.List("media folder list", s.media_folders);
  w.Line("cache mode", std::to_string(s.cache_mode));
  w.List("component size list", s.component_sizes);
  w.Line("revision code", s.revision_code);
  w.List("media file list", s.media_files);
  w.Line("language prompt", s.language_prompt ? "TRUE" : "FALSE");
  w.Line("default language", s.default_language);
  w.List("command header table", s.command_headers);
  w.List("compiler variable list", s.compiler_variables);
  w.Line("code page", std::to_string(s.code_page));
  w.List("source location list", s.source_locations);
  w.Line("total size", std::to_string(s.total_size));
  w.List("file header table", s.file_headers);
  w.List("include marker list", s.include_markers);
  return w.Take();
}

}  // namespace kestrawl::script
