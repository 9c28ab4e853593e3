// The engine's handle on the archive library zel.lib: loads the library
// file at run time, resolves its eight functions by name, and offers typed
// calls that take UTF-8 texts and convert them to the library's UTF-16.
// A missing file or function leaves the object unloaded with a clear
// error text; calls on an unloaded library throw std::runtime_error.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/zel.h"

namespace kestrawl::media {

// One item of a listing, copied out of the library's array.
struct ListedArchiveItem {
  std::string name;  // backslash-separated path inside the archive
  uint64_t size = 0;
  uint64_t packed_size = 0;
  uint64_t modified = 0;  // Windows file time
  uint32_t attributes = 0;
};

class ArchiveLibrary {
 public:
  ArchiveLibrary() = default;
  ~ArchiveLibrary();
  ArchiveLibrary(const ArchiveLibrary&) = delete;
  ArchiveLibrary& operator=(const ArchiveLibrary&) = delete;

  // Loads the library file at host_path (the engine passes <its folder>/zel.lib).
  // Returns false and sets error() when the file cannot be loaded or one of
  // the eight functions is missing.
  bool Load(const std::string& host_path);
  bool loaded() const { return handle_ != nullptr; }
  const std::string& error() const { return error_; }

  // The calls of the library's contract (zel.h); true on success, else
  // LastError() tells the code. Paths and names are UTF-8.
  void SetDllDirectory(const std::string& folder) const;
  bool List(const std::string& archive, const std::string& password,
            ZelPasswordCallback password_callback, std::vector<ListedArchiveItem>& items) const;
  // items == nullptr: the whole archive.
  bool Extract(const std::string& archive, const std::string& destination,
               const std::vector<std::string>* items, bool full_paths,
               const std::string& password, ZelPasswordCallback password_callback,
               ZelProgressCallback progress_callback, ZelOpenCallback open_callback,
               ZelOverwriteCallback overwrite_callback) const;
  bool Test(const std::string& archive, const std::string& password,
            ZelPasswordCallback password_callback, ZelProgressCallback progress_callback) const;
  bool Create(const std::string& archive, uint32_t kind, const std::vector<std::string>& first,
              const std::vector<std::string>& second, uint32_t update_mode,
              const std::string& switches, const std::string& password,
              ZelProgressCallback progress_callback, ZelOpenCallback open_callback) const;
  bool Delete(const std::string& archive, const std::vector<std::string>& items,
              const std::string& password, ZelProgressCallback progress_callback,
              ZelOpenCallback open_callback) const;
  int LastError() const;

 private:
  void RequireLoaded() const;

  void* handle_ = nullptr;
  std::string error_;
  decltype(&::Set7zipDllDirectory) set_dll_directory_ = nullptr;
  decltype(&::OpenListArchive) open_list_ = nullptr;
  decltype(&::CloseListArchive) close_list_ = nullptr;
  decltype(&::ExtractArchive) extract_ = nullptr;
  decltype(&::TestArchive) test_ = nullptr;
  decltype(&::CreateArchive) create_ = nullptr;
  decltype(&::DeleteFromArchive) delete_ = nullptr;
  decltype(&::GetLastArchiveError) last_error_ = nullptr;
};

}  // namespace kestrawl::media
