// Small helpers shared by the change kinds: strict integer parsing of record
// fields, case-insensitive search, and the error prompt for a change record
// that cannot be applied as written.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/native/native_run.h"

namespace kestrawl::engine::native {

// A decimal 32-bit integer with an optional sign, blanks around it allowed.
// nullopt for anything else (empty, trailing letters, out of range).
std::optional<int32_t> ParseInt32(std::string_view text);

// Position of the first occurrence of needle in text, compared without
// regard to letter case; npos when there is none.
size_t FindNoCase(std::string_view text, std::string_view needle, size_t from = 0);

// Replaces every occurrence of `from` (any letter case) by `to`.
std::string ReplaceAllNoCase(std::string_view text, std::string_view from, std::string_view to);

// A record field that makes the change impossible (unknown type, bad number,
// empty name): shown once through the error prompt with "The parameter is
// incorrect." and the subject. Retrying cannot help, so a retry answer goes
// on without the change. Returns the change's result (false on abort).
bool RejectRecord(NativeRun& run, const std::string& subject);

// Sets the run's byte-progress flag while an install kind copies its files
// (copies then report their bytes), and restores it when the kind ends.
class ByteProgressScope {
 public:
  explicit ByteProgressScope(NativeRun& run) : run_(run), before_(run.byte_progress) { run.byte_progress = true; }
  ~ByteProgressScope() { run_.byte_progress = before_; }
  ByteProgressScope(const ByteProgressScope&) = delete;
  ByteProgressScope& operator=(const ByteProgressScope&) = delete;

 private:
  NativeRun& run_;
  bool before_;
};

}  // namespace kestrawl::engine::native
