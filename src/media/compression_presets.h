// Compression presets: the 7-Zip switch strings that stand for the levels
// "0" to "6", how a switch string is recognised as one of them, and which
// lower presets are tried when compression runs out of memory.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kestrawl::media {

// "-ssw " + "-mhe=on "/"-mhe=off " + thread switch + the level's base switches.
// An unknown level is built as "4".
std::string BuildPreset(const std::string& level, bool header_encryption, unsigned processors);

struct PresetMatch {
  std::string level;
  bool header_encryption = false;
};

// The first preset of levels "4", "3", "2", "5", "6" (each with header
// encryption on, then off) equal to switches without regard to case.
std::optional<PresetMatch> FindPresetLevel(const std::string& switches, unsigned processors);

// The levels to try, in order, after level ran out of memory. windows_64bit:
// the engine runs on 64-bit Windows (under WOW64).
std::vector<std::string> PresetRetryLevels(const std::string& level, bool windows_64bit);

}  // namespace kestrawl::media
