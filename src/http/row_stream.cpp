#include "http/row_stream.h"

#include <algorithm>
#include <cctype>
#include <nlohmann/json.hpp>

#include "export/json_text.h"
#include "export/value_text.h"

namespace orv::http {

namespace {

using Clock = std::chrono::steady_clock;

int64_t MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// What a page needs to know to show a column's values.
const char* ValueType(const exports::ResultColumn& column) {
  if (column.is_code) return "code";
  std::string base = column.sql_type.substr(0, column.sql_type.find('('));
  for (char& c : base) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (base == "int" || base == "smallint" || base == "tinyint" || base == "bigint")
    return "integer";
  if (base == "decimal" || base == "numeric" || base == "money" || base == "smallmoney" ||
      base == "float" || base == "real") {
    return "number";
  }
  if (base == "date" || base == "datetime" || base == "datetime2" || base == "smalldatetime") {
    return "date";
  }
  if (base == "bit") return "boolean";
  return "text";
}

// A value as JSON, decimals without the trailing zeros of their type's scale (a quantity of
// decimal(28,10) is 49, not 49.0000000000): the page shows every number at its column's scale.
void AppendValue(std::string& out, const automation::Variant& value) {
  const size_t begin = out.size();
  exports::AppendJsonValue(out, value);
  if (value.type() != automation::VarType::Decimal) return;
  const size_t point = out.find('.', begin);
  if (point == std::string::npos) return;
  size_t end = out.size();
  while (end > point + 1 && out[end - 1] == '0') --end;
  if (end == point + 1) --end;
  out.resize(end);
}

bool Send(httplib::DataSink& sink, const std::string& text) {
  return sink.write(text.data(), text.size());
}

std::string Line(const nlohmann::json& json) {
  return json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

// The first rows go out in a small line, so that a page can show them at once; the rest in
// larger ones.
constexpr size_t kFirstLine = 100;
constexpr size_t kLine = 2000;

// How long a request waits for its operation before it starts answering with the steps.
constexpr std::chrono::milliseconds kQuickAnswer{1000};

}  // namespace

std::vector<size_t> PickColumns(const exports::ResultTable& table,
                                const std::vector<std::string>& names) {
  std::vector<size_t> picked;
  if (names.empty()) {
    for (size_t i = 0; i < table.columns.size(); ++i) picked.push_back(i);
    return picked;
  }
  for (const std::string& name : names) {
    auto same = [&](const exports::ResultColumn& column) {
      return column.name.size() == name.size() &&
             std::equal(name.begin(), name.end(), column.name.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
             });
    };
    auto it = std::find_if(table.columns.begin(), table.columns.end(), same);
    if (it == table.columns.end()) {
      std::string known;
      for (const auto& column : table.columns) known += (known.empty() ? "" : ", ") + column.name;
      throw ApiError(400, "bad_column",
                     "no column '" + name + "' in the result; its columns are: " + known);
    }
    picked.push_back(static_cast<size_t>(it - table.columns.begin()));
  }
  return picked;
}

std::string ColumnsLine(const exports::ResultTable& table, const std::vector<size_t>& columns,
                        const reports::catalog::ReportEntry* report, int64_t elapsed_ms) {
  nlohmann::json list = nlohmann::json::array();
  for (size_t i : columns) {
    const exports::ResultColumn& column = table.columns[i];
    nlohmann::json item = {{"name", column.name},
                           {"type", ValueType(column)},
                           {"sql_type", column.sql_type},
                           {"scale", exports::DeclaredScale(column.sql_type)}};
    const reports::catalog::ColumnCaption* caption =
        report ? reports::catalog::FindColumn(*report, column.name) : nullptr;
    if (caption) item["caption"] = {{"zh", caption->zh}, {"en", caption->en}};
    list.push_back(std::move(item));
  }
  nlohmann::json line = {{"type", "columns"},
                         {"columns", std::move(list)},
                         {"row_count", table.row_count()},
                         {"elapsed_ms", elapsed_ms}};
  return line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

namespace {

std::vector<size_t> WithKindColumns(const exports::ResultTable& table,
                                    std::vector<size_t> columns) {
  for (size_t i = 0; i < table.columns.size(); ++i) {
    const std::string& name = table.columns[i].name;
    if (name == "FIsTotal" || name == "FSumSort" || name == "FGroupSort") columns.push_back(i);
  }
  return columns;
}

std::vector<exports::ResultColumn> ColumnsAt(const exports::ResultTable& table,
                                             const std::vector<size_t>& columns) {
  std::vector<exports::ResultColumn> out;
  for (size_t i : columns) out.push_back(table.columns[i]);
  return out;
}

}  // namespace

RowPicker::RowPicker(const exports::ResultTable& table, std::vector<size_t> columns)
    : table_(table),
      fetch_(WithKindColumns(table, columns)),
      width_(columns.size()),
      kinds_(ColumnsAt(table, fetch_)) {}

exports::RowKind RowPicker::Read(size_t r, std::vector<automation::Variant>& values) const {
  if (table_.source) {
    table_.source->FetchColumns(r, fetch_, values);
  } else {
    values.clear();
    for (size_t i : fetch_) values.push_back(table_.rows[r][i]);
  }
  return kinds_(values);
}

void AppendRowsLine(const RowPicker& picker, size_t begin, size_t end, std::string& out) {
  thread_local std::vector<automation::Variant> values;
  std::string letters;
  std::string rows;
  for (size_t r = begin; r < end; ++r) {
    switch (picker.Read(r, values)) {
      case exports::RowKind::kDetail:
        letters.push_back('d');
        break;
      case exports::RowKind::kSubtotal:
        letters.push_back('s');
        break;
      case exports::RowKind::kTotal:
        letters.push_back('t');
        break;
    }
    rows += r == begin ? "[" : ",[";
    for (size_t c = 0; c < picker.width(); ++c) {
      if (c > 0) rows.push_back(',');
      AppendValue(rows, values[c]);
    }
    rows.push_back(']');
  }
  out += R"({"type":"rows","kinds":")";
  out += letters;
  out += R"(","rows":[)";
  out += rows;
  out += "]}\n";
}

bool StreamRun(BackgroundRun& run, const StreamSettings& settings, httplib::DataSink& sink) {
  const Clock::time_point start = settings.start;
  size_t seen = 0;
  bool timed_out = false;
  for (;;) {
    const bool done = run.Wait(std::chrono::milliseconds(200));
    size_t number = seen;
    for (const std::string& step : run.NewSteps(seen)) {
      if (!Send(sink, Line({{"type", "step"},
                            {"step", ++number},
                            {"name", step},
                            {"elapsed_ms", MillisecondsSince(start)}}))) {
        run.Cancel();
        return false;
      }
    }
    if (done) break;
    if (!sink.is_writable()) {
      run.Cancel();
      if (settings.log) settings.log(settings.what + " cancelled: the client went away");
      return false;
    }
    if (!timed_out && Clock::now() >= settings.deadline) {
      timed_out = true;
      if (settings.log) settings.log(settings.what + " cancelled: time limit reached");
    }
    // Repeated while the run lasts: a cancel that came just before a batch began is sent again.
    if (timed_out) run.Cancel();
  }
  exports::ResultTable table;
  try {
    if (timed_out) {
      throw ApiError(504, "timeout",
                     settings.what + " ran longer than the time limit of " +
                         std::to_string(settings.limit.count()) +
                         " s (serve --http-timeout); narrow its conditions");
    }
    table = run.TakeResult();
  } catch (...) {
    const ApiError error = CurrentApiError();
    if (!Send(sink, ErrorJson(error).insert(1, R"("type":"error",)") + "\n")) return false;
    sink.done();
    return true;
  }
  std::vector<size_t> columns;
  try {
    columns = PickColumns(table, settings.columns);
  } catch (const ApiError& error) {
    if (!Send(sink, ErrorJson(error).insert(1, R"("type":"error",)") + "\n")) return false;
    sink.done();
    return true;
  }
  if (!Send(sink, ColumnsLine(table, columns, settings.report, MillisecondsSince(start)) + "\n")) {
    return false;
  }
  const RowPicker picker(table, columns);
  const size_t count = table.row_count();
  std::string line;
  for (size_t begin = 0; begin < count;) {
    const size_t end = std::min(count, begin + (begin == 0 ? kFirstLine : kLine));
    line.clear();
    AppendRowsLine(picker, begin, end, line);
    if (!Send(sink, line)) {
      if (settings.log) settings.log(settings.what + ": the client went away during the rows");
      return false;
    }
    begin = end;
  }
  if (!Send(sink, Line({{"type", "end"},
                        {"row_count", count},
                        {"elapsed_ms", MillisecondsSince(start)}}))) {
    return false;
  }
  sink.done();
  return true;
}

void AnswerWithStream(httplib::Response& response, std::shared_ptr<BackgroundRun> run,
                      StreamSettings settings, std::function<void(bool delivered)> finished) {
  const Clock::time_point quick = Clock::now() + kQuickAnswer;
  bool done = false;
  while (!done && Clock::now() < quick) {
    done = run->Wait(std::chrono::duration_cast<std::chrono::milliseconds>(quick - Clock::now()));
  }
  if (done) {
    if (std::optional<ApiError> failure = run->Failure()) throw *failure;
  }
  response.set_header("X-Accel-Buffering", "no");
  response.set_chunked_content_provider(
      "application/x-ndjson; charset=utf-8",
      [run, settings, finished](size_t, httplib::DataSink& sink) {
        bool delivered = false;
        try {
          delivered = StreamRun(*run, settings, sink);
        } catch (const std::exception& e) {
          if (settings.log) settings.log(settings.what + " failed while sending: " + e.what());
        }
        if (finished) finished(delivered);
        return delivered;
      });
}

}  // namespace orv::http
