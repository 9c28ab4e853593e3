#include "archive/progress_parser.h"

#include <cctype>

namespace kestrawl::zel {
namespace {

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// "Add new data to archive: 2 files, 60000006 bytes (58 MiB)" -> 60000006
std::optional<uint64_t> ParseAnnouncedTotal(std::string_view line) {
  static constexpr std::string_view kPrefix = "Add new data to archive:";
  if (line.substr(0, kPrefix.size()) != kPrefix) return std::nullopt;
  const auto at = line.find(" bytes");
  if (at == std::string_view::npos) return std::nullopt;
  size_t begin = at;
  while (begin > 0 && IsDigit(line[begin - 1])) --begin;
  if (begin == at) return std::nullopt;
  uint64_t value = 0;
  for (size_t i = begin; i < at; ++i) value = value * 10 + static_cast<uint64_t>(line[i] - '0');
  return value;
}

}  // namespace

std::optional<ProgressUpdate> ProgressParser::ParseUpdate(std::string_view segment) {
  segment = TrimBlanks(segment);
  size_t i = 0;
  while (i < segment.size() && IsDigit(segment[i])) ++i;
  if (i == 0 || i > 3 || i >= segment.size() || segment[i] != '%') return std::nullopt;
  ProgressUpdate update;
  for (size_t k = 0; k < i; ++k) update.percent = update.percent * 10 + (segment[k] - '0');
  if (update.percent > 100) return std::nullopt;
  std::string_view rest = TrimBlanks(segment.substr(i + 1));
  // Optional file count, then an optional one-letter operation, then the name.
  size_t digits = 0;
  while (digits < rest.size() && IsDigit(rest[digits])) ++digits;
  if (digits > 0 && (digits == rest.size() || rest[digits] == ' ')) rest = TrimBlanks(rest.substr(digits));
  if (rest.size() >= 2 && rest[1] == ' ' && std::string_view("+-=UTDRA").find(rest[0]) != std::string_view::npos) {
    update.file = std::string(TrimBlanks(rest.substr(2)));
  }
  return update;
}

bool ProgressParser::EndSegment(bool final) {
  if (!announced_total_) announced_total_ = ParseAnnouncedTotal(TrimBlanks(segment_));
  auto update = ParseUpdate(segment_);
  if (final) segment_.clear();
  if (!update) return true;
  if (update->file.empty()) update->file = last_file_;
  if (update->percent == last_percent_ && update->file == last_file_) return true;
  last_percent_ = update->percent;
  last_file_ = update->file;
  update->announced_total = announced_total_.value_or(0);
  return sink_ ? sink_(*update) : true;
}

bool ProgressParser::Feed(std::string_view chunk) {
  for (char c : chunk) {
    if (c == '\b' || c == '\r' || c == '\n') {
      if (!segment_.empty() && !EndSegment(true)) return false;
      segment_.clear();
    } else {
      segment_.push_back(c);
    }
  }
  // 7-Zip writes each update in one piece and erases it only when the next
  // one comes, so a complete-looking update at the end of a chunk is reported
  // now rather than one update late.
  if (!segment_.empty()) return EndSegment(false);
  return true;
}

}  // namespace kestrawl::zel
