// The eight exported functions of zel.lib (contract in zel.h): they convert
// the C arguments, run the operation and keep the calling thread's last
// error code.
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "archive/archive_operations.h"
#include "archive/listing_store.h"
#include "archive/zel.h"
#include "archive/zel_text.h"

namespace kestrawl::zel {
namespace {

// Per thread, so that concurrent callers each see their own failure.
thread_local int t_last_error = ZEL_OK;

int Finish(int code) {
  t_last_error = code;
  return code == ZEL_OK ? 1 : 0;
}

// Runs an operation; nothing may escape through the C interface.
template <typename F>
int Guarded(F&& operation) {
  try {
    return operation();
  } catch (const std::bad_alloc&) {
    return ZEL_E_OUT_OF_MEMORY;
  } catch (...) {
    return ZEL_E_FAILED;
  }
}

std::vector<std::string> Names(const ZelTargetList* list) {
  std::vector<std::string> names;
  if (!list || !list->items) return names;
  names.reserve(list->count);
  for (uint32_t i = 0; i < list->count; ++i)
    if (list->items[i]) names.push_back(FromUtf16(list->items[i]));
  return names;
}

}  // namespace
}  // namespace kestrawl::zel

using namespace kestrawl::zel;

extern "C" {

ZEL_EXPORT int ZEL_CALL Set7zipDllDirectory(const char16_t*) {
  t_last_error = ZEL_OK;
  return 1;
}

ZEL_EXPORT uintptr_t ZEL_CALL OpenListArchive(const char16_t* archive, uint32_t, ZelPasswordCallback password_callback,
                                              uint32_t, uint32_t, uint32_t, const char16_t* password,
                                              ZelListedItem** items, uint32_t* count) {
  if (items) *items = nullptr;
  if (count) *count = 0;
  uintptr_t handle = 0;
  const int code = Guarded([&] {
    if (!archive || !items || !count) return ZEL_E_ARGUMENT;
    std::vector<ArchiveEntry> entries;
    Callbacks callbacks;
    callbacks.password = password_callback;
    const int result = ListEntries(FromUtf16(archive), FromUtf16(password), callbacks, entries);
    if (result == ZEL_OK) handle = StoreListing(entries, items, count);
    return result;
  });
  Finish(code);
  return code == ZEL_OK ? handle : 0;
}

ZEL_EXPORT int ZEL_CALL CloseListArchive(uintptr_t handle) {
  ReleaseListing(handle);
  return 1;
}

ZEL_EXPORT int ZEL_CALL ExtractArchive(const char16_t* archive, uint32_t, const char16_t* destination,
                                       const ZelTargetList* targets, int full_paths, const char16_t* password,
                                       ZelPasswordCallback password_callback,
                                       ZelProgressCallback progress_callback, ZelOpenCallback open_callback,
                                       ZelOverwriteCallback overwrite_callback) {
  return Finish(Guarded([&] {
    if (!archive || !destination) return ZEL_E_ARGUMENT;
    const Callbacks callbacks{password_callback, progress_callback, open_callback, overwrite_callback};
    std::vector<std::string> names;
    if (targets) names = Names(targets);
    return ExtractItems(FromUtf16(archive), FromUtf16(destination), targets ? &names : nullptr,
                        full_paths != 0, FromUtf16(password), callbacks);
  }));
}

ZEL_EXPORT int ZEL_CALL TestArchive(const char16_t* archive, uint32_t, uint32_t, uint32_t, uint32_t,
                                    const char16_t* password, ZelPasswordCallback password_callback,
                                    ZelProgressCallback progress_callback) {
  return Finish(Guarded([&] {
    if (!archive) return ZEL_E_ARGUMENT;
    Callbacks callbacks;
    callbacks.password = password_callback;
    callbacks.progress = progress_callback;
    return TestItems(FromUtf16(archive), FromUtf16(password), callbacks);
  }));
}

ZEL_EXPORT int ZEL_CALL CreateArchive(const char16_t* archive, uint32_t kind, const ZelTargetList* first,
                                      const ZelTargetList* second, uint32_t update_mode,
                                      const char16_t* switches, const char16_t* password,
                                      ZelProgressCallback progress_callback, ZelOpenCallback open_callback,
                                      uint32_t) {
  return Finish(Guarded([&] {
    if (!archive) return ZEL_E_ARGUMENT;
    std::vector<std::string> inputs = Names(first);
    for (auto& name : Names(second)) inputs.push_back(std::move(name));
    Callbacks callbacks;
    callbacks.progress = progress_callback;
    callbacks.open = open_callback;
    return CreateFromFiles(FromUtf16(archive), kind, inputs, update_mode, FromUtf16(switches),
                           FromUtf16(password), callbacks);
  }));
}

ZEL_EXPORT int ZEL_CALL DeleteFromArchive(const char16_t* archive, uint32_t, const ZelTargetList* targets,
                                          uint32_t, uint32_t, uint32_t, const char16_t* password, uint32_t,
                                          ZelProgressCallback progress_callback, ZelOpenCallback open_callback) {
  return Finish(Guarded([&] {
    if (!archive || !targets) return ZEL_E_ARGUMENT;
    Callbacks callbacks;
    callbacks.progress = progress_callback;
    callbacks.open = open_callback;
    return DeleteItems(FromUtf16(archive), Names(targets), FromUtf16(password), callbacks);
  }));
}

ZEL_EXPORT int ZEL_CALL GetLastArchiveError(void) { return t_last_error; }

}  // extern "C"
