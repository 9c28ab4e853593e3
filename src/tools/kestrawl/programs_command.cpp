#include "tools/kestrawl/programs_command.h"

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "base/command_line.h"
#include "base/text.h"
#include "bootstrap/startup_settings.h"
#include "tools/kestrawl/installed_programs.h"

namespace kestrawl::tools {

using namespace kestrawl::platform;

namespace {

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char buf[8];
          snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned char>(c));
          out += buf;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

// A table cell: control characters would break the layout, so they show as blanks.
std::string Cell(const std::string& text) {
  std::string out = text;
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
  return out;
}

// Characters on screen, counted as code points (wide characters count one).
size_t Width(const std::string& text) {
  return static_cast<size_t>(std::count_if(text.begin(), text.end(),
                                           [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

void PrintTable(const std::vector<InstalledProgram>& programs, std::ostream& out) {
  if (programs.empty()) {
    out << "No programs are registered.\n";
    return;
  }
  std::vector<std::vector<std::string>> rows = {{"Name", "Version", "Publisher", "Uninstall command"}};
  for (const auto& p : programs) rows.push_back({Cell(p.name), Cell(p.version), Cell(p.publisher), Cell(p.uninstall)});
  size_t widths[3] = {};
  for (const auto& row : rows)
    for (size_t i = 0; i < 3; ++i) widths[i] = std::max(widths[i], Width(row[i]));
  for (const auto& row : rows) {
    std::string line;
    for (size_t i = 0; i < 3; ++i) line += row[i] + std::string(widths[i] - Width(row[i]) + 2, ' ');
    line += row[3];
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out << line << "\n";
  }
}

void PrintJson(const std::vector<InstalledProgram>& programs, std::ostream& out) {
  if (programs.empty()) {
    out << "[]\n";
    return;
  }
  out << "[\n";
  for (size_t i = 0; i < programs.size(); ++i) {
    const auto& p = programs[i];
    out << "  {\"name\": " << JsonString(p.name) << ", \"version\": " << JsonString(p.version)
        << ", \"publisher\": " << JsonString(p.publisher) << ", \"uninstall\": " << JsonString(p.uninstall)
        << ", \"key\": " << JsonString(p.key) << ", \"scope\": " << JsonString(p.scope) << "}"
        << (i + 1 < programs.size() ? "," : "") << "\n";
  }
  out << "]\n";
}

bool Blank(char c) { return c == ' ' || c == '\t'; }

// An unquoted program path may hold blanks: like Windows, take the shortest
// prefix ending at a blank (or the whole line) that names an existing file.
std::string QuoteProgramPath(FileSystem& files, const std::string& line) {
  if (line.empty() || line[0] == '"') return line;
  for (size_t end = 0; end <= line.size(); ++end) {
    if (end < line.size() && !Blank(line[end])) continue;
    std::string candidate = line.substr(0, end);
    FileEntry entry;
    if (files.GetEntry(candidate, &entry) == err::kSuccess && !entry.IsFolder()) {
      if (candidate.find_first_of(" \t") == std::string::npos) return line;
      return "\"" + candidate + "\"" + line.substr(end);
    }
  }
  return line;
}

std::string RunFailure(const std::string& command, Win32Error e) {
  std::vector<std::string> items = base::SplitCommandLine(command);
  std::string program = items.empty() ? command : items.front();
  switch (e) {
    case err::kFileNotFound:
    case err::kPathNotFound:
      return "the uninstall program does not exist: " + program;
    case err::kBadExeFormat:
      return "the uninstall program is not something this machine can run: " + program;
    default:
      return "cannot run " + program + ": " + SystemMessage(e);
  }
}

}  // namespace

void PrintPrograms(Platform& machine, bool json, std::ostream& out) {
  std::vector<InstalledProgram> programs = ListInstalledPrograms(machine);
  if (json) PrintJson(programs, out);
  else PrintTable(programs, out);
}

std::string UninstallCommandLine(FileSystem& files, const std::string& command, bool silent) {
  std::string line = QuoteProgramPath(files, std::string(base::Trim(command)));
  if (silent && !bootstrap::ParseStartupSettings(line).silent) line += " /s";
  return line;
}

int RunUninstall(Platform& machine, const std::string& name, bool silent, std::ostream& out, std::ostream& err) {
  std::vector<InstalledProgram> programs = ListInstalledPrograms(machine);
  std::vector<const InstalledProgram*> found = FindPrograms(programs, name);
  if (found.empty()) {
    err << "kestrawl: no program named '" << name << "' is registered on this machine";
    std::vector<std::string> close = CloseProgramNames(programs, name);
    if (close.empty()) {
      err << " (`kestrawl machine programs` lists them)\n";
    } else {
      err << "; did you mean:\n";
      for (const auto& n : close) err << "  " << n << "\n";
    }
    return 2;
  }
  if (found.size() > 1) {
    err << "kestrawl: " << found.size() << " entries are named '" << name
        << "'; give the key of the one to remove instead of its name:\n";
    for (const auto* p : found) err << "  " << p->key << "\n";
    return 2;
  }
  const InstalledProgram& p = *found.front();
  std::string command = p.uninstall_expand ? machine.Sys().ExpandEnvironment(p.uninstall) : p.uninstall;
  if (base::Trim(command).empty()) {
    err << "kestrawl: '" << p.name << "' has no uninstall command (no UninstallString in " << p.key << ")\n";
    return 2;
  }
  std::string line = UninstallCommandLine(machine.Files(), command, silent);
  out << "Running: " << line << std::endl;
  uint32_t code = 0;
  Win32Error e = machine.Procs().Run(line, {}, true, &code);
  if (e != err::kSuccess) {
    err << "kestrawl: " << RunFailure(line, e) << "\n";
    return 2;
  }
  out << "Exit code: " << code << std::endl;
  return code <= 255 ? static_cast<int>(code) : 255;
}

void AddProgramsCommands(CLI::App& machine, OpenMachine open, int& exit_code) {
  auto json = std::make_shared<bool>(false);
  CLI::App* list_cmd = machine.add_subcommand("programs", "List the machine's Add/Remove Programs entries");
  list_cmd->add_flag("--json", *json, "Print a JSON array (name, version, publisher, uninstall, key, scope)");
  list_cmd->callback([open, json] {
    auto m = open();
    PrintPrograms(*m, *json, std::cout);
  });

  struct UninstallOptions {
    std::string name;
    bool silent = false;
  };
  auto options = std::make_shared<UninstallOptions>();
  CLI::App* uninstall_cmd =
      machine.add_subcommand("uninstall", "Run the uninstall command of an Add/Remove Programs entry and wait");
  uninstall_cmd->add_option("NAME", options->name, "The entry's name (ignoring case), or its registry key")
      ->required();
  uninstall_cmd->add_flag("--silent", options->silent, "Append the engine's silent switch (/s)");
  uninstall_cmd->callback([open, options, &exit_code] {
    auto m = open();
    exit_code = RunUninstall(*m, options->name, options->silent, std::cout, std::cerr);
  });
}

}  // namespace kestrawl::tools
