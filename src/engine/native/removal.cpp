#include "engine/native/removal.h"

namespace kestrawl::engine::native {

int RunRemoval(NativeRun& run, bool uninstall) {
  (void)run;
  (void)uninstall;
  return 1;
}

}  // namespace kestrawl::engine::native
