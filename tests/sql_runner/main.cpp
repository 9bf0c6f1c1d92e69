// Runs a .sqltest script against a fresh in-memory database (one session for the whole file,
// unless the script switches between sessions).
//
// A script is a sequence of cases. A case starts with a directive line, then the batch text,
// and ends at the first blank line (so a batch cannot contain blank lines). Lines outside a
// case that start with "--" but are no directive are comments.
//
//   -- statement ok          the batch must produce no error
//   -- error N               the batch must produce error N (its first error)
//   -- query [rowsort]       the batch's first row set must equal the expected rows
//   -- results               the batch's results, one line each, must equal the expected list:
//                              "rows N" (row set of N rows), "count N" (rows affected),
//                              "error N", "message TEXT"
//   -- schema NAME           (no batch) table NAME must have the listed columns, one line each:
//                              "name type NULL" or "name type NOT NULL"
//   -- clock yyyy-mm-dd hh:mi:ss   (no batch) fixes GETDATE() for the rest of the file
//   -- session NAME          (no batch) runs the cases that follow on session NAME of the same
//                              database (made on first use; the first session is "main")
//
// query, results and schema cases give their expected lines after a line "----". Row values
// are separated by '|'; NULL is written NULL; decimals keep their scale ("2.50"); datetimes
// are "yyyy-mm-dd hh:mi:ss.mmm"; strings are written as they are (trailing blanks count).
//
// Exit status 0 when every case passes; the last line is "N passed, M failed".
#include <algorithm>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "tsql/catalog/catalog.h"
#include "tsql/catalog/session_state.h"
#include "tsql/engine.h"
#include "tsql/types/value_ops.h"

namespace {

using orv::tsql::StatementResult;
using orv::tsql::Value;

struct Case {
  int line = 0;
  std::string directive;
  std::string sql;
  std::vector<std::string> expected;
  bool has_expected = false;
};

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

bool StartsWith(const std::string& s, const std::string& p) { return s.rfind(p, 0) == 0; }

bool IsDirective(const std::string& line) {
  std::string t = Trim(line);
  for (const char* d : {"-- statement ok", "-- error", "-- query", "-- results", "-- schema",
                        "-- clock", "-- session"}) {
    if (StartsWith(t, d)) return true;
  }
  return false;
}

std::string FormatValue(const Value& v, const orv::tsql::SqlType& type) {
  if (v.is_null()) return "NULL";
  if (v.kind() == Value::Kind::DateTime) {
    int y, mo, d, h, mi, s, ms;
    orv::tsql::SplitDateTime(v.datetime_ticks(), y, mo, d, h, mi, s, ms);
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", y, mo, d, h, mi, s, ms);
    return buf;
  }
  if (v.kind() == Value::Kind::String) return std::string(v.string_value());
  return orv::tsql::ToText(v, type);
}

std::vector<std::string> FormatRows(const StatementResult& r) {
  std::vector<std::string> out;
  for (size_t row = 0; row < r.row_count(); ++row) {
    std::string line;
    for (size_t i = 0; i < r.columns.size(); ++i) {
      if (i) line += '|';
      line += FormatValue(r.at(row, i), r.columns[i].type);
    }
    out.push_back(line);
  }
  return out;
}

std::string Describe(const std::vector<StatementResult>& results) {
  std::ostringstream os;
  for (const auto& r : results) {
    switch (r.kind) {
      case StatementResult::Kind::Rows:
        os << "    rows " << r.row_count() << "\n";
        for (const auto& line : FormatRows(r)) os << "      " << line << "\n";
        break;
      case StatementResult::Kind::RowCount:
        os << "    count " << r.count << "\n";
        break;
      case StatementResult::Kind::Error:
        os << "    error " << r.error.number << ": " << r.error.message << "\n";
        break;
      case StatementResult::Kind::Message:
        os << "    message " << r.error.message << "\n";
        break;
    }
  }
  return os.str();
}

std::vector<Case> ReadCases(std::istream& in) {
  std::vector<Case> cases;
  std::string line;
  int n = 0;
  Case* current = nullptr;
  bool in_expected = false;
  while (std::getline(in, line)) {
    ++n;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!current) {
      if (IsDirective(line)) {
        cases.push_back(Case{n, Trim(line).substr(3), "", {}, false});
        current = &cases.back();
        in_expected = false;
        // A session switch is all on its line.
        if (StartsWith(current->directive, "session")) current = nullptr;
      }
      continue;
    }
    if (Trim(line).empty()) {
      current = nullptr;
      continue;
    }
    if (!in_expected && line == "----") {
      in_expected = true;
      current->has_expected = true;
      continue;
    }
    if (in_expected) {
      current->expected.push_back(line);
    } else {
      current->sql += line + "\n";
    }
  }
  return cases;
}

class ScriptRunner {
 public:
  // Results may share table rows, as they do for the service's connections: the scripts check
  // that a result is the same whichever way the engine delivers it.
  ScriptRunner() : database_(orv::tsql::OpenDatabase(":memory:")) { Switch("main"); }

  // Returns "" when the case passes, else what went wrong.
  std::string Run(const Case& c) {
    const std::string& d = c.directive;
    if (StartsWith(d, "clock")) {
      auto ticks = orv::tsql::ParseDateTime(Trim(d.substr(5)));
      if (!ticks) return "unreadable clock";
      clock_ = *ticks;
      for (auto& [name, session] : sessions_) session->SetClock(clock_);
      return "";
    }
    if (StartsWith(d, "session")) {
      Switch(Trim(d.substr(7)));
      return "";
    }
    if (StartsWith(d, "schema")) return CheckSchema(Trim(d.substr(6)), c.expected);
    std::vector<StatementResult> results = session().ExecuteBatch(c.sql);
    const StatementResult* first_error = nullptr;
    for (const auto& r : results) {
      if (r.kind == StatementResult::Kind::Error && !first_error) first_error = &r;
    }
    if (d == "statement ok") {
      if (first_error) return "unexpected error:\n" + Describe(results);
      return "";
    }
    if (StartsWith(d, "error")) {
      int want = std::stoi(Trim(d.substr(5)));
      if (!first_error || first_error->error.number != want) {
        return "expected error " + std::to_string(want) + ", got:\n" + Describe(results);
      }
      return "";
    }
    if (StartsWith(d, "results")) {
      std::vector<std::string> actual;
      for (const auto& r : results) {
        switch (r.kind) {
          case StatementResult::Kind::Rows:
            actual.push_back("rows " + std::to_string(r.row_count()));
            break;
          case StatementResult::Kind::RowCount:
            actual.push_back("count " + std::to_string(r.count));
            break;
          case StatementResult::Kind::Error:
            actual.push_back("error " + std::to_string(r.error.number));
            break;
          case StatementResult::Kind::Message:
            actual.push_back("message " + r.error.message);
            break;
        }
      }
      return Compare(c.expected, actual, results);
    }
    if (StartsWith(d, "query")) {
      if (first_error) return "unexpected error:\n" + Describe(results);
      const StatementResult* rows = nullptr;
      for (const auto& r : results) {
        if (r.kind == StatementResult::Kind::Rows) {
          rows = &r;
          break;
        }
      }
      if (!rows) return "no row set:\n" + Describe(results);
      std::vector<std::string> actual = FormatRows(*rows);
      std::vector<std::string> expected = c.expected;
      if (d.find("rowsort") != std::string::npos) {
        std::sort(actual.begin(), actual.end());
        std::sort(expected.begin(), expected.end());
      }
      return Compare(expected, actual, results);
    }
    return "unknown directive '" + d + "'";
  }

 private:
  static std::string Compare(const std::vector<std::string>& expected,
                             const std::vector<std::string>& actual,
                             const std::vector<StatementResult>& results) {
    if (expected == actual) return "";
    std::ostringstream os;
    os << "  expected:\n";
    for (const auto& l : expected) os << "    " << l << "\n";
    os << "  actual:\n";
    for (const auto& l : actual) os << "    " << l << "\n";
    os << "  all results:\n" << Describe(results);
    return os.str();
  }

  std::string CheckSchema(const std::string& name, const std::vector<std::string>& expected) {
    std::shared_ptr<orv::tsql::Table> table =
        orv::tsql::IsTempName(name) ? session().state().FindTempTable(name)
                                    : session().database().FindTable(name);
    if (!table) return "no table " + name;
    std::vector<std::string> actual;
    for (const auto& c : table->columns) {
      actual.push_back(c.name + " " + c.type.ToString() + (c.nullable ? " NULL" : " NOT NULL"));
    }
    return Compare(expected, actual, {});
  }

  orv::tsql::Session& session() { return *sessions_.at(current_); }

  void Switch(const std::string& name) {
    auto& session = sessions_[name];
    if (!session) {
      session = std::make_unique<orv::tsql::Session>(database_);
      session->SetShareResultRows(true);
      if (clock_) session->SetClock(clock_);
    }
    current_ = name;
  }

  std::shared_ptr<orv::tsql::Database> database_;
  std::map<std::string, std::unique_ptr<orv::tsql::Session>> sessions_;
  std::string current_;
  std::optional<int64_t> clock_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: sql_script_runner FILE.sqltest\n";
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::cerr << "cannot open " << argv[1] << "\n";
    return 2;
  }
  std::vector<Case> cases = ReadCases(in);
  ScriptRunner runner;
  int passed = 0, failed = 0;
  for (const auto& c : cases) {
    std::string problem;
    try {
      problem = runner.Run(c);
    } catch (const std::exception& ex) {
      problem = std::string("exception: ") + ex.what();
    }
    if (problem.empty()) {
      ++passed;
    } else {
      ++failed;
      std::cout << argv[1] << ":" << c.line << ": FAILED (" << c.directive << ")\n"
                << c.sql << problem << "\n";
    }
  }
  std::cout << passed << " passed, " << failed << " failed\n";
  return failed == 0 && passed > 0 ? 0 : 1;
}
