// The report routes:
//   GET  /api/reports                      the catalogue with this data source's defaults
//   GET  /api/reports/{n}                  one report of it
//   POST /api/reports/{n}                  runs the report; its rows stream back (row_stream.h)
//   GET  /api/reports/{n}.csv|.xlsx|.json|.jsonl?KEY=VALUE&...   a download of the result
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <ostream>

#include "ado/provider.h"
#include "export/writer.h"
#include "http/api_context.h"
#include "http/api_error.h"
#include "http/background_run.h"
#include "http/catalog_json.h"
#include "http/report_request.h"
#include "http/row_stream.h"
#include "service/source_facts.h"

namespace orv::http {

namespace {

namespace catalog = reports::catalog;
using Clock = std::chrono::steady_clock;

// Captions of the report's columns, codes marked as text.
void Caption(exports::ResultTable& table, const catalog::ReportEntry& report, bool english) {
  table.title = report.number;
  for (auto& column : table.columns) {
    if (const catalog::ColumnCaption* known = catalog::FindColumn(report, column.name)) {
      column.caption = english ? known->en : known->zh;
      column.is_code = known->code;
    }
  }
}

BackgroundRun::Work ReportWork(const std::string& dsn, const catalog::ReportEntry& report,
                               service::ReportRequest request) {
  return [dsn, &report, request = std::move(request)] {
    service::RecordsetRef rs = service::RunReport(dsn, request);
    exports::ResultTable table = rs ? exports::ReadRecordset(*rs) : exports::ResultTable{};
    Caption(table, report, false);
    return table;
  };
}

// ApiError 400 for a chosen column the report does not have (before it runs).
void CheckColumns(const catalog::ReportEntry& report, const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    if (catalog::FindColumn(report, name)) continue;
    std::string known;
    for (const auto& column : report.columns)
      known += (known.empty() ? "" : ", ") + std::string(column.name);
    throw ApiError(400, "bad_column",
                   "report " + std::string(report.number) + " has no column '" + name +
                       "'; its columns are: " + known);
  }
}

void StreamReport(ApiContext& context, const Caller& caller, const catalog::ReportEntry& report,
                  const httplib::Request& request, httplib::Response& response) {
  const Clock::time_point start = Clock::now();
  ReportInput input = InputFromJson(request.body);
  CheckColumns(report, input.columns);
  const std::string dsn = context.DsnFor(caller);
  service::ReportRequest checked = BuildRequest(report, input, dsn);
  StreamSettings settings;
  settings.columns = std::move(input.columns);
  settings.report = &report;
  settings.limit = context.options.run_timeout;
  settings.start = start;
  settings.deadline = start + settings.limit;
  settings.what = "report " + std::string(report.number);
  settings.log = [&context](const std::string& line) { context.Log("http " + line); };
  auto run = std::make_shared<BackgroundRun>(ReportWork(dsn, report, std::move(checked)));
  const std::string what = settings.what + " for " + caller.session.user;
  AnswerWithStream(response, std::move(run), std::move(settings),
                   [&context, what, start](bool delivered) {
                     context.Log("http " + what + (delivered ? " sent" : " stopped") + " after " +
                                 SecondsSince(start));
                   });
}

// A stream buffer writing into the response; raises when the client is gone, so that a
// writer stops formatting rows no one reads.
class SinkBuffer : public std::streambuf {
 public:
  explicit SinkBuffer(httplib::DataSink& sink) : sink_(sink) {
    setp(buffer_, buffer_ + sizeof buffer_);
  }
  ~SinkBuffer() override = default;

  void Flush() {
    const std::ptrdiff_t size = pptr() - pbase();
    if (size > 0 && !sink_.write(pbase(), static_cast<size_t>(size))) {
      throw std::runtime_error("the client went away");
    }
    setp(buffer_, buffer_ + sizeof buffer_);
  }

 protected:
  int_type overflow(int_type c) override {
    Flush();
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
      *pptr() = traits_type::to_char_type(c);
      pbump(1);
    }
    return traits_type::not_eof(c);
  }
  int sync() override {
    Flush();
    return 0;
  }

 private:
  httplib::DataSink& sink_;
  char buffer_[1 << 16];
};

struct Download {
  exports::Format format;
  const char* content_type;
};

Download DownloadOf(const std::string& extension) {
  if (extension == "csv") return {exports::Format::kCsv, "text/csv; charset=utf-8"};
  if (extension == "json") return {exports::Format::kJson, "application/json; charset=utf-8"};
  if (extension == "jsonl")
    return {exports::Format::kJsonLines, "application/x-ndjson; charset=utf-8"};
  return {exports::Format::kXlsx,
          "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"};
}

bool Flag(const httplib::Request& request, const char* name, bool default_value) {
  if (!request.has_param(name)) return default_value;
  const std::string value = request.get_param_value(name);
  if (value == "1" || value == "true" || value == "yes") return true;
  if (value == "0" || value == "false" || value == "no") return false;
  throw ApiError(400, "bad_request", std::string(name) + "=" + value + ": give 1 or 0");
}

// Runs the work to its end or the time limit (no rows can go out before the whole file is
// known: a download's status must say whether it worked).
exports::ResultTable RunToEnd(const ApiContext& context, BackgroundRun::Work work,
                              const std::string& what) {
  BackgroundRun run(std::move(work));
  const Clock::time_point deadline = Clock::now() + context.options.run_timeout;
  while (!run.Wait(std::chrono::milliseconds(200))) {
    if (Clock::now() >= deadline) {
      run.Cancel();
      while (!run.Wait(std::chrono::milliseconds(200))) run.Cancel();
      throw ApiError(504, "timeout",
                     what + " ran longer than the time limit of " +
                         std::to_string(context.options.run_timeout.count()) +
                         " s (serve --http-timeout); narrow its conditions");
    }
  }
  return run.TakeResult();
}

void SendXlsx(httplib::Response& response, const exports::ResultTable& table,
              const exports::WriteOptions& options, const char* content_type) {
  const char* folder = std::getenv("TMPDIR");
  std::string path = std::string(folder && *folder ? folder : "/tmp") + "/orvdata-XXXXXX.xlsx";
  const int fd = ::mkstemps(path.data(), 5);
  if (fd < 0) throw ApiError(500, "internal", "cannot create a temporary file for the workbook");
  ::close(fd);
  try {
    auto writer = exports::MakeXlsxWriter(path, options);
    writer->Write(table);
    writer->Finish();
  } catch (...) {
    ::unlink(path.c_str());
    throw;
  }
  std::ifstream probe(path, std::ios::binary | std::ios::ate);
  const auto size = static_cast<size_t>(probe.tellg());
  auto file = std::make_shared<std::ifstream>(path, std::ios::binary);
  response.set_content_provider(
      size, content_type,
      [file](size_t offset, size_t length, httplib::DataSink& sink) {
        std::vector<char> chunk(std::min<size_t>(length, 1 << 16));
        file->seekg(static_cast<std::streamoff>(offset));
        file->read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        return sink.write(chunk.data(), static_cast<size_t>(file->gcount()));
      },
      [path](bool) { ::unlink(path.c_str()); });
}

void SendDownload(ApiContext& context, const Caller& caller, const catalog::ReportEntry& report,
                  const std::string& extension, const httplib::Request& request,
                  httplib::Response& response) {
  const Download download = DownloadOf(extension);
  ReportInput input = InputFromQuery(request.params);
  CheckColumns(report, input.columns);
  const std::string dsn = context.DsnFor(caller);
  service::ReportRequest checked = BuildRequest(report, input, dsn);
  const bool people =
      download.format == exports::Format::kCsv || download.format == exports::Format::kXlsx;
  exports::WriteOptions options;
  options.captions = Flag(request, "captions", people);
  options.bom = download.format == exports::Format::kCsv && Flag(request, "bom", true);
  bool english = catalog::IsEnglish(ado::ConnectionString(context.options.dsn).Get("Language"));
  if (request.has_param("lang")) english = catalog::IsEnglish(request.get_param_value("lang"));

  const std::string what = "report " + std::string(report.number);
  const Clock::time_point start = Clock::now();
  auto table = std::make_shared<exports::ResultTable>(
      RunToEnd(context, ReportWork(dsn, report, std::move(checked)), what));
  Caption(*table, report, english);
  if (!input.columns.empty()) {
    table->Materialize();
    exports::EnsureRowKinds(*table);
    exports::SelectColumns(*table, input.columns);
  }
  context.Log("http " + what + " ." + extension + " for " + caller.session.user + ": " +
              std::to_string(table->row_count()) + " rows in " + SecondsSince(start));
  response.set_header(
      "Content-Disposition",
      "attachment; filename=\"report-" + std::string(report.number) + "." + extension + "\"");
  if (download.format == exports::Format::kXlsx) {
    SendXlsx(response, *table, options, download.content_type);
    return;
  }
  response.set_chunked_content_provider(
      download.content_type, [table, options, download](size_t, httplib::DataSink& sink) {
        try {
          SinkBuffer buffer(sink);
          std::ostream out(&buffer);
          auto writer = exports::MakeTextWriter(download.format, out, options);
          writer->Write(*table);
          writer->Finish();
          out.flush();
          buffer.Flush();
          sink.done();
          return true;
        } catch (const std::exception&) {
          return false;
        }
      });
}

}  // namespace

void AddReportRoutes(httplib::Server& server, ApiContext& context) {
  server.Get(
      "/api/reports", [&context](const httplib::Request& request, httplib::Response& response) {
        AnswerAuthenticated(context, request, response, [&](const Caller& caller) {
          const catalog::SourceFacts facts = service::ReadSourceFacts(context.DsnFor(caller));
          nlohmann::json reports = nlohmann::json::array();
          for (const catalog::ReportEntry& report : catalog::Reports()) {
            reports.push_back(ReportJson(report, facts));
          }
          const std::string language = ado::ConnectionString(context.options.dsn).Get("Language");
          nlohmann::json source = {{"label", context.options.source_label},
                                   {"language", catalog::IsEnglish(language) ? "en" : "zh"},
                                   {"today", facts.today}};
          SendJson(response, nlohmann::json{{"source", source}, {"reports", reports}}.dump());
        });
      });
  server.Get(R"(/api/reports/(\d+))", [&context](const httplib::Request& request,
                                                 httplib::Response& response) {
    AnswerAuthenticated(context, request, response, [&](const Caller& caller) {
      const catalog::ReportEntry& report = FindReportOr404(request.matches[1]);
      SendJson(response, ReportJson(report, service::ReadSourceFacts(context.DsnFor(caller))).dump());
    });
  });
  server.Post(R"(/api/reports/(\d+))", [&context](const httplib::Request& request,
                                                  httplib::Response& response) {
    AnswerAuthenticated(context, request, response, [&](const Caller& caller) {
      StreamReport(context, caller, FindReportOr404(request.matches[1]), request, response);
    });
  });
  server.Get(R"(/api/reports/(\d+)\.(csv|xlsx|json|jsonl))",
             [&context](const httplib::Request& request, httplib::Response& response) {
               AnswerAuthenticated(context, request, response, [&](const Caller& caller) {
                 SendDownload(context, caller, FindReportOr404(request.matches[1]),
                              request.matches[2], request, response);
               });
             });
}

}  // namespace orv::http
