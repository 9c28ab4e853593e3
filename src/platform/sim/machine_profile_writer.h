// Fills a new machine with what a real installation of the profile has at the
// places the engine reads: version values, program files folders in both
// registry views, shell folders, environment keys, and the folders on C:.
#pragma once

#include "platform/file_system.h"
#include "platform/registry.h"
#include "platform/sim/profiles.h"
#include "platform/sim/sim_file_system.h"

namespace kestrawl::platform::sim {

// Throws std::runtime_error when a write fails.
void WriteProfile(const Profile& profile, const MachineFacts& facts, Registry& registry,
                  FileSystem& files);

// Places the system programs the machine runs as host "#!/bin/sh" programs:
// regsvr32.exe in C:\Windows\System32 (and C:\Windows\SysWOW64 on a 64-bit
// system). It registers nothing; each call appends one line to
// C:\Windows\Logs\regsvr32.log (found through $KESTRAWL_MACHINE, else next
// to the program): the arguments, each one that is not a switch ("/" or "-"
// first) in double quotes, separated by blanks, ended by CRLF, e.g.
// "C:\Program Files\App\a.dll" /u /s. It exits with 0, or with 1 (as
// regsvr32 does for bad arguments) when no file is named.
// Throws std::runtime_error when a file cannot be written.
void WriteSystemPrograms(const MachineFacts& facts, SimFileSystem& files);

// The text of the simulated regsvr32.exe.
std::string Regsvr32Program();

}  // namespace kestrawl::platform::sim
