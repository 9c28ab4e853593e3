// TVariableManager: the thread-safe table of script variables.
//
// Names compare without regard to letter case and keep the letter case of
// their first insertion; values are text. Every write takes the lock; with
// "lock reads" on (the engine's setting) every read takes it too. The lock is
// held for one table operation at a time, so Pairs and Names copy the table
// out under the lock and callers never see it while it changes.
// Without "lock reads" the reads are only safe when no other thread writes.
#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "script/hash_table.h"

namespace kestrawl::script {

class TVariableManager {
 public:
  // The table: case-insensitive, no initial buckets, load factor 2.0.
  static constexpr uint32_t kInitialCapacity = 0;
  static constexpr double kLoadFactor = 2.0;

  explicit TVariableManager(bool lock_reads = true);
  TVariableManager(const TVariableManager&) = delete;
  TVariableManager& operator=(const TVariableManager&) = delete;

  bool LockReads() const { return lock_reads_; }

  // Inserts or replaces; an empty name is ignored.
  void Set(std::string_view name, std::string_view value);
  bool Exists(std::string_view name) const;
  // The value, or the empty text when the name is missing.
  std::string Get(std::string_view name) const;
  // No error when the name is missing.
  void Delete(std::string_view name);
  // Replaces list with name, value, name, value, ... in enumeration order;
  // returns the list's size.
  size_t Pairs(std::vector<std::string>& list) const;
  // Replaces list with every name in enumeration order; returns its size.
  size_t Names(std::vector<std::string>& list) const;

 private:
  std::unique_lock<std::mutex> ReadLock() const;

  mutable std::mutex lock_;  // guards table_
  TStringHashTable table_;
  const bool lock_reads_;    // reads take the lock too
};

}  // namespace kestrawl::script
