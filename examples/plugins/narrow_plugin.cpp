// An example plug-in with 8-bit texts only ("RunTimeExecute"): texts arrive
// and leave in the system code page (Windows-1252). It sets NARROW_ECHO to
// its first parameter and NARROW_TITLE to the product title read from the
// state text, and reports one progress step. With the first parameter "FAIL"
// it fails, which leaves every variable as it was.
#include <string>

#include "../../src/script/plugin_api.h"
#include "plugin_text.h"

extern "C" __attribute__((visibility("default"))) int32_t RunTimeExecute(
    uintptr_t /*window*/, const char* state, const char* params,
    KestrawlPluginProgressA progress, uint8_t* /*reserved*/, char* buffer) {
  auto args = plugin_text::Split(std::string_view(params ? params : ""));
  if (args.empty() || args[0] == "FAIL") return -1;
  auto vars = plugin_text::Variables(state);
  // "\xE9" is e with acute accent in the code page.
  if (!buffer) progress(100, "Narrow step done \xE9");
  std::vector<std::string> result = {"NARROW_ECHO", args[0], "NARROW_TITLE", vars["TITLE"]};
  return plugin_text::Deliver(plugin_text::Join(result), buffer);
}
