// The server against hostile and broken clients: malformed packets end only their own
// connection; a client logged in beforehand keeps working throughout, and so do new ones.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <thread>

#include "raw_client.h"
#include "tds/server.h"
#include "users/password_hash.h"
#include "users/users_file.h"

namespace orv::tds {
namespace {

class ServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("orv_tds_test_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
    users::UsersFile file;
    file.Put(users::User{"alice", users::Role::Admin, users::HashPassword("secret", 1000)});
    file.Save((dir_ / "users").string());
    ServerOptions options;
    options.host = "127.0.0.1";
    options.port = 0;
    options.users_file = (dir_ / "users").string();
    options.io_timeout = std::chrono::seconds(1);
    options.idle_timeout = std::chrono::seconds(2);
    options.log = [](const std::string&) {};
    server_ = std::make_unique<Server>(tsql::OpenDatabase(":memory:"), options);
    port_ = server_->Listen();
    thread_ = std::thread([this] { server_->Run(); });
  }
  void TearDown() override {
    server_->RequestStop();
    thread_.join();
    server_.reset();
    std::filesystem::remove_all(dir_);
  }
  // Whether a fresh client can log in and run a query.
  bool Healthy() {
    testing::RawClient client(port_);
    return client.Login("alice", "secret") && client.Query("select 1").has_value();
  }

  std::filesystem::path dir_;
  std::unique_ptr<Server> server_;
  std::thread thread_;
  uint16_t port_ = 0;
};

std::vector<uint8_t> Packet(uint8_t type, uint8_t status, uint16_t length, std::vector<uint8_t> body) {
  ByteWriter p;
  p.U8(type);
  p.U8(status);
  p.U16BE(length);
  p.U32BE(0x00000100);  // spid 0, packet id 1, window 0
  for (uint8_t b : body) p.U8(b);
  return p.bytes();
}

TEST_F(ServerTest, MalformedInputEndsOnlyItsConnection) {
  testing::RawClient bystander(port_);
  ASSERT_TRUE(bystander.Login("alice", "secret"));
  ASSERT_TRUE(bystander.Query("create table #mine (v int); insert into #mine values (41)"));

  std::mt19937 random(7);
  std::vector<uint8_t> noise(3000);
  for (auto& b : noise) b = static_cast<uint8_t>(random());
  std::vector<uint8_t> big_login = testing::Login7Message("alice", "secret");
  big_login.resize(1 << 20, 'x');  // a 1 MB login record, fields pointing into it

  struct Case {
    const char* name;
    bool login_first;
    std::vector<std::vector<uint8_t>> sends;  // raw bytes, sent in turn
  } cases[] = {
      {"truncated header", false, {{0x12, 0x01, 0x00}}},
      {"length below the header size", false, {Packet(0x12, 1, 3, {})}},
      {"length above the largest packet", false, {Packet(0x12, 1, 0xFFFF, {})}},
      {"packet longer than what follows", false, {Packet(0x12, 1, 4000, {1, 2, 3})}},
      {"random bytes", false, {noise}},
      {"random bytes after a valid PRELOGIN", false, {FramePackets(packet::kPrelogin, testing::PreloginMessage(), 4096, 0), noise}},
      {"a 1 MB login record", false, {FramePackets(packet::kPrelogin, testing::PreloginMessage(), 4096, 0),
                                      FramePackets(packet::kLogin7, big_login, 32767, 0)}},
      {"a login field of 1 MB claimed", false, {FramePackets(packet::kLogin7, [] {
         auto l = testing::Login7Message("alice", "secret");
         l[38] = 0xFF;  // host name length 0xFFFF characters
         l[39] = 0xFF;
         return l;
       }(), 4096, 0)}},
      {"a batch before logging in", false, {FramePackets(packet::kSqlBatch, testing::SqlBatchMessage("select 1"), 4096, 0)}},
      {"packet type changing inside a message", true, {Packet(packet::kSqlBatch, 0, 12, {0, 0, 0, 0}), Packet(packet::kRpc, 1, 12, {0, 0, 0, 0})}},
      {"ALL_HEADERS longer than the message", true, {FramePackets(packet::kSqlBatch, {0xFF, 0xFF, 0, 0, 1, 2}, 4096, 0)}},
      {"odd batch text", true, {FramePackets(packet::kSqlBatch, [] {
         auto m = testing::SqlBatchMessage("select 1");
         m.push_back('x');
         return m;
       }(), 4096, 0)}},
      {"RPC with an unknown parameter type", true, {FramePackets(packet::kRpc, [] {
         auto m = testing::AllHeaders();
         for (int b : {0xFF, 0xFF, 10, 0, 0, 0, 0, 0, 0x99, 1, 2}) m.push_back(static_cast<uint8_t>(b));
         return m;
       }(), 4096, 0)}},
      {"RPC parameter value cut short", true, {FramePackets(packet::kRpc, [] {
         auto m = testing::AllHeaders();
         for (int b : {0xFF, 0xFF, 10, 0, 0, 0, 0, 0, 0xE7, 0x40, 0x1F, 0, 0, 0, 0, 0, 0x10, 0x00, 0x61}) m.push_back(static_cast<uint8_t>(b));
         return m;
       }(), 4096, 0)}},
      {"a message type the server does not take", true, {FramePackets(0x07, {1, 2, 3}, 4096, 0)}},
  };
  for (const Case& c : cases) {
    testing::RawClient hostile(port_);
    ASSERT_TRUE(hostile.connected()) << c.name;
    if (c.login_first) {
      ASSERT_TRUE(hostile.Login("alice", "secret")) << c.name;
    }
    for (const auto& bytes : c.sends) hostile.SendRaw(bytes);
    EXPECT_TRUE(hostile.ClosedByServer()) << c.name << ": the server kept the connection";
    auto reply = bystander.Query("select v + 1 from #mine");
    ASSERT_TRUE(reply.has_value()) << c.name << ": the logged-in client lost its connection";
  }
  EXPECT_TRUE(Healthy());
}

TEST_F(ServerTest, WrongPasswordsAndUnknownUsersGetTheSameAnswer) {
  auto answer = [&](const std::string& user, const std::string& password) {
    testing::RawClient client(port_);
    client.Send(packet::kPrelogin, testing::PreloginMessage());
    client.Receive();
    client.Send(packet::kLogin7, testing::Login7Message(user, password));
    auto reply = client.Receive();
    const bool closed = client.ClosedByServer();
    return std::make_pair(reply.value_or(std::vector<uint8_t>{}), closed);
  };
  auto [wrong, wrong_closed] = answer("alice", "nope");
  auto [unknown, unknown_closed] = answer("bob", "nope");
  ASSERT_FALSE(wrong.empty());
  EXPECT_EQ(wrong[0], 0xAA) << "an ERROR token";
  EXPECT_EQ(wrong[3] | (wrong[4] << 8), 18456);
  EXPECT_TRUE(wrong_closed);
  EXPECT_TRUE(unknown_closed);
  // The same message apart from the user name in the text.
  ASSERT_EQ(unknown.size(), wrong.size() - 2 * (5 - 3));
  EXPECT_TRUE(Healthy());
}

TEST_F(ServerTest, IdleClientsAreDisconnected) {
  testing::RawClient idle(port_);
  ASSERT_TRUE(idle.Login("alice", "secret"));
  ASSERT_TRUE(idle.Query("select 1"));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(idle.ClosedByServer(5000));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
}

TEST_F(ServerTest, StopsWhileClientsAreConnected) {
  testing::RawClient idle(port_);
  ASSERT_TRUE(idle.Login("alice", "secret"));
  server_->RequestStop();
  EXPECT_TRUE(idle.ClosedByServer(5000));
}

}  // namespace
}  // namespace orv::tds
