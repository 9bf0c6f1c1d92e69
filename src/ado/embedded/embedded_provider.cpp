// The "Embedded" provider: runs batches on our T-SQL engine. "Data Source" names a data-source
// file or ":memory:" (the default); "Create" = yes lets a file that does not exist yet be made
// by the first batch that writes (otherwise a missing file is an error); "Memory Limit" = n
// lets one statement take n megabytes at most (as SET MEMORY_LIMIT_MB n); "Clock" =
// "yyyy-mm-dd[ hh:mi:ss]" fixes GETDATE(); "Mode" = "Read" (ADO's read-only connection mode)
// gives a session that cannot change permanent tables or definitions (temporary tables work as
// usual). Each connection has its own engine session (temporary tables, SET options,
// transaction).
#include <cctype>
#include <cstdlib>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "ado/ado_errors.h"
#include "ado/connection.h"
#include "ado/embedded/variant_from_value.h"
#include "ado/provider.h"
#include "automation/ascii.h"
#include "automation/error.h"
#include "tsql/engine.h"

namespace orv::ado::embedded {
namespace {

ProviderError ToProviderError(const tsql::SqlError& error) {
  return ProviderError{error.number, error.severity, error.message, error.state, error.line};
}

ProviderResult ErrorResult(ProviderError error) {
  ProviderResult result;
  result.kind = ProviderResult::Kind::Error;
  result.error = std::move(error);
  return result;
}

// A row set whose rows the engine shares with a table: each row is converted when it is read.
class SharedEngineRows : public RowSource {
 public:
  explicit SharedEngineRows(tsql::StatementResult&& statement)
      : rows_(std::move(statement.shared_rows)),
        order_(std::move(statement.shared_order)),
        columns_(std::move(statement.shared_columns)) {
    types_.reserve(statement.columns.size());
    for (const tsql::ResultColumn& column : statement.columns) types_.push_back(column.type);
  }

  size_t size() const override { return order_.size(); }

  void Fetch(size_t index, std::vector<automation::Variant>& out) const override {
    const std::vector<tsql::Value>& row = Row(index);
    out.clear();
    out.reserve(columns_.size());
    for (size_t i = 0; i < columns_.size(); ++i) {
      out.push_back(VariantFromValue(row[columns_[i]], types_[i]));
    }
  }

  void FetchColumns(size_t index, const std::vector<size_t>& columns,
                    std::vector<automation::Variant>& out) const override {
    const std::vector<tsql::Value>& row = Row(index);
    out.clear();
    out.reserve(columns.size());
    for (size_t i : columns) out.push_back(VariantFromValue(row[columns_[i]], types_[i]));
  }

 private:
  // Rows are read in the order of the result, which is not their order in memory: a reader
  // going through them one after another has the next rows requested ahead (the row's place
  // eight ahead, its values four ahead).
  const std::vector<tsql::Value>& Row(size_t index) const {
    if (index + kAhead < order_.size()) __builtin_prefetch(&(*rows_)[order_[index + kAhead]]);
    if (index + kAhead / 2 < order_.size()) {
      const std::vector<tsql::Value>& next = (*rows_)[order_[index + kAhead / 2]];
      const char* begin = reinterpret_cast<const char*>(next.data());
      const char* end = reinterpret_cast<const char*>(next.data() + next.size());
      for (const char* line = begin; line < end; line += 64) __builtin_prefetch(line);
    }
    return (*rows_)[order_[index]];
  }

  static constexpr size_t kAhead = 8;
  std::shared_ptr<const std::vector<std::vector<tsql::Value>>> rows_;
  std::vector<uint32_t> order_;
  std::vector<uint32_t> columns_;
  std::vector<tsql::SqlType> types_;
};

ProviderResult ToProviderResult(tsql::StatementResult&& statement) {
  ProviderResult result;
  switch (statement.kind) {
    case tsql::StatementResult::Kind::Rows: {
      result.kind = ProviderResult::Kind::Rows;
      result.columns.reserve(statement.columns.size());
      for (const tsql::ResultColumn& column : statement.columns) {
        result.columns.push_back(ColumnInfo{column.name, column.type.ToString()});
      }
      if (statement.shared_rows) {
        result.source = std::make_shared<SharedEngineRows>(std::move(statement));
        break;
      }
      // Each engine row is freed as soon as it is converted, so a large result is held about
      // once rather than twice (the memory it gives back is reused by the next rows).
      result.rows.reserve(statement.rows.size());
      for (auto& row : statement.rows) {
        std::vector<automation::Variant> values;
        values.reserve(row.size());
        for (size_t i = 0; i < row.size(); ++i) {
          const tsql::SqlType type =
              i < statement.columns.size() ? statement.columns[i].type : tsql::SqlType::Null();
          values.push_back(VariantFromValue(row[i], type));
        }
        result.rows.push_back(std::move(values));
        std::vector<tsql::Value>().swap(row);
      }
      decltype(statement.rows)().swap(statement.rows);
      break;
    }
    case tsql::StatementResult::Kind::RowCount:
      result.kind = ProviderResult::Kind::RowCount;
      result.count = statement.count;
      break;
    case tsql::StatementResult::Kind::Error:
      result.kind = ProviderResult::Kind::Error;
      result.error = ToProviderError(statement.error);
      break;
    case tsql::StatementResult::Kind::Message:
      result.kind = ProviderResult::Kind::Message;
      result.error = ToProviderError(statement.error);
      break;
  }
  return result;
}

class EmbeddedConnection : public ProviderConnection {
 public:
  explicit EmbeddedConnection(std::shared_ptr<tsql::Database> database)
      : session_(std::move(database)) {
    session_.SetShareResultRows(true);
  }

  void SetClock(int64_t ticks) { session_.SetClock(ticks); }
  void SetMemoryLimit(int64_t megabytes) { session_.SetMemoryLimitMegabytes(megabytes); }
  void SetReadOnly() { session_.SetReadOnly(true); }

  void Cancel() override { session_.Cancel(); }

  std::vector<ProviderResult> ExecuteBatch(std::string_view text) override {
    std::vector<tsql::StatementResult> statements;
    try {
      statements = session_.ExecuteBatch(text);
    } catch (const tsql::SqlException& e) {
      // The engine reports statement errors as results; an exception means the batch as a
      // whole failed (e.g. the data-source file could not be written).
      return {ErrorResult(ToProviderError(e.error()))};
    } catch (const std::exception& e) {
      return {ErrorResult(ProviderError{0, 16, e.what()})};
    }
    std::vector<ProviderResult> results;
    results.reserve(statements.size());
    for (auto& statement : statements) results.push_back(ToProviderResult(std::move(statement)));
    return results;
  }

 private:
  tsql::Session session_;
};

// "yes", "true", "1" (any letter case) switch a connection option on.
bool IsOn(const std::string& text) {
  std::string lower;
  for (char c : text) lower.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  return lower == "yes" || lower == "true" || lower == "1";
}

std::unique_ptr<ProviderConnection> OpenEmbedded(const ConnectionString& properties) {
  std::string source = properties.Get("Data Source");
  if (source.empty()) source = ":memory:";

  std::optional<int64_t> clock;
  const std::string clock_text = properties.Get("Clock");
  if (!clock_text.empty()) {
    clock = TicksFromClockText(clock_text);
    if (!clock) {
      RaiseAdoError(adoerr::kInvalidArgument, "Invalid Clock '" + clock_text +
                                                  "' in the connection string; expected "
                                                  "yyyy-mm-dd or yyyy-mm-dd hh:mi:ss.");
    }
  }

  std::optional<int64_t> memory_limit;
  const std::string memory_text = properties.Get("Memory Limit");
  if (!memory_text.empty()) {
    char* end = nullptr;
    const long long megabytes = std::strtoll(memory_text.c_str(), &end, 10);
    if (end == memory_text.c_str() || *end != '\0' || megabytes < 0) {
      RaiseAdoError(adoerr::kInvalidArgument, "Invalid Memory Limit '" + memory_text +
                                                  "' in the connection string; expected a number "
                                                  "of megabytes.");
    }
    memory_limit = megabytes;
  }

  std::shared_ptr<tsql::Database> database;
  try {
    tsql::OpenOptions options;
    options.create = IsOn(properties.Get("Create"));
    database = tsql::OpenDatabase(source, options);
  } catch (const tsql::SqlException& e) {
    automation::Raise(adoerr::kProviderError, kErrorSource, e.what());
  }
  using automation::EqualsIgnoreCase;
  const std::string mode = properties.Get("Mode");
  if (!mode.empty() && !EqualsIgnoreCase(mode, "Read") && !EqualsIgnoreCase(mode, "ReadWrite")) {
    RaiseAdoError(adoerr::kInvalidArgument,
                  "Invalid Mode '" + mode + "' in the connection string; expected Read or ReadWrite.");
  }
  auto connection = std::make_unique<EmbeddedConnection>(std::move(database));
  if (clock) connection->SetClock(*clock);
  if (memory_limit) connection->SetMemoryLimit(*memory_limit);
  if (EqualsIgnoreCase(mode, "Read")) connection->SetReadOnly();
  return connection;
}

// Registered when the program starts: this folder is linked as object files, so the
// registration is in every program that links it.
[[maybe_unused]] const bool kRegistered = [] {
  RegisterProvider("Embedded", OpenEmbedded);
  return true;
}();

}  // namespace
}  // namespace orv::ado::embedded
