// What the simulated file system keeps beside the host files, in the
// machine database: the hidden/system/archive bits (and the read-only bit of
// folders, which the host's write bits cannot carry) and the 8.3 aliases.
// Rows are keyed by host path; attribute rows also remember the inode, so a
// row left behind by a file that the host replaced is ignored. Every call is
// safe from several threads and never throws: a database failure reads as
// "no row" and writes report false.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/store.h"

namespace kestrawl::platform::sim {

class SimFsBook {
 public:
  explicit SimFsBook(SimStore& store);

  // The stored attribute bits of a file or folder, when there are any. With
  // other_names (the file has hard links) a row of another name counts too.
  std::optional<uint32_t> GetBits(const std::string& path, dev_t dev, ino_t ino, bool other_names);
  // Stores the bits for the path and for every other name of the same file.
  bool SetBits(const std::string& path, dev_t dev, ino_t ino, uint32_t bits);

  // The path and everything below it is gone (or was created anew).
  void Forget(const std::string& path);
  // The path (and everything below it) now lives at `to`. The moved entry's
  // own alias is dropped: the new name gets one when it is asked for.
  void Moved(const std::string& from, const std::string& to);

  // The aliases of a folder's entries that need one, by long name, creating
  // missing aliases for the names in `wanted`. `entries` are all names in the
  // folder; rows of names no longer there are dropped.
  std::map<std::string, std::string> Aliases(const std::string& folder,
                                             const std::vector<std::string>& entries,
                                             const std::vector<std::string>& wanted);
  // The stored alias of one name, when it has one.
  std::optional<std::string> AliasOf(const std::string& folder, const std::string& long_name);
  // The long name an alias stands for in a folder (alias in any case).
  std::optional<std::string> LongNameOf(const std::string& folder, const std::string& alias);

 private:
  SimStore& store_;
  std::mutex mutex_;
  bool ready_ = false;
};

}  // namespace kestrawl::platform::sim
