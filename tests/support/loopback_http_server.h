// A small HTTP/1.1 server on 127.0.0.1 for download tests. Each test gives
// it a handler that decides every answer, including faults: a connection
// cut after some body bytes, a body sent slowly, or no answer at all. One
// request per connection. The server stops (and releases every connection
// it holds) when the object goes away.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace kestrawl::testing {

struct SeenRequest {
  std::string method;  // "GET", "HEAD"
  std::string target;  // "/file?x=1"
  std::vector<std::pair<std::string, std::string>> headers;
  // The value of a header (name compared without regard to case); empty when absent.
  std::string Header(const std::string& name) const;
};

struct Reply {
  int status = 200;
  std::vector<std::pair<std::string, std::string>> headers;  // besides Content-Length
  std::string body;
  bool send_length = true;          // send "Content-Length: <body size>"
  size_t cut_after = std::string::npos;  // close after this many body bytes
  bool stall_after_cut = false;     // at the cut keep the connection open, silent
  bool never_answer = false;        // read the request, then stay silent
  size_t chunk_size = 16384;
  int chunk_delay_ms = 0;           // pause between chunks
};

using Handler = std::function<Reply(const SeenRequest&)>;

class LoopbackHttpServer {
 public:
  explicit LoopbackHttpServer(Handler handler);
  ~LoopbackHttpServer();
  LoopbackHttpServer(const LoopbackHttpServer&) = delete;
  LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

  int port() const { return port_; }
  std::string Url(const std::string& path) const;
  std::vector<SeenRequest> Requests() const;
  void Stop();

 private:
  void AcceptLoop();
  void Serve(int socket);

  Handler handler_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::thread acceptor_;
  mutable std::mutex mutex_;
  std::vector<std::thread> connections_;
  std::vector<SeenRequest> requests_;
};

// A port on 127.0.0.1 where nothing listens (connections are refused).
int UnusedLoopbackPort();

// A reply serving `data` the way a file server does: "Range: bytes=N-"
// gives 206 with Content-Range when `honour_range`, else 200 with all of it;
// a range beyond the end gives 416.
Reply ServeData(const SeenRequest& request, const std::string& data, bool honour_range = true);

}  // namespace kestrawl::testing
