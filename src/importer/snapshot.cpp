#include "importer/snapshot.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <regex>
#include <string>
#include <utility>

#include "ado/provider.h"
#include "automation/error.h"
#include "demo/generator.h"
#include "importer/sql_literal.h"
#include "tsql/engine.h"

namespace orv::importer {
namespace {

namespace fs = std::filesystem;

// The demo database's fixed clock; a snapshot of it must report on the same "today".
constexpr char kClockTable[] = "t_OrvClock";

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string Bracketed(const std::string& name) {
  std::string out = "[";
  for (char c : name) {
    out += c;
    if (c == ']') out += ']';
  }
  return out + "]";
}

// Runs a batch on the target; the first error fails the import.
void RunOnTarget(tsql::Session& session, const std::string& batch, const std::string& what) {
  for (const tsql::StatementResult& result : session.ExecuteBatch(batch)) {
    if (result.kind == tsql::StatementResult::Kind::Error) {
      throw ImportError(what + ": Msg " + std::to_string(result.error.number) + ": " +
                        result.error.message);
    }
  }
}

// The columns of a table of the target, in order.
std::vector<std::string> TargetColumns(tsql::Session& session, const std::string& table) {
  for (const tsql::StatementResult& result :
       session.ExecuteBatch("SELECT * FROM " + Bracketed(table) + " WHERE 1 = 0")) {
    if (result.kind == tsql::StatementResult::Kind::Rows) {
      std::vector<std::string> names;
      for (const tsql::ResultColumn& column : result.columns) names.push_back(column.name);
      return names;
    }
  }
  throw ImportError("the schema's table " + table + " has no columns");
}

// Receives a table's rows from the source and writes them to the target in INSERT batches.
class TableWriter : public ado::RowSink {
 public:
  TableWriter(tsql::Session& session, const std::string& table,
              const std::vector<std::string>& columns, const ImportOptions& options)
      : session_(session), table_(table), options_(options) {
    head_ = "INSERT INTO " + Bracketed(table) + " (";
    for (size_t i = 0; i < columns.size(); ++i) head_ += (i ? ", " : "") + Bracketed(columns[i]);
    head_ += ") VALUES\n";
  }

  void Columns(const std::vector<ado::ColumnInfo>&) override {}

  void Row(std::vector<automation::Variant>& values) override {
    batch_ += pending_ == 0 ? head_ : std::string(",\n");
    batch_ += '(';
    for (size_t i = 0; i < values.size(); ++i) {
      if (i) batch_ += ", ";
      AppendSqlLiteral(batch_, values[i]);
    }
    batch_ += ')';
    if (++pending_ >= options_.batch_rows) Flush();
  }

  void Flush() {
    if (pending_ == 0) return;
    RunOnTarget(session_, batch_,
                table_ + ", rows " + std::to_string(rows_ + 1) + " to " +
                    std::to_string(rows_ + static_cast<int64_t>(pending_)));
    rows_ += static_cast<int64_t>(pending_);
    pending_ = 0;
    batch_.clear();
    if (options_.progress) options_.progress(table_, rows_);
  }

  int64_t rows() const { return rows_; }

 private:
  tsql::Session& session_;
  const std::string& table_;
  const ImportOptions& options_;
  std::string head_;
  std::string batch_;
  size_t pending_ = 0;
  int64_t rows_ = 0;
};

// Copies one table: its columns of the schema, read from the source by name.
int64_t CopyTable(ado::ProviderConnection& source, tsql::Session& target, const std::string& table,
                  const ImportOptions& options) {
  const std::vector<std::string> columns = TargetColumns(target, table);
  std::string select = "SELECT ";
  for (size_t i = 0; i < columns.size(); ++i) select += (i ? ", " : "") + Bracketed(columns[i]);
  select += " FROM " + Bracketed(table);
  TableWriter writer(target, table, columns, options);
  try {
    source.StreamRows(select, writer);
  } catch (const automation::AutomationError& e) {
    throw ImportError("reading " + table + " from the source: " + e.description());
  }
  writer.Flush();
  return writer.rows();
}

// The tables to copy: all of the schema's, or those asked for (spelt as the schema spells them).
std::vector<std::string> ChosenTables(const std::vector<std::string>& asked) {
  const std::vector<std::string> all = SchemaTables();
  if (asked.empty()) return all;
  std::vector<std::string> chosen;
  for (const std::string& name : all) {
    for (const std::string& wanted : asked) {
      if (Lower(wanted) == Lower(name)) {
        chosen.push_back(name);
        break;
      }
    }
  }
  for (const std::string& wanted : asked) {
    const bool known = std::any_of(all.begin(), all.end(),
                                   [&](const std::string& name) { return Lower(name) == Lower(wanted); });
    if (!known) {
      std::string list;
      for (const std::string& name : all) list += (list.empty() ? "" : ", ") + name;
      throw ImportError("'" + wanted + "' is not a table of the company schema (" + list + ")");
    }
  }
  return chosen;
}

// Copies the source's fixed clock when it has one; a source without it (any real company
// database) has nothing to copy.
void CopyClock(ado::ProviderConnection& source, tsql::Session& target) {
  std::vector<ado::ProviderResult> results =
      source.ExecuteBatch(std::string("SELECT FToday FROM ") + kClockTable);
  for (const ado::ProviderResult& result : results) {
    if (result.kind != ado::ProviderResult::Kind::Rows || result.rows.empty()) continue;
    std::string batch = std::string("CREATE TABLE ") + kClockTable + " (FToday datetime NOT NULL)\n" +
                        "INSERT INTO " + kClockTable + " (FToday) VALUES (";
    AppendSqlLiteral(batch, result.rows.front().front());
    batch += ")";
    RunOnTarget(target, batch, std::string("copying ") + kClockTable);
    return;
  }
}

// Removes the temporary file unless the import got as far as renaming it.
class PartFile {
 public:
  explicit PartFile(std::string path) : path_(std::move(path)) { Remove(); }
  ~PartFile() {
    if (!kept_) Remove();
  }
  const std::string& path() const { return path_; }
  void Keep() { kept_ = true; }

 private:
  void Remove() const {
    for (const char* suffix : {"", "-journal", "-wal", "-shm"}) std::remove((path_ + suffix).c_str());
  }
  std::string path_;
  bool kept_ = false;
};

}  // namespace

std::vector<std::string> SchemaTables() {
  static const std::regex kCreate(R"(CREATE\s+TABLE\s+\[?(\w+)\]?)", std::regex::icase);
  const std::string script(demo::SchemaScript());
  std::vector<std::string> tables;
  for (auto it = std::sregex_iterator(script.begin(), script.end(), kCreate);
       it != std::sregex_iterator(); ++it) {
    tables.push_back((*it)[1].str());
  }
  return tables;
}

std::vector<TableRows> ImportSnapshot(const ImportOptions& options) {
  const std::vector<std::string> tables = ChosenTables(options.tables);
  if (fs::is_directory(options.to)) {
    throw ImportError("'" + options.to + "' is a folder; give the data-source file to write");
  }
  {
    // The new file takes the name's place: a device or a pipe there would be destroyed.
    std::error_code ec;
    const fs::file_status st = fs::status(options.to, ec);
    if (fs::exists(st) && !fs::is_regular_file(st)) {
      throw ImportError("'" + options.to + "' is not a file; give the data-source file to write");
    }
  }

  tsql::Session target(tsql::OpenDatabase(":memory:"));
  for (const std::string& batch : tsql::SplitScriptOnGo(demo::SchemaScript())) {
    RunOnTarget(target, batch, "creating the company schema");
  }

  std::unique_ptr<ado::ProviderConnection> source;
  try {
    source = ado::OpenProvider(ado::ConnectionString(options.from));
  } catch (const automation::AutomationError& e) {
    throw ImportError(e.description());
  }

  std::vector<TableRows> summary;
  for (const std::string& table : tables) {
    if (options.progress) options.progress(table, 0);
    summary.push_back({table, CopyTable(*source, target, table, options)});
  }
  CopyClock(*source, target);
  source.reset();

  PartFile part(options.to + ".part-" + std::to_string(getpid()));
  try {
    tsql::SaveDatabaseAs(target.database(), part.path());
  } catch (const std::exception& e) {
    throw ImportError("cannot write '" + part.path() + "': " + e.what());
  }
  std::error_code ec;
  fs::rename(part.path(), options.to, ec);
  if (ec) throw ImportError("cannot write '" + options.to + "': " + ec.message());
  part.Keep();
  return summary;
}

}  // namespace orv::importer
