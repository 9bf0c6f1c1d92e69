// Who sends a request. API clients send "Authorization: Bearer <token>"; the web pages carry
// the token in the session cookie, which a browser also attaches to requests that other sites
// make it send, so a cookie request that is not a read (any method but GET and HEAD) must also
// carry the session's CSRF token in the X-CSRF-Token header, and an Origin header, when
// present, must be this server's.
#pragma once

#include <httplib.h>

#include <string>

#include "http/sessions.h"

namespace orv::http {

inline constexpr char kSessionCookie[] = "orv_session";
inline constexpr char kCsrfHeader[] = "X-CSRF-Token";

struct Caller {
  LoginSession session;
  bool by_cookie = false;
};

// The caller of `request`: ApiError 401 "unauthenticated" without a live session, 403 "csrf"
// for a cookie request that fails the checks above.
Caller Authenticate(const httplib::Request& request, SessionStore& sessions);

// ApiError 403 "forbidden" unless the caller is an admin; `what` names what was refused.
void RequireAdmin(const Caller& caller, const std::string& what);

// The value of one cookie of the request ("" when absent).
std::string CookieValue(const httplib::Request& request, const std::string& name);

}  // namespace orv::http
