#include "media/archive_library.h"

// dlopen loads a library file, it does not touch machine state, so this
// loader may use it directly rather than going through platform/.
#include <dlfcn.h>

#include <stdexcept>

#include "base/text.h"

namespace kestrawl::media {
namespace {

// Owns the UTF-16 names and the pointer array a ZelTargetList points into.
class TargetList {
 public:
  explicit TargetList(const std::vector<std::string>& names) {
    texts_.reserve(names.size());
    for (const auto& n : names) texts_.push_back(base::Utf8ToUtf16(n));
    pointers_.reserve(texts_.size());
    for (auto& t : texts_) pointers_.push_back(t.data());
    list_.items = pointers_.data();
    list_.count = static_cast<uint32_t>(pointers_.size());
  }
  TargetList(const TargetList&) = delete;
  TargetList& operator=(const TargetList&) = delete;
  const ZelTargetList* get() const { return &list_; }

 private:
  std::vector<std::u16string> texts_;
  std::vector<char16_t*> pointers_;
  ZelTargetList list_{};
};

template <typename F>
bool Resolve(void* handle, const char* name, F& target, std::string& error) {
  void* symbol = dlsym(handle, name);
  if (!symbol) {
    if (error.empty()) error = std::string("The archive library has no function ") + name + ".";
    return false;
  }
  target = reinterpret_cast<F>(symbol);
  return true;
}

}  // namespace

ArchiveLibrary::~ArchiveLibrary() {
  if (handle_) dlclose(handle_);
}

bool ArchiveLibrary::Load(const std::string& host_path) {
  if (handle_) {
    dlclose(handle_);
    handle_ = nullptr;
  }
  error_.clear();
  void* handle = dlopen(host_path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* why = dlerror();
    error_ = "The archive library " + host_path + " cannot be loaded: " + (why ? why : "unknown error");
    return false;
  }
  bool ok = true;
  ok &= Resolve(handle, "Set7zipDllDirectory", set_dll_directory_, error_);
  ok &= Resolve(handle, "OpenListArchive", open_list_, error_);
  ok &= Resolve(handle, "CloseListArchive", close_list_, error_);
  ok &= Resolve(handle, "ExtractArchive", extract_, error_);
  ok &= Resolve(handle, "TestArchive", test_, error_);
  ok &= Resolve(handle, "CreateArchive", create_, error_);
  ok &= Resolve(handle, "DeleteFromArchive", delete_, error_);
  ok &= Resolve(handle, "GetLastArchiveError", last_error_, error_);
  if (!ok) {
    dlclose(handle);
    return false;
  }
  handle_ = handle;
  return true;
}

void ArchiveLibrary::RequireLoaded() const {
  if (!handle_) throw std::runtime_error(error_.empty() ? "The archive library is not loaded." : error_);
}

void ArchiveLibrary::SetDllDirectory(const std::string& folder) const {
  RequireLoaded();
  set_dll_directory_(base::Utf8ToUtf16(folder).c_str());
}

bool ArchiveLibrary::List(const std::string& archive, const std::string& password,
                          ZelPasswordCallback password_callback,
                          std::vector<ListedArchiveItem>& items) const {
  RequireLoaded();
  items.clear();
  ZelListedItem* listed = nullptr;
  uint32_t count = 0;
  const uintptr_t handle = open_list_(base::Utf8ToUtf16(archive).c_str(), 0, password_callback, 0, 0, 0,
                                      base::Utf8ToUtf16(password).c_str(), &listed, &count);
  if (!handle) return false;
  items.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    ListedArchiveItem& item = items.emplace_back();
    if (listed[i].name) item.name = base::Utf16ToUtf8(listed[i].name);
    item.size = listed[i].size;
    item.packed_size = listed[i].packed_size;
    item.modified = listed[i].modified;
    item.attributes = listed[i].attributes;
  }
  close_list_(handle);
  return true;
}

bool ArchiveLibrary::Extract(const std::string& archive, const std::string& destination,
                             const std::vector<std::string>* items, bool full_paths,
                             const std::string& password, ZelPasswordCallback password_callback,
                             ZelProgressCallback progress_callback, ZelOpenCallback open_callback,
                             ZelOverwriteCallback overwrite_callback) const {
  RequireLoaded();
  const TargetList targets(items ? *items : std::vector<std::string>{});
  return extract_(base::Utf8ToUtf16(archive).c_str(), 1, base::Utf8ToUtf16(destination).c_str(),
                  items ? targets.get() : nullptr, full_paths ? 1 : 0, base::Utf8ToUtf16(password).c_str(),
                  password_callback, progress_callback, open_callback, overwrite_callback) != 0;
}

bool ArchiveLibrary::Test(const std::string& archive, const std::string& password,
                          ZelPasswordCallback password_callback,
                          ZelProgressCallback progress_callback) const {
  RequireLoaded();
  return test_(base::Utf8ToUtf16(archive).c_str(), 0, 0, 0, 0, base::Utf8ToUtf16(password).c_str(),
               password_callback, progress_callback) != 0;
}

bool ArchiveLibrary::Create(const std::string& archive, uint32_t kind, const std::vector<std::string>& first,
                            const std::vector<std::string>& second, uint32_t update_mode,
                            const std::string& switches, const std::string& password,
                            ZelProgressCallback progress_callback, ZelOpenCallback open_callback) const {
  RequireLoaded();
  const TargetList first_list(first), second_list(second);
  return create_(base::Utf8ToUtf16(archive).c_str(), kind, first_list.get(), second_list.get(), update_mode,
                 base::Utf8ToUtf16(switches).c_str(), base::Utf8ToUtf16(password).c_str(), progress_callback,
                 open_callback, 0) != 0;
}

bool ArchiveLibrary::Delete(const std::string& archive, const std::vector<std::string>& items,
                            const std::string& password, ZelProgressCallback progress_callback,
                            ZelOpenCallback open_callback) const {
  RequireLoaded();
  const TargetList targets(items);
  return delete_(base::Utf8ToUtf16(archive).c_str(), 1, targets.get(), 0, 0, 0,
                 base::Utf8ToUtf16(password).c_str(), 0, progress_callback, open_callback) != 0;
}

int ArchiveLibrary::LastError() const {
  RequireLoaded();
  return last_error_();
}

}  // namespace kestrawl::media
