#include "script/interpreter.h"

namespace kestrawl::script {

void RunScript(EngineContext& context, const std::string& package_path) {
  // Commands are not executed yet: the run ends at once with the exit code
  // the start-up left behind.
  (void)context;
  (void)package_path;
}

}  // namespace kestrawl::script
