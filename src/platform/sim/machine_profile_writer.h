// Fills a new machine with what a real installation of the profile has at the
// places the engine reads: version values, program files folders in both
// registry views, shell folders, environment keys, and the folders on C:.
#pragma once

#include "platform/file_system.h"
#include "platform/registry.h"
#include "platform/sim/profiles.h"

namespace kestrawl::platform::sim {

// Throws std::runtime_error when a write fails.
void WriteProfile(const Profile& profile, const MachineFacts& facts, Registry& registry,
                  FileSystem& files);

}  // namespace kestrawl::platform::sim
