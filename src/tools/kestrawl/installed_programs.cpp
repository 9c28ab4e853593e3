#include "tools/kestrawl/installed_programs.h"

#include <algorithm>
#include <tuple>

#include "base/text.h"

namespace kestrawl::tools {

using namespace kestrawl::platform;

namespace {

constexpr char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr char kUninstallKey32[] = "SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// One place entries are read from.
struct Source {
  RegRoot root;
  RegView view;
  const char* shown_path;  // the key as a 64-bit program names it (for "key")
  const char* scope;
};

// HKEY_LOCAL_MACHINE\SOFTWARE is split between the views on a 64-bit machine;
// the user's uninstall key is the same in both, so reading it twice would
// only list its entries twice. On a 32-bit machine there is one view.
std::vector<Source> Sources(bool os64) {
  if (os64)
    return {{RegRoot::kLocalMachine, RegView::k64, kUninstallKey, "machine"},
            {RegRoot::kLocalMachine, RegView::k32, kUninstallKey32, "machine"},
            {RegRoot::kCurrentUser, RegView::k64, kUninstallKey, "user"}};
  return {{RegRoot::kLocalMachine, RegView::kDefault, kUninstallKey, "machine"},
          {RegRoot::kCurrentUser, RegView::kDefault, kUninstallKey, "user"}};
}

const RegValue* FindValue(const std::vector<RegNamedValue>& values, std::string_view name) {
  for (const auto& v : values)
    if (base::EqualsNoCase(v.name, name)) return &v.value;
  return nullptr;
}

bool IsText(const RegValue* v) {
  return v && (v->type == regtype::kSz || v->type == regtype::kExpandSz);
}

// A text value; values of other types count as absent.
std::string Text(const std::vector<RegNamedValue>& values, std::string_view name) {
  const RegValue* v = FindValue(values, name);
  return IsText(v) ? v->AsString() : std::string();
}

bool Hidden(const std::vector<RegNamedValue>& values) {
  const RegValue* v = FindValue(values, "SystemComponent");
  return v && v->type == regtype::kDword && v->AsDword() == 1;
}

// Edit distance between two texts, counted in UTF-16 code units.
size_t Distance(const std::u16string& a, const std::u16string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

}  // namespace

std::vector<InstalledProgram> ListInstalledPrograms(Platform& machine) {
  std::vector<InstalledProgram> programs;
  for (const Source& source : Sources(machine.Sys().Facts().os64)) {
    std::vector<std::string> names;
    if (machine.Reg().EnumKeys(source.root, kUninstallKey, source.view, &names) != err::kSuccess) continue;
    for (const std::string& sub : names) {
      std::vector<RegNamedValue> values;
      if (machine.Reg().EnumValues(source.root, std::string(kUninstallKey) + "\\" + sub, source.view, &values) !=
          err::kSuccess)
        continue;
      InstalledProgram p;
      p.name = Text(values, "DisplayName");
      if (p.name.empty() || Hidden(values)) continue;
      p.version = Text(values, "DisplayVersion");
      p.publisher = Text(values, "Publisher");
      p.uninstall = Text(values, "UninstallString");
      const RegValue* uninstall = FindValue(values, "UninstallString");
      p.uninstall_expand = IsText(uninstall) && uninstall->type == regtype::kExpandSz;
      p.key = RegRootName(source.root) + "\\" + source.shown_path + "\\" + sub;
      p.scope = source.scope;
      programs.push_back(std::move(p));
    }
  }
  std::stable_sort(programs.begin(), programs.end(), [](const InstalledProgram& a, const InstalledProgram& b) {
    int by_name = base::CompareNoCase(a.name, b.name);
    if (by_name != 0) return by_name < 0;
    return base::CompareNoCase(a.key, b.key) < 0;
  });
  return programs;
}

std::vector<const InstalledProgram*> FindPrograms(const std::vector<InstalledProgram>& programs,
                                                  const std::string& name) {
  std::vector<const InstalledProgram*> found;
  for (const auto& p : programs)
    if (base::EqualsNoCase(p.name, name)) found.push_back(&p);
  if (found.empty()) {
    for (const auto& p : programs)
      if (base::EqualsNoCase(p.key, name)) found.push_back(&p);
  }
  return found;
}

std::vector<std::string> CloseProgramNames(const std::vector<InstalledProgram>& programs,
                                           const std::string& name, size_t limit) {
  std::u16string wanted = base::Utf8ToUtf16(base::CaseFold(name));
  std::vector<std::tuple<size_t, std::string>> close;
  for (const auto& p : programs) {
    std::u16string candidate = base::Utf8ToUtf16(base::CaseFold(p.name));
    size_t d = Distance(wanted, candidate);
    bool contains = !wanted.empty() && (candidate.find(wanted) != std::u16string::npos ||
                                        wanted.find(candidate) != std::u16string::npos);
    if (d <= std::max<size_t>(2, wanted.size() / 3) || contains) close.emplace_back(d, p.name);
  }
  std::sort(close.begin(), close.end());
  std::vector<std::string> names;
  for (const auto& [d, n] : close) {
    if (names.size() == limit) break;
    if (std::none_of(names.begin(), names.end(), [&](const std::string& x) { return x == n; })) names.push_back(n);
  }
  return names;
}

}  // namespace kestrawl::tools
