// Runs sqllogictest scripts (the public corpus's format) against the engine: one fresh
// in-memory database and session per file, each record's SQL as one batch.
//
//   slt_runner [--known FILE] [--quiet] SCRIPT...
//
// Records: `statement ok|error`, `query <types> <sort> [label]` with the SQL, a line `----`
// and the expected values (one a line, or `N values hashing to <md5>`), `hash-threshold N`,
// `halt`, and `skipif`/`onlyif <engine>` conditions in front of a record, where this engine
// counts as mssql. Values print as the corpus prints them: NULL, `(empty)` for '', integers
// for columns of type I, `%.3f` for type R, text with control characters as '@'.
//
// Per file it prints the records run, passed, failed and skipped with the pass rate, and one
// line per failing record with its cause. A known-failures file lists `path:line cause` lines
// (path as given on the command line, relative to the corpus folder): those failures are
// counted apart; a listed record that now passes is reported so that the list stays true.
// The last line is "N passed, M failed", M counting failures not in the list; exit status 0
// when M is 0.
#include <openssl/evp.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tsql/engine.h"
#include "tsql/types/value_ops.h"

namespace {

using orv::tsql::StatementResult;
using orv::tsql::Value;

constexpr const char* kEngine = "mssql";

struct Record {
  int line = 0;
  enum class Kind { StatementOk, StatementError, Query, HashThreshold, Halt } kind;
  std::string types;  // query: one letter a column (I, R, T)
  std::string sort;   // nosort, rowsort, valuesort
  std::string sql;
  std::vector<std::string> expected;
  int threshold = 0;
};

std::vector<std::string> Words(const std::string& line) {
  std::istringstream is(line);
  std::vector<std::string> out;
  for (std::string w; is >> w;) {
    if (w[0] == '#') break;
    out.push_back(w);
  }
  return out;
}

// Reads the records that apply to this engine; `skipped` counts the others.
std::vector<Record> ReadRecords(std::istream& in, int& skipped) {
  std::vector<Record> records;
  std::string line;
  int n = 0;
  bool applies = true;
  while (std::getline(in, line)) {
    ++n;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::vector<std::string> w = Words(line);
    if (w.empty()) continue;
    if (w[0] == "skipif" || w[0] == "onlyif") {
      bool named = w.size() > 1 && w[1] == kEngine;
      if ((w[0] == "skipif") == named) applies = false;
      continue;
    }
    Record r;
    r.line = n;
    if (w[0] == "hash-threshold" && w.size() > 1) {
      r.kind = Record::Kind::HashThreshold;
      r.threshold = std::stoi(w[1]);
    } else if (w[0] == "halt") {
      r.kind = Record::Kind::Halt;
    } else if (w[0] == "statement" && w.size() > 1) {
      r.kind = w[1] == "ok" ? Record::Kind::StatementOk : Record::Kind::StatementError;
    } else if (w[0] == "query" && w.size() > 1) {
      r.kind = Record::Kind::Query;
      r.types = w[1];
      r.sort = w.size() > 2 ? w[2] : "nosort";
    } else {
      continue;  // a stray line outside any record
    }
    // The record's body: SQL up to "----" (queries) or the first blank line, then results.
    bool results = false;
    while (std::getline(in, line)) {
      ++n;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.find_first_not_of(" \t") == std::string::npos) break;
      if (r.kind == Record::Kind::Query && !results && line == "----") {
        results = true;
      } else if (results) {
        r.expected.push_back(line);
      } else {
        r.sql += line + "\n";
      }
    }
    if (applies) {
      records.push_back(std::move(r));
    } else if (r.kind != Record::Kind::HashThreshold && r.kind != Record::Kind::Halt) {
      ++skipped;
    }
    applies = true;
  }
  return records;
}

std::string FormatValue(const Value& v, const orv::tsql::SqlType& type, char column) {
  if (v.is_null()) return "NULL";
  char buf[64];
  switch (column) {
    case 'I':
      switch (v.kind()) {
        case Value::Kind::Int:
          return std::to_string(v.int_value());
        case Value::Kind::Decimal:
        case Value::Kind::Float: {
          double d = std::trunc(v.kind() == Value::Kind::Float
                                    ? v.float_value()
                                    : std::stod(orv::tsql::ToText(v, type)));
          std::snprintf(buf, sizeof buf, "%.0f", d == 0 ? 0.0 : d);
          return buf;
        }
        default:
          return "0";
      }
    case 'R':
      switch (v.kind()) {
        case Value::Kind::Int:
          std::snprintf(buf, sizeof buf, "%.3f", static_cast<double>(v.int_value()));
          return buf;
        case Value::Kind::Decimal:
          std::snprintf(buf, sizeof buf, "%.3f", std::stod(orv::tsql::ToText(v, type)));
          return buf;
        case Value::Kind::Float:
          std::snprintf(buf, sizeof buf, "%.3f", v.float_value());
          return buf;
        default:
          return "0.000";
      }
    default: {
      std::string s = orv::tsql::ToText(v, type);
      if (s.empty()) return "(empty)";
      for (char& c : s) {
        if (c < ' ' || c > '~') c = '@';
      }
      return s;
    }
  }
}

std::string Md5Hex(const std::string& data) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  EVP_Digest(data.data(), data.size(), digest, &len, EVP_md5(), nullptr);
  std::string hex;
  char buf[3];
  for (unsigned int i = 0; i < len; ++i) {
    std::snprintf(buf, sizeof buf, "%02x", digest[i]);
    hex += buf;
  }
  return hex;
}

std::string FirstError(const std::vector<StatementResult>& results) {
  for (const auto& r : results) {
    if (r.kind == StatementResult::Kind::Error) {
      return "error " + std::to_string(r.error.number) + ": " + r.error.message;
    }
  }
  return "";
}

class FileRunner {
 public:
  FileRunner() : session_(orv::tsql::OpenDatabase(":memory:")) {}

  // "" when the record passes, else its cause.
  std::string Run(const Record& r) {
    std::vector<StatementResult> results = session_.ExecuteBatch(r.sql);
    std::string error = FirstError(results);
    switch (r.kind) {
      case Record::Kind::StatementOk:
        return error;
      case Record::Kind::StatementError:
        return error.empty() ? "statement succeeded, an error was expected" : "";
      case Record::Kind::Query:
        break;
      default:
        return "";
    }
    if (!error.empty()) return error;
    const StatementResult* rows = nullptr;
    for (const auto& res : results) {
      if (res.kind == StatementResult::Kind::Rows) rows = &res;
    }
    if (!rows) return "no row set";
    if (rows->columns.size() != r.types.size()) {
      return "result has " + std::to_string(rows->columns.size()) + " columns, expected " +
             std::to_string(r.types.size());
    }
    std::vector<std::vector<std::string>> table(rows->row_count());
    for (size_t i = 0; i < table.size(); ++i) {
      for (size_t c = 0; c < rows->columns.size(); ++c) {
        table[i].push_back(FormatValue(rows->at(i, c), rows->columns[c].type, r.types[c]));
      }
    }
    std::vector<std::string> values;
    if (r.sort == "rowsort") std::sort(table.begin(), table.end());
    for (const auto& row : table) values.insert(values.end(), row.begin(), row.end());
    if (r.sort == "valuesort") std::sort(values.begin(), values.end());
    return Match(r, table, values);
  }

 private:
  static std::string Match(const Record& r, const std::vector<std::vector<std::string>>& table,
                           const std::vector<std::string>& values) {
    std::string joined;
    for (const auto& v : values) joined += v + "\n";
    if (r.expected.size() == 1) {
      std::istringstream is(r.expected[0]);
      size_t count = 0;
      std::string w1, w2, w3, hash;
      if (is >> count >> w1 >> w2 >> w3 >> hash && w1 == "values" && w2 == "hashing" &&
          w3 == "to") {
        if (count != values.size()) {
          return std::to_string(values.size()) + " values, expected " + std::to_string(count);
        }
        return Md5Hex(joined) == hash ? "" : "values differ (hash)";
      }
    }
    if (r.expected == values) return "";
    // Hand-written records may give a row a line, its values separated by blanks.
    std::vector<std::string> rowwise;
    for (const auto& row : table) {
      std::string line;
      for (size_t i = 0; i < row.size(); ++i) line += (i ? " " : "") + row[i];
      rowwise.push_back(line);
    }
    if (r.expected == rowwise) return "";
    std::string got;
    for (size_t i = 0; i < values.size() && i < 8; ++i) got += (i ? ", " : "") + values[i];
    if (values.size() > 8) got += ", ...";
    return "values differ: got [" + got + "]";
  }

  orv::tsql::Session session_;
};

struct Tally {
  int passed = 0, failed = 0, known = 0, skipped = 0;
};

}  // namespace

int main(int argc, char** argv) {
  std::map<std::string, std::string> known;  // "path:line" -> cause
  std::vector<std::string> files;
  bool quiet = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--known" && i + 1 < argc) {
      std::ifstream kf(argv[++i]);
      for (std::string line; std::getline(kf, line);) {
        if (line.empty() || line[0] == '#') continue;
        size_t space = line.find(' ');
        known[line.substr(0, space)] = space == std::string::npos ? "" : line.substr(space + 1);
      }
    } else if (a == "--quiet") {
      quiet = true;
    } else {
      files.push_back(a);
    }
  }
  if (files.empty()) {
    std::cerr << "usage: slt_runner [--known FILE] [--quiet] SCRIPT...\n";
    return 2;
  }
  Tally total;
  int unexpected = 0, stale = 0;
  for (const auto& path : files) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
      std::cerr << "cannot open " << path << "\n";
      return 2;
    }
    Tally t;
    std::vector<Record> records = ReadRecords(in, t.skipped);
    FileRunner runner;
    for (const auto& r : records) {
      if (r.kind == Record::Kind::Halt) break;
      if (r.kind == Record::Kind::HashThreshold) continue;
      std::string cause;
      try {
        cause = runner.Run(r);
      } catch (const std::exception& ex) {
        cause = std::string("exception: ") + ex.what();
      }
      std::string key = path + ":" + std::to_string(r.line);
      bool listed = known.count(key) > 0;
      if (cause.empty()) {
        ++t.passed;
        if (listed) {
          ++stale;
          std::cout << key << ": passes but is listed as a known failure\n";
        }
      } else if (listed) {
        ++t.known;
      } else {
        ++t.failed;
        if (!quiet) {
          std::cout << key << ": FAILED: " << cause << "\n" << r.sql;
        } else {
          std::cout << key << ": " << cause << "\n";
        }
      }
    }
    int run = t.passed + t.failed + t.known;
    char rate[32];
    std::snprintf(rate, sizeof rate, "%.1f%%", run ? 100.0 * t.passed / run : 100.0);
    std::cout << path << ": " << t.passed << "/" << run << " passed (" << rate << "), "
              << t.failed + t.known << " failed (" << t.known << " known), " << t.skipped
              << " skipped\n";
    total.passed += t.passed;
    total.failed += t.failed;
    total.known += t.known;
    total.skipped += t.skipped;
    unexpected += t.failed;
  }
  std::cout << total.known << " known failures, " << total.skipped << " records skipped\n"
            << total.passed << " passed, " << unexpected + stale << " failed\n";
  return unexpected + stale == 0 ? 0 : 1;
}
