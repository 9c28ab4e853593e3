#include "maintenance/source_check.h"

#include "base/win_path.h"

namespace kestrawl::maintenance {

namespace {
constexpr const char* kSourcesMissing = "Original setup sources required to complete operation, sources not found";
}

bool CheckSources(script::EngineContext& engine, script::RunState& run, bool for_apply_changes) {
  (void)run;
  script::VariableStore& vars = engine.variables;
  // A first installation runs from its own sources, and in cache mode 2 the
  // data lives in the engine cache itself.
  if (!script::ToBoolean(vars.GetVariable("MAINTENANCE")) || engine.script.cache_mode == 2) return true;
  std::string code = vars.GetVariable("PRODUCTCODE");
  if (code.empty()) code = engine.script.product_code;
  platform::FileSystem& files = engine.platform.Files();
  const std::string folder = base::IncludeTrailingBackslash(engine.paths.data_folder);
  if (files.FileExists(folder + code)) return true;
  // The marker may lie in the folder that holds the data folder.
  const std::string parent = base::ExtractFilePath(base::ExcludeTrailingBackslash(folder));
  if (!parent.empty() && files.FileExists(parent + code)) {
    engine.paths.data_folder = parent;
    return true;
  }
  // There is no folder browser to ask with: the check fails as a cancelled
  // search would.
  vars.AssignVariable("LASTERROR", kSourcesMissing,
                      for_apply_changes ? "Apply Changes Action" : "Native Engine Source Acquisition");
  return false;
}

}  // namespace kestrawl::maintenance
