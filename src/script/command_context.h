// What a command handler sees while it runs: the engine, the run, its own
// index and name, and the shared readings of its parameter lines. Every
// command family reads its parameters only through these helpers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "script/engine_context.h"
#include "script/script_error.h"

namespace kestrawl::script {

class RunState;

class CommandContext {
 public:
  CommandContext(EngineContext& engine, RunState& run, size_t index);

  EngineContext& engine;
  RunState& run;
  const size_t index;       // zero-based command index
  const std::string& name;  // exact command name

  // The origin of this command's assignments: name + " Action".
  std::string Source() const { return name + " Action"; }

  // Parameter k (1-based) as stored.
  std::string Raw(size_t k) const;
  // Raw value after text substitution.
  std::string Text(size_t k) const;
  // Text value with doubled backslashes collapsed (a leading "\\" kept).
  std::string Path(size_t k) const;
  // True for "TRUE" in any letter case or exactly "-1".
  bool Flag(size_t k) const;
  // Signed 32-bit decimal; anything else raises EScriptError.
  int32_t Number(size_t k) const;
  // The raw value with one pair of surrounding dollar signs removed ($NAME$ -> NAME).
  std::string ResultName(size_t k) const;

  // Creates a missing result variable (upper-cased name, empty value), then
  // assigns the value through the guarded assignment with Source().
  // Does nothing when the name is empty.
  void SetResult(const std::string& variable, const std::string& value) const;
  // Same, for the result variable named by parameter k.
  void SetResultParam(size_t k, const std::string& value) const { SetResult(ResultName(k), value); }
};

// Shared readings, usable outside a command too.
std::string CollapseBackslashes(const std::string& text);
std::string StripDollarPair(const std::string& raw);
// Signed 32-bit decimal; nullopt-like: returns false when not a number.
bool ParseInt32(const std::string& text, int32_t* value);

}  // namespace kestrawl::script
