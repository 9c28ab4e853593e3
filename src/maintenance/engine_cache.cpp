#include "maintenance/engine_cache.h"

#include "engine/native/change_log.h"
#include "script/script_error.h"

namespace kestrawl::maintenance {

void UpdateEngineCache(script::EngineContext& engine, script::RunState& run, bool removing) {
  if (removing) return;
  if (!script::ToBoolean(engine.variables.GetVariable("NATIVE_ENGINE"))) return;
  const std::string prefix = engine::native::ResolveLogPrefix(engine);
  if (engine::native::Flush(engine.platform.Files(), run.native, prefix) != platform::err::kSuccess)
    throw script::EScriptError("Unable to write the change log at " + prefix);
}

}  // namespace kestrawl::maintenance
