// The 64-bit file-system view of a command. A 32-bit engine on 64-bit
// Windows sees System32 and friends redirected; commands that must see the
// real files hold a Wow64FileView while they run, which switches redirection
// off when the engine bitness is not "Win32" and back on when it ends (also
// when the command throws).
//
// The platform interface has no redirection switch yet (the simulated
// machine does not redirect files), so the scope only decides whether the
// switch applies. When the platform gains it, the scope calls it here, and a
// flag in RunState keeps nested scopes from stacking.
#pragma once

#include <string>

#include "platform/system.h"

namespace kestrawl::script {

// True when a command in the 64-bit file view must switch redirection off:
// the engine runs under WOW64 and the bitness is not "Win32".
inline bool NeedsNativeFileView(const platform::MachineFacts& facts, const std::string& bitness) {
  return facts.os64 && facts.process32 && bitness != "Win32";
}

class Wow64FileView {
 public:
  Wow64FileView(platform::System& sys, const std::string& bitness)
      : switched_(NeedsNativeFileView(sys.Facts(), bitness)) {}
  Wow64FileView(const Wow64FileView&) = delete;
  Wow64FileView& operator=(const Wow64FileView&) = delete;

  // Whether this scope stands for a switched-off redirection.
  bool switched() const { return switched_; }

 private:
  bool switched_;
};

}  // namespace kestrawl::script
