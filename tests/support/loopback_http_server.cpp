#include "tests/support/loopback_http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <microhttpd.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <stdexcept>

namespace pw::test {

namespace {

struct ResponseDeleter {
  void operator()(MHD_Response* r) const { MHD_destroy_response(r); }
};
using Response = std::unique_ptr<MHD_Response, ResponseDeleter>;

Response MakeResponse(const std::string& body, const std::string& contentType) {
  Response r(MHD_create_response_from_buffer(body.size(), const_cast<char*>(body.data()), MHD_RESPMEM_MUST_COPY));
  if (r) MHD_add_response_header(r.get(), MHD_HTTP_HEADER_CONTENT_TYPE, contentType.c_str());
  return r;
}

}  // namespace

LoopbackHttpServer::LoopbackHttpServer() {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = 0;  // the system picks a free port
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  auto handler = [](void* self, MHD_Connection* connection, const char* url, const char*, const char*, const char*,
                    std::size_t*, void**) -> MHD_Result {
    return static_cast<MHD_Result>(static_cast<LoopbackHttpServer*>(self)->Answer(connection, url ? url : "/"));
  };
  daemon_ = MHD_start_daemon(MHD_USE_INTERNAL_POLLING_THREAD, 0, nullptr, nullptr, handler, this, MHD_OPTION_SOCK_ADDR,
                             &address, MHD_OPTION_END);
  if (!daemon_) throw std::runtime_error("The loopback web server could not start");
  const MHD_DaemonInfo* info = MHD_get_daemon_info(daemon_, MHD_DAEMON_INFO_BIND_PORT);
  port_ = info ? info->port : 0;
  if (port_ == 0) {
    MHD_stop_daemon(daemon_);
    throw std::runtime_error("The loopback web server has no port");
  }
}

LoopbackHttpServer::~LoopbackHttpServer() { MHD_stop_daemon(daemon_); }

void LoopbackHttpServer::Put(const std::string& path, Page page) {
  std::lock_guard lock(mutex_);
  pages_[path] = std::move(page);
}

void LoopbackHttpServer::Put(const std::string& path, std::string html) {
  Page page;
  page.body = std::move(html);
  Put(path, std::move(page));
}

std::string LoopbackHttpServer::Url(const std::string& path, const std::string& host) const {
  return "http://" + host + ":" + std::to_string(port_) + path;
}

int LoopbackHttpServer::Requests(const std::string& path) const {
  std::lock_guard lock(mutex_);
  auto it = requests_.find(path);
  return it == requests_.end() ? 0 : it->second;
}

int LoopbackHttpServer::Authorised(const std::string& path) const {
  std::lock_guard lock(mutex_);
  auto it = authorised_.find(path);
  return it == authorised_.end() ? 0 : it->second;
}

int LoopbackHttpServer::Answer(MHD_Connection* connection, const std::string& path) {
  std::optional<Page> page;
  {
    std::lock_guard lock(mutex_);
    ++requests_[path];
    if (auto it = pages_.find(path); it != pages_.end()) page = it->second;
  }
  if (!page) {
    Response r = MakeResponse("<html><body>Not found</body></html>", "text/html");
    return r ? MHD_queue_response(connection, MHD_HTTP_NOT_FOUND, r.get()) : MHD_NO;
  }
  if (!page->realm.empty()) {
    char* password = nullptr;
    char* user = MHD_basic_auth_get_username_password(connection, &password);
    const bool allowed = user && password && page->user == user && page->password == password;
    std::free(user);
    std::free(password);
    if (!allowed) {
      Response r = MakeResponse(page->denied, "text/html; charset=utf-8");
      return r ? MHD_queue_basic_auth_fail_response(connection, page->realm.c_str(), r.get()) : MHD_NO;
    }
    std::lock_guard lock(mutex_);
    ++authorised_[path];
  }
  Response r = MakeResponse(page->body, page->contentType);
  return r ? MHD_queue_response(connection, static_cast<unsigned>(page->status), r.get()) : MHD_NO;
}

}  // namespace pw::test
