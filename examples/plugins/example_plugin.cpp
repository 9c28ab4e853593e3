// An example plug-in (UTF-16 texts). Parameters: the name of a variable to
// set and a name to greet. It sets that variable to a greeting that names the
// product (TITLE, read from the state text), reports each parameter it
// received as PLUGIN_PARAM_<n> and the window handle as PLUGIN_WINDOW, and
// reports progress on the way.
//
// With the first parameter "WAIT" it instead reports progress until the user
// cancels (at most about ten seconds) and hands back the state text it
// received with WAITED set to "TRUE" and, when the user cancelled, STOPPED
// set to "TRUE". The one-byte field the engine hands over keeps that fact
// from the first call to the second.
#include <chrono>
#include <string>
#include <thread>

#include "../../src/script/plugin_api.h"
#include "plugin_text.h"

using plugin_text::Ascii;
using Text = std::u16string;

namespace {

Text Decimal(uint64_t value) { return Ascii<char16_t>(std::to_string(value).c_str()); }

int32_t Wait(const char16_t* state, KestrawlPluginProgressW progress, uint8_t* stopped,
             char16_t* buffer) {
  if (!buffer) {
    *stopped = 0;
    Text waiting = u"Waiting for the user";
    for (int i = 0; i < 2000 && !*stopped; ++i) {
      if (progress(-1, waiting.c_str()) == KESTRAWL_PLUGIN_STOP) *stopped = 1;
      else std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  auto items = plugin_text::Split(std::u16string_view(state));
  items.push_back(u"WAITED");
  items.push_back(u"TRUE");
  if (*stopped) {
    items.push_back(u"STOPPED");
    items.push_back(u"TRUE");
  }
  return plugin_text::Deliver(plugin_text::Join(items), buffer);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int32_t RunTimeExecuteW(
    uintptr_t window, const char16_t* state, const char16_t* params,
    KestrawlPluginProgressW progress, uint8_t* reserved, char16_t* buffer) {
  auto args = plugin_text::Split(std::u16string_view(params ? params : u""));
  if (!args.empty() && args[0] == u"WAIT") return Wait(state, progress, reserved, buffer);
  if (args.size() < 2 || args[0].empty()) return -1;

  auto vars = plugin_text::Variables(state);
  Text title = vars[u"TITLE"];
  // The work happens in the first call; the second only hands over the text.
  if (!buffer) {
    progress(0, u"Preparing the greeting");
    progress(50, (u"Greeting " + args[1]).c_str());
    progress(100, u"Greeting done");
  }
  std::vector<Text> result = {args[0], u"Hello, " + args[1] + u" from " + title,
                              u"PLUGIN_WINDOW", Decimal(window)};
  for (size_t i = 0; i < args.size(); ++i) {
    result.push_back(u"PLUGIN_PARAM_" + Decimal(i + 1));
    result.push_back(args[i]);
  }
  return plugin_text::Deliver(plugin_text::Join(result), buffer);
}
