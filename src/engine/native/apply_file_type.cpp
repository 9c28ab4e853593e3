// "Create File Type": registers a program identifier under
// HKEY_CLASSES_ROOT (description, icon, extensions, verbs with their
// commands and DDE settings) through nested logged "Write Registry" changes,
// so each value gets its own undo entry.
#include "base/comma_list.h"
#include "engine/native/apply_helpers.h"
#include "engine/native/change_kinds.h"

namespace kestrawl::engine::native {

namespace {

constexpr int kClassesRoot = 0;

}  // namespace

bool ApplyCreateFileType(NativeRun& run, const Fields& fields) {
  const std::string& identifier = Field(fields, 0);
  const std::string& program = Field(fields, 1);
  const std::string& description = Field(fields, 2);
  const std::string& icon_file = Field(fields, 3);
  const std::string& icon_index = Field(fields, 4);
  const std::string subject = identifier + ": " + description + "/" + program;

  // Without an identifier every value would land on HKEY_CLASSES_ROOT itself.
  if (identifier.empty()) return RejectRecord(run, "Create File Type: " + subject);

  if (!run.Report(subject, 5120)) return false;

  const auto write = [&](const std::string& key, const std::string& data) {
    return run.ApplyNested("Write Registry", NestedRegistryRecord(false, kClassesRoot, key, "", data, false));
  };

  if (!write(identifier, description)) return false;
  if (!icon_file.empty() &&
      !write(identifier + "\\DefaultIcon", icon_index.empty() ? icon_file : icon_file + "," + icon_index))
    return false;

  for (const std::string& extension : base::SplitCommaText(Field(fields, 5))) {
    if (extension.empty()) continue;
    if (!write(extension, identifier)) return false;
  }

  for (const std::string& verb_text : base::SplitCommaText(Field(fields, 6))) {
    std::vector<std::string> verb = base::SplitCommaText(verb_text);
    verb.resize(5);
    const std::string& name = verb[0];
    if (name.empty()) continue;
    const std::string shell = identifier + "\\Shell\\" + name;
    if (!write(shell + "\\Command", "\"" + program + "\" " + verb[1])) return false;
    if (verb[2].empty()) continue;
    if (!write(shell + "\\ddeexec", verb[2]) || !write(shell + "\\ddeexec\\application", verb[3]) ||
        !write(shell + "\\ddeexec\\topic", verb[4]))
      return false;
  }

  run.Trace("        < " + subject + " >");
  return true;
}

}  // namespace kestrawl::engine::native
