// Web media blocks: the settings each "Web Media Block" command records
// (kept per block name, so a grab always uses the URLs of its own block),
// the proxy settings and resume flag shared by every download, and the
// block password table of the compiled script with its scrambled entries.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "media/http_download.h"

namespace kestrawl::script {

class CompiledScript;

// The header of the progress texts of a block download.
inline constexpr const char* kDownloadingWebMediaHeader = "Downloading Web Media: ";
// The entry of the password table used for names without an entry.
inline constexpr const char* kOfflineBlockName = "offline";

// What one "Web Media Block" command recorded.
struct WebMediaBlock {
  std::string name;               // block name as written (no trailing backslash)
  std::vector<std::string> urls;  // one per line of the URL list, in order
  std::string password;           // archive password from the password table
};

// The web media state of a run (a field of RunState).
struct WebMediaState {
  // Recorded blocks, one per name (compared without regard to case).
  std::vector<WebMediaBlock> blocks;
  // Proxy for every download; empty at start, filled in by the retry prompt.
  media::ProxySettings proxy;
  // Whether the next download may continue a partial archive; false at start.
  bool resume = false;

  // Records a block, replacing an earlier one of the same name.
  void Record(WebMediaBlock block);
  // The block of this name (a trailing backslash ignored), or null.
  const WebMediaBlock* Find(std::string_view name) const;
};

// Undoes the scrambling of a password table entry: hexadecimal pairs give
// characters, the character at position k is XORed with k, and the result is
// read again as hexadecimal pairs with their two digits swapped. Empty for a
// malformed entry (odd length or a character that is not a hex digit).
std::optional<std::string> DescramblePassword(std::string_view scrambled);
// The inverse, as the setup builder writes the table.
std::string ScramblePassword(std::string_view password);

// The password of a block from the compiled script's password table: the
// entry of that name (without regard to case, trailing backslash ignored),
// else the "offline" entry, else empty. Malformed entries give empty.
std::string WebBlockPassword(const CompiledScript& script, std::string_view name);

// A block name without its trailing backslash ("Name\" -> "Name").
std::string WebBlockName(std::string_view name);

}  // namespace kestrawl::script
