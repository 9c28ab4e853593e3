// The texts a download shows while it runs: the status table of the URL
// download service (also used for the stages of the HTTP client), the
// "bytes received" line and the percent value forwarded to the progress page.
#pragma once

#include <cstdint>
#include <string>

namespace kestrawl::media {

// Stages of a download, numbered as the system's URL download service
// numbers its status codes (0..33).
namespace download_status {
inline constexpr int kLocatingResource = 1;
inline constexpr int kConnecting = 2;
inline constexpr int kRedirecting = 3;
inline constexpr int kBeginningTransfer = 4;
inline constexpr int kTransferring = 5;
inline constexpr int kFinishingTransfer = 6;
inline constexpr int kResuming = 10;
inline constexpr int kRequestingData = 11;
}  // namespace download_status

// The default text of a status code ("Connecting to"); empty for code 0 and
// for codes outside the table.
std::string DownloadStatusText(int code);

// A status line: the code's text, a blank and the detail; only the detail
// when the code has no text, only the text when there is no detail.
std::string DownloadStatusLine(int code, const std::string& detail);

// bytes * 100 / total + 1, at most 100; 1 when the total is unknown (0).
int DownloadPercent(uint64_t done, uint64_t total);

// "1,234,567 bytes received" followed by ", 13% complete" when the total is
// known (not 0).
std::string BytesReceivedText(uint64_t done, uint64_t total);

}  // namespace kestrawl::media
