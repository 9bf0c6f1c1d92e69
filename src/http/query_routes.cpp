// POST /api/query {"sql": "..."}: the service's query door (GetData), for admin users only; the
// rows stream back as a report's do (row_stream.h).
#include <nlohmann/json.hpp>

#include "http/api_context.h"
#include "http/api_error.h"
#include "http/row_stream.h"
#include "service/data.h"

namespace orv::http {

void AddQueryRoutes(httplib::Server& server, ApiContext& context) {
  server.Post(
      "/api/query", [&context](const httplib::Request& request, httplib::Response& response) {
        AnswerAuthenticated(context, request, response, [&](const Caller& caller) {
          RequireAdmin(caller, "the query door (POST /api/query)");
          nlohmann::json body;
          try {
            body = nlohmann::json::parse(request.body);
          } catch (const nlohmann::json::exception&) {
            throw ApiError(400, "bad_request", R"(the body must be {"sql": "..."})");
          }
          if (!body.is_object() || !body.contains("sql") || !body["sql"].is_string() ||
              body["sql"].get<std::string>().empty()) {
            throw ApiError(400, "bad_request", R"(the body must be {"sql": "..."})");
          }
          const auto start = std::chrono::steady_clock::now();
          StreamSettings settings;
          settings.limit = context.options.run_timeout;
          settings.start = start;
          settings.deadline = start + settings.limit;
          settings.what = "query";
          settings.log = [&context](const std::string& line) { context.Log("http " + line); };
          auto run = std::make_shared<BackgroundRun>(
              [dsn = context.options.dsn, sql = body["sql"].get<std::string>()] {
                service::Data data;
                service::RecordsetRef rs = data.GetData(dsn, sql);
                return rs && rs->State() == ado::adStateOpen ? exports::ReadRecordset(*rs)
                                                             : exports::ResultTable{};
              });
          const std::string what = "query for " + caller.session.user;
          context.Log("http " + what);
          AnswerWithStream(response, std::move(run), std::move(settings),
                           [&context, what, start](bool delivered) {
                             context.Log("http " + what + (delivered ? " sent" : " stopped") +
                                         " after " + SecondsSince(start));
                           });
        });
      });
}

}  // namespace orv::http
