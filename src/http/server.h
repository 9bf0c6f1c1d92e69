// The HTTP front end: the JSON API over the report service and the web pages, on one address.
// Requests are served by a pool of threads; a report runs on a thread of its own while its
// request's thread streams its progress and rows (background_run.h, row_stream.h).
#pragma once

#include <memory>

#include "http/http_options.h"

namespace httplib {
class Server;
}

namespace orv::http {

struct ApiContext;

class HttpServer {
 public:
  explicit HttpServer(HttpOptions options);
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Binds and listens; returns the port (the chosen one when options.port is 0). Raises
  // std::runtime_error when the address cannot be used.
  uint16_t Listen();
  // Serves until RequestStop; the requests under way are finished first.
  void Run();
  // Safe to call from a signal handler and from any thread.
  void RequestStop();

 private:
  std::unique_ptr<ApiContext> context_;
  std::unique_ptr<httplib::Server> server_;
  int stop_pipe_[2] = {-1, -1};
};

}  // namespace orv::http
