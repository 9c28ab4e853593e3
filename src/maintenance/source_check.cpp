#include "maintenance/source_check.h"

namespace kestrawl::maintenance {

bool CheckSources(script::EngineContext& engine, script::RunState& run, bool for_apply_changes) {
  // A first installation runs from its own sources; the search for missing
  // sources belongs to maintenance runs from the engine cache.
  (void)engine;
  (void)run;
  (void)for_apply_changes;
  return true;
}

}  // namespace kestrawl::maintenance
