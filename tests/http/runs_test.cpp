// Long operations: a client that goes away stops its operation in the engine, and an operation
// over the time limit is cancelled and answered with 504 at the end of its stream.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "http_fixture.h"

namespace orv::http_test {
namespace {

using RunsTest = ApiTest;

// A query that runs for minutes unless cancelled: every combination of five task-order lines.
const std::string kSlowQuery = Json{{"sql",
                                     "select count(*) as n from ICMOEntry a, ICMOEntry b, "
                                     "ICMOEntry c, ICMOEntry d, ICMOEntry e "
                                     "where a.FQty + b.FQty + c.FQty > d.FQty - e.FQty"}}
                                   .dump();

// Sends the slow query on a raw connection, reads until the answer's headers have come (the
// operation runs then), and closes the connection.
std::string StartAndHangUp(uint16_t port, const std::string& token) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return "cannot connect";
  }
  const std::string request =
      "POST /api/query HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: Bearer " + token +
      "\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(kSlowQuery.size()) +
      "\r\n\r\n" + kSlowQuery;
  if (::send(fd, request.data(), request.size(), 0) != static_cast<ssize_t>(request.size())) {
    ::close(fd);
    return "cannot send";
  }
  std::string head;
  char buffer[512];
  while (head.find("\r\n\r\n") == std::string::npos) {
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    head.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return head.substr(0, head.find("\r\n"));
}

TEST_F(RunsTest, AClientThatGoesAwayStopsItsOperation) {
  EXPECT_EQ(StartAndHangUp(server_->port(), admin_), "HTTP/1.1 200 OK");
  EXPECT_TRUE(
      server_->WaitForLog("query cancelled: the client went away", std::chrono::seconds(10)));
  // The operation has ended in the engine: its thread was joined before this line.
  EXPECT_TRUE(server_->WaitForLog("query for alice stopped", std::chrono::seconds(20)));
  // The server goes on serving.
  auto session = Client().Get("/api/session", Bearer(admin_));
  ASSERT_TRUE(session);
  EXPECT_EQ(session->status, 200);
}

TEST_F(RunsTest, AnOperationOverTheTimeLimitEndsWith504) {
  RunningServer strict(std::chrono::seconds(1));
  httplib::Client client("127.0.0.1", strict.port());
  client.set_read_timeout(60, 0);
  auto login = client.Post("/api/login", Json{{"user", kAdmin}, {"password", kPassword}}.dump(),
                           "application/json");
  ASSERT_TRUE(login);
  const std::string token = Json::parse(login->body)["token"];
  const auto start = std::chrono::steady_clock::now();
  auto result = client.Post("/api/query", Bearer(token), kSlowQuery, "application/json");
  ASSERT_TRUE(result);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
  EXPECT_EQ(result->status, 200);  // the stream had begun
  const std::vector<Json> lines = Lines(result->body);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back()["type"], "error");
  EXPECT_EQ(lines.back()["error"]["status"], 504);
  EXPECT_EQ(lines.back()["error"]["code"], "timeout");
}

}  // namespace
}  // namespace orv::http_test
