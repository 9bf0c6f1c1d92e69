#include "http/auth.h"

#include "http/api_error.h"
#include "users/random_token.h"

namespace orv::http {

namespace {

std::string Trim(std::string text) {
  const size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string::npos) return {};
  const size_t end = text.find_last_not_of(" \t");
  return text.substr(begin, end - begin + 1);
}

bool IsRead(const std::string& method) { return method == "GET" || method == "HEAD"; }

// Whether the Origin header (when sent) names the host the request was sent to.
bool SameOrigin(const httplib::Request& request) {
  if (!request.has_header("Origin")) return true;
  const std::string origin = request.get_header_value("Origin");
  const std::string host = request.get_header_value("Host");
  return !host.empty() && (origin == "http://" + host || origin == "https://" + host);
}

}  // namespace

std::string CookieValue(const httplib::Request& request, const std::string& name) {
  for (size_t i = 0; i < request.get_header_value_count("Cookie"); ++i) {
    const std::string header = request.get_header_value("Cookie", i);
    size_t start = 0;
    while (start <= header.size()) {
      size_t end = header.find(';', start);
      if (end == std::string::npos) end = header.size();
      const std::string pair = Trim(header.substr(start, end - start));
      const size_t eq = pair.find('=');
      if (eq != std::string::npos && pair.substr(0, eq) == name) return pair.substr(eq + 1);
      start = end + 1;
    }
  }
  return {};
}

Caller Authenticate(const httplib::Request& request, SessionStore& sessions) {
  Caller caller;
  std::string token;
  const std::string authorization = request.get_header_value("Authorization");
  if (authorization.rfind("Bearer ", 0) == 0) {
    token = Trim(authorization.substr(7));
  } else {
    token = CookieValue(request, kSessionCookie);
    caller.by_cookie = !token.empty();
  }
  if (token.empty()) {
    throw ApiError(401, "unauthenticated",
                   "log in first: POST /api/login, then send the token as "
                   "\"Authorization: Bearer <token>\"");
  }
  std::optional<LoginSession> session = sessions.Find(token);
  if (!session) {
    throw ApiError(401, "unauthenticated", "the session has ended or is unknown; log in again");
  }
  caller.session = std::move(*session);
  if (caller.by_cookie && !IsRead(request.method)) {
    if (!SameOrigin(request)) {
      throw ApiError(403, "csrf",
                     "the request comes from another site's page (Origin " +
                         request.get_header_value("Origin") + ")");
    }
    if (!users::SameSecret(request.get_header_value(kCsrfHeader), caller.session.csrf)) {
      throw ApiError(403, "csrf",
                     std::string("a request made with the session cookie must carry the "
                                 "session's CSRF token in the ") +
                         kCsrfHeader + " header");
    }
  }
  return caller;
}

void RequireAdmin(const Caller& caller, const std::string& what) {
  if (caller.session.role != users::Role::Admin) {
    throw ApiError(403, "forbidden",
                   what + " is for admin users; " + caller.session.user + " is a read-only user");
  }
}

}  // namespace orv::http
