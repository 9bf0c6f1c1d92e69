// The provider interface behind Connection: a provider runs one whole batch and hands back the
// results of its statements in order (row sets, row counts, errors, informational messages).
// Providers are chosen by the "Provider" key of the connection string: "Embedded" (default,
// our T-SQL engine), the SQL Server provider ("SQLOLEDB" and its other names, also chosen by a
// "Driver" or "DSN" key without "Provider") and "Scripted" (tests: records texts, answers with
// prepared results).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "automation/variant.h"

namespace orv::ado {

// Parsed "key=value;key=value" text. Keys compare without regard to case; a value may be
// enclosed in braces ({a;b}}c} -> a;b}c). The original text is kept.
class ConnectionString {
 public:
  ConnectionString() = default;
  explicit ConnectionString(std::string_view text);
  const std::string& text() const { return text_; }
  std::string Get(std::string_view key, std::string_view default_value = {}) const;
  bool Has(std::string_view key) const;
  // The pairs in the order first given, each key with its last value.
  const std::vector<std::pair<std::string, std::string>>& Pairs() const { return pairs_; }

 private:
  std::string text_;
  std::vector<std::pair<std::string, std::string>> pairs_;
};

struct ColumnInfo {
  std::string name;
  std::string sql_type;  // declared type as text, e.g. "decimal(23,10)", "varchar(255)", "int"
};

// One error or message from the data source.
struct ProviderError {
  int32_t native = 0;    // the server's error number (e.g. 208, 515)
  int32_t severity = 16; // >= 11 is an error, <= 10 informational
  std::string message;   // the server's text, e.g. "Invalid object name 'x'."
  int32_t state = 1;     // the server's error state
  int32_t line = 0;      // line of the batch (or procedure) the error is reported at; 0 unknown
};

// Rows that a provider turns into Variants as they are read instead of all at once (a large
// row set would otherwise be held twice: as the data source has it and as Variants). Rows
// stay readable for as long as the source is held; Fetch may be called from several threads.
class RowSource {
 public:
  virtual ~RowSource() = default;
  virtual size_t size() const = 0;
  // Replaces `out` with row `index` (index < size()), one Variant per column.
  virtual void Fetch(size_t index, std::vector<automation::Variant>& out) const = 0;
  // Replaces `out` with the given columns of row `index`, in the order given: a reader that
  // needs a few columns of a wide result converts only those.
  virtual void FetchColumns(size_t index, const std::vector<size_t>& columns,
                            std::vector<automation::Variant>& out) const {
    std::vector<automation::Variant> row;
    Fetch(index, row);
    out.clear();
    for (size_t column : columns) out.push_back(row[column]);
  }
};

// The outcome of one statement of a batch, in stream order.
struct ProviderResult {
  enum class Kind { Rows, RowCount, Error, Message };
  Kind kind = Kind::RowCount;
  std::vector<ColumnInfo> columns;                       // Rows
  std::vector<std::vector<automation::Variant>> rows;    // Rows, unless in `source`
  std::shared_ptr<const RowSource> source;               // Rows read on demand (rows empty)
  int64_t count = 0;                                     // RowCount
  ProviderError error;                                   // Error / Message
};

// Receives the rows of a result one at a time (see ProviderConnection::StreamRows).
class RowSink {
 public:
  virtual ~RowSink() = default;
  virtual void Columns(const std::vector<ColumnInfo>& columns) = 0;
  // `values` may be moved from.
  virtual void Row(std::vector<automation::Variant>& values) = 0;
};

class ProviderConnection {
 public:
  virtual ~ProviderConnection() = default;
  // Runs the whole batch. A batch rejected before anything ran (syntax error) is returned as a
  // single Error result.
  virtual std::vector<ProviderResult> ExecuteBatch(std::string_view text) = 0;
  // Runs a batch and hands the columns and rows of its first row set to `sink` as they are read,
  // so that a table larger than memory can be copied; the first error of the batch is raised as
  // a provider error. This default reads the whole batch first; a provider that can read
  // row by row does so.
  virtual void StreamRows(std::string_view text, RowSink& sink);
  // Asks the batch running on another thread to stop soon (ado/run_control.h). Providers
  // that cannot stop a batch ignore it.
  virtual void Cancel() {}
};

using ProviderFactory =
    std::function<std::unique_ptr<ProviderConnection>(const ConnectionString& properties)>;

// Registers a provider under a name (case-insensitive). The embedded provider registers itself
// as "Embedded" from a static initializer of the orv_ado_embedded object library, so every
// program that links that library has it. A missing "Provider" key means "Embedded", unless the
// text names an ODBC driver or DSN ("Driver=", "DSN="): then it means "ODBC". An unknown
// provider raises an automation error naming it.
void RegisterProvider(std::string_view name, ProviderFactory factory);
// The name of the provider a connection text asks for, by the rule above ("Embedded", "ODBC",
// or the "Provider" value as written).
std::string ProviderName(const ConnectionString& properties);
std::unique_ptr<ProviderConnection> OpenProvider(const ConnectionString& properties);

}  // namespace orv::ado
