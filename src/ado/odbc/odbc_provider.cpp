// The SQL Server provider: a connection through unixODBC and the FreeTDS driver. Registered as
// "SQLOLEDB" and the other names report clients give SQL Server's providers, and as "ODBC" (a
// connection text with Driver= or DSN= and no Provider). Each connection is one ODBC
// connection; a batch is sent whole and its results come back in the order the server sends
// them: row sets, row counts, errors and informational messages. One difference the driver
// makes: when the batch's very first result is an error, FreeTDS hands over nothing after it
// (the server still runs the rest of the batch); Connection raises that error either way.
#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ado/ado_errors.h"
#include "ado/connection.h"
#include "ado/odbc/odbc_connection_text.h"
#include "ado/odbc/odbc_handles.h"
#include "ado/odbc/odbc_values.h"
#include "ado/provider.h"
#include "automation/error.h"

namespace orv::ado::odbc {
namespace {

ProviderError ToProviderError(const Diagnostic& d) {
  ProviderError error;
  error.native = d.native;
  // unixODBC answers SQL Server's own fields (severity, state, line) from its copy of the
  // records, which lacks them: then the SQLSTATE tells a message (PRINT: 0, else 10) from an
  // error (16), the state is 1 and the line unknown.
  error.severity = d.severity != 0   ? d.severity
                   : d.informational() ? (d.native == 0 ? 0 : 10)
                                       : 16;
  error.message = d.message;
  error.state = d.state != 0 ? d.state : 1;
  error.line = d.line;
  return error;
}

// Appends the diagnostics a call left on the statement as Error and Message results.
void AppendDiagnostics(SQLHSTMT statement, std::vector<ProviderResult>& results) {
  for (const Diagnostic& d : ReadDiagnostics(SQL_HANDLE_STMT, statement)) {
    ProviderResult result;
    result.error = ToProviderError(d);
    result.kind = result.error.severity <= 10 ? ProviderResult::Kind::Message
                                              : ProviderResult::Kind::Error;
    results.push_back(std::move(result));
  }
}

class OdbcConnection : public ProviderConnection {
 public:
  explicit OdbcConnection(const OdbcTarget& target)
      : connection_(SQL_HANDLE_DBC, Environment()) {
    SQLSetConnectAttr(connection_.get(), SQL_ATTR_LOGIN_TIMEOUT,
                      reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(target.login_timeout_seconds)),
                      0);
    std::string text = target.connection_text;
    const SQLRETURN rc =
        SQLDriverConnect(connection_.get(), nullptr, reinterpret_cast<SQLCHAR*>(text.data()),
                         static_cast<SQLSMALLINT>(text.size()), nullptr, 0, nullptr,
                         SQL_DRIVER_NOPROMPT);
    // The text held the password: it is not kept.
    std::fill(text.begin(), text.end(), '\0');
    if (!SQL_SUCCEEDED(rc)) {
      std::string reason;
      for (const Diagnostic& d : ReadDiagnostics(SQL_HANDLE_DBC, connection_.get())) {
        if (!reason.empty()) reason += "; ";
        reason += d.message;
        if (d.native != 0) reason += " (error " + std::to_string(d.native) + ")";
        else if (!d.sqlstate.empty()) reason += " (SQLSTATE " + d.sqlstate + ")";
      }
      if (reason.empty()) reason = "no reason given by the driver";
      automation::Raise(adoerr::kProviderError, kErrorSource,
                        "Cannot connect to SQL Server at " + target.Describe() + ": " + reason);
    }
    connected_ = true;
  }

  ~OdbcConnection() override {
    if (connected_) SQLDisconnect(connection_.get());
  }

  std::vector<ProviderResult> ExecuteBatch(std::string_view text) override {
    std::vector<ProviderResult> results;
    Run(text, results, [&](SQLHSTMT statement, const std::vector<OdbcColumn>& columns,
                           ProviderResult& rows, std::vector<ProviderResult>& trailing) {
      FetchAll(statement, columns, trailing, [&](std::vector<automation::Variant>& values) {
        rows.rows.push_back(std::move(values));
      });
    });
    return results;
  }

  void StreamRows(std::string_view text, RowSink& sink) override {
    std::vector<ProviderResult> results;
    bool streamed = false;
    Run(text, results, [&](SQLHSTMT statement, const std::vector<OdbcColumn>& columns,
                           ProviderResult& rows, std::vector<ProviderResult>& trailing) {
      if (streamed) return;  // only the first row set is wanted; later ones are skipped
      streamed = true;
      for (const ProviderResult& result : results) {
        if (result.kind == ProviderResult::Kind::Error) RaiseProviderError(result.error);
      }
      sink.Columns(rows.columns);
      FetchAll(statement, columns, trailing,
               [&](std::vector<automation::Variant>& values) { sink.Row(values); });
    });
    for (const ProviderResult& result : results) {
      if (result.kind == ProviderResult::Kind::Error) RaiseProviderError(result.error);
    }
  }

 private:
  // Sends the batch and walks its results in the server's order. `read_rows` reads a row set
  // (the statement positioned on it) into its result or elsewhere, and puts the errors and
  // messages met while reading into `trailing`, which follow the row set.
  template <class ReadRows>
  void Run(std::string_view text, std::vector<ProviderResult>& results, ReadRows read_rows) {
    Handle statement(SQL_HANDLE_STMT, connection_.get());
    SQLHSTMT s = statement.get();
    // The batch goes to the server as written: no ODBC escape processing of {...}.
    SQLSetStmtAttr(s, SQL_ATTR_NOSCAN, reinterpret_cast<SQLPOINTER>(SQL_NOSCAN_ON), 0);
    std::string batch(text);
    SQLRETURN rc = SQLExecDirect(s, reinterpret_cast<SQLCHAR*>(batch.data()),
                                 static_cast<SQLINTEGER>(batch.size()));
    for (;;) {
      // Messages may come with the end of the batch too.
      if (rc != SQL_SUCCESS) AppendDiagnostics(s, results);
      if (rc == SQL_NO_DATA || rc == SQL_INVALID_HANDLE || (rc == SQL_ERROR && Broken())) break;
      if (SQL_SUCCEEDED(rc)) {
        SQLSMALLINT count = 0;
        SQLNumResultCols(s, &count);
        if (count > 0) {
          ProviderResult rows;
          rows.kind = ProviderResult::Kind::Rows;
          const std::vector<OdbcColumn> columns = DescribeColumns(s, count);
          for (const OdbcColumn& column : columns) rows.columns.push_back(column.info);
          std::vector<ProviderResult> trailing;
          read_rows(s, columns, rows, trailing);
          results.push_back(std::move(rows));
          for (ProviderResult& result : trailing) results.push_back(std::move(result));
        } else {
          SQLLEN affected = -1;
          if (SQL_SUCCEEDED(SQLRowCount(s, &affected)) && affected >= 0) {
            ProviderResult counted;
            counted.kind = ProviderResult::Kind::RowCount;
            counted.count = affected;
            results.push_back(std::move(counted));
          }
        }
      }
      rc = SQLMoreResults(s);
    }
  }

  // Reads the rows of the current row set, handing each to `on_row`.
  template <class OnRow>
  void FetchAll(SQLHSTMT statement, const std::vector<OdbcColumn>& columns,
                std::vector<ProviderResult>& trailing, OnRow on_row) {
    std::vector<automation::Variant> values;
    for (;;) {
      const SQLRETURN rc = SQLFetch(statement);
      if (rc == SQL_NO_DATA) break;
      if (rc != SQL_SUCCESS) AppendDiagnostics(statement, trailing);
      if (!SQL_SUCCEEDED(rc)) break;
      values.clear();
      values.reserve(columns.size());
      for (size_t i = 0; i < columns.size(); ++i) {
        values.push_back(ReadValue(statement, static_cast<SQLUSMALLINT>(i), columns[i]));
      }
      on_row(values);
    }
  }

  // Whether the connection is gone (the server closed it, the network failed).
  bool Broken() const {
    SQLUINTEGER dead = SQL_CD_FALSE;
    SQLGetConnectAttr(connection_.get(), SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr);
    return dead == SQL_CD_TRUE;
  }

  Handle connection_;
  bool connected_ = false;
};

std::unique_ptr<ProviderConnection> OpenOdbc(const ConnectionString& properties) {
  const OdbcTarget target = MapConnectionText(properties, FreeTdsDriverName());
  return std::make_unique<OdbcConnection>(target);
}

[[maybe_unused]] const bool kRegistered = [] {
  for (const char* name : {"ODBC", "MSDASQL", "MSDASQL.1", "SQLOLEDB", "SQLOLEDB.1", "SQLNCLI",
                           "SQLNCLI10", "SQLNCLI11", "MSOLEDBSQL", "MSOLEDBSQL19"}) {
    RegisterProvider(name, OpenOdbc);
  }
  return true;
}();

}  // namespace
}  // namespace orv::ado::odbc
