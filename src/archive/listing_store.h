// The open listings of OpenListArchive: each keeps its items (in the
// 48-byte layout of zel.h) and their UTF-16 names alive until it is closed.
// Handles are never reused; all access goes through one mutex.
#pragma once

#include <cstdint>
#include <vector>

#include "archive/listing_parser.h"
#include "archive/zel.h"

namespace kestrawl::zel {

// Stores a listing; returns its handle (non-zero) and the items' address.
uintptr_t StoreListing(const std::vector<ArchiveEntry>& entries, ZelListedItem** items, uint32_t* count);

// Frees a listing; false when the handle is unknown.
bool ReleaseListing(uintptr_t handle);

}  // namespace kestrawl::zel
