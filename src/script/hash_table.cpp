#include "script/hash_table.h"

#include <cmath>

#include "base/text.h"

namespace kestrawl::script {

namespace {

constexpr uint32_t kFirstBucketCount = 32;
constexpr uint32_t kMaxBucketCount = 0x80000000u;

inline uint32_t ElfStep(uint32_t h, uint32_t unit) {
  h = (h << 4) + unit;
  if (h >= 0x10000000u) h = (h ^ ((h >> 28) << 4)) & 0x0FFFFFFFu;
  return h;
}

bool IsAscii(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

// For ASCII text the UTF-16 code units are the bytes, so no conversion is needed.
uint32_t ElfHashAscii(std::string_view text, bool lower) {
  uint32_t h = 0;
  for (char c : text) {
    uint32_t unit = static_cast<unsigned char>(c);
    if (lower && unit >= 'A' && unit <= 'Z') unit += 32;
    h = ElfStep(h, unit);
  }
  return h;
}

}  // namespace

uint32_t ElfHash(std::u16string_view units) {
  uint32_t h = 0;
  for (char16_t unit : units) h = ElfStep(h, unit);
  return h;
}

// --- TCustomHashTable ---------------------------------------------------------

TCustomHashTable::TCustomHashTable(uint32_t initial_capacity, double load_factor, bool fixed)
    : initial_capacity_(initial_capacity), load_factor_(load_factor), fixed_(fixed) {
  if (!(load_factor >= 0.1 && load_factor <= 7.0)) throw EHashTableError("Argument out of range");
  buckets_.assign(initial_capacity, nullptr);
  SetThreshold();
}

TCustomHashTable::~TCustomHashTable() { FreeAllNodes(); }

void TCustomHashTable::SetThreshold() {
  // nearbyint rounds half to even under the default rounding mode.
  grow_threshold_ =
      static_cast<int64_t>(std::nearbyint(static_cast<double>(buckets_.size()) * load_factor_));
}

void TCustomHashTable::CheckNotIterating() const {
  if (Iterating()) throw EHashTableError("Can not modify a collection while iterating");
}

void TCustomHashTable::PrepareInsert() {
  bool due = (count_ >> 32) != 0 || count_ >= static_cast<uint64_t>(grow_threshold_);
  if (due && !fixed_ && buckets_.size() < kMaxBucketCount) Grow();
  if (buckets_.empty()) throw EHashTableError("Hash table is fixed with size 0");
}

void TCustomHashTable::Grow() {
  size_t new_count = buckets_.empty() ? kFirstBucketCount : buckets_.size() * 2;
  std::vector<Node*> fresh(new_count, nullptr);
  for (Node* head : buckets_) {
    for (Node* node = head; node != nullptr;) {
      Node* next = node->next;
      Node*& slot = fresh[node->hash % new_count];
      node->next = slot;
      slot = node;
      node = next;
    }
  }
  buckets_.swap(fresh);
  SetThreshold();
}

void TCustomHashTable::LinkAtHead(Node* node) {
  Node*& head = ChainFor(node->hash);
  node->next = head;
  head = node;
  ++count_;
}

void TCustomHashTable::UnlinkAndFree(Node** link) {
  Node* node = *link;
  *link = node->next;
  delete node;
  --count_;
}

void TCustomHashTable::FreeAllNodes() {
  for (Node*& head : buckets_) {
    while (head != nullptr) {
      Node* next = head->next;
      delete head;
      head = next;
    }
  }
  count_ = 0;
}

void TCustomHashTable::Clear() {
  CheckNotIterating();
  FreeAllNodes();
  buckets_.clear();
  buckets_.shrink_to_fit();
  buckets_.assign(initial_capacity_, nullptr);
  SetThreshold();
}

// --- TCustomStringHashTable ---------------------------------------------------

TCustomStringHashTable::TCustomStringHashTable(THashCaseMode case_mode, uint32_t initial_capacity,
                                               double load_factor, bool fixed)
    : TCustomHashTable(initial_capacity, load_factor, fixed), case_mode_(case_mode) {}

uint32_t TCustomStringHashTable::HashOf(std::string_view key) const {
  bool fold = case_mode_ == THashCaseMode::kCaseInsensitive;
  if (IsAscii(key)) return ElfHashAscii(key, fold);
  // Full case folding (not plain lower-casing): texts that EqualsNoCase calls
  // equal, such as "straße" and "STRASSE", fold to the same text.
  return ElfHash(base::Utf8ToUtf16(fold ? base::CaseFold(key) : std::string(key)));
}

bool TCustomStringHashTable::KeysEqual(std::string_view a, std::string_view b) const {
  if (case_mode_ == THashCaseMode::kCaseSensitive) return a == b;
  return base::EqualsNoCase(a, b);
}

TCustomStringHashTable::KeyNode* TCustomStringHashTable::Find(std::string_view key) const {
  if (key.empty() || BucketCount() == 0) return nullptr;
  return Find(key, HashOf(key));
}

TCustomStringHashTable::KeyNode* TCustomStringHashTable::Find(std::string_view key,
                                                              uint32_t hash) const {
  for (Node* node = ChainFor(hash); node != nullptr; node = node->next) {
    auto* key_node = static_cast<KeyNode*>(node);
    if (node->hash == hash && KeysEqual(key_node->key, key)) return key_node;
  }
  return nullptr;
}

bool TCustomStringHashTable::RemoveKey(std::string_view key) {
  if (key.empty() || BucketCount() == 0) return false;
  uint32_t hash = HashOf(key);
  for (Node** link = &ChainFor(hash); *link != nullptr; link = &(*link)->next) {
    if ((*link)->hash == hash && KeysEqual(static_cast<KeyNode*>(*link)->key, key)) {
      UnlinkAndFree(link);
      return true;
    }
  }
  return false;
}

// --- TStringHashTable ---------------------------------------------------------

TStringHashTable::TStringHashTable(THashCaseMode case_mode, uint32_t initial_capacity,
                                   double load_factor, bool fixed)
    : TCustomStringHashTable(case_mode, initial_capacity, load_factor, fixed) {}

void TStringHashTable::Put(std::string_view key, std::string_view value) {
  CheckNotIterating();
  if (key.empty()) return;
  PrepareInsert();
  uint32_t hash = HashOf(key);
  if (KeyNode* existing = Find(key, hash)) {
    static_cast<ValueNode*>(existing)->value.assign(value);
    return;
  }
  auto* node = new ValueNode();
  node->hash = hash;
  node->key.assign(key);
  node->value.assign(value);
  LinkAtHead(node);
}

bool TStringHashTable::TryGet(std::string_view key, std::string& value) const {
  const KeyNode* node = Find(key);
  if (node == nullptr) return false;
  value = static_cast<const ValueNode*>(node)->value;
  return true;
}

bool TStringHashTable::Contains(std::string_view key) const { return Find(key) != nullptr; }

void TStringHashTable::Remove(std::string_view key) {
  CheckNotIterating();
  RemoveKey(key);
}

// --- THashEnumerator ----------------------------------------------------------

THashEnumerator::THashEnumerator(const TStringHashTable& table) : table_(table) {
  ++table_.enumerators_;
}

THashEnumerator::~THashEnumerator() { --table_.enumerators_; }

bool THashEnumerator::MoveNext() {
  const TCustomHashTable::Node* node = current_ != nullptr ? current_->next : nullptr;
  const auto& buckets = table_.buckets_;
  while (node == nullptr && next_bucket_ < buckets.size()) node = buckets[next_bucket_++];
  current_ = static_cast<const TStringHashTable::ValueNode*>(node);
  return current_ != nullptr;
}

const std::string& THashEnumerator::Key() const { return current_->key; }
const std::string& THashEnumerator::Value() const { return current_->value; }

}  // namespace kestrawl::script
