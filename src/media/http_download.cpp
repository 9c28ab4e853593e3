// The HTTP client path of web media downloads, on libcurl. The system URL
// download service that a Windows engine would prefer does not exist on this
// platform, so every download goes through this client.
#include "media/http_download.h"

#include <curl/curl.h>

#include <charconv>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>

#include "media/download_progress.h"
#include "media/url_list.h"
#include "platform/file_system.h"

namespace kestrawl::media {

namespace {

constexpr uint64_t kResumeBackOff = 2048;
constexpr int kDefaultTimeoutSeconds = 30;
constexpr long kPollMilliseconds = 100;
constexpr const char* kUserAgent = "Mozilla/3.0 (compatible)";
constexpr const char* kAcceptHeader =
    "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*";

void EnsureCurlReady() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] + 32) : a[i];
    char y = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] + 32) : b[i];
    if (x != y) return false;
  }
  return true;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' ||
                           text.back() == '\n')) {
    text.remove_suffix(1);
  }
  return text;
}

std::optional<uint64_t> ParseNumber(std::string_view text) {
  text = Trim(text);
  uint64_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

// The folder part of a Windows path ("C:\A\b.7zip" -> "C:\A"); empty when none.
std::string ParentFolder(const std::string& path) {
  size_t slash = path.find_last_of("\\/");
  if (slash == std::string::npos) return {};
  return path.substr(0, slash);
}

// What one response announced in its headers.
struct ResponseHeaders {
  long status = 0;
  std::optional<uint64_t> content_length;
  bool has_content_range = false;  // a well-formed "bytes first-last/total"
  uint64_t range_first = 0;
  uint64_t range_total = 0;        // 0 when "*"
  std::string location;
};

// Parses "bytes 7952-9999/10000" (the total may be "*").
bool ParseContentRange(std::string_view value, ResponseHeaders* headers) {
  value = Trim(value);
  if (value.size() < 6 || !EqualsNoCase(value.substr(0, 6), "bytes ")) return false;
  value.remove_prefix(6);
  size_t dash = value.find('-');
  size_t slash = value.find('/');
  if (dash == std::string_view::npos || slash == std::string_view::npos || slash < dash) {
    return false;
  }
  auto first = ParseNumber(value.substr(0, dash));
  auto last = ParseNumber(value.substr(dash + 1, slash - dash - 1));
  if (!first || !last || *last < *first) return false;
  std::string_view total = Trim(value.substr(slash + 1));
  uint64_t total_value = 0;
  if (total != "*") {
    auto parsed = ParseNumber(total);
    if (!parsed || *parsed <= *last) return false;
    total_value = *parsed;
  }
  headers->has_content_range = true;
  headers->range_first = *first;
  headers->range_total = total_value;
  return true;
}

// Why this side ended a request early.
enum class Abort { kNone, kCancelled, kTimedOut, kFileError, kRangeMismatch, kErrorBody };

class Download {
 public:
  Download(platform::FileSystem& files, const std::string& url, const std::string& target,
           const HttpDownloadOptions& options)
      : files_(files), url_(url), target_(target), options_(options) {
    timeout_ = options.receive_timeout_seconds > 0 ? options.receive_timeout_seconds
                                                   : kDefaultTimeoutSeconds;
  }

  DownloadResult Run();

 private:
  enum class Method { kHead, kGet };

  CURLcode Perform(Method method, uint64_t offset);
  DownloadResult RunGet(uint64_t offset, bool* restart);
  DownloadResult Failure(DownloadError error, std::string message) const;
  DownloadResult FromTransportError(CURLcode code) const;
  bool Report(const std::string& text);
  bool StopRequested() const { return options_.stop.stop_requested(); }
  bool OpenTarget(bool overwrite_from_offset, uint64_t offset);

  size_t OnHeader(std::string_view line);
  size_t OnBody(const char* data, size_t size);

  static size_t HeaderThunk(char* data, size_t size, size_t count, void* self) {
    return static_cast<Download*>(self)->OnHeader(std::string_view(data, size * count));
  }
  static size_t BodyThunk(char* data, size_t size, size_t count, void* self) {
    return static_cast<Download*>(self)->OnBody(data, size * count);
  }
  static int ProgressThunk(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto* download = static_cast<Download*>(self);
    if (download->StopRequested()) {
      download->abort_ = Abort::kCancelled;
      return 1;
    }
    return download->abort_ == Abort::kNone ? 0 : 1;
  }

  platform::FileSystem& files_;
  const std::string& url_;
  const std::string& target_;
  const HttpDownloadOptions& options_;
  int timeout_ = kDefaultTimeoutSeconds;

  // State of the request in flight.
  Method method_ = Method::kHead;
  uint64_t requested_offset_ = 0;
  ResponseHeaders response_;
  bool body_started_ = false;
  Abort abort_ = Abort::kNone;
  platform::Win32Error file_error_ = 0;
  char curl_error_[CURL_ERROR_SIZE] = {};
  std::chrono::steady_clock::time_point last_data_;  // last header or body bytes

  // State of the download.
  std::unique_ptr<platform::File> file_;
  uint64_t total_ = 0;
  uint64_t done_ = 0;
  bool resumed_ = false;
};

bool Download::Report(const std::string& text) {
  if (StopRequested()) return false;
  if (options_.progress && !options_.progress(text, done_, total_)) return false;
  return true;
}

DownloadResult Download::Failure(DownloadError error, std::string message) const {
  DownloadResult result;
  result.error = error;
  result.http_status = response_.status;
  result.file_error = file_error_;
  result.message = std::move(message);
  return result;
}

DownloadResult Download::FromTransportError(CURLcode code) const {
  std::string detail = curl_error_[0] != '\0' ? curl_error_ : curl_easy_strerror(code);
  switch (code) {
    case CURLE_OPERATION_TIMEDOUT:
      return Failure(DownloadError::kTimeout, "No data arrived from the server within " +
                                                  std::to_string(timeout_) + " seconds.");
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_CONNECT:
      return Failure(DownloadError::kConnectFailed, "Cannot connect to the server: " + detail);
    case CURLE_TOO_MANY_REDIRECTS:
      return Failure(DownloadError::kTooManyRedirects,
                     "The server redirected the download more than " +
                         std::to_string(options_.max_redirects) + " times.");
    case CURLE_URL_MALFORMAT:
    case CURLE_UNSUPPORTED_PROTOCOL:
      return Failure(DownloadError::kBadUrl, "The download URL is not valid: " + detail);
    default:
      return Failure(DownloadError::kTransferFailed, "The download failed: " + detail);
  }
}

size_t Download::OnHeader(std::string_view line) {
  last_data_ = std::chrono::steady_clock::now();
  std::string_view text = Trim(line);
  if (text.size() >= 5 && text.substr(0, 5) == "HTTP/") {
    // A new response begins (after a redirect or an interim 1xx answer).
    response_ = ResponseHeaders();
    size_t blank = text.find(' ');
    if (blank != std::string_view::npos) {
      std::string_view rest = Trim(text.substr(blank + 1));
      auto code = ParseNumber(rest.substr(0, rest.find(' ')));
      response_.status = code && *code < 1000 ? static_cast<long>(*code) : 0;
    }
    return line.size();
  }
  if (text.empty()) {
    // End of one response's headers.
    if (response_.status >= 300 && response_.status < 400 && !response_.location.empty()) {
      if (!Report(DownloadStatusLine(download_status::kRedirecting,
                                     RedactUrl(response_.location)))) {
        abort_ = Abort::kCancelled;
        return 0;
      }
    }
    return line.size();
  }
  size_t colon = text.find(':');
  if (colon == std::string_view::npos) return line.size();
  std::string_view name = Trim(text.substr(0, colon));
  std::string_view value = Trim(text.substr(colon + 1));
  if (EqualsNoCase(name, "Content-Length")) {
    response_.content_length = ParseNumber(value);
  } else if (EqualsNoCase(name, "Content-Range")) {
    ParseContentRange(value, &response_);
  } else if (EqualsNoCase(name, "Location")) {
    response_.location = std::string(value);
  }
  return line.size();
}

bool Download::OpenTarget(bool overwrite_from_offset, uint64_t offset) {
  file_.reset();
  std::string folder = ParentFolder(target_);
  if (!folder.empty() && !files_.FolderExists(folder)) files_.CreateFolderTree(folder);
  platform::Win32Error error;
  if (overwrite_from_offset) {
    error = files_.Open(target_, platform::OpenMode::kReadWrite, platform::ShareMode::kExclusive,
                        &file_);
    if (error == 0) error = file_->Seek(offset);
  } else {
    error = files_.Open(target_, platform::OpenMode::kWrite, platform::ShareMode::kExclusive,
                        &file_);
  }
  if (error != 0) {
    file_.reset();
    file_error_ = error;
    return false;
  }
  return true;
}

size_t Download::OnBody(const char* data, size_t size) {
  last_data_ = std::chrono::steady_clock::now();
  if (abort_ != Abort::kNone) return 0;
  if (!body_started_) {
    body_started_ = true;
    long status = response_.status;
    if (status < 200 || status >= 300) {
      // Error pages and unfollowed redirects never land in the target.
      abort_ = Abort::kErrorBody;
      return 0;
    }
    if (status == 206) {
      if (!response_.has_content_range || response_.range_first != requested_offset_) {
        abort_ = Abort::kRangeMismatch;
        return 0;
      }
      if (response_.range_total != 0) {
        total_ = response_.range_total;
      } else if (response_.content_length) {
        total_ = requested_offset_ + *response_.content_length;
      }
      done_ = requested_offset_;
      resumed_ = requested_offset_ > 0;
      if (!OpenTarget(requested_offset_ > 0, requested_offset_)) {
        abort_ = Abort::kFileError;
        return 0;
      }
    } else {
      // The whole file: a server that ignored the range starts over from 0.
      if (response_.content_length) total_ = *response_.content_length;
      done_ = 0;
      resumed_ = false;
      if (!OpenTarget(false, 0)) {
        abort_ = Abort::kFileError;
        return 0;
      }
    }
    if (!Report(DownloadStatusLine(download_status::kBeginningTransfer, {}))) {
      abort_ = Abort::kCancelled;
      return 0;
    }
  }
  platform::Win32Error error = file_->Write(data, size);
  if (error != 0) {
    file_error_ = error;
    abort_ = Abort::kFileError;
    return 0;
  }
  done_ += size;
  if (!Report(BytesReceivedText(done_, total_))) {
    abort_ = Abort::kCancelled;
    return 0;
  }
  return size;
}

CURLcode Download::Perform(Method method, uint64_t offset) {
  method_ = method;
  requested_offset_ = offset;
  response_ = ResponseHeaders();
  body_started_ = false;
  abort_ = Abort::kNone;
  curl_error_[0] = '\0';

  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> easy(curl_easy_init(), curl_easy_cleanup);
  if (!easy) return CURLE_FAILED_INIT;
  CURL* h = easy.get();
  curl_easy_setopt(h, CURLOPT_URL, url_.c_str());
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(h, CURLOPT_MAXREDIRS, static_cast<long>(options_.max_redirects));
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, curl_error_);
  curl_easy_setopt(h, CURLOPT_USERAGENT, kUserAgent);
  std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headers(
      curl_slist_append(nullptr, kAcceptHeader), curl_slist_free_all);
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
  // The receive timeout covers connecting; the wait loop below watches every
  // later stretch without data (libcurl's low-speed check averages over
  // several seconds and would let a stall after a burst run longer).
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, static_cast<long>(timeout_));
  // Only the proxy given here; never one from the environment.
  curl_easy_setopt(h, CURLOPT_PROXY, options_.proxy.server.c_str());
  if (!options_.proxy.server.empty()) {
    if (options_.proxy.port > 0 && options_.proxy.port <= 65535) {
      curl_easy_setopt(h, CURLOPT_PROXYPORT, static_cast<long>(options_.proxy.port));
    }
    if (!options_.proxy.user.empty()) {
      curl_easy_setopt(h, CURLOPT_PROXYUSERNAME, options_.proxy.user.c_str());
      curl_easy_setopt(h, CURLOPT_PROXYPASSWORD, options_.proxy.password.c_str());
      curl_easy_setopt(h, CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_ANY));
    }
  }
  curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &Download::HeaderThunk);
  curl_easy_setopt(h, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &Download::BodyThunk);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, this);
  curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &Download::ProgressThunk);
  curl_easy_setopt(h, CURLOPT_XFERINFODATA, this);
  std::string range;
  if (method == Method::kHead) {
    curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
  } else if (offset > 0) {
    range = std::to_string(offset) + "-";
    curl_easy_setopt(h, CURLOPT_RANGE, range.c_str());
  }

  // The multi interface lets the wait for data wake up often enough to
  // notice a stop request within a fraction of a second.
  std::unique_ptr<CURLM, decltype(&curl_multi_cleanup)> multi(curl_multi_init(),
                                                              curl_multi_cleanup);
  if (!multi) return CURLE_FAILED_INIT;
  curl_multi_add_handle(multi.get(), h);
  CURLcode result = CURLE_ABORTED_BY_CALLBACK;
  int running = 1;
  last_data_ = std::chrono::steady_clock::now();
  const auto timeout = std::chrono::seconds(timeout_);
  while (true) {
    if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
      result = CURLE_FAILED_INIT;
      break;
    }
    if (running == 0) {
      int queued = 0;
      while (CURLMsg* message = curl_multi_info_read(multi.get(), &queued)) {
        if (message->msg == CURLMSG_DONE) result = message->data.result;
      }
      break;
    }
    if (StopRequested()) {
      abort_ = Abort::kCancelled;
      break;
    }
    if (abort_ == Abort::kNone && std::chrono::steady_clock::now() - last_data_ > timeout) {
      abort_ = Abort::kTimedOut;
      result = CURLE_OPERATION_TIMEDOUT;
      break;
    }
    curl_multi_poll(multi.get(), nullptr, 0, kPollMilliseconds, nullptr);
  }
  curl_multi_remove_handle(multi.get(), h);
  return result;
}

DownloadResult Download::RunGet(uint64_t offset, bool* restart) {
  *restart = false;
  CURLcode code = Perform(Method::kGet, offset);
  if (abort_ == Abort::kCancelled || StopRequested()) {
    file_.reset();
    return Failure(DownloadError::kCancelled, "The download was cancelled.");
  }
  if (abort_ == Abort::kFileError) {
    file_.reset();
    return Failure(DownloadError::kFileError, "Cannot write the file " + target_ + ": " +
                                                  platform::SystemMessage(file_error_));
  }
  if (offset > 0 && (abort_ == Abort::kRangeMismatch || response_.status == 416)) {
    *restart = true;
    return {};
  }
  if (abort_ == Abort::kRangeMismatch) {
    file_.reset();
    return Failure(DownloadError::kTransferFailed,
                   "The server sent a part of the file that was not asked for.");
  }
  if (code != CURLE_OK && abort_ != Abort::kErrorBody) {
    file_.reset();
    return FromTransportError(code);
  }
  long status = response_.status;
  if (status < 200 || status >= 300) {
    file_.reset();
    return Failure(DownloadError::kHttpStatus,
                   "The server answered with HTTP status " + std::to_string(status) + ".");
  }
  if (!file_) {
    // A success without a body: an empty file (or an untouched resumed one).
    if (!OpenTarget(status == 206 && offset > 0, offset)) {
      return Failure(DownloadError::kFileError, "Cannot write the file " + target_ + ": " +
                                                    platform::SystemMessage(file_error_));
    }
    done_ = status == 206 ? offset : 0;
  }
  uint64_t size = 0;
  platform::Win32Error error = file_->Size(&size);
  file_.reset();
  if (error != 0) {
    file_error_ = error;
    return Failure(DownloadError::kFileError, "Cannot write the file " + target_ + ": " +
                                                  platform::SystemMessage(error));
  }
  if (size != done_) {
    // The partial file was longer than the file on the server: it belongs
    // to another version of the file.
    if (offset > 0) {
      *restart = true;
      return {};
    }
    return Failure(DownloadError::kTransferFailed, "The downloaded file has the wrong size.");
  }
  Report(DownloadStatusLine(download_status::kFinishingTransfer, {}));
  DownloadResult result;
  result.http_status = status;
  result.size = size;
  result.resumed = resumed_;
  return result;
}

DownloadResult Download::Run() {
  EnsureCurlReady();
  std::optional<ParsedUrl> parsed = ParseUrl(url_);
  if (!parsed) {
    return Failure(DownloadError::kBadUrl, "The download URL is not valid: " + RedactUrl(url_));
  }
  if (target_.empty()) return Failure(DownloadError::kBadTarget, "No file to download to.");

  uint64_t partial = 0;
  platform::FileEntry entry;
  if (files_.GetEntry(target_, &entry) == 0 && !entry.IsFolder()) partial = entry.size;

  if (!Report(DownloadStatusLine(download_status::kConnecting, parsed->host))) {
    return Failure(DownloadError::kCancelled, "The download was cancelled.");
  }

  // HEAD for the size. Its failures do not stop the GET, except those the
  // GET would only repeat (no connection, no answer, redirect loop).
  CURLcode head = Perform(Method::kHead, 0);
  if (abort_ == Abort::kCancelled || StopRequested()) {
    return Failure(DownloadError::kCancelled, "The download was cancelled.");
  }
  if (head == CURLE_OK) {
    long status = response_.status;
    if (status >= 400 && status != 405 && status != 501) {
      return Failure(DownloadError::kHttpStatus,
                     "The server answered with HTTP status " + std::to_string(status) + ".");
    }
    if (status >= 200 && status < 300 && response_.content_length) {
      total_ = *response_.content_length;
    }
  } else if (head == CURLE_OPERATION_TIMEDOUT || head == CURLE_COULDNT_CONNECT ||
             head == CURLE_COULDNT_RESOLVE_HOST || head == CURLE_COULDNT_RESOLVE_PROXY ||
             head == CURLE_TOO_MANY_REDIRECTS) {
    return FromTransportError(head);
  }

  uint64_t offset = options_.resume && partial > kResumeBackOff ? partial - kResumeBackOff : 0;
  if (offset > 0 && !Report(DownloadStatusLine(download_status::kResuming, {}))) {
    return Failure(DownloadError::kCancelled, "The download was cancelled.");
  }
  bool restart = false;
  DownloadResult result = RunGet(offset, &restart);
  if (restart) {
    // The partial file cannot be continued: download a new copy.
    done_ = 0;
    result = RunGet(0, &restart);
    if (restart) {
      return Failure(DownloadError::kTransferFailed, "The downloaded file has the wrong size.");
    }
  }
  return result;
}

}  // namespace

DownloadResult DownloadUrl(platform::FileSystem& files, const std::string& url,
                           const std::string& target, const HttpDownloadOptions& options) {
  Download download(files, url, target, options);
  return download.Run();
}

int ReceiveTimeoutFromText(const std::string& value) {
  std::string_view text = Trim(value);
  bool negative = !text.empty() && text.front() == '-';
  if (negative || (!text.empty() && text.front() == '+')) text.remove_prefix(1);
  auto number = ParseNumber(text);
  if (!number || text.empty() || *number > 2147483647ULL) return 10;
  int seconds = static_cast<int>(*number);
  return negative ? -seconds : seconds;
}

}  // namespace kestrawl::media
