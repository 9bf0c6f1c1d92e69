// The result of a report or query as the API streams it: newline-delimited JSON, one object a
// line, so that a page can show the first rows while the rest are still on their way.
//   {"type":"step","step":3,"name":"...","elapsed_ms":812}      while the operation runs
//   {"type":"columns","columns":[...],"row_count":N,"elapsed_ms":1520}
//   {"type":"rows","kinds":"dds","rows":[[...],[...],[...]]}   as many as it takes
//   {"type":"end","row_count":N,"elapsed_ms":1710}
// or, in place of what is left, {"type":"error","error":{...}} (api_error.h) when the operation
// fails, is cancelled or runs out of time after the response has begun. An operation that ends
// within a moment of the request is answered once it has ended, so that its failure gets its
// own HTTP status; a longer one is answered at once with its steps as they come, so that the
// page can show them and the server notices a client that went away (and cancels). A column is
// {"name","type","sql_type","scale","caption":{"zh","en"}} with type one of integer, number,
// text, code, date, boolean; "kinds" holds one letter a row: d detail, s subtotal, t total.
#pragma once

#include <httplib.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "export/result_table.h"
#include "http/background_run.h"
#include "reports/catalog.h"

namespace orv::http {

// Which columns go out, by index into the table; empty `names` means all. ApiError 400
// "bad_column" for a name the result does not have.
std::vector<size_t> PickColumns(const exports::ResultTable& table,
                                const std::vector<std::string>& names);

// The "columns" line (without the newline). `report` gives the captions (null: none).
std::string ColumnsLine(const exports::ResultTable& table, const std::vector<size_t>& columns,
                        const reports::catalog::ReportEntry* report, int64_t elapsed_ms);

// Reads the chosen columns of a table's rows and each row's kind, converting (for a table
// whose rows are still the data source's) only those columns and the ones telling the kind.
class RowPicker {
 public:
  RowPicker(const exports::ResultTable& table, std::vector<size_t> columns);
  // The chosen values of row `r` come first in `values`; returns the row's kind.
  exports::RowKind Read(size_t r, std::vector<automation::Variant>& values) const;
  size_t width() const { return width_; }

 private:
  const exports::ResultTable& table_;
  std::vector<size_t> fetch_;  // the chosen columns, then those telling the kind
  size_t width_;
  exports::RowKindReader kinds_;
};

// Appends the "rows" line of rows [begin, end) with its newline.
void AppendRowsLine(const RowPicker& picker, size_t begin, size_t end, std::string& out);

struct StreamSettings {
  std::vector<std::string> columns;                       // chosen columns; empty: all
  const reports::catalog::ReportEntry* report = nullptr;  // for captions
  std::chrono::steady_clock::time_point start;            // the request's time ("elapsed_ms")
  std::chrono::steady_clock::time_point deadline;         // the run is cancelled after it
  std::chrono::seconds limit{0};                          // for the message
  std::string what;                                       // "report 406", for messages
  std::function<void(const std::string&)> log;
};

// Streams `run` to `sink` in the form above and closes the stream. Returns false when the
// client went away (the run is cancelled then).
bool StreamRun(BackgroundRun& run, const StreamSettings& settings, httplib::DataSink& sink);

// Answers with the stream of `run` (see the header comment); raises the run's failure as
// ApiError when it failed at once. `finished(delivered)` is told when the stream has ended.
void AnswerWithStream(httplib::Response& response, std::shared_ptr<BackgroundRun> run,
                      StreamSettings settings, std::function<void(bool delivered)> finished);

}  // namespace orv::http
