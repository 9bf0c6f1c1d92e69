#include "http/server.h"

#include <fcntl.h>
#include <httplib.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "http/api_context.h"
#include "http/api_error.h"

namespace orv::http {

namespace {

// Sent with every answer: pages load nothing from elsewhere and run no inline script, answers
// are never sniffed into another type, never framed and never cached.
httplib::Headers SecurityHeaders() {
  return {
      {"Content-Security-Policy",
       "default-src 'self'; script-src 'self'; style-src 'self'; img-src 'self' data:; "
       "connect-src 'self'; object-src 'none'; base-uri 'none'; form-action 'self'; "
       "frame-ancestors 'none'"},
      {"X-Content-Type-Options", "nosniff"},
      {"X-Frame-Options", "DENY"},
      {"Referrer-Policy", "no-referrer"},
      {"Cache-Control", "no-store"},
  };
}

}  // namespace

std::string ApiContext::DsnFor(const Caller& caller) const {
  if (caller.session.role != users::Role::ReadOnly) return options.dsn;
  const bool separated = options.dsn.empty() || options.dsn.back() == ';';
  return options.dsn + (separated ? "" : ";") + "Mode=Read";
}

std::string SecondsSince(std::chrono::steady_clock::time_point start) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - start)
                      .count();
  return std::to_string(ms / 1000) + "." + std::to_string(ms % 1000 / 100) + " s";
}

void SendJson(httplib::Response& response, const std::string& json, int status) {
  response.status = status;
  response.set_content(json, "application/json; charset=utf-8");
}

void Answer(httplib::Response& response, const std::function<void()>& body) {
  try {
    body();
  } catch (...) {
    const ApiError error = CurrentApiError();
    if (error.status() == 401) response.set_header("WWW-Authenticate", "Bearer");
    SendJson(response, ErrorJson(error), error.status());
  }
}

void AnswerAuthenticated(ApiContext& context, const httplib::Request& request,
                         httplib::Response& response,
                         const std::function<void(const Caller&)>& body) {
  Answer(response, [&] { body(Authenticate(request, context.sessions)); });
}

HttpServer::HttpServer(HttpOptions options)
    : context_(std::make_unique<ApiContext>(std::move(options))),
      server_(std::make_unique<httplib::Server>()) {
  if (::pipe2(stop_pipe_, O_CLOEXEC) != 0) throw std::runtime_error("cannot create a pipe");
  httplib::Server& server = *server_;
  const size_t threads = context_->options.threads;
  server.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
  server.set_default_headers(SecurityHeaders());
  server.set_payload_max_length(context_->options.max_body);
  server.set_read_timeout(10, 0);
  // A page reading a long stream may pause (a busy tab); a client that reads nothing for this
  // long is given up.
  server.set_write_timeout(60, 0);
  server.set_keep_alive_timeout(5);
  server.set_keep_alive_max_count(100);

  AddAuthRoutes(server, *context_);
  AddReportRoutes(server, *context_);
  AddLookupRoutes(server, *context_);
  AddQueryRoutes(server, *context_);
  AddAssetRoutes(server);

  // Answers without a body (no route, a body too large, a bad request line) get a JSON one.
  server.set_error_handler(httplib::Server::HandlerWithResponse(
      [](const httplib::Request& request, httplib::Response& response) {
        if (!response.body.empty() || response.content_length_ > 0) {
          return httplib::Server::HandlerResponse::Unhandled;
        }
        std::string code = "http_error";
        std::string message =
            "the request cannot be served (HTTP " + std::to_string(response.status) + ")";
        if (response.status == 404) {
          code = "not_found";
          message = "no such address: " + request.method + " " + request.path;
        } else if (response.status == 413) {
          code = "too_large";
          message = "the request body is larger than the server accepts";
        } else if (response.status == 400) {
          code = "bad_request";
          message = "the request is not valid HTTP";
        }
        SendJson(response, ErrorJson(ApiError(response.status, code, message)), response.status);
        return httplib::Server::HandlerResponse::Handled;
      }));
  server.set_exception_handler(
      [](const httplib::Request&, httplib::Response& response, std::exception_ptr failure) {
        try {
          std::rethrow_exception(failure);
        } catch (...) {
          const ApiError error = CurrentApiError();
          SendJson(response, ErrorJson(error), error.status());
        }
      });
}

HttpServer::~HttpServer() {
  for (int fd : stop_pipe_) {
    if (fd >= 0) ::close(fd);
  }
}

uint16_t HttpServer::Listen() {
  const HttpOptions& o = context_->options;
  int port = o.port;
  if (port == 0) {
    port = server_->bind_to_any_port(o.host);
  } else if (!server_->bind_to_port(o.host, port)) {
    port = -1;
  }
  if (port <= 0) {
    throw std::runtime_error("cannot listen on " + o.host + ":" + std::to_string(o.port) +
                             " (in use, or not an address of this machine)");
  }
  return static_cast<uint16_t>(port);
}

void HttpServer::Run() {
  // The listener stops when the stop pipe is written to (by RequestStop, possibly from a
  // signal handler, where the server itself may not be touched).
  std::atomic<bool> ended{false};
  std::thread stopper([this, &ended] {
    char byte = 0;
    while (::read(stop_pipe_[0], &byte, 1) < 0 && errno == EINTR) {
    }
    // A stop asked for before the listener started waits for it to start.
    while (!ended) {
      if (server_->is_running()) {
        server_->stop();
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  });
  server_->listen_after_bind();
  ended = true;
  RequestStop();  // the listener may also end by itself; the stopper must end then too
  stopper.join();
}

void HttpServer::RequestStop() {
  const char byte = 1;
  [[maybe_unused]] ssize_t written = ::write(stop_pipe_[1], &byte, 1);
}

}  // namespace orv::http
