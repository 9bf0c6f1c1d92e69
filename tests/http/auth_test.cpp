// Logins, sessions, roles and the CSRF rule of cookie sessions, against a running server.
#include "http_fixture.h"

namespace orv::http_test {
namespace {

using AuthTest = ApiTest;

TEST_F(AuthTest, LoginGivesATokenACsrfTokenAndAStrictHttpOnlyCookie) {
  auto result = Client().Post("/api/login", Json{{"user", kReader}, {"password", kPassword}}.dump(),
                              "application/json");
  ASSERT_TRUE(result);
  ASSERT_EQ(result->status, 200) << result->body;
  const Json body = Json::parse(result->body);
  EXPECT_EQ(body["user"], kReader);
  EXPECT_EQ(body["role"], "read-only");
  EXPECT_EQ(body["token"].get<std::string>().size(), 64u);
  EXPECT_EQ(body["csrf"].get<std::string>().size(), 64u);
  EXPECT_NE(body["token"], body["csrf"]);
  const std::string cookie = result->get_header_value("Set-Cookie");
  EXPECT_EQ(cookie, "orv_session=" + body["token"].get<std::string>() +
                        "; Path=/; HttpOnly; SameSite=Strict");
}

TEST_F(AuthTest, AWrongPasswordAndAnUnknownUserGetTheSameAnswer) {
  auto wrong = Client().Post("/api/login", Json{{"user", kAdmin}, {"password", "nope"}}.dump(),
                             "application/json");
  auto unknown = Client().Post("/api/login", Json{{"user", "mallory"}, {"password", "x"}}.dump(),
                               "application/json");
  ASSERT_TRUE(wrong && unknown);
  EXPECT_EQ(wrong->status, 401);
  EXPECT_EQ(unknown->status, 401);
  EXPECT_EQ(Error(wrong)["code"], "login_failed");
  EXPECT_EQ(Error(unknown)["message"], "Login failed for user 'mallory'.");
  for (const char* body :
       {"not json", "[]", R"({"user": "alice"})", R"({"user": 1, "password": "x"})"}) {
    auto result = Client().Post("/api/login", body, "application/json");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 400) << body;
    EXPECT_EQ(Error(result)["code"], "bad_request");
  }
}

TEST_F(AuthTest, EveryApiAddressNeedsALiveSession) {
  struct Call {
    const char* method;
    const char* path;
  };
  const Call calls[] = {
      {"GET", "/api/session"},
      {"POST", "/api/logout"},
      {"GET", "/api/reports"},
      {"GET", "/api/reports/400"},
      {"POST", "/api/reports/400"},
      {"GET", "/api/reports/400.csv"},
      {"GET", "/api/lookups/max-period"},
      {"POST", "/api/query"},
  };
  for (const Call& call : calls) {
    for (const httplib::Headers& headers : {httplib::Headers{}, Bearer("0123456789abcdef"),
                                            httplib::Headers{{"Cookie", "orv_session=unknown"}}}) {
      auto result = std::string(call.method) == "GET"
                        ? Client().Get(call.path, headers)
                        : Client().Post(call.path, headers, "{}", "application/json");
      ASSERT_TRUE(result) << call.path;
      EXPECT_EQ(result->status, 401) << call.method << " " << call.path;
      EXPECT_EQ(Error(result)["code"], "unauthenticated");
      EXPECT_EQ(result->get_header_value("WWW-Authenticate"), "Bearer");
    }
  }
}

TEST_F(AuthTest, ACookieSessionMustSendItsCsrfTokenWithAnythingButReads) {
  auto login = Client().Post("/api/login", Json{{"user", kAdmin}, {"password", kPassword}}.dump(),
                             "application/json");
  ASSERT_TRUE(login);
  const Json session = Json::parse(login->body);
  const std::string cookie = "orv_session=" + session["token"].get<std::string>();
  const std::string csrf = session["csrf"];
  const std::string query = Json{{"sql", "select 1 as one"}}.dump();

  auto missing = Client().Post("/api/query", {{"Cookie", cookie}}, query, "application/json");
  auto wrong = Client().Post("/api/query", {{"Cookie", cookie}, {"X-CSRF-Token", "abc"}}, query,
                             "application/json");
  auto elsewhere = Client().Post(
      "/api/query", {{"Cookie", cookie}, {"X-CSRF-Token", csrf}, {"Origin", "http://evil.example"}},
      query, "application/json");
  for (const auto* result : {&missing, &wrong, &elsewhere}) {
    ASSERT_TRUE(*result);
    EXPECT_EQ((*result)->status, 403);
    EXPECT_EQ(Error(*result)["code"], "csrf");
  }
  auto right = Client().Post("/api/query", {{"Cookie", cookie}, {"X-CSRF-Token", csrf}}, query,
                             "application/json");
  ASSERT_TRUE(right);
  EXPECT_EQ(right->status, 200) << right->body;
  // Reads need no CSRF token; bearer tokens are not sent by browsers on their own, so they
  // need none either.
  auto read = Client().Get("/api/session", {{"Cookie", cookie}});
  ASSERT_TRUE(read);
  EXPECT_EQ(read->status, 200);
  EXPECT_EQ(Json::parse(read->body)["csrf"], csrf);
  auto bearer = Client().Post("/api/query", Bearer(session["token"]), query, "application/json");
  ASSERT_TRUE(bearer);
  EXPECT_EQ(bearer->status, 200);
}

TEST_F(AuthTest, LogoutEndsTheSession) {
  const std::string token = Login(kReader);
  auto before = Client().Get("/api/session", Bearer(token));
  ASSERT_TRUE(before);
  EXPECT_EQ(before->status, 200);
  auto logout = Client().Post("/api/logout", Bearer(token), "", "application/json");
  ASSERT_TRUE(logout);
  EXPECT_EQ(logout->status, 204);
  EXPECT_NE(logout->get_header_value("Set-Cookie").find("Max-Age=0"), std::string::npos);
  auto after = Client().Get("/api/session", Bearer(token));
  ASSERT_TRUE(after);
  EXPECT_EQ(after->status, 401);
}

TEST_F(AuthTest, OnlyAdminsReachTheQueryDoor) {
  const std::string query = Json{{"sql", "select 7 as seven"}}.dump();
  auto refused = Client().Post("/api/query", Bearer(reader_), query, "application/json");
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, 403);
  EXPECT_EQ(Error(refused)["code"], "forbidden");

  auto admin = Client().Post("/api/query", Bearer(admin_), query, "application/json");
  ASSERT_TRUE(admin);
  ASSERT_EQ(admin->status, 200) << admin->body;
  const std::vector<Json> lines = Lines(admin->body);
  ASSERT_EQ(lines.size(), 3u) << admin->body;
  EXPECT_EQ(lines[0]["columns"][0]["name"], "seven");
  EXPECT_EQ(lines[1]["rows"], Json::parse("[[7]]"));
  EXPECT_EQ(lines[2]["type"], "end");

  // A failure that comes at once has its own status and the service's error number.
  auto failed =
      Client().Post("/api/query", Bearer(admin_),
                    Json{{"sql", "select * from no_such_table"}}.dump(), "application/json");
  ASSERT_TRUE(failed);
  EXPECT_EQ(failed->status, 500);
  const Json error = Error(failed);
  EXPECT_EQ(error["code"], "service_error");
  EXPECT_EQ(error["number"], -7000);
  EXPECT_NE(error["message"].get<std::string>().find("no_such_table"), std::string::npos);
  auto empty = Client().Post("/api/query", Bearer(admin_), R"({"sql": ""})", "application/json");
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->status, 400);
}

TEST_F(AuthTest, AReadOnlyUsersReportsCannotChangeTheData) {
  // Report 401 places the client's EndSel into its batch as written.
  const std::string body =
      R"({"dsql": {"EndSel": " delete from t_Emp select count(*) as n from t_Emp"}})";
  auto refused = Client().Post("/api/reports/401", Bearer(reader_), body, "application/json");
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, 500);
  EXPECT_NE(Error(refused)["message"].get<std::string>().find("DELETE permission was denied"),
            std::string::npos);
  auto count =
      Client().Post("/api/query", Bearer(admin_),
                    Json{{"sql", "select count(*) as n from t_Emp"}}.dump(), "application/json");
  ASSERT_TRUE(count);
  EXPECT_EQ(Lines(count->body)[1]["rows"], Json::parse("[[6]]"));
  // The same report with the standard client SQL runs for them.
  auto standard = Client().Post("/api/reports/401", Bearer(reader_), "{}", "application/json");
  ASSERT_TRUE(standard);
  EXPECT_EQ(standard->status, 200);
  EXPECT_EQ(Lines(standard->body).back()["type"], "end");
}

}  // namespace
}  // namespace orv::http_test
