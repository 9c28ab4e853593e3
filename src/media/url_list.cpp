// URL parsing (through libcurl's URL parser), URL lists and trying the URLs
// of a list in order.
#include "media/url_list.h"

#include <curl/curl.h>

#include <memory>

namespace kestrawl::media {

namespace {

struct UrlHandleDeleter {
  void operator()(CURLU* handle) const { curl_url_cleanup(handle); }
};
using UrlHandle = std::unique_ptr<CURLU, UrlHandleDeleter>;

// One part of a parsed URL; `present` tells whether the URL has it.
std::string GetPart(CURLU* handle, CURLUPart part, unsigned flags, bool* present = nullptr) {
  char* value = nullptr;
  CURLUcode code = curl_url_get(handle, part, &value, flags);
  if (present) *present = code == CURLUE_OK;
  if (code != CURLUE_OK || value == nullptr) return {};
  std::string text(value);
  curl_free(value);
  return text;
}

bool HasControlOrBlank(const std::string& text) {
  for (unsigned char c : text) {
    if (c <= 0x20 || c == 0x7F) return true;
  }
  return false;
}

}  // namespace

std::optional<ParsedUrl> ParseUrl(const std::string& url) {
  if (url.empty() || HasControlOrBlank(url)) return std::nullopt;
  // An authority must follow the scheme ("http:///path" has none).
  size_t separator = url.find("://");
  if (separator == std::string::npos || separator + 3 >= url.size() ||
      url[separator + 3] == '/') {
    return std::nullopt;
  }
  UrlHandle handle(curl_url());
  if (!handle) return std::nullopt;
  if (curl_url_set(handle.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) return std::nullopt;

  ParsedUrl parsed;
  parsed.scheme = GetPart(handle.get(), CURLUPART_SCHEME, 0);
  if (parsed.scheme != "http" && parsed.scheme != "https") return std::nullopt;
  parsed.host = GetPart(handle.get(), CURLUPART_HOST, 0);
  if (parsed.host.empty()) return std::nullopt;
  bool has_user = false;
  bool has_password = false;
  parsed.user = GetPart(handle.get(), CURLUPART_USER, CURLU_URLDECODE, &has_user);
  parsed.password = GetPart(handle.get(), CURLUPART_PASSWORD, CURLU_URLDECODE, &has_password);
  parsed.has_credentials = has_user || has_password;
  std::string port = GetPart(handle.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT);
  try {
    parsed.port = std::stoi(port);
  } catch (...) {
    return std::nullopt;
  }
  if (parsed.port <= 0 || parsed.port > 65535) return std::nullopt;
  parsed.path = GetPart(handle.get(), CURLUPART_PATH, 0);
  if (parsed.path.empty()) parsed.path = "/";
  bool has_query = false;
  std::string query = GetPart(handle.get(), CURLUPART_QUERY, 0, &has_query);
  if (has_query) parsed.path += "?" + query;
  return parsed;
}

std::string RedactUrl(const std::string& url) {
  if (!ParseUrl(url)) return url;
  UrlHandle handle(curl_url());
  if (!handle || curl_url_set(handle.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) return url;
  bool has_password = false;
  GetPart(handle.get(), CURLUPART_PASSWORD, 0, &has_password);
  if (!has_password) return url;
  if (curl_url_set(handle.get(), CURLUPART_PASSWORD, "***", 0) != CURLUE_OK) return url;
  std::string redacted = GetPart(handle.get(), CURLUPART_URL, 0);
  return redacted.empty() ? url : redacted;
}

std::vector<std::string> SplitUrlList(const std::string& text) {
  std::vector<std::string> urls;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    size_t first = line.find_first_not_of(" \t");
    if (first != std::string::npos) {
      size_t last = line.find_last_not_of(" \t");
      urls.push_back(line.substr(first, last - first + 1));
    }
    start = end + 1;
  }
  return urls;
}

UrlListResult DownloadFirstWorking(platform::FileSystem& files,
                                   const std::vector<std::string>& urls,
                                   const std::string& target,
                                   const HttpDownloadOptions& options) {
  UrlListResult result;
  if (urls.empty()) {
    result.message = "No download URL was given.";
    return result;
  }
  for (size_t i = 0; i < urls.size(); ++i) {
    DownloadResult attempt = DownloadUrl(files, urls[i], target, options);
    result.attempts.push_back(attempt);
    if (attempt.ok()) {
      result.ok = true;
      result.url_index = i;
      result.message.clear();
      return result;
    }
    result.message = attempt.message;
    if (attempt.error == DownloadError::kCancelled) break;
  }
  return result;
}

}  // namespace kestrawl::media
