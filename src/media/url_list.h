// URLs of a web media block: parsing one URL, splitting the block's URL
// list (one URL per line) and downloading from the first URL that works.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "media/http_download.h"

namespace kestrawl::media {

// The parts of an http:// or https:// URL. User and password are decoded
// (%40 gives "@").
struct ParsedUrl {
  std::string scheme;  // "http" or "https", lower case
  std::string user;
  std::string password;
  bool has_credentials = false;  // the URL carries "user:password@" or "user@"
  std::string host;
  int port = 0;        // the explicit port, else 80 or 443
  std::string path;    // path with query, "/" at least
};

// Empty for anything that is not a well-formed http or https URL.
std::optional<ParsedUrl> ParseUrl(const std::string& url);

// The URL with its password replaced by "***", for texts shown or logged.
// Malformed URLs come back unchanged.
std::string RedactUrl(const std::string& url);

// The URLs of a list text: one per line (CR LF, LF or CR), blanks around a
// URL removed, empty lines skipped.
std::vector<std::string> SplitUrlList(const std::string& text);

struct UrlListResult {
  bool ok = false;
  size_t url_index = 0;                 // the URL that succeeded
  std::vector<DownloadResult> attempts; // one per URL tried, in order
  std::string message;                  // why the last URL failed; empty on success
};

// Tries the URLs in order until one downloads into `target`. Stops at once,
// without trying further URLs, when the download was cancelled. An empty
// list fails.
UrlListResult DownloadFirstWorking(platform::FileSystem& files,
                                   const std::vector<std::string>& urls,
                                   const std::string& target,
                                   const HttpDownloadOptions& options);

}  // namespace kestrawl::media
