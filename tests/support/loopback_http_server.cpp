// The loopback HTTP server of the download tests (POSIX sockets).
#include "support/loopback_http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <stdexcept>

namespace kestrawl::testing {

namespace {

constexpr int kPollMs = 50;
constexpr size_t kMaxHeaderBytes = 64 * 1024;

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string Trim(const std::string& text) {
  size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  size_t last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

const char* Reason(int status) {
  switch (status) {
    case 200: return "OK";
    case 206: return "Partial Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 401: return "Unauthorized";
    case 404: return "Not Found";
    case 416: return "Range Not Satisfiable";
    default: return "Status";
  }
}

}  // namespace

std::string SeenRequest::Header(const std::string& name) const {
  for (const auto& [key, value] : headers) {
    if (Lower(key) == Lower(name)) return value;
  }
  return {};
}

LoopbackHttpServer::LoopbackHttpServer(Handler handler) : handler_(std::move(handler)) {
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener_ < 0) throw std::runtime_error("socket failed");
  int yes = 1;
  ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener_, 16) != 0) {
    ::close(listener_);
    throw std::runtime_error("bind/listen failed");
  }
  socklen_t length = sizeof address;
  ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

LoopbackHttpServer::~LoopbackHttpServer() { Stop(); }

void LoopbackHttpServer::Stop() {
  if (stopping_.exchange(true)) return;
  if (acceptor_.joinable()) acceptor_.join();
  std::vector<std::thread> connections;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    connections.swap(connections_);
  }
  for (auto& thread : connections) thread.join();
  ::close(listener_);
}

std::string LoopbackHttpServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<SeenRequest> LoopbackHttpServer::Requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

void LoopbackHttpServer::AcceptLoop() {
  while (!stopping_) {
    pollfd pfd{listener_, POLLIN, 0};
    if (::poll(&pfd, 1, kPollMs) <= 0) continue;
    int socket = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (socket < 0) continue;
    std::lock_guard<std::mutex> lock(mutex_);
    connections_.emplace_back([this, socket] {
      Serve(socket);
      ::close(socket);
    });
  }
}

void LoopbackHttpServer::Serve(int socket) {
  // Read the request head.
  std::string head;
  while (!stopping_ && head.find("\r\n\r\n") == std::string::npos &&
         head.size() < kMaxHeaderBytes) {
    pollfd pfd{socket, POLLIN, 0};
    if (::poll(&pfd, 1, kPollMs) <= 0) continue;
    char buffer[4096];
    ssize_t got = ::recv(socket, buffer, sizeof buffer, 0);
    if (got <= 0) return;
    head.append(buffer, static_cast<size_t>(got));
  }
  if (stopping_) return;
  SeenRequest request;
  size_t line_end = head.find("\r\n");
  std::string request_line = head.substr(0, line_end);
  size_t first_blank = request_line.find(' ');
  size_t second_blank = request_line.find(' ', first_blank + 1);
  if (first_blank == std::string::npos || second_blank == std::string::npos) return;
  request.method = request_line.substr(0, first_blank);
  request.target = request_line.substr(first_blank + 1, second_blank - first_blank - 1);
  size_t position = line_end + 2;
  while (position < head.size()) {
    size_t end = head.find("\r\n", position);
    if (end == std::string::npos || end == position) break;
    std::string line = head.substr(position, end - position);
    size_t colon = line.find(':');
    if (colon != std::string::npos) {
      request.headers.emplace_back(Trim(line.substr(0, colon)), Trim(line.substr(colon + 1)));
    }
    position = end + 2;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(request);
  }
  Reply reply = handler_(request);

  auto wait_for_stop = [this] {
    while (!stopping_) std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
  };
  if (reply.never_answer) {
    wait_for_stop();
    return;
  }
  std::string out = "HTTP/1.1 " + std::to_string(reply.status) + " " + Reason(reply.status) +
                    "\r\nConnection: close\r\n";
  if (reply.send_length) out += "Content-Length: " + std::to_string(reply.body.size()) + "\r\n";
  for (const auto& [name, value] : reply.headers) out += name + ": " + value + "\r\n";
  out += "\r\n";
  auto send_all = [&](const char* data, size_t size) {
    while (size > 0 && !stopping_) {
      ssize_t sent = ::send(socket, data, size, MSG_NOSIGNAL);
      if (sent <= 0) return false;
      data += sent;
      size -= static_cast<size_t>(sent);
    }
    return size == 0;
  };
  if (!send_all(out.data(), out.size())) return;
  if (request.method == "HEAD") return;
  size_t limit = std::min(reply.cut_after, reply.body.size());
  size_t chunk = std::max<size_t>(reply.chunk_size, 1);
  for (size_t sent = 0; sent < limit && !stopping_; sent += chunk) {
    if (!send_all(reply.body.data() + sent, std::min(chunk, limit - sent))) return;
    if (reply.chunk_delay_ms > 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(reply.chunk_delay_ms));
    }
  }
  if (limit < reply.body.size() && reply.stall_after_cut) wait_for_stop();
}

int UnusedLoopbackPort() {
  int probe = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(probe);
  return ntohs(address.sin_port);
}

Reply ServeData(const SeenRequest& request, const std::string& data, bool honour_range) {
  Reply reply;
  std::string range = request.Header("Range");
  if (honour_range && range.rfind("bytes=", 0) == 0 && range.back() == '-') {
    size_t from = std::stoull(range.substr(6, range.size() - 7));
    if (from >= data.size()) {
      reply.status = 416;
      reply.headers.emplace_back("Content-Range", "bytes */" + std::to_string(data.size()));
      return reply;
    }
    reply.status = 206;
    reply.headers.emplace_back("Content-Range", "bytes " + std::to_string(from) + "-" +
                                                    std::to_string(data.size() - 1) + "/" +
                                                    std::to_string(data.size()));
    reply.body = data.substr(from);
    return reply;
  }
  reply.body = data;
  return reply;
}

}  // namespace kestrawl::testing
