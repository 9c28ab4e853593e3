#include "script/compiled_script_reader.h"

#include <charconv>
#include <utility>
#include <vector>

namespace kestrawl::script {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

class LineReader {
 public:
  explicit LineReader(std::string_view text) : text_(text) {}

  // The next line without its terminator; empty once the text is used up.
  std::string_view ReadLine() {
    if (pos_ >= text_.size()) return {};
    size_t end = text_.find('\n', pos_);
    std::string_view line;
    if (end == std::string_view::npos) {
      line = text_.substr(pos_);
      pos_ = text_.size();
    } else {
      line = text_.substr(pos_, end - pos_);
      pos_ = end + 1;
    }
    // Drops the CR of CR LF, and of a CR LF cut off after its CR at the end.
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
  }

  std::string ReadString() { return std::string(ReadLine()); }

  // Lines up to (not including) a line "$", or to the end of the text.
  std::vector<std::string> ReadList() {
    std::vector<std::string> lines;
    while (pos_ < text_.size()) {
      std::string_view line = ReadLine();
      if (line == "$") break;
      lines.emplace_back(line);
    }
    return lines;
  }

  template <typename Int>
  Int ReadInteger() {
    std::string_view line = ReadLine();
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
    if (!line.empty() && line.front() == '+') line.remove_prefix(1);
    Int value = 0;
    auto [end, error] = std::from_chars(line.data(), line.data() + line.size(), value);
    if (line.empty() || error != std::errc() || end != line.data() + line.size()) return 0;
    return value;
  }

 private:
  std::string_view text_;
  size_t pos_ = 0;
};

// A parameter that is a dollar sign is stored escaped, because "$" ends a list.
void UndoParameterEscapes(std::vector<std::string>& lines) {
  for (std::string& line : lines) {
    if (line == "$WILD_DOLLAR$" || line == "$DOLLAR$") line = "$";
  }
}

}  // namespace

CompiledScript ParseCompiledScript(std::string_view text) {
  if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
  LineReader in(text);
  CompiledScript script;
  script.command_names = in.ReadList();
  script.command_guids = in.ReadList();
  std::vector<std::string> parameters = in.ReadList();
  UndoParameterEscapes(parameters);
  script.SetParameterTable(std::move(parameters));
  script.disable_flags = in.ReadList();
  script.product_code = in.ReadString();
  script.product_title = in.ReadString();
  script.plugin_commands = in.ReadList();
  script.publisher = in.ReadString();
  script.contact = in.ReadString();
  script.help_link = in.ReadString();
  script.update_info_link = in.ReadString();
  script.comments = in.ReadString();
  script.product_version = in.ReadString();
  script.web_media_blocks = in.ReadList();
  script.media_folders = in.ReadList();
  script.cache_mode = in.ReadInteger<int32_t>();
  script.component_sizes = in.ReadList();
  script.revision_code = in.ReadString();
  script.media_files = in.ReadList();
  script.language_prompt = in.ReadLine() == "TRUE";
  script.default_language = in.ReadString();
  script.command_headers = in.ReadList();
  script.compiler_variables = in.ReadList();
  script.code_page = in.ReadInteger<int32_t>();
  script.source_locations = in.ReadList();
  script.total_size = in.ReadInteger<int64_t>();
  script.file_headers = in.ReadList();
  script.include_markers = in.ReadList();
  return script;
}

platform::Win32Error LoadCompiledScript(platform::FileSystem& file_system,
                                        const std::string& path, CompiledScript* script) {
  std::string text;
  platform::Win32Error error = file_system.ReadWholeFile(path, &text);
  if (error != platform::err::kSuccess) return error;
  *script = ParseCompiledScript(text);
  return platform::err::kSuccess;
}

}  // namespace kestrawl::script
