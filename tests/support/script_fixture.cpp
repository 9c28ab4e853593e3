#include "support/script_fixture.h"

#include "script/command_table.h"

namespace kestrawl::testing {

ScriptFixture::ScriptFixture() {
  machine_ = platform::sim::SimMachine::Open(dir_ / "machine", {"setup"});
  messages_ = std::make_unique<ui::ConsoleMessageHost>(messages_out_);
  engine_ = std::make_unique<script::EngineContext>(*machine_, *messages_);
  run_ = std::make_unique<script::RunState>();
}

ScriptFixture::~ScriptFixture() = default;

void ScriptFixture::UsePlatform(platform::Platform& platform) {
  engine_ = std::make_unique<script::EngineContext>(platform, *messages_);
}

void ScriptFixture::SetScript(const std::vector<ScriptCommand>& commands) {
  script::CompiledScript s;
  std::vector<std::string> params;
  for (size_t i = 0; i < commands.size(); ++i) {
    const ScriptCommand& c = commands[i];
    char guid[48];
    snprintf(guid, sizeof guid, "{00000000-0000-0000-0000-%012zX}", i + 1);
    s.command_names.push_back(c.name);
    s.command_guids.push_back(guid);
    s.disable_flags.push_back(c.disabled ? "C" : "");
    s.media_folders.push_back("");
    s.source_locations.push_back("C:\\Project\\setup.kws*" + std::to_string(i));
    s.include_markers.push_back(c.include_result + "*" + std::to_string(c.depth));
    // Every command stores exactly as many parameter lines as its kind has.
    std::vector<std::string> lines = c.params;
    if (const script::CommandSpec* def = script::FindCommand(c.name); def && lines.size() < def->params.size())
      lines.resize(def->params.size());
    if (!lines.empty()) {
      params.push_back(guid);
      params.insert(params.end(), lines.begin(), lines.end());
    }
  }
  s.SetParameterTable(std::move(params));
  s.product_code = "{11111111-2222-3333-4444-555555555555}";
  s.revision_code = "{66666666-7777-8888-9999-AAAAAAAAAAAA}";
  s.product_title = "Test Product";
  s.product_version = "1.0";
  s.component_sizes = {"VELK-PREDEF-COMPONENT", "0"};
  engine_->script = std::move(s);
  run_->install_state.assign(commands.size(), "SKIP");
}

void RunCommand(ScriptFixture& fixture, script::CommandHandler handler, const std::string& name,
                std::vector<std::string> params) {
  fixture.SetScript({{name, std::move(params)}});
  auto ctx = fixture.At(0);
  handler(ctx);
}

}  // namespace kestrawl::testing
