#include "script/variable_store.h"

#include "base/comma_list.h"
#include "base/text.h"

namespace kestrawl::script {

namespace {

// True when value is "$" + name + "$", compared without regard to case.
bool IsOwnMarker(std::string_view name, std::string_view value) {
  if (value.size() < 2 || value.front() != '$' || value.back() != '$') return false;
  return base::EqualsNoCase(value.substr(1, value.size() - 2), name);
}

}  // namespace

void VariableStore::SetCommandLineOverrides(std::vector<std::string> overrides) {
  overrides_ = std::move(overrides);
}

std::string VariableStore::GetVariable(std::string_view name) const { return manager_.Get(name); }

bool VariableStore::VariableExists(std::string_view name) const { return manager_.Exists(name); }

void VariableStore::DeclareVariable(std::string_view name, std::string_view value,
                                    std::string_view source) {
  if (name.empty()) return;
  if (IsOwnMarker(name, value)) value = {};
  if (manager_.Exists(name)) AssignVariable(name, value, source);
  else manager_.Set(name, value);
}

bool VariableStore::IsProtectedOverride(std::string_view upper_name) const {
  // Entries alternate name, value: only the names count.
  for (size_t i = 0; i < overrides_.size(); i += 2)
    if (base::EqualsNoCase(overrides_[i], upper_name)) return true;
  return false;
}

void VariableStore::AssignVariable(std::string_view name, std::string_view value,
                                   std::string_view source) {
  std::string upper;
  if (Silent()) {
    upper = base::ToUpper(name);
    name = upper;
    if (IsProtectedOverride(name) && source != kInjectOverrideSource) return;
  }
  if (manager_.Exists(name)) manager_.Set(name, IsOwnMarker(name, value) ? std::string_view() : value);
  else DeclareVariable(name, value, source);
}

void VariableStore::DeleteVariable(std::string_view name) {
  if (!name.empty() && manager_.Exists(name)) manager_.Delete(name);
}

void VariableStore::ClearAllVariables() {
  std::vector<std::string> names;
  manager_.Names(names);
  for (const std::string& name : names) manager_.Delete(name);
}

std::string VariableStore::AllVariablesAsCommaText() const {
  std::vector<std::string> pairs;
  manager_.Pairs(pairs);
  return base::JoinCommaText(pairs);
}

void VariableStore::ApplyCommaText(std::string_view text) {
  std::vector<std::string> items = base::SplitCommaText(text);
  for (size_t i = 0; i + 1 < items.size(); i += 2) manager_.Set(items[i], items[i + 1]);
}

bool ToBoolean(std::string_view text) { return text == "-1" || base::ToUpper(text) == "TRUE"; }

std::string FromBoolean(bool value) { return value ? "TRUE" : "FALSE"; }

}  // namespace kestrawl::script
