#include "archive/listing_store.h"

#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "archive/zel_text.h"

namespace kestrawl::zel {
namespace {

static_assert(sizeof(void*) != 8 || sizeof(ZelListedItem) == 48, "listed item layout");
static_assert(offsetof(ZelListedItem, size) == 8 && offsetof(ZelListedItem, packed_size) == 16 &&
                  offsetof(ZelListedItem, modified) == 32 && offsetof(ZelListedItem, attributes) == 40,
              "listed item layout");

struct Listing {
  std::vector<std::u16string> names;
  std::vector<ZelListedItem> items;
};

std::mutex g_mutex;
std::map<uintptr_t, std::unique_ptr<Listing>> g_listings;
uintptr_t g_next_handle = 1;

}  // namespace

uintptr_t StoreListing(const std::vector<ArchiveEntry>& entries, ZelListedItem** items, uint32_t* count) {
  auto listing = std::make_unique<Listing>();
  listing->names.reserve(entries.size());
  for (const auto& e : entries) listing->names.push_back(ToUtf16(ReportedName(e.path)));
  listing->items.resize(entries.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    ZelListedItem& item = listing->items[i];
    item.name = listing->names[i].c_str();
    item.size = entries[i].size;
    item.packed_size = entries[i].packed_size;
    item.modified = entries[i].modified;
    item.attributes = entries[i].attributes;
  }
  if (items) *items = listing->items.empty() ? nullptr : listing->items.data();
  if (count) *count = static_cast<uint32_t>(listing->items.size());
  std::lock_guard lock(g_mutex);
  const uintptr_t handle = g_next_handle++;
  g_listings[handle] = std::move(listing);
  return handle;
}

bool ReleaseListing(uintptr_t handle) {
  std::unique_ptr<Listing> doomed;
  std::lock_guard lock(g_mutex);
  auto it = g_listings.find(handle);
  if (it == g_listings.end()) return false;
  doomed = std::move(it->second);
  g_listings.erase(it);
  return true;
}

}  // namespace kestrawl::zel
