// The login sessions: idle time ends a session, use keeps it alive, and the number kept is
// bounded (the least recently used goes first).
#include "http/sessions.h"

#include <gtest/gtest.h>

namespace orv::http {
namespace {

using namespace std::chrono_literals;

TEST(SessionStoreTest, IdleSessionsEndAndUsedOnesLive) {
  SessionStore store(60s, 2);
  SessionStore::Clock::time_point now{};
  store.SetClockForTest([&] { return now; });
  const LoginSession a = store.Create("alice", users::Role::Admin);
  const LoginSession b = store.Create("rita", users::Role::ReadOnly);
  EXPECT_NE(a.token, b.token);
  now += 50s;
  ASSERT_TRUE(store.Find(a.token));  // used: its idle time starts again
  EXPECT_EQ(store.Find(a.token)->role, users::Role::Admin);
  now += 50s;
  EXPECT_TRUE(store.Find(a.token));
  EXPECT_FALSE(store.Find(b.token));  // 100 s without use
  EXPECT_FALSE(store.Find("not a token"));

  // At the bound, a new session replaces the least recently used one.
  const LoginSession c = store.Create("carol", users::Role::ReadOnly);
  now += 1s;
  store.Find(a.token);
  const LoginSession d = store.Create("dave", users::Role::ReadOnly);
  EXPECT_TRUE(store.Find(a.token));
  EXPECT_FALSE(store.Find(c.token));
  EXPECT_TRUE(store.Find(d.token));
  store.Remove(d.token);
  EXPECT_FALSE(store.Find(d.token));
}

}  // namespace
}  // namespace orv::http
