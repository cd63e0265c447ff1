// A web server for the engine tests: on 127.0.0.1 only, at a port the system picks, serving
// the pages a test puts from a thread of its own from construction until destruction (which
// waits for the requests in progress). No other machine can reach it.
//
// A page may ask for Basic authentication: a request without its user and password gets 401
// with the challenge `WWW-Authenticate: Basic realm="REALM"` and the page's `denied` body.
// A path nobody put gets 404. Every request is counted per path (without the query).
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

struct MHD_Daemon;
struct MHD_Connection;

namespace pw::test {

class LoopbackHttpServer {
 public:
  struct Page {
    int status = 200;
    std::string contentType = "text/html; charset=utf-8";
    std::string body;
    // Basic authentication (none when the realm is empty).
    std::string realm, user, password;
    std::string denied = "<html><head><title>Denied</title></head><body>denied</body></html>";
  };

  // Throws std::runtime_error when the server cannot start.
  LoopbackHttpServer();
  ~LoopbackHttpServer();
  LoopbackHttpServer(const LoopbackHttpServer&) = delete;
  LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

  // Serves `page` at `path` ("/a.html"); a later Put of the same path replaces it.
  void Put(const std::string& path, Page page);
  void Put(const std::string& path, std::string html);
  std::uint16_t Port() const { return port_; }
  // "http://127.0.0.1:PORT" + path; `host` replaces the address (another site for the engine,
  // e.g. "localhost", the same server).
  std::string Url(const std::string& path, const std::string& host = "127.0.0.1") const;
  // The requests of a path so far, and those among them that carried the right credentials.
  int Requests(const std::string& path) const;
  int Authorised(const std::string& path) const;

 private:
  int Answer(MHD_Connection* connection, const std::string& path);

  mutable std::mutex mutex_;
  std::map<std::string, Page> pages_;
  std::map<std::string, int> requests_, authorised_;
  MHD_Daemon* daemon_ = nullptr;
  std::uint16_t port_ = 0;
};

}  // namespace pw::test
