// The Windows machine as the engine sees it: one object that hands out the
// small interfaces. Everything the engine does to a machine goes through it.
#pragma once

#include "platform/file_system.h"
#include "platform/processes.h"
#include "platform/registry.h"
#include "platform/services.h"
#include "platform/system.h"

namespace kestrawl::platform {

class Platform {
 public:
  virtual ~Platform() = default;
  virtual FileSystem& Files() = 0;
  virtual Registry& Reg() = 0;
  virtual System& Sys() = 0;
  virtual Processes& Procs() = 0;
  // The service control manager (none unless the platform has one).
  virtual Services& Svc() { return UnavailableServices(); }
};

}  // namespace kestrawl::platform
