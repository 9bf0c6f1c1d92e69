// PRELOGIN and LOGIN7 parsing: names and the de-obfuscated password come out of a well-formed
// record; lying offsets, oversized fields and short records are refused.
#include <gtest/gtest.h>

#include "raw_client.h"
#include "tds/login.h"

namespace orv::tds {
namespace {

TEST(Login, ReadsNamesAndPassword) {
  const Login7 login = ParseLogin7(testing::Login7Message("alice", "pässwörd 密码"));
  EXPECT_EQ(login.tds_version, 0x74000004u);
  EXPECT_EQ(login.packet_size, 4096u);
  EXPECT_EQ(login.user, "alice");
  EXPECT_EQ(login.password, "pässwörd 密码");
  EXPECT_EQ(login.host, "host");
  EXPECT_EQ(login.app, "test");
  EXPECT_EQ(login.database, "db");
  EXPECT_FALSE(login.integrated_security);
}

TEST(Login, RefusesMalformedRecords) {
  const std::vector<uint8_t> good = testing::Login7Message("alice", "secret");
  auto with = [&](size_t at, uint8_t value) {
    std::vector<uint8_t> bad = good;
    bad[at] = value;
    return bad;
  };
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"length does not match", with(0, static_cast<uint8_t>(good[0] + 1))},
      {"user name offset past the end", with(41, 0x7F)},
      {"password longer than the record", with(46, 0x7F)},
      {"field over 128 characters", testing::Login7Message("alice", "secret", 129)},
      {"cut short", std::vector<uint8_t>(good.begin(), good.begin() + 60)},
  };
  for (Case& c : cases) {
    if (std::string(c.name) == "cut short") {
      c.bytes[0] = 60;
      c.bytes[1] = 0;
    }
    EXPECT_THROW(ParseLogin7(c.bytes), ProtocolError) << c.name;
  }
}

TEST(Login, PreloginOptions) {
  EXPECT_EQ(ParsePrelogin(testing::PreloginMessage()).encryption, encryption::kOff);
  std::vector<uint8_t> out_of_range = testing::PreloginMessage();
  out_of_range[4] = 0x40;  // VERSION claims 0x4006 bytes
  EXPECT_THROW(ParsePrelogin(out_of_range), ProtocolError);
  EXPECT_THROW(ParsePrelogin({0x00, 0x00}), ProtocolError);  // no terminator

  const std::vector<uint8_t> reply = BuildPreloginResponse(encryption::kNotSupported, 0x100003E8);
  const Prelogin parsed = ParsePrelogin(reply);
  EXPECT_EQ(parsed.encryption, encryption::kNotSupported);
  EXPECT_FALSE(parsed.mars);
}

}  // namespace
}  // namespace orv::tds
