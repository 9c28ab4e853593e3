// Chained hash tables of text pairs: the structure under the variable store.
//
// Contract:
// - Keys hash with the ELF hash over UTF-16 code units. In case-insensitive
//   mode the key is case-folded first (full Unicode folding) and keys compare
//   with base::EqualsNoCase; two keys that compare equal always fold to the
//   same text, so they always hash equal. In case-sensitive mode keys are
//   hashed as they are and compare byte for byte.
// - A table grows 0 -> 32 -> 64 -> ... buckets (doubling) when a Put
//   finds count >= round-half-even(bucket count x load factor); a fixed table
//   never grows. New nodes are linked at the head of their chain.
// - Enumeration visits bucket 0 first; within a bucket, newest node first.
// - While an enumerator exists, Put, Remove and Clear throw EHashTableError.
// - Not thread-safe: callers (TVariableManager) serialise access.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kestrawl::script {

// Misuse of a hash table: modification while iterating, insertion into a
// fixed table without buckets, a load factor outside 0.1..7.
class EHashTableError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The System V ELF hash over UTF-16 code units.
uint32_t ElfHash(std::u16string_view units);

enum class THashCaseMode { kCaseSensitive, kCaseInsensitive };

// Bucket array, growth and the iteration guard, independent of the key type.
class TCustomHashTable {
 public:
  TCustomHashTable(const TCustomHashTable&) = delete;
  TCustomHashTable& operator=(const TCustomHashTable&) = delete;
  virtual ~TCustomHashTable();

  uint32_t BucketCount() const { return static_cast<uint32_t>(buckets_.size()); }
  uint64_t Count() const { return count_; }
  double LoadFactor() const { return load_factor_; }
  bool Fixed() const { return fixed_; }
  bool Iterating() const { return enumerators_ > 0; }

  // Frees every node and returns to the initial capacity.
  void Clear();

 protected:
  struct Node {
    virtual ~Node() = default;
    Node* next = nullptr;  // next (older) node of the same chain
    uint32_t hash = 0;     // hash of the key, kept for growth and fast compare
  };

  // Throws EHashTableError("Argument out of range") for a load factor
  // outside 0.1..7.
  TCustomHashTable(uint32_t initial_capacity, double load_factor, bool fixed);

  void CheckNotIterating() const;
  // Grows when due; throws when the table is fixed with no buckets.
  void PrepareInsert();
  // Head of the chain for a hash; requires BucketCount() > 0.
  Node*& ChainFor(uint32_t hash) { return buckets_[hash % buckets_.size()]; }
  Node* ChainFor(uint32_t hash) const {
    return buckets_.empty() ? nullptr : buckets_[hash % buckets_.size()];
  }
  // Links a new node at the head of its chain and counts it.
  void LinkAtHead(Node* node);
  // Unlinks and frees the node *link points to.
  void UnlinkAndFree(Node** link);

 private:
  friend class THashEnumerator;

  void Grow();
  void FreeAllNodes();
  void SetThreshold();

  std::vector<Node*> buckets_;  // chain heads; empty while the bucket count is 0
  uint32_t initial_capacity_;   // bucket count restored by Clear
  uint64_t count_ = 0;          // stored pairs
  double load_factor_;          // average chain length that triggers growth
  int64_t grow_threshold_ = 0;  // round(bucket count x load factor)
  bool fixed_;                  // a fixed table never grows
  mutable int enumerators_ = 0; // live enumerators; > 0 means iterating
};

// Fixes the key type to text and chooses hash and equality by case mode.
class TCustomStringHashTable : public TCustomHashTable {
 public:
  THashCaseMode CaseMode() const { return case_mode_; }
  uint32_t HashOf(std::string_view key) const;
  bool KeysEqual(std::string_view a, std::string_view b) const;

 protected:
  struct KeyNode : Node {
    std::string key;  // letter case of the first insertion
  };

  TCustomStringHashTable(THashCaseMode case_mode, uint32_t initial_capacity, double load_factor,
                         bool fixed);

  KeyNode* Find(std::string_view key) const;
  // Same with the key's hash already known; requires BucketCount() > 0.
  KeyNode* Find(std::string_view key, uint32_t hash) const;
  // Unlinks and frees the first node with this key; false when absent.
  bool RemoveKey(std::string_view key);

 private:
  THashCaseMode case_mode_;
};

// A table of text values by text key.
class TStringHashTable : public TCustomStringHashTable {
 public:
  explicit TStringHashTable(THashCaseMode case_mode = THashCaseMode::kCaseSensitive,
                            uint32_t initial_capacity = 0, double load_factor = 2.0,
                            bool fixed = false);

  // Inserts, or replaces the value of an existing key in place (the key keeps
  // the letter case of its first insertion). An empty key is ignored.
  void Put(std::string_view key, std::string_view value);
  bool TryGet(std::string_view key, std::string& value) const;
  // An empty key is never contained.
  bool Contains(std::string_view key) const;
  // No error when the key is absent.
  void Remove(std::string_view key);

 private:
  friend class THashEnumerator;

  struct ValueNode : KeyNode {
    std::string value;
  };
};

// Walks a TStringHashTable: bucket 0 first, newest node first in a bucket.
// The table counts as iterating for the enumerator's lifetime.
class THashEnumerator {
 public:
  explicit THashEnumerator(const TStringHashTable& table);
  ~THashEnumerator();
  THashEnumerator(const THashEnumerator&) = delete;
  THashEnumerator& operator=(const THashEnumerator&) = delete;

  // Moves to the next pair; false when there is none.
  bool MoveNext();
  // The current pair; valid after MoveNext returned true.
  const std::string& Key() const;
  const std::string& Value() const;

 private:
  const TStringHashTable& table_;
  size_t next_bucket_ = 0;  // next bucket to take a head from
  const TStringHashTable::ValueNode* current_ = nullptr;
};

}  // namespace kestrawl::script
