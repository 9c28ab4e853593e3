#include "media/compression_presets.h"

#include "base/text.h"

namespace kestrawl::media {
namespace {

constexpr const char* kStrongBase =
    "-ms=on -mhc=on -m0=BCJ2 -m1=LZMA2 -m1d=26 -m1mf=bt4 -m1fb=64 -m2=LZMA2 -m2d=20 -m2mf=bt4 "
    "-m2fb=64 -m3=LZMA2 -m3d=20 -m3mf=bt4 -m3fb=64 -mb0:1 -mb0s1:2 -mb0s2:3 ";

std::string BaseSwitches(const std::string& level) {
  if (level == "0") return "-ms=off -mhc=off -m0=None -m0=Copy ";
  if (level == "1") return "-ms=on -mhc=on -m0=BCJ2 -m1=LZMA2 -m1d=23 -m1mf=hc4 -m1fb=64 ";
  if (level == "2") return "-ms=on -mhc=on -m0=BCJ2 -m1=LZMA2 -m1d=23 -m1mf=bt4 -m1fb=64 ";
  if (level == "3")
    return "-ms=on -mhc=on -m0=BCJ2 -m1=LZMA2 -m1d=25 -m1mf=bt4 -m1fb=64 -m2=LZMA2 -m2d=20 -m2mf=bt4 "
           "-m2fb=64 -m3=LZMA2 -m3d=20 -m3mf=bt4 -m3fb=64 -mb0:1 -mb0s1:2 -mb0s2:3 ";
  return kStrongBase;  // "4", "5", "6" and anything else
}

bool Contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

std::string ThreadSwitch(const std::string& base, unsigned processors) {
  if (processors < 2) return "-mmt=off ";
  if (Contains(base, "-m1d=26") || Contains(base, "-m1d=29") || Contains(base, "-m1d=30")) return "-mmt=2 ";
  if (Contains(base, "-m1d=25")) return processors == 2 ? "-mmt=2 " : "-mmt=3 ";
  return "-mmt=" + std::to_string(processors) + " ";
}

}  // namespace

std::string BuildPreset(const std::string& level, bool header_encryption, unsigned processors) {
  const std::string base = BaseSwitches(level);
  return std::string("-ssw ") + (header_encryption ? "-mhe=on " : "-mhe=off ") +
         ThreadSwitch(base, processors) + base;
}

std::optional<PresetMatch> FindPresetLevel(const std::string& switches, unsigned processors) {
  for (const char* level : {"4", "3", "2", "5", "6"}) {
    for (bool encryption : {true, false}) {
      if (base::EqualsNoCase(switches, BuildPreset(level, encryption, processors)))
        return PresetMatch{level, encryption};
    }
  }
  return std::nullopt;
}

std::vector<std::string> PresetRetryLevels(const std::string& level, bool windows_64bit) {
  const int d = level.size() == 1 && level[0] >= '0' && level[0] <= '9' ? level[0] - '0' : 4;
  if (!windows_64bit) return {std::to_string(d - 1), std::to_string(d - 2), "1"};
  if (d == 6) return {"5", "4", "2"};
  if (d == 5) return {"4", "3", "2"};
  return {"6", "5", "2"};
}

}  // namespace kestrawl::media
