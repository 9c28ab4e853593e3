// A plug-in that fails or misbehaves, for testing the engine's side of the
// result protocol. Its first parameter picks the behaviour:
//   (anything else)  returns -1 (failure);
//   "EMPTY"          an empty result;
//   "HUGE"           announces a result of 2^31 - 1 characters;
//   "NEGATIVE"       returns -7;
//   "SHORT"          announces 40 characters, then writes "SHORT,TRUE";
//   "NONULL"         announces 6 characters, writes "NN,yes" and more after
//                    them without a terminating null;
//   "SECONDFAIL"     announces 4 characters, then fails on the second call;
//   "IGNORE_STOP"    reports progress once, then ignores cancellation and
//                    sleeps eight seconds without reporting, returns -1.
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "../../src/script/plugin_api.h"
#include "plugin_text.h"

extern "C" __attribute__((visibility("default"))) int32_t RunTimeExecuteW(
    uintptr_t /*window*/, const char16_t* /*state*/, const char16_t* params,
    KestrawlPluginProgressW progress, uint8_t* /*reserved*/, char16_t* buffer) {
  auto args = plugin_text::Split(std::u16string_view(params ? params : u""));
  std::u16string mode = args.empty() ? u"" : args[0];
  if (mode == u"EMPTY") return plugin_text::Deliver(std::u16string(), buffer);
  if (mode == u"HUGE") return 0x7FFFFFFF;
  if (mode == u"NEGATIVE") return -7;
  if (mode == u"SHORT") {
    if (!buffer) return 40;
    plugin_text::Deliver(std::u16string(u"SHORT,TRUE"), buffer);
    return 10;
  }
  if (mode == u"NONULL") {
    if (!buffer) return 6;
    // 6 announced characters, then 4 more inside the engine's spare room.
    std::memcpy(buffer, u"NN,yes,X,9", 10 * sizeof(char16_t));
    return 6;
  }
  if (mode == u"SECONDFAIL") return buffer ? -1 : 4;
  if (mode == u"IGNORE_STOP") {
    progress(10, u"Busy");
    std::this_thread::sleep_for(std::chrono::seconds(8));
  }
  return -1;
}
