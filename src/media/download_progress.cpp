// Status texts, "bytes received" lines and percent values of downloads.
#include "media/download_progress.h"

#include <array>

namespace kestrawl::media {

namespace {

constexpr std::array<const char*, 34> kStatusTexts = {
    "",
    "Locating resource",
    "Connecting to",
    "Redirecting to",
    "Beginning data transfer",
    "Transferring data",
    "Finishing data transfer",
    "Beginning component download",
    "Installing components",
    "Finishing component download",
    "Resuming broken download",
    "Requesting data",
    "CLASSID available",
    "Download data recognized",
    "Saving download information",
    "Beginning synchronous operation",
    "Finishing synchronous operation",
    "Beginning data upload",
    "Uploading data",
    "Finishing data upload",
    "Protocol CLASSID",
    "Encoding",
    "Download data recognized and verified",
    "Class install location",
    "Decoding",
    "Loading data handler",
    "Content disposition attach",
    "Download data filtered",
    "CLSID can instantiate",
    "COM services unavailable",
    "Direct bind",
    "Unrecognized download data",
    "Detecting proxy information",
    "Accept ranges",
};

std::string GroupThousands(uint64_t value) {
  std::string digits = std::to_string(value);
  std::string out;
  out.reserve(digits.size() + digits.size() / 3);
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

}  // namespace

std::string DownloadStatusText(int code) {
  if (code < 0 || code >= static_cast<int>(kStatusTexts.size())) return {};
  return kStatusTexts[static_cast<size_t>(code)];
}

std::string DownloadStatusLine(int code, const std::string& detail) {
  std::string text = DownloadStatusText(code);
  if (text.empty()) return detail;
  if (detail.empty()) return text;
  return text + " " + detail;
}

int DownloadPercent(uint64_t done, uint64_t total) {
  if (total == 0) return 1;
  // done * 100 would overflow only beyond 184 petabytes; divide first then.
  uint64_t percent = done <= UINT64_MAX / 100 ? done * 100 / total : done / total * 100;
  percent += 1;
  return percent > 100 ? 100 : static_cast<int>(percent);
}

std::string BytesReceivedText(uint64_t done, uint64_t total) {
  std::string text = GroupThousands(done) + " bytes received";
  if (total != 0) text += ", " + std::to_string(DownloadPercent(done, total)) + "% complete";
  return text;
}

}  // namespace kestrawl::media
