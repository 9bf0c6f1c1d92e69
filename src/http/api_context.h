// What every route of the HTTP API shares: the settings, the login sessions, the users file,
// and the wrapper that turns a route's failure into its JSON error answer.
#pragma once

#include <httplib.h>

#include <chrono>
#include <functional>
#include <string>

#include "http/auth.h"
#include "http/http_options.h"
#include "http/sessions.h"
#include "users/authenticator.h"

namespace orv::http {

struct ApiContext {
  explicit ApiContext(HttpOptions o)
      : options(std::move(o)), sessions(options.session_idle), users(options.users_file) {}

  HttpOptions options;
  SessionStore sessions;
  users::Authenticator users;

  void Log(const std::string& line) const {
    if (options.log) options.log(line);
  }

  // The data source as the caller may use it: a read-only user's reports and look-ups run on
  // connections that cannot change permanent tables ("Mode=Read"), whatever client SQL a
  // report of theirs carries.
  std::string DsnFor(const Caller& caller) const;
};

// "1.5 s": the time since `start`, for the log.
std::string SecondsSince(std::chrono::steady_clock::time_point start);

// Sets a JSON body ("application/json; charset=utf-8") and the status.
void SendJson(httplib::Response& response, const std::string& json, int status = 200);

// Runs `body`; any failure becomes its JSON error answer (api_error.h).
void Answer(httplib::Response& response, const std::function<void()>& body);

// Answer for a route that needs a logged-in caller.
void AnswerAuthenticated(ApiContext& context, const httplib::Request& request,
                         httplib::Response& response,
                         const std::function<void(const Caller&)>& body);

// The routes of each part of the API.
void AddAuthRoutes(httplib::Server& server, ApiContext& context);
void AddReportRoutes(httplib::Server& server, ApiContext& context);
void AddLookupRoutes(httplib::Server& server, ApiContext& context);
void AddQueryRoutes(httplib::Server& server, ApiContext& context);
void AddAssetRoutes(httplib::Server& server);

}  // namespace orv::http
