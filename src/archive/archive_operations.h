// The library's operations in C++ terms: list, extract, test, create and
// delete, each one 7-Zip run (plus a header listing where the password or
// the total size must be known first). Every function returns ZEL_OK or a
// ZEL_E_* code; callbacks are the C callbacks of zel.h and may be null.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/listing_parser.h"
#include "archive/zel.h"

namespace kestrawl::zel {

struct Callbacks {
  ZelPasswordCallback password = nullptr;
  ZelProgressCallback progress = nullptr;
  ZelOpenCallback open = nullptr;
  ZelOverwriteCallback overwrite = nullptr;
};

// Paths are UTF-8; either separator is accepted (see zel.h).
int ListEntries(const std::string& archive, std::string password, const Callbacks& callbacks,
                std::vector<ArchiveEntry>& entries);

// items == nullptr: everything.
int ExtractItems(const std::string& archive, const std::string& destination,
                 const std::vector<std::string>* items, bool full_paths, std::string password,
                 const Callbacks& callbacks);

int TestItems(const std::string& archive, std::string password, const Callbacks& callbacks);

int CreateFromFiles(const std::string& archive, uint32_t kind, const std::vector<std::string>& inputs,
                    uint32_t update_mode, const std::string& switches, const std::string& password,
                    const Callbacks& callbacks);

int DeleteItems(const std::string& archive, const std::vector<std::string>& items,
                std::string password, const Callbacks& callbacks);

}  // namespace kestrawl::zel
