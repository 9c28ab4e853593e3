#include "script/variable_manager.h"

namespace kestrawl::script {

TVariableManager::TVariableManager(bool lock_reads)
    : table_(THashCaseMode::kCaseInsensitive, kInitialCapacity, kLoadFactor),
      lock_reads_(lock_reads) {}

std::unique_lock<std::mutex> TVariableManager::ReadLock() const {
  return lock_reads_ ? std::unique_lock<std::mutex>(lock_) : std::unique_lock<std::mutex>();
}

void TVariableManager::Set(std::string_view name, std::string_view value) {
  std::lock_guard<std::mutex> guard(lock_);
  table_.Put(name, value);
}

bool TVariableManager::Exists(std::string_view name) const {
  auto guard = ReadLock();
  return table_.Contains(name);
}

std::string TVariableManager::Get(std::string_view name) const {
  std::string value;
  auto guard = ReadLock();
  table_.TryGet(name, value);
  return value;
}

void TVariableManager::Delete(std::string_view name) {
  std::lock_guard<std::mutex> guard(lock_);
  table_.Remove(name);
}

size_t TVariableManager::Pairs(std::vector<std::string>& list) const {
  list.clear();
  auto guard = ReadLock();
  list.reserve(static_cast<size_t>(table_.Count()) * 2);
  THashEnumerator it(table_);
  while (it.MoveNext()) {
    list.push_back(it.Key());
    list.push_back(it.Value());
  }
  return list.size();
}

size_t TVariableManager::Names(std::vector<std::string>& list) const {
  list.clear();
  auto guard = ReadLock();
  list.reserve(static_cast<size_t>(table_.Count()));
  THashEnumerator it(table_);
  while (it.MoveNext()) list.push_back(it.Key());
  return list.size();
}

}  // namespace kestrawl::script
