// The engine's archive operations on top of zel.lib: list, extract, test,
// create and delete, with the engine's path normalisation, item lists,
// default callbacks, out-of-memory retries and compression preset
// fallbacks. Each returns success and fills an error text: "#" + the
// library's code for library failures, the message of anything else that
// went wrong (for example a library that is not loaded).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "media/archive_library.h"

namespace kestrawl::media {

// Callbacks of one call; each may be empty (the engine's default is used).
struct ArchiveCallbacks {
  // file (UTF-8), done, total; false stops the operation.
  std::function<bool(const std::string& file, uint64_t done, uint64_t total)> progress;
  // The password when the archive needs one and none was given; nullopt: none.
  std::function<std::optional<std::string>()> password;
  // Archive path and ZEL_OP_* code; false stops the operation.
  std::function<bool(const std::string& archive, uint32_t operation)> open;
  // ZEL_OVERWRITE_ALL or ZEL_OVERWRITE_SKIP for files already in the destination.
  std::function<int()> overwrite;
};

// What the out-of-process extractor needs to repeat an extraction.
struct OutOfProcessExtractRequest {
  std::string archive;
  std::string password;
  std::string destination;
  bool flat = false;
  bool skip_existing = false;
  std::optional<std::vector<std::string>> items;  // nullopt: the whole archive
};

// The engine facts the wrappers depend on.
struct ArchiveHost {
  const ArchiveLibrary* library = nullptr;
  unsigned processors = 1;     // for the compression presets
  bool windows_64bit = true;   // order of the lower presets after out-of-memory
  // Extraction that still runs out of memory after the retry is handed to
  // this hook (another engine process extracting on its own). Empty, or in
  // the out-of-process extractor itself: no fallback. Returns success and
  // sets the error text.
  std::function<bool(const OutOfProcessExtractRequest&, std::string& error)> out_of_process_extract;
};

bool ListArchive(const ArchiveHost& host, const std::string& archive, const std::string& password,
                 std::string& error, std::vector<std::string>& names);

// items == nullptr: list the archive and extract every item. flat: no folders.
bool ExtractArchive(const ArchiveHost& host, const std::string& archive, const std::string& password,
                    const std::string& destination, std::string& error,
                    const std::vector<std::string>* items, const ArchiveCallbacks* callbacks,
                    bool skip_existing, bool flat);

bool TestArchive(const ArchiveHost& host, const std::string& archive, const std::string& password,
                 std::string& error, const ArchiveCallbacks* callbacks);

bool CreateArchive(const ArchiveHost& host, const std::string& archive, const std::string& password,
                   const std::string& switches, const ArchiveCallbacks* callbacks,
                   const std::vector<std::string>& first, const std::vector<std::string>& second,
                   std::string& error, uint32_t update_mode, uint32_t kind);

bool DeleteFromArchive(const ArchiveHost& host, const std::string& archive, const std::string& password,
                       std::string& error, const ArchiveCallbacks* callbacks,
                       const std::vector<std::string>& items);

// Case-insensitive duplicate removal of Create archive: a list without
// duplicates stays as it is; otherwise its distinct names, lower-cased, in
// reverse order (the last occurrence of each name counts).
std::vector<std::string> RemoveDuplicateNames(const std::vector<std::string>& names);

// A "*.*" inside a name becomes "*".
std::string CollapseAllFilesPattern(const std::string& name);

// The destination with a trailing separator (a backslash unless the path
// uses forward slashes).
std::string WithTrailingSeparator(const std::string& path);

}  // namespace kestrawl::media
