#include "http_fixture.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <sstream>

#include "demo/generator.h"
#include "service/data.h"
#include "tsql/engine.h"
#include "users/password_hash.h"
#include "users/users_file.h"

namespace orv::http_test {

namespace {

std::string Folder() {
  static const std::string folder = [] {
    const std::string path =
        std::filesystem::temp_directory_path() / ("orv_http_test_" + std::to_string(getpid()));
    std::filesystem::create_directories(path);
    return path;
  }();
  return folder;
}

}  // namespace

const std::string& DemoDsn() {
  static const std::string dsn = [] {
    tsql::Session session(tsql::OpenDatabase(":memory:"));
    demo::Generate({demo::Size::Tiny, 1}, [&](const std::string& batch) {
      for (const auto& result : session.ExecuteBatch(batch)) {
        if (result.kind == tsql::StatementResult::Kind::Error) {
          ADD_FAILURE() << result.error.message << "\nin\n" << batch.substr(0, 500);
        }
      }
    });
    const std::string path = Folder() + "/demo.orvdb";
    std::remove(path.c_str());
    tsql::SaveDatabaseAs(session.database(), path);
    return "Provider=Embedded;Data Source=" + path;
  }();
  return dsn;
}

const std::string& UsersFile() {
  static const std::string path = [] {
    users::UsersFile file;
    // Few iterations: the tests log in often, and the hash's strength is not under test.
    file.Put(users::User{kAdmin, users::Role::Admin, users::HashPassword(kPassword, 1000)});
    file.Put(users::User{kReader, users::Role::ReadOnly, users::HashPassword(kPassword, 1000)});
    const std::string users_path = Folder() + "/users";
    file.Save(users_path);
    return users_path;
  }();
  return path;
}

RunningServer::RunningServer(std::chrono::seconds run_timeout) {
  service::RegisterServiceClasses();
  http::HttpOptions options;
  options.port = 0;
  options.users_file = UsersFile();
  options.dsn = DemoDsn();
  options.source_label = "demo";
  options.run_timeout = run_timeout;
  options.threads = 8;
  options.max_body = 64 * 1024;
  options.log = [this](const std::string& line) {
    std::lock_guard lock(mutex_);
    log_.push_back(line);
    logged_.notify_all();
  };
  server_ = std::make_unique<http::HttpServer>(options);
  port_ = server_->Listen();
  thread_ = std::thread([this] { server_->Run(); });
}

RunningServer::~RunningServer() {
  server_->RequestStop();
  thread_.join();
}

bool RunningServer::WaitForLog(const std::string& text, std::chrono::seconds limit) {
  std::unique_lock lock(mutex_);
  return logged_.wait_for(lock, limit, [&] {
    for (const std::string& line : log_) {
      if (line.find(text) != std::string::npos) return true;
    }
    return false;
  });
}

std::unique_ptr<RunningServer> ApiTest::server_;
std::string ApiTest::admin_;
std::string ApiTest::reader_;

void ApiTest::SetUpTestSuite() {
  server_ = std::make_unique<RunningServer>();
  admin_ = Login(kAdmin);
  reader_ = Login(kReader);
}

void ApiTest::TearDownTestSuite() { server_.reset(); }

httplib::Client ApiTest::Client() {
  httplib::Client client("127.0.0.1", server_->port());
  client.set_read_timeout(60, 0);
  return client;
}

std::string ApiTest::Login(const std::string& user) {
  auto result = Client().Post("/api/login", Json{{"user", user}, {"password", kPassword}}.dump(),
                              "application/json");
  if (!result || result->status != 200) {
    ADD_FAILURE() << "login of " << user << " failed";
    return {};
  }
  return Json::parse(result->body)["token"].get<std::string>();
}

httplib::Headers ApiTest::Bearer(const std::string& token) {
  return {{"Authorization", "Bearer " + token}};
}

std::vector<Json> ApiTest::Lines(const std::string& body) {
  std::vector<Json> lines;
  std::istringstream in(body);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) lines.push_back(Json::parse(line));
  }
  return lines;
}

Json ApiTest::Error(const httplib::Result& result) {
  if (!result) {
    ADD_FAILURE() << "no answer";
    return {};
  }
  EXPECT_EQ(result->get_header_value("Content-Type"), "application/json; charset=utf-8");
  const Json body = Json::parse(result->body, nullptr, false);
  if (!body.is_object() || !body.contains("error")) {
    ADD_FAILURE() << "not an error answer: " << result->body;
    return {};
  }
  EXPECT_EQ(body["error"]["status"], result->status);
  EXPECT_FALSE(body["error"]["message"].get<std::string>().empty());
  return body["error"];
}

}  // namespace orv::http_test
