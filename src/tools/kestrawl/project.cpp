#include "tools/kestrawl/project.h"

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "base/text.h"
#include "script/command_table.h"
#include "tools/kestrawl/install_file_plan.h"

namespace kestrawl::tools {

namespace {

bool IsGuid(const std::string& s) {
  static const char* kShape = "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}";
  if (s.size() != 38) return false;
  for (size_t i = 0; i < s.size(); ++i) {
    if (kShape[i] == 'X') {
      if (!isxdigit(static_cast<unsigned char>(s[i]))) return false;
    } else if (s[i] != kShape[i]) {
      return false;
    }
  }
  return true;
}

bool HasParam(const script::CommandSpec& def, std::string_view name) {
  for (const auto& ps : def.params)
    if (ps.name == name) return true;
  return false;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

class Parser {
 public:
  Parser(const std::string& file, const std::string& folder) : file_(file), folder_(folder) {}

  Project Parse(const std::string& text) {
    Project p;
    std::vector<std::string> lines = base::Split(text, '\n');
    if (!lines.empty() && lines[0].rfind("\xEF\xBB\xBF", 0) == 0) lines[0] = lines[0].substr(3);
    std::string section;
    std::set<std::string> seen_keys;
    for (size_t i = 0; i < lines.size(); ++i) {
      line_ = static_cast<int>(i) + 1;
      std::string raw = lines[i];
      if (!raw.empty() && raw.back() == '\r') raw.pop_back();
      std::string t(base::Trim(raw));
      if (t.empty() || t[0] == '#') continue;
      if (t.front() == '[' && t.back() == ']') {
        section = t.substr(1, t.size() - 2);
        if (section != "setup" && section != "compiler-variables" && section != "plugins" &&
            section != "components" && section != "web-media" && section != "script")
          Fail("unknown section [" + section +
               "] (known: [setup], [compiler-variables], [plugins], [components], [web-media], [script])");
        continue;
      }
      if (section.empty()) Fail("text before the first section; start with [setup]");
      if (section == "setup") {
        auto [key, value] = KeyValue(t);
        if (!seen_keys.insert(key).second) Fail("'" + key + "' is given twice");
        Header(p, key, value);
      } else if (section == "compiler-variables") {
        auto [key, value] = KeyValue(t);
        if (value.find('\r') != std::string::npos) Fail("a value cannot hold a line break");
        p.compiler_variables.emplace_back(key, value);
      } else if (section == "plugins") {
        p.plugin_commands.push_back(t);
      } else if (section == "web-media") {
        auto [key, value] = KeyValue(t);
        if (key.find_first_of("\\/:*?\"<>|") != std::string::npos)
          Fail("web media block name must be a legal file name: '" + key + "'");
        p.web_media_passwords.emplace_back(key, value);
      } else if (section == "components") {
        auto [key, value] = KeyValue(t);
        uint64_t size = 0;
        try {
          size_t used = 0;
          size = std::stoull(value, &used);
          if (used != value.size() || value[0] == '-') throw std::invalid_argument(value);
        } catch (const std::exception&) {
          Fail("the size of component '" + key + "' must be a number of bytes, not '" + value + "'");
        }
        p.components.emplace_back(key, size);
      } else {
        ScriptLine(t, i, p, 0, "0");
      }
    }
    line_ = static_cast<int>(lines.size());
    if (p.title.empty()) Fail("the [setup] header needs a title");
    if (p.product_code.empty()) Fail("the [setup] header needs a product-code");
    if (p.revision_code.empty()) Fail("the [setup] header needs a revision-code");
    return p;
  }

 private:
  [[noreturn]] void Fail(const std::string& message) { throw EProjectError(file_, line_, message); }

  std::pair<std::string, std::string> KeyValue(const std::string& t) {
    size_t eq = t.find('=');
    if (eq == std::string::npos) Fail("expected NAME = VALUE");
    std::string key(base::Trim(std::string_view(t).substr(0, eq)));
    std::string value(base::Trim(std::string_view(t).substr(eq + 1)));
    if (key.empty()) Fail("missing name before '='");
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = Unquote(value);
    return {key, value};
  }

  std::string Unquote(const std::string& v) {
    std::string out;
    for (size_t i = 1; i + 1 < v.size(); ++i) {
      if (v[i] == '"') {
        if (i + 2 < v.size() && v[i + 1] == '"') {
          out.push_back('"');
          ++i;
        } else {
          Fail("a quote inside a quoted value must be doubled");
        }
      } else {
        out.push_back(v[i]);
      }
    }
    return out;
  }

  int Integer(const std::string& key, const std::string& value) {
    try {
      size_t used = 0;
      int v = std::stoi(value, &used);
      if (used != value.size()) throw std::invalid_argument(value);
      return v;
    } catch (const std::exception&) {
      Fail("'" + key + "' must be a whole number, not '" + value + "'");
    }
  }

  void Header(Project& p, const std::string& key, const std::string& value) {
    auto guid = [&](std::string& field) {
      std::string upper = base::AsciiUpper(value);
      if (!IsGuid(upper)) Fail("'" + key + "' must be a GUID like {01234567-89AB-CDEF-0123-456789ABCDEF}, not '" +
                               value + "'");
      field = upper;
    };
    if (key == "name") {
      if (value.empty() || value.find_first_of("/\\") != std::string::npos)
        Fail("'name' must be a plain file name");
      p.name = value;
    } else if (key == "title") p.title = value;
    else if (key == "version") p.version = value;
    else if (key == "publisher") p.publisher = value;
    else if (key == "contact") p.contact = value;
    else if (key == "help-link") p.help_link = value;
    else if (key == "update-link") p.update_link = value;
    else if (key == "comments") p.comments = value;
    else if (key == "product-code") guid(p.product_code);
    else if (key == "revision-code") guid(p.revision_code);
    else if (key == "cache-mode") p.cache_mode = Integer(key, value);
    else if (key == "code-page") p.code_page = Integer(key, value);
    else if (key == "media-compression") {
      if (value != "store" && value != "fast" && value != "normal" && value != "maximum")
        Fail("'media-compression' must be store, fast, normal or maximum, not '" + value + "'");
      p.media_compression = value;
    }
    else if (key == "default-language") p.default_language = value;
    else if (key == "language-prompt") {
      std::string v = base::AsciiLower(value);
      if (v != "true" && v != "false") Fail("'language-prompt' must be true or false");
      p.language_prompt = v == "true";
    } else {
      Fail("unknown header field '" + key +
           "' (known: name, title, version, publisher, contact, help-link, update-link, comments, "
           "product-code, revision-code, cache-mode, code-page, media-compression, language-prompt, "
           "default-language)");
    }
  }

  // One line of a script: a command, or "Include Script: file=F result=V",
  // which inlines the commands of F one include level deeper.
  void ScriptLine(const std::string& t, size_t index, Project& p, int depth, const std::string& result) {
    if (t.rfind("Include Script:", 0) == 0) {
      ProjectCommand inc = Command("Include Script" + t.substr(14), index, p, /*include=*/true);
      IncludeFile(inc, p, depth + 1);
      return;
    }
    ProjectCommand c = Command(t, index, p);
    c.depth = depth;
    c.include_result = result;
    p.commands.push_back(std::move(c));
  }

  void IncludeFile(const ProjectCommand& directive, Project& p, int depth) {
    if (depth > 16) Fail("include scripts nest too deeply (more than 16 levels)");
    const std::string file = directive.params[0];
    const std::string result = directive.params[1];
    namespace fs = std::filesystem;
    const fs::path path = fs::path(folder_) / file;
    std::error_code ec;
    if (file.empty() || !fs::is_regular_file(path, ec)) Fail("include script not found: " + path.string());
    const std::string text = ReadText(path.string());
    const std::string saved_file = file_;
    const int saved_line = line_;
    file_ = path.string();
    std::vector<std::string> lines = base::Split(text, '\n');
    for (size_t i = 0; i < lines.size(); ++i) {
      line_ = static_cast<int>(i) + 1;
      std::string raw = lines[i];
      if (!raw.empty() && raw.back() == '\r') raw.pop_back();
      if (i == 0 && raw.rfind("\xEF\xBB\xBF", 0) == 0) raw = raw.substr(3);
      std::string line(base::Trim(raw));
      if (line.empty() || line[0] == '#') continue;
      ScriptLine(line, i, p, depth, result);
    }
    file_ = saved_file;
    line_ = saved_line;
  }

  // NAME [param=value ...] where a value is a bare word or "quoted ""text""".
  ProjectCommand Command(const std::string& text, size_t index, const Project& p, bool include = false) {
    ProjectCommand c;
    c.source_file = std::filesystem::path(file_).filename().string();
    c.source_line = static_cast<int>(index);
    c.project_file = file_;
    std::string t = text;
    if (t[0] == '~') {
      c.disabled = true;
      t = std::string(base::Trim(std::string_view(t).substr(1)));
    }
    size_t colon = t.find(':');
    std::string name(base::Trim(std::string_view(t).substr(0, colon)));
    std::string rest = colon == std::string::npos ? std::string() : t.substr(colon + 1);
    c.name = name;
    static const script::CommandSpec kInclude{
        "Include Script", "control", script::BlockRole::kNone, false, false, "inlines another script file",
        {{"file", script::ParamReading::kRaw, false, "script file, relative to the project folder"},
         {"result", script::ParamReading::kResultVariable, true, "variable that receives the returned value"}},
        ""};
    const script::CommandSpec* def = include ? &kInclude : script::FindCommand(name);
    bool plugin = false;
    for (const auto& pc : p.plugin_commands) plugin = plugin || pc == name;
    if (!def && !plugin) Fail("unknown command '" + name + "'");

    // Parse name=value pairs.
    std::vector<std::pair<std::string, std::string>> given;
    size_t i = 0;
    while (i < rest.size()) {
      while (i < rest.size() && (rest[i] == ' ' || rest[i] == '\t')) ++i;
      if (i >= rest.size()) break;
      size_t eq = rest.find('=', i);
      if (eq == std::string::npos) Fail("expected name=value after the command name, found '" + rest.substr(i) + "'");
      std::string pname(base::Trim(std::string_view(rest).substr(i, eq - i)));
      if (pname.empty() || pname.find_first_of(" \t\"") != std::string::npos)
        Fail("bad parameter name '" + pname + "'");
      i = eq + 1;
      std::string value;
      if (i < rest.size() && rest[i] == '"') {
        ++i;
        bool closed = false;
        while (i < rest.size()) {
          if (rest[i] == '"') {
            if (i + 1 < rest.size() && rest[i + 1] == '"') {
              value.push_back('"');
              i += 2;
              continue;
            }
            ++i;
            closed = true;
            break;
          }
          value.push_back(rest[i++]);
        }
        if (!closed) Fail("the value of '" + pname + "' has no closing quote");
        if (i < rest.size() && rest[i] != ' ' && rest[i] != '\t') Fail("expected a blank after the quoted value of '" + pname + "'");
      } else {
        while (i < rest.size() && rest[i] != ' ' && rest[i] != '\t') value.push_back(rest[i++]);
      }
      for (const auto& g : given)
        if (g.first == pname) Fail("parameter '" + pname + "' is given twice");
      given.emplace_back(pname, value);
    }

    if (!def) {  // plug-in command: parameters in the order written
      for (const auto& g : given) c.params.push_back(g.second);
      return c;
    }
    // A file-group command without a stored "build_options" line still
    // takes build options; they are used by the build and not stored.
    if (IsFileGroupCommand(name) && !HasParam(*def, "build_options")) {
      for (auto g = given.begin(); g != given.end(); ++g) {
        if (g->first == "build_options") {
          c.build_options = g->second;
          given.erase(g);
          break;
        }
      }
    }
    c.params.assign(def->params.size(), std::string());
    for (const auto& [pname, value] : given) {
      size_t k = 0;
      while (k < def->params.size() && def->params[k].name != pname) ++k;
      if (k == def->params.size()) {
        std::string names;
        for (const auto& ps : def->params) names += (names.empty() ? "" : ", ") + std::string(ps.name);
        Fail("'" + name + "' has no parameter '" + pname + "'" +
             (names.empty() ? " (it takes none)" : " (it takes: " + names + ")"));
      }
      c.params[k] = value;
    }
    for (size_t k = 0; k < def->params.size(); ++k) {
      if (!def->params[k].optional && c.params[k].empty())
        Fail("'" + name + "' needs the parameter '" + std::string(def->params[k].name) + "'");
      if (def->params[k].name == "build_options") c.build_options = c.params[k];
    }
    return c;
  }

  std::string file_;
  std::string folder_;
  int line_ = 0;
};

}  // namespace

Project ParseProject(const std::string& text, const std::string& file_label, const std::string& folder) {
  return Parser(file_label, folder).Parse(text);
}

Project ReadProject(const std::string& folder) {
  namespace fs = std::filesystem;
  fs::path script = fs::path(folder) / "setup.kws";
  std::ifstream in(script, std::ios::binary);
  if (!in) throw EProjectError("cannot read " + script.string() + " (a project folder holds setup.kws)");
  std::stringstream ss;
  ss << in.rdbuf();
  Project p = ParseProject(ss.str(), script.string(), folder);
  p.folder = folder;
  p.script_path = script.string();
  if (p.name.empty()) p.name = fs::absolute(folder).lexically_normal().filename().string();
  if (p.name.empty()) p.name = fs::absolute(folder).lexically_normal().parent_path().filename().string();
  return p;
}

}  // namespace kestrawl::tools
