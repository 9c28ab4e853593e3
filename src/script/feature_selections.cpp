#include "script/feature_selections.h"

#include "base/text.h"
#include "platform/errors.h"
#include "script/engine_context.h"
#include "script/run_state.h"
#include "script/script_error.h"
#include "script/variable_store.h"

namespace kestrawl::script {

namespace {

constexpr std::string_view kNewlineMarker = "$NEWLINE$";
constexpr std::string_view kSectionEnd = "$";

// Every line break (CR LF, CR or LF) as the marker, so the item keeps one line.
std::string OneLine(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += kNewlineMarker;
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (text[i] == '\n') {
      out += kNewlineMarker;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    lines.emplace_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

bool IsBitness(const std::string& value, std::string* canonical) {
  for (const char* b : {"Win32", "ia64", "x64"})
    if (base::AsciiUpper(value) == base::AsciiUpper(b)) {
      *canonical = b;
      return true;
    }
  return false;
}

// Creates a missing variable, then assigns it through the guarded assignment.
void Assign(VariableStore& vars, const std::string& name, const std::string& value) {
  if (name.empty()) return;
  if (!vars.VariableExists(name)) vars.DeclareVariable(name, "", kLoadSource);
  vars.AssignVariable(name, value, kLoadSource);
}

}  // namespace

std::string FormatFeatureSelections(const FeatureSelections& content) {
  std::string out;
  auto line = [&out](std::string_view text) {
    out += OneLine(text);
    out += "\r\n";
  };
  const ComponentLists& c = content.components;
  for (const auto* list : {&c.names, &c.states, &c.deleted, &c.hidden, &c.locked, &c.sizes}) {
    for (const std::string& item : *list) line(item);
    line(kSectionEnd);
  }
  line(content.target_dir);
  line(content.all_users);
  line(content.start_menu);
  line(content.source_folder);
  for (const auto& [name, value] : content.pairs) {
    line(name);
    line(value);
  }
  return out;
}

bool ParseFeatureSelections(std::string_view text, FeatureSelections* content, std::string* error) {
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  const std::vector<std::string> lines = SplitLines(text);
  FeatureSelections result;
  ComponentLists& c = result.components;
  size_t at = 0;
  for (auto* list : {&c.names, &c.states, &c.deleted, &c.hidden, &c.locked, &c.sizes}) {
    while (at < lines.size() && lines[at] != kSectionEnd) list->push_back(lines[at++]);
    if (at == lines.size()) {
      *error = "a list is not closed by \"$\"";
      return false;
    }
    ++at;
  }
  if (c.states.size() != c.names.size()) {
    *error = "the states do not match the names";
    return false;
  }
  if (c.sizes.size() % 2 != 0) {
    *error = "a component size is missing";
    return false;
  }
  if (lines.size() - at < 4) {
    *error = "the folder lines are missing";
    return false;
  }
  result.target_dir = lines[at++];
  result.all_users = lines[at++];
  result.start_menu = lines[at++];
  result.source_folder = lines[at++];
  // A last name without its value line stands for an empty value: the file
  // may simply end before the empty text.
  for (; at < lines.size(); at += 2)
    result.pairs.emplace_back(lines[at], at + 1 < lines.size() ? lines[at + 1] : "");
  *content = std::move(result);
  return true;
}

FeatureSelections CollectFeatureSelections(const EngineContext& engine, const RunState& run,
                                           const std::string& source_folder) {
  const VariableStore& vars = engine.variables;
  FeatureSelections content;
  content.components = run.components.lists();
  content.target_dir = vars.GetVariable("TARGETDIR");
  content.all_users = vars.GetVariable("ALLUSERS");
  content.start_menu = vars.GetVariable("STARTMENU");
  content.source_folder = source_folder;
  for (const std::string& name : run.saved_variables)
    content.pairs.emplace_back(name, OneLine(vars.GetVariable(name)));
  content.pairs.emplace_back(kBitnessMarker, run.bitness);
  content.pairs.emplace_back("OVERRIDECACHE", vars.GetVariable("OVERRIDECACHE"));
  content.pairs.emplace_back("NATIVE_ENGINE", vars.GetVariable("NATIVE_ENGINE"));
  return content;
}

void SaveFeatureSelections(EngineContext& engine, const RunState& run, const std::string& path,
                           const std::string& source_folder) {
  const std::string text = FormatFeatureSelections(CollectFeatureSelections(engine, run, source_folder));
  if (platform::Win32Error e = engine.platform.Files().WriteWholeFile(path, text))
    throw EScriptError("Cannot create file \"" + path + "\". " + platform::SystemMessage(e));
}

bool ReadFeatureSelections(EngineContext& engine, const std::string& path, FeatureSelections* content) {
  platform::FileSystem& files = engine.platform.Files();
  if (!files.FileExists(path)) return false;
  std::string text;
  if (platform::Win32Error e = files.ReadWholeFile(path, &text))
    throw EScriptError("Cannot open file \"" + path + "\". " + platform::SystemMessage(e));
  std::string reason;
  if (!ParseFeatureSelections(text, content, &reason))
    throw EScriptError("The feature selection file \"" + path + "\" is damaged: " + reason + ".");
  return true;
}

void ApplyFeatureVariables(EngineContext& engine, RunState& run, const FeatureSelections& content) {
  VariableStore& vars = engine.variables;
  int after_bitness = 0;  // pairs after the bitness that are not saved variables
  for (const auto& [name, value] : content.pairs) {
    if (name == kBitnessMarker) {
      std::string bitness;
      if (IsBitness(value, &bitness)) run.bitness = bitness;
      after_bitness = 2;
      continue;
    }
    if (name.empty()) continue;
    if (after_bitness > 0)
      --after_bitness;
    else
      run.AddSavedVariable(name);
    Assign(vars, name, value);
  }
}

bool LoadFeatureSelections(EngineContext& engine, RunState& run, const std::string& path) {
  FeatureSelections content;
  if (!ReadFeatureSelections(engine, path, &content)) return false;
  run.components.ApplySelection(content.components);
  VariableStore& vars = engine.variables;
  Assign(vars, "TARGETDIR", content.target_dir);
  Assign(vars, "ALLUSERS", content.all_users);
  Assign(vars, "STARTMENU", content.start_menu);
  ApplyFeatureVariables(engine, run, content);
  return true;
}

}  // namespace kestrawl::script
