// POST /api/login, POST /api/logout, GET /api/session.
#include <nlohmann/json.hpp>

#include "http/api_context.h"
#include "http/api_error.h"

namespace orv::http {

namespace {

std::string SessionJson(const LoginSession& session) {
  return nlohmann::json{{"user", session.user},
                        {"role", std::string(users::RoleName(session.role))},
                        {"csrf", session.csrf}}
      .dump();
}

void Login(ApiContext& context, const httplib::Request& request, httplib::Response& response) {
  nlohmann::json body;
  try {
    body = nlohmann::json::parse(request.body);
  } catch (const nlohmann::json::exception&) {
    throw ApiError(400, "bad_request", R"(the body must be {"user": "...", "password": "..."})");
  }
  if (!body.is_object() || !body.contains("user") || !body["user"].is_string() ||
      !body.contains("password") || !body["password"].is_string()) {
    throw ApiError(400, "bad_request", R"(the body must be {"user": "...", "password": "..."})");
  }
  const std::string user = body["user"].get<std::string>();
  const std::optional<users::Role> role =
      context.users.Check(user, body["password"].get<std::string>());
  if (!role) {
    context.Log("http login failed for '" + user + "' from " + request.remote_addr);
    // The same answer whether the name or the password was wrong.
    throw ApiError(401, "login_failed", "Login failed for user '" + user + "'.");
  }
  const LoginSession session = context.sessions.Create(user, *role);
  context.Log("http login of '" + user + "' (" + std::string(users::RoleName(*role)) + ") from " +
              request.remote_addr);
  nlohmann::json answer = nlohmann::json::parse(SessionJson(session));
  answer["token"] = session.token;
  answer["expires_in"] = context.options.session_idle.count();
  response.set_header("Set-Cookie", std::string(kSessionCookie) + "=" + session.token +
                                        "; Path=/; HttpOnly; SameSite=Strict");
  SendJson(response, answer.dump());
}

}  // namespace

void AddAuthRoutes(httplib::Server& server, ApiContext& context) {
  server.Post("/api/login",
              [&context](const httplib::Request& request, httplib::Response& response) {
                Answer(response, [&] { Login(context, request, response); });
              });
  server.Post(
      "/api/logout", [&context](const httplib::Request& request, httplib::Response& response) {
        AnswerAuthenticated(context, request, response, [&](const Caller& caller) {
          context.sessions.Remove(caller.session.token);
          response.set_header("Set-Cookie", std::string(kSessionCookie) +
                                                "=; Path=/; HttpOnly; SameSite=Strict; Max-Age=0");
          response.status = 204;
        });
      });
  server.Get("/api/session",
             [&context](const httplib::Request& request, httplib::Response& response) {
               AnswerAuthenticated(context, request, response, [&](const Caller& caller) {
                 SendJson(response, SessionJson(caller.session));
               });
             });
}

}  // namespace orv::http
