#include "media/archive_wrappers.h"

#include <malloc.h>

#include <algorithm>
#include <exception>
#include <stdexcept>
#include <unordered_set>

#include "base/text.h"
#include "media/compression_presets.h"

namespace kestrawl::media {
namespace {

// The library takes plain C function pointers, which cannot carry the
// caller's callbacks. Each wrapper call therefore publishes its context in
// a thread-local pointer for the duration of the library call; the library
// calls back on the calling thread only (zel.h), so the trampolines below
// always find the context of the call that is running on their thread.
struct CallContext {
  const ArchiveCallbacks* callbacks = nullptr;
  std::optional<std::string> one_shot_password;  // handed out once, then forgotten
  bool skip_existing = false;
};

thread_local CallContext* t_context = nullptr;

class ContextScope {
 public:
  explicit ContextScope(CallContext& context) : previous_(t_context) { t_context = &context; }
  ~ContextScope() { t_context = previous_; }
  ContextScope(const ContextScope&) = delete;
  ContextScope& operator=(const ContextScope&) = delete;

 private:
  CallContext* previous_;
};

const ArchiveCallbacks* Callbacks() { return t_context ? t_context->callbacks : nullptr; }

int PasswordTrampoline(char16_t* buffer) {
  if (!t_context || !buffer) return 0;
  std::optional<std::string> password;
  if (const auto* cb = Callbacks(); cb && cb->password) {
    password = cb->password();
  } else {
    password = std::move(t_context->one_shot_password);
    t_context->one_shot_password.reset();
  }
  if (!password) return 0;
  const std::u16string text = base::Utf8ToUtf16(*password).substr(0, 255);
  std::copy(text.begin(), text.end(), buffer);
  buffer[text.size()] = 0;
  return 1;
}

int ProgressTrampoline(const char16_t* file, uint64_t done, uint64_t total) {
  const auto* cb = Callbacks();
  if (!cb || !cb->progress) return 1;
  return cb->progress(file ? base::Utf16ToUtf8(file) : std::string(), done, total) ? 1 : 0;
}

int OpenTrampoline(const char16_t* archive, uint32_t operation) {
  const auto* cb = Callbacks();
  if (!cb || !cb->open) return 1;
  return cb->open(archive ? base::Utf16ToUtf8(archive) : std::string(), operation) ? 1 : 0;
}

int OverwriteTrampoline(const char16_t*, uint64_t, uint64_t, const char16_t*, uint64_t, uint64_t) {
  if (const auto* cb = Callbacks(); cb && cb->overwrite) return cb->overwrite();
  return t_context && t_context->skip_existing ? ZEL_OVERWRITE_SKIP : ZEL_OVERWRITE_ALL;
}

ZelProgressCallback ProgressFor(const ArchiveCallbacks* callbacks) {
  return callbacks && callbacks->progress ? &ProgressTrampoline : nullptr;
}

std::string LibraryError(const ArchiveLibrary& library) { return "#" + std::to_string(library.LastError()); }

const ArchiveLibrary& LibraryOf(const ArchiveHost& host) {
  if (!host.library) throw std::runtime_error("The archive library is not loaded.");
  return *host.library;
}

// Gives freed memory back to the system before a memory-hungry retry.
void TrimWorkingSet() { malloc_trim(0); }

template <typename F>
bool Guarded(std::string& error, F&& operation) {
  try {
    return operation();
  } catch (const std::exception& e) {
    error = e.what();
    return false;
  }
}

std::vector<std::string> CollapseAll(const std::vector<std::string>& names) {
  std::vector<std::string> out;
  out.reserve(names.size());
  for (const auto& n : names) out.push_back(CollapseAllFilesPattern(n));
  return out;
}

bool ListNames(const ArchiveLibrary& library, const std::string& archive, const std::string& password,
               ZelPasswordCallback password_callback, std::string& error, std::vector<std::string>& names) {
  std::vector<ListedArchiveItem> items;
  if (!library.List(archive, password, password_callback, items)) {
    error = LibraryError(library);
    return false;
  }
  for (auto& item : items) names.push_back(std::move(item.name));
  return true;
}

std::optional<std::string> OneShot(const std::string& password) {
  return password.empty() ? std::nullopt : std::optional<std::string>(password);
}

}  // namespace

std::vector<std::string> RemoveDuplicateNames(const std::vector<std::string>& names) {
  std::unordered_set<std::string> seen;
  bool duplicates = false;
  for (const auto& n : names) duplicates |= !seen.insert(base::CaseFold(n)).second;
  if (!duplicates) return names;
  seen.clear();
  std::vector<std::string> distinct;
  for (auto it = names.rbegin(); it != names.rend(); ++it)
    if (seen.insert(base::CaseFold(*it)).second) distinct.push_back(base::ToLower(*it));
  return distinct;
}

std::string CollapseAllFilesPattern(const std::string& name) {
  std::string out = name;
  for (size_t at = out.find("*.*"); at != std::string::npos; at = out.find("*.*", at + 1))
    out.replace(at, 3, "*");
  return out;
}

std::string WithTrailingSeparator(const std::string& path) {
  if (!path.empty() && (path.back() == '\\' || path.back() == '/')) return path;
  const bool forward = path.find('/') != std::string::npos && path.find('\\') == std::string::npos;
  return path + (forward ? '/' : '\\');
}

bool ListArchive(const ArchiveHost& host, const std::string& archive, const std::string& password,
                 std::string& error, std::vector<std::string>& names) {
  error.clear();
  names.clear();
  return Guarded(error, [&] { return ListNames(LibraryOf(host), archive, password, nullptr, error, names); });
}

bool ExtractArchive(const ArchiveHost& host, const std::string& archive, const std::string& password,
                    const std::string& destination, std::string& error,
                    const std::vector<std::string>* items, const ArchiveCallbacks* callbacks,
                    bool skip_existing, bool flat) {
  error.clear();
  return Guarded(error, [&] {
    const ArchiveLibrary& library = LibraryOf(host);
    const std::string dest = WithTrailingSeparator(destination);
    CallContext context;
    context.callbacks = callbacks;
    context.skip_existing = skip_existing;
    ContextScope scope(context);
    std::vector<std::string> all;
    if (!items) {
      context.one_shot_password = OneShot(password);
      if (!ListNames(library, archive, password, &PasswordTrampoline, error, all)) return false;
      items = &all;
    }
    auto attempt = [&] {
      context.one_shot_password = OneShot(password);
      const bool ok = library.Extract(archive, dest, items, !flat, password, &PasswordTrampoline,
                                      ProgressFor(callbacks), &OpenTrampoline, &OverwriteTrampoline);
      error = ok ? std::string() : LibraryError(library);
      return ok;
    };
    if (attempt()) return true;
    if (error != "#1018") return false;
    TrimWorkingSet();
    if (attempt()) return true;
    if (error != "#1018" || !host.out_of_process_extract) return false;
    OutOfProcessExtractRequest request{archive, password, dest, flat, skip_existing, *items};
    return host.out_of_process_extract(request, error);
  });
}

bool TestArchive(const ArchiveHost& host, const std::string& archive, const std::string& password,
                 std::string& error, const ArchiveCallbacks* callbacks) {
  error.clear();
  return Guarded(error, [&] {
    const ArchiveLibrary& library = LibraryOf(host);
    CallContext context;
    context.callbacks = callbacks;
    context.one_shot_password = OneShot(password);
    ContextScope scope(context);
    if (library.Test(archive, password, &PasswordTrampoline, ProgressFor(callbacks))) return true;
    error = LibraryError(library);
    return false;
  });
}

bool CreateArchive(const ArchiveHost& host, const std::string& archive, const std::string& password,
                   const std::string& switches, const ArchiveCallbacks* callbacks,
                   const std::vector<std::string>& first, const std::vector<std::string>& second,
                   std::string& error, uint32_t update_mode, uint32_t kind) {
  error.clear();
  return Guarded(error, [&] {
    const ArchiveLibrary& library = LibraryOf(host);
    const std::vector<std::string> first_names = CollapseAll(RemoveDuplicateNames(first));
    const std::vector<std::string> second_names = CollapseAll(RemoveDuplicateNames(second));
    TrimWorkingSet();
    const std::optional<PresetMatch> preset = FindPresetLevel(switches, host.processors);

    CallContext context;
    context.callbacks = callbacks;
    ContextScope scope(context);
    auto attempt = [&](const std::string& with_switches) {
      const bool ok = library.Create(archive, kind, first_names, second_names, update_mode, with_switches,
                                     password, ProgressFor(callbacks), &OpenTrampoline);
      error = ok ? std::string() : LibraryError(library);
      return ok;
    };
    if (attempt(switches)) return true;
    if (error != "#1018" || !preset) return false;
    for (const auto& level : PresetRetryLevels(preset->level, host.windows_64bit)) {
      if (attempt(BuildPreset(level, preset->header_encryption, host.processors))) return true;
      if (error != "#1018") return false;
    }
    return false;
  });
}

bool DeleteFromArchive(const ArchiveHost& host, const std::string& archive, const std::string& password,
                       std::string& error, const ArchiveCallbacks* callbacks,
                       const std::vector<std::string>& items) {
  error.clear();
  return Guarded(error, [&] {
    const ArchiveLibrary& library = LibraryOf(host);
    CallContext context;
    context.callbacks = callbacks;
    ContextScope scope(context);
    if (library.Delete(archive, CollapseAll(items), password, ProgressFor(callbacks), &OpenTrampoline))
      return true;
    error = LibraryError(library);
    return false;
  });
}

}  // namespace kestrawl::media
