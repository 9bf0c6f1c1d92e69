// The data source a database test runs on. Normally the embedded provider opens the test's
// data-source file directly. When ORV_TEST_SERVE names the orvdata program (ctest's "odbc."
// runs of the report, look-up and service suites), the file is served by `orvdata serve` on a
// free loopback port for the life of the object, and the test reaches it through the SQL Server
// provider (unixODBC and FreeTDS): the same tests, the same expected results.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>

#include "ado/provider.h"
#include "tsql/engine.h"

namespace orv::testing {

class SourceUnderTest {
 public:
  // `embedded_text`: the test's own connection text of `file`; a "Clock" in it fixes the
  // server's GETDATE() the same way. `program`: the orvdata that serves the file, by default
  // $ORV_TEST_SERVE; none: the file is not served.
  SourceUnderTest(const std::string& file, const std::string& embedded_text,
                  const char* program = std::getenv("ORV_TEST_SERVE"))
      : text_(embedded_text) {
    if (program == nullptr || *program == '\0') return;
    if (!std::filesystem::exists(file)) {
      // The server serves existing files only: an empty database to start from.
      tsql::SaveDatabaseAs(*tsql::OpenDatabase(":memory:"), file);
    }
    Start(program, file, ado::ConnectionString(embedded_text).Get("Clock"));
  }

  ~SourceUnderTest() { Stop(); }
  SourceUnderTest(const SourceUnderTest&) = delete;
  SourceUnderTest& operator=(const SourceUnderTest&) = delete;

  // The connection text the test gives the service.
  const std::string& Text() const { return text_; }
  bool served() const { return server_ > 0; }

 private:
  static constexpr char kUser[] = "orvtest";
  // A password that needs the braces of connection texts.
  static constexpr char kPassword[] = "orv test;pass";
  static constexpr char kPasswordInText[] = "{orv test;pass}";

  // One users file per test process.
  static std::string UsersFile(const std::string& program) {
    static const std::string path = [&] {
      const std::string file = "/tmp/orv_served_" + std::to_string(getpid()) + ".users";
      std::remove(file.c_str());
      const std::string command = "printf '%s\\n' '" + std::string(kPassword) + "' | '" + program +
                                  "' users add " + kUser + " --users '" + file +
                                  "' --password-stdin >/dev/null 2>&1";
      if (std::system(command.c_str()) != 0) ADD_FAILURE() << "cannot add the test user: " << command;
      return file;
    }();
    return path;
  }

  void Start(const std::string& program, const std::string& file, const std::string& clock) {
    const std::string users = UsersFile(program);
    log_ = file + ".serve.log";
    std::remove(log_.c_str());
    server_ = fork();
    if (server_ == 0) {
      if (!clock.empty()) setenv("ORV_FIXED_NOW", clock.c_str(), 1);
      setenv("LSAN_OPTIONS",
             "suppressions=" ORV_TEST_DATA_DIR "/support/served_server.supp:print_suppressions=0", 1);
      FILE* log = std::fopen(log_.c_str(), "w");
      if (log) {
        dup2(fileno(log), STDOUT_FILENO);
        dup2(fileno(log), STDERR_FILENO);
      }
      execl(program.c_str(), program.c_str(), "serve", "--dsn", file.c_str(), "--listen",
            "127.0.0.1:0", "--users", users.c_str(), "--idle-timeout", "0",
            static_cast<char*>(nullptr));
      _exit(127);
    }
    ASSERT_GT(server_, 0) << "fork failed";
    static const std::regex kListening(R"(listening on 127\.0\.0\.1:(\d+))");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
      std::ifstream in(log_);
      std::stringstream text;
      text << in.rdbuf();
      std::smatch match;
      const std::string log = text.str();
      if (std::regex_search(log, match, kListening)) {
        text_ = "Driver={FreeTDS};Server=127.0.0.1;Port=" + match[1].str() + ";UID=" + kUser +
                ";PWD=" + kPasswordInText;
        return;
      }
      int status = 0;
      if (waitpid(server_, &status, WNOHANG) == server_) {
        server_ = 0;
        FAIL() << "orvdata serve ended before listening:\n" << log;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    FAIL() << "orvdata serve did not start listening within 30 s";
  }

  // Stops the server with SIGTERM; a server that does not end cleanly (a sanitizer's report,
  // a crash, a hang) fails the test with its log.
  void Stop() {
    if (server_ > 0) {
      kill(server_, SIGTERM);
      int status = 0;
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
      while (waitpid(server_, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
          kill(server_, SIGKILL);
          waitpid(server_, &status, 0);
          ADD_FAILURE() << "orvdata serve did not stop within 20 s of SIGTERM";
          break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::ifstream in(log_);
        std::stringstream log;
        log << in.rdbuf();
        ADD_FAILURE() << "orvdata serve ended with status " << status << ":\n" << log.str();
      }
      server_ = 0;
    }
    if (!log_.empty()) std::remove(log_.c_str());
  }

  std::string text_;
  pid_t server_ = 0;
  std::string log_;
};

}  // namespace orv::testing
