#include "engine/native/undo_shared.h"

#include "base/text.h"
#include "base/win_path.h"
#include "engine/native/apply_helpers.h"
#include "platform/file_version.h"

namespace kestrawl::engine::native {

namespace fs = platform;

namespace {

bool IsListSeparator(char c) { return c == ',' || c == ' ' || c == '\t'; }

// The first occurrence of form in entry that stands on list-item
// boundaries: the text before a form starting with the value is the start or
// a separator, and the text after a form ending with the value is the end or
// a separator. So removing "b" from "ab, c" leaves the list alone.
size_t FindListForm(const std::string& entry, const std::string& form, bool value_first) {
  size_t from = 0;
  while (true) {
    const size_t hit = FindNoCase(entry, form, from);
    if (hit == std::string::npos) return hit;
    const size_t end = hit + form.size();
    const bool bounded = value_first ? (hit == 0 || IsListSeparator(entry[hit - 1]))
                                     : (end == entry.size() || IsListSeparator(entry[end]));
    if (bounded) return hit;
    from = hit + 1;
  }
}

}  // namespace

std::string RegistrarFolder(NativeRun& run, const std::string& file) {
  fs::System& system = run.platform().Sys();
  std::string folder;
  const bool image64 = fs::IsPe64File(run.platform().Files(), file);
  if (system.Facts().os64 && !image64 && system.SpecialFolder(fs::csidl::kSystemX86, &folder) == fs::err::kSuccess)
    return base::IncludeTrailingBackslash(folder);
  system.SpecialFolder(fs::csidl::kSystem, &folder);
  return base::IncludeTrailingBackslash(folder);
}

std::string InstanceCode(NativeRun& run) {
  std::string code = run.vars().GetVariable("PRODUCTCODE");
  if (code.empty()) code = run.engine.script.product_code;
  return code;
}

std::optional<std::string> RemoveFromIniList(const std::string& entry, const std::string& value) {
  if (value.empty() || FindNoCase(entry, value) == std::string::npos) return std::nullopt;
  // A form with the separator after the value is preferred to one before it.
  const struct {
    std::string form;
    bool value_first;
  } forms[] = {{value + ", ", true}, {value + ",", true}, {", " + value, false}, {"," + value, false}};
  for (const auto& f : forms) {
    const size_t at = FindListForm(entry, f.form, f.value_first);
    if (at != std::string::npos) return entry.substr(0, at) + entry.substr(at + f.form.size());
  }
  if (!base::EqualsNoCase(base::Trim(entry), value)) return std::nullopt;
  return std::string();
}

}  // namespace kestrawl::engine::native
