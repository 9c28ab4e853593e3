#include "bootstrap/startup_settings.h"

#include "base/command_line.h"
#include "base/text.h"

namespace kestrawl::bootstrap {

std::string CommandLineTail(std::string_view raw) {
  if (!raw.empty() && raw[0] == '"') {
    size_t close = raw.find('"', 1);
    if (close == std::string_view::npos) return {};
    size_t start = close + 2;  // the quote and the character after it
    return start >= raw.size() ? std::string() : std::string(raw.substr(start));
  }
  size_t blank = raw.find(' ');
  if (blank == std::string_view::npos) return {};
  return std::string(raw.substr(blank + 1));
}

namespace {

// A switch is exactly "/" or "-" followed by its name, letters in any case.
bool IsSwitch(const std::string& param, std::string_view name) {
  if (param.size() != name.size() + 1 || (param[0] != '/' && param[0] != '-')) return false;
  return base::AsciiLower(param.substr(1)) == name;
}

// The first parameter (after the program) whose lower-cased text contains one
// of the markers, lower-cased, with its first three characters removed.
std::string SwitchValue(const std::vector<std::string>& params, std::initializer_list<std::string_view> markers) {
  for (size_t i = 1; i < params.size(); ++i) {
    std::string lower = base::ToLower(params[i]);
    for (auto marker : markers) {
      if (lower.find(marker) != std::string::npos) return lower.size() > 3 ? lower.substr(3) : std::string();
    }
  }
  return {};
}

}  // namespace

StartupSettings ParseStartupSettings(std::string_view raw) {
  StartupSettings s;
  s.parameters = base::SplitParameters(raw);
  s.tail = CommandLineTail(raw);
  for (size_t i = 1; i < s.parameters.size(); ++i) {
    const std::string& p = s.parameters[i];
    if (IsSwitch(p, "s") || IsSwitch(p, "qn")) s.silent = true;
    if (IsSwitch(p, "update") || IsSwitch(p, "updatesetup")) s.update_mode = true;
  }
  s.group_policy = SwitchValue(s.parameters, {"/g="});
  s.self_extractor = SwitchValue(s.parameters, {"/m="});
  s.log_file = SwitchValue(s.parameters, {"/l=", "-l="});
  s.source_folder = SwitchValue(s.parameters, {"/p=", "-p="});
  for (size_t i = 1; i < s.parameters.size(); ++i) {
    const std::string& p = s.parameters[i];
    if (p.empty() || p[0] == '/' || p[0] == '-') continue;
    size_t eq = p.find('=');
    if (eq == std::string::npos) continue;
    s.overrides.push_back(base::ToUpper(p.substr(0, eq)));
    s.overrides.push_back(p.substr(eq + 1));
  }
  return s;
}

}  // namespace kestrawl::bootstrap
