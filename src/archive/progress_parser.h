// Reads 7-Zip's console output as it streams in (-bsp1 -bso1). Progress
// updates look like " 42% 3 + dir/name" and are erased with backspaces, so
// backspace, CR and LF all end a segment. The parser reports each new
// percent (with the current file name, when shown) and the total input
// size that 7-Zip announces before it adds data to an archive.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace kestrawl::zel {

struct ProgressUpdate {
  int percent = 0;
  std::string file;  // as 7-Zip shows it (forward slashes); may be empty
  uint64_t announced_total = 0;  // see announced_total(); 0 when not seen yet
};

class ProgressParser {
 public:
  using UpdateSink = std::function<bool(const ProgressUpdate&)>;  // false: stop

  explicit ProgressParser(UpdateSink sink) : sink_(std::move(sink)) {}

  // Feeds a chunk of standard output. Returns false when the sink asked to stop.
  bool Feed(std::string_view chunk);

  // Total bytes from "Add new data to archive: ..., N bytes", when seen.
  std::optional<uint64_t> announced_total() const { return announced_total_; }

 private:
  bool EndSegment(bool final);
  static std::optional<ProgressUpdate> ParseUpdate(std::string_view segment);

  UpdateSink sink_;
  std::string segment_;
  std::string last_file_;
  int last_percent_ = -1;
  std::optional<uint64_t> announced_total_;
};

}  // namespace kestrawl::zel
