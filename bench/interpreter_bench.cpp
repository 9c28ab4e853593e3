// Interpreter speed: a script loop of about one million simple commands
// ("Set Variable" and "Mathematics" inside a "While") in commands per
// second, and variable store lookups per second against std::unordered_map
// in the same run.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <unordered_map>

#include "platform/sim/sim_machine.h"
#include "script/engine_context.h"
#include "script/interpreter.h"
#include "script/run_state.h"

using namespace kestrawl;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

script::CompiledScript LoopScript(int iterations) {
  struct Cmd {
    std::string name;
    std::vector<std::string> params;
  };
  const std::vector<Cmd> cmds = {
      {"Set Variable", {"I", "0"}},
      {"Set Variable", {"SUM", "0"}},
      {"While", {"I", "2", std::to_string(iterations), "TRUE"}},  // while not (I > N)
      {"Mathematics", {"$SUM$", "$I$", "0", "SUM"}},
      {"Set Variable", {"LAST", "$I$"}},
      {"Mathematics", {"$I$", "1", "0", "I"}},
      {"Wend", {}},
  };
  script::CompiledScript s;
  std::vector<std::string> table;
  for (size_t i = 0; i < cmds.size(); ++i) {
    char guid[48];
    snprintf(guid, sizeof guid, "{00000000-0000-0000-0000-%012zX}", i + 1);
    s.command_names.push_back(cmds[i].name);
    s.command_guids.push_back(guid);
    s.disable_flags.push_back("");
    s.media_folders.push_back("");
    s.source_locations.push_back("bench.kws*" + std::to_string(i));
    s.include_markers.push_back("0*0");
    if (!cmds[i].params.empty()) {
      table.push_back(guid);
      table.insert(table.end(), cmds[i].params.begin(), cmds[i].params.end());
    }
  }
  s.SetParameterTable(table);
  s.product_title = "Bench";
  s.revision_code = "{66666666-7777-8888-9999-AAAAAAAAAAAA}";
  s.component_sizes = {"VELK-PREDEF-COMPONENT", "0"};
  return s;
}

}  // namespace

int main() {
  std::string root = (std::filesystem::temp_directory_path() / "kestrawl-bench-XXXXXX").string();
  if (!mkdtemp(root.data())) return 1;
  {
    auto machine = platform::sim::SimMachine::Open(root + "/machine", {"setup"});
    std::ostringstream sink;
    ui::ConsoleMessageHost messages(sink);
    script::EngineContext engine(*machine, messages);
    engine.settings.silent = true;

    const int iterations = 250000;  // 4 commands per pass: about one million commands
    engine.script = LoopScript(iterations);
    script::RunState run;
    size_t executed = 0;
    auto start = Clock::now();
    script::RunScript(engine, run, [&](size_t) {
      ++executed;
      return true;
    });
    double seconds = Seconds(start);
    std::printf("script loop: %zu commands in %.2f s = %.0f commands/s (I = %s)\n", executed, seconds,
                executed / seconds, engine.variables.GetVariable("I").c_str());

    // Lookups: the store (case-insensitive, locked) against a plain map.
    const int names = 500, lookups = 2000000;
    std::unordered_map<std::string, std::string> map;
    for (int i = 0; i < names; ++i) {
      std::string name = "VARIABLE_" + std::to_string(i);
      engine.variables.DeclareVariable(name, "value", "Bench");
      map[name] = "value";
    }
    size_t hits = 0;
    start = Clock::now();
    for (int i = 0; i < lookups; ++i) hits += engine.variables.GetVariable("Variable_" + std::to_string(i % names)).size();
    double store_rate = lookups / Seconds(start);
    start = Clock::now();
    for (int i = 0; i < lookups; ++i) {
      auto it = map.find("VARIABLE_" + std::to_string(i % names));
      hits += it == map.end() ? 0 : it->second.size();
    }
    double map_rate = lookups / Seconds(start);
    std::printf("variable lookups: %.0f /s   std::unordered_map: %.0f /s   ratio %.3f  (%zu)\n", store_rate,
                map_rate, store_rate / map_rate, hits);
  }
  std::error_code ec;
  std::filesystem::remove_all(root, ec);
  return 0;
}
