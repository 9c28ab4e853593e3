// VariableStore: the one store of script variables of an engine, with the
// operations every other part of the engine reads and writes variables by.
//
// It owns the TVariableManager and the two start-up facts the guarded
// assignment needs: the silent flag and the command-line override list
// (name, value, name, value, ...). Configure both at start-up, before any
// worker thread runs. Each operation takes the manager's lock once per table
// operation, so a composite operation (an existence test and the following
// write) is not atomic as a whole.
#pragma once

#include <atomic>
#include <string>
#include <string_view>
#include <vector>

#include "script/variable_manager.h"

namespace kestrawl::script {

// The source under which command-line overrides are assigned; the only one
// allowed to change an overridden variable in a silent run.
inline constexpr std::string_view kInjectOverrideSource = "Inject Override Command Line";

class VariableStore {
 public:
  VariableStore() = default;
  VariableStore(const VariableStore&) = delete;
  VariableStore& operator=(const VariableStore&) = delete;

  TVariableManager& Manager() { return manager_; }
  const TVariableManager& Manager() const { return manager_; }

  void SetSilent(bool silent) { silent_.store(silent); }
  bool Silent() const { return silent_.load(); }
  // Flat list as read from the command line: name, value, name, value, ...
  void SetCommandLineOverrides(std::vector<std::string> overrides);
  const std::vector<std::string>& CommandLineOverrides() const { return overrides_; }

  // The value, or the empty text when the variable does not exist.
  std::string GetVariable(std::string_view name) const;
  bool VariableExists(std::string_view name) const;
  // Creates the variable, or assigns it through AssignVariable when it exists.
  // A value that is the name between dollar signs ("$X$", any letter case)
  // stands for the empty text. An empty name does nothing.
  void DeclareVariable(std::string_view name, std::string_view value, std::string_view source);
  // The guarded assignment used by every command that writes a variable: in a
  // silent run a variable named on the command line keeps its value unless
  // source is kInjectOverrideSource (refused silently). In a silent run the
  // name is upper-cased first, so a variable created here is upper-case.
  void AssignVariable(std::string_view name, std::string_view value, std::string_view source);
  void DeleteVariable(std::string_view name);
  void ClearAllVariables();
  // Every name and value, in enumeration order, as one comma text.
  std::string AllVariablesAsCommaText() const;
  // Sets each (name, value) pair of a comma text; an odd last item is ignored.
  void ApplyCommaText(std::string_view text);

 private:
  bool IsProtectedOverride(std::string_view upper_name) const;

  TVariableManager manager_;               // the table, lock reads on
  std::atomic<bool> silent_{false};        // the run is silent
  std::vector<std::string> overrides_;     // command-line name, value pairs
};

// Text booleans: "TRUE" in any letter case or exactly "-1" is true.
bool ToBoolean(std::string_view text);
// "TRUE" or "FALSE".
std::string FromBoolean(bool value);

}  // namespace kestrawl::script
