// Shared set-up of the HTTP API tests: a tiny demo company saved to a data-source file once per
// test program, a users file with an admin and a read-only user, and the HTTP front end serving
// them on a free loopback port, with a client that logs in and reads the answers.
#pragma once

#include <gtest/gtest.h>
#include <httplib.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "http/server.h"

namespace orv::http_test {

using Json = nlohmann::json;

inline constexpr char kAdmin[] = "alice";
inline constexpr char kReader[] = "rita";
inline constexpr char kPassword[] = "s3cret pass";

// The demo data source (built on first use) and the users file beside it.
const std::string& DemoDsn();
const std::string& UsersFile();

// A server of its own on 127.0.0.1, stopped when the object goes.
class RunningServer {
 public:
  explicit RunningServer(std::chrono::seconds run_timeout = std::chrono::seconds(60));
  ~RunningServer();

  uint16_t port() const { return port_; }
  // Waits up to `limit` for a log line containing `text`.
  bool WaitForLog(const std::string& text, std::chrono::seconds limit);

 private:
  std::mutex mutex_;
  std::condition_variable logged_;
  std::vector<std::string> log_;
  std::unique_ptr<http::HttpServer> server_;
  std::thread thread_;
  uint16_t port_ = 0;
};

class ApiTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite();
  static void TearDownTestSuite();

  static httplib::Client Client();
  // A bearer token of `user`.
  static std::string Login(const std::string& user);
  static httplib::Headers Bearer(const std::string& token);
  // The lines of a streamed answer.
  static std::vector<Json> Lines(const std::string& body);
  // The error object of a JSON error answer; fails the test when the body is not one.
  static Json Error(const httplib::Result& result);

  static std::unique_ptr<RunningServer> server_;
  static std::string admin_;  // tokens
  static std::string reader_;
};

}  // namespace orv::http_test
