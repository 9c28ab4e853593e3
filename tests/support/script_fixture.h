// A throw-away engine for command tests: a fresh simulated machine, an
// engine context with a console message host (messages captured), a run
// state, and an in-memory compiled script made from a list of commands.
#pragma once

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/sim/sim_machine.h"
#include "script/command_context.h"
#include "script/command_dispatch.h"
#include "script/engine_context.h"
#include "script/run_state.h"
#include "support/test_support.h"

namespace kestrawl::testing {

struct ScriptCommand {
  std::string name;
  std::vector<std::string> params;
  bool disabled = false;
  int depth = 0;                 // include depth
  std::string include_result = "0";  // "0" for the main script
};

class ScriptFixture {
 public:
  ScriptFixture();
  ~ScriptFixture();

  platform::sim::SimMachine& machine() { return *machine_; }
  script::EngineContext& engine() { return *engine_; }
  script::RunState& run() { return *run_; }
  script::VariableStore& vars() { return engine_->variables; }
  // What the console message host printed.
  std::string messages() const { return messages_out_.str(); }
  const TempDir& dir() const { return dir_; }

  // Runs the engine on another platform (e.g. a fault-injecting wrapper of
  // machine()); call before SetScript. The fixture does not own it.
  void UsePlatform(platform::Platform& platform);

  // Replaces the script (every per-command list gets one line per command).
  void SetScript(const std::vector<ScriptCommand>& commands);
  // A context for command i of the current script.
  script::CommandContext At(size_t index) { return script::CommandContext(*engine_, *run_, index); }

 private:
  TempDir dir_;
  std::unique_ptr<platform::sim::SimMachine> machine_;
  std::ostringstream messages_out_;
  std::unique_ptr<ui::ConsoleMessageHost> messages_;
  std::unique_ptr<script::EngineContext> engine_;
  std::unique_ptr<script::RunState> run_;
};

// Makes a one-command script of `name` with these parameter lines and runs
// `handler` on it.
void RunCommand(ScriptFixture& fixture, script::CommandHandler handler, const std::string& name,
                std::vector<std::string> params);

}  // namespace kestrawl::testing
