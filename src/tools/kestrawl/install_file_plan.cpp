#include "tools/kestrawl/install_file_plan.h"

#include <algorithm>
#include <filesystem>
#include <map>

#include "base/text.h"
#include "base/wildcard.h"
#include "base/win_path.h"
#include "script/command_table.h"

namespace kestrawl::tools {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kFiles = "Install Files";
constexpr std::string_view kAssembly = "Install Assembly";
constexpr std::string_view kService = "Install Service";
constexpr std::string_view kOdbcDriver = "Install ODBC Driver";

struct BuildOptions {
  bool recurse = false;
  std::string medium;
  bool has_assembly = false;
  std::string assembly;
  std::string setup_file;
};

// Throws errors at the command's line.
class CommandPlanner {
 public:
  CommandPlanner(const Project& project, const ProjectCommand& command)
      : project_(project), command_(command) {}

  FileGroup Plan(size_t index, const std::string& header) {
    FileGroup group;
    group.command_index = index;
    group.header = header;
    const BuildOptions options = ParseOptions(command_.build_options);
    group.medium = options.medium;
    Collect(SourceParameter(), options, group.files);
    for (PlannedFile& f : group.files) f.second_line = SecondLine(f, options);
    return group;
  }

 private:
  [[noreturn]] void Fail(const std::string& message) const {
    throw EProjectError(command_.project_file, command_.source_line + 1, "'" + command_.name + "': " + message);
  }

  std::string SourceParameter() const {
    const script::CommandSpec* def = script::FindCommand(command_.name);
    for (size_t k = 0; def && k < def->params.size() && k < command_.params.size(); ++k) {
      if (def->params[k].name == "source") {
        if (command_.params[k].empty())
          Fail("needs the parameter 'source' (the project files it installs, e.g. source=files\\*)");
        return command_.params[k];
      }
    }
    Fail("has no 'source' parameter");
  }

  // A name Windows can hold as one path component.
  static bool LegalName(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    for (unsigned char c : name) {
      if (c < 0x20 || std::string_view("\\/:*?\"<>|").find(static_cast<char>(c)) != std::string_view::npos)
        return false;
    }
    return true;
  }

  BuildOptions ParseOptions(const std::string& text) const {
    BuildOptions o;
    std::string words = text;
    std::replace(words.begin(), words.end(), '\t', ' ');
    for (const std::string& word : base::Split(words, ' ')) {
      if (word.empty()) continue;
      const size_t eq = word.find('=');
      const std::string key = word.substr(0, eq);
      const std::string value = eq == std::string::npos ? std::string() : word.substr(eq + 1);
      if (word == "recurse") {
        o.recurse = true;
      } else if (key == "media" && eq != std::string::npos) {
        if (!o.medium.empty()) Fail("build option 'media' is given twice");
        if (!LegalName(value)) Fail("'media=' needs a web media block name that is a legal file name, not '" + value + "'");
        if (base::EqualsNoCase(value, "offline"))
          Fail("'offline' names the setup's own media, not a web media block; leave out 'media=' for them");
        if (project_.cache_mode != 2)
          Fail("web media block '" + value + "' needs cache-mode 2 (the project has cache-mode " +
               std::to_string(project_.cache_mode) + ")");
        o.medium = value;
      } else if (key == "assembly" && eq != std::string::npos && command_.name == kAssembly) {
        if (value.empty()) Fail("'assembly=' needs an assembly name");
        o.has_assembly = true;
        o.assembly = value;
      } else if (key == "setup" && eq != std::string::npos && command_.name == kOdbcDriver) {
        if (!LegalName(value)) Fail("'setup=' needs a file name, not '" + value + "'");
        o.setup_file = value;
      } else {
        std::string known = "recurse, media=NAME";
        if (command_.name == kAssembly) known += ", assembly=NAME";
        if (command_.name == kOdbcDriver) known += ", setup=FILE";
        Fail("unknown build option '" + word + "' (known: " + known + ")");
      }
    }
    return o;
  }

  std::string SecondLine(const PlannedFile& f, const BuildOptions& o) const {
    if (command_.name == kFiles) return f.subfolder;
    if (command_.name == kAssembly) return o.has_assembly ? o.assembly : base::ChangeFileExt(f.name, "");
    if (command_.name == kOdbcDriver) return o.setup_file;
    return "";  // services
  }

  void Collect(const std::string& source, const BuildOptions& o, std::vector<PlannedFile>& files) const {
    std::string text = source;
    std::replace(text.begin(), text.end(), '/', '\\');
    if (text[0] == '\\' || text.find(':') != std::string::npos)
      Fail("'source' must be relative to the project folder, not '" + source + "'");
    std::vector<std::string> parts;
    for (const std::string& part : base::Split(text, '\\')) {
      if (part.empty() || part == ".") continue;
      if (part == "..") Fail("'source' must stay inside the project folder, not '" + source + "'");
      parts.push_back(part);
    }
    if (parts.empty() || text.back() == '\\')
      Fail("'source' names a folder; name its files, e.g. source=" + text + (text.back() == '\\' ? "" : "\\") + "*");
    const std::string pattern = parts.back();
    parts.pop_back();
    fs::path folder = project_.folder.empty() ? fs::path(".") : fs::path(project_.folder);
    std::string shown;  // the folder as written, for messages
    for (const std::string& part : parts) {
      if (base::HasWildcards(part)) Fail("wildcards are allowed only in the last part of 'source': '" + source + "'");
      folder /= part;
      shown += part + "\\";
    }
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) Fail("source folder not found: " + (shown.empty() ? "." : shown));
    if (!base::HasWildcards(pattern) && fs::is_directory(folder / pattern, ec))
      Fail("'source' names a folder; name its files, e.g. source=" + shown + pattern + "\\*" +
           (o.recurse ? "" : " (add 'recurse' for its subfolders)"));

    auto consider = [&](const fs::directory_entry& entry) {
      std::error_code e;
      if (!entry.is_regular_file(e)) return;
      const std::string name = entry.path().filename().string();
      if (!base::WildcardMatch(pattern, name)) return;
      std::string subfolder;
      const fs::path relative = entry.path().parent_path().lexically_relative(folder);
      for (const fs::path& part : relative) {
        const std::string p = part.string();
        if (p.empty() || p == ".") continue;
        if (!LegalName(p)) Fail("the folder name '" + p + "' below " + shown + " cannot be used on Windows");
        subfolder += p + "\\";
      }
      if (!LegalName(name)) Fail("the file name '" + name + "' in " + shown + subfolder + " cannot be used on Windows");
      const uintmax_t size = entry.file_size(e);
      if (e) Fail("cannot read " + entry.path().string() + ": " + e.message());
      files.push_back({entry.path().string(), subfolder, name, static_cast<uint64_t>(size), ""});
    };
    if (o.recurse) {
      fs::recursive_directory_iterator it(folder, ec), end;
      for (; !ec && it != end; it.increment(ec)) consider(*it);
    } else {
      fs::directory_iterator it(folder, ec), end;
      for (; !ec && it != end; it.increment(ec)) consider(*it);
    }
    if (ec) Fail("cannot list " + folder.string() + ": " + ec.message());
    if (files.empty())
      Fail("'source' matches no file: " + source + (o.recurse ? " (subfolders included)" : ""));

    std::sort(files.begin(), files.end(), [](const PlannedFile& a, const PlannedFile& b) {
      return a.subfolder != b.subfolder ? a.subfolder < b.subfolder : a.name < b.name;
    });
    // Windows folders ignore letter case: two such files would overwrite each other.
    std::map<std::string, const PlannedFile*> seen;
    for (const PlannedFile& f : files) {
      auto [it, added] = seen.emplace(base::CaseFold(f.subfolder + f.name), &f);
      if (!added)
        Fail("the files " + shown + it->second->subfolder + it->second->name + " and " + shown + f.subfolder +
             f.name + " differ only in letter case; on Windows one would replace the other");
    }
  }

  const Project& project_;
  const ProjectCommand& command_;
};

}  // namespace

bool IsFileGroupCommand(std::string_view name) {
  return name == kFiles || name == kAssembly || name == kService || name == kOdbcDriver;
}

InstallFilePlan PlanInstallFiles(const Project& project, const std::vector<std::string>& headers) {
  InstallFilePlan plan;
  for (size_t i = 0; i < project.commands.size(); ++i) {
    const ProjectCommand& c = project.commands[i];
    if (!IsFileGroupCommand(c.name)) continue;
    FileGroup group = CommandPlanner(project, c).Plan(i, i < headers.size() ? headers[i] : std::string());
    // Block names are compared without regard to case by the setup: one
    // block, one spelling (the first one written), one archive.
    for (const FileGroup& earlier : plan.groups)
      if (base::EqualsNoCase(earlier.medium, group.medium)) group.medium = earlier.medium;
    for (const PlannedFile& f : group.files) plan.total_size += f.size;
    plan.groups.push_back(std::move(group));
  }
  return plan;
}

}  // namespace kestrawl::tools
