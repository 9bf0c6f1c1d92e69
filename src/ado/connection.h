// ADO-like data access: Connection (runs batches), Recordset (client-side, static rows) and
// Field. Execute returns the batch's first result: a rowset opens the recordset, a row count
// gives a closed recordset; an error before the first result is raised, errors after it stay
// with the remaining results and surface through NextRecordset.
#pragma once

#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ado/provider.h"
#include "automation/error.h"
#include "automation/object.h"
#include "automation/variant.h"

// Recordset::EOF() keeps the name that callers of the object model know. The C library's EOF
// macro would turn every use of it into "(-1)()", so it is removed here, after <cstdio> has
// defined it (the include guard keeps later includes from defining it again). Code that needs
// the end-of-file value uses std::char_traits<char>::eof().
#undef EOF

namespace orv::ado {

// ADO constant values.
inline constexpr int adUseServer = 2;
inline constexpr int adUseClient = 3;
inline constexpr int adOpenForwardOnly = 0;
inline constexpr int adOpenStatic = 3;
inline constexpr int adLockReadOnly = 1;
inline constexpr int adStateClosed = 0;
inline constexpr int adStateOpen = 1;
inline constexpr int32_t adExecuteNoRecords = 0x80;  // Execute option: return no recordset

// ADO error numbers raised by this layer.
namespace adoerr {
inline constexpr int32_t kItemNotFound = 3265;     // field name not in the collection
inline constexpr int32_t kNoCurrentRecord = 3021;  // EOF or BOF is true
inline constexpr int32_t kObjectClosed = 3704;     // operation not allowed on a closed object
inline constexpr int32_t kNoConnection = 3709;     // no open connection
inline constexpr int32_t kProviderError = -2147217900;  // the data source rejected a command
inline constexpr int32_t kInvalidArgument = 3001;  // bad argument (e.g. a malformed connection string)
inline constexpr int32_t kObjectOpen = 3705;       // operation not allowed on an open object
inline constexpr int32_t kProviderNotFound = 3706; // no provider registered under that name
}  // namespace adoerr

class Recordset;

class Field {
 public:
  Field(ColumnInfo info, const automation::Variant* value) : info_(std::move(info)), value_(value) {}
  const std::string& Name() const { return info_.name; }
  const std::string& SqlType() const { return info_.sql_type; }
  const automation::Variant& Value() const;  // error 3021 at EOF/BOF

 private:
  friend class Recordset;
  ColumnInfo info_;
  const automation::Variant* value_;
};

class Connection : public automation::Object {
 public:
  // Opens a data source from its connection string (provider chosen by "Provider").
  static std::shared_ptr<Connection> Open(std::string_view connection_string);
  Connection(ConnectionString properties, std::unique_ptr<ProviderConnection> provider);

  // Runs a batch; see the header comment. A raised provider error has number kProviderError,
  // the server's message as description, and the native number in LastErrors().
  std::shared_ptr<Recordset> Execute(std::string_view text, int64_t* records_affected = nullptr,
                                     int32_t options = -1);

  const ConnectionString& Properties() const { return properties_; }
  const std::vector<ProviderError>& LastErrors() const { return last_errors_; }
  bool IsOpen() const { return provider_ != nullptr; }
  void Close();

 private:
  friend class Recordset;
  // Runs a batch and applies the first-result rule: errors before the first rowset or row
  // count are recorded in LastErrors() and the first of them is raised. Returns that first
  // result followed by everything after it (empty when the batch produced neither).
  std::deque<ProviderResult> RunBatch(std::string_view text);

  ConnectionString properties_;
  std::unique_ptr<ProviderConnection> provider_;
  std::vector<ProviderError> last_errors_;
};

class Recordset : public automation::Object {
 public:
  Recordset() = default;
  // Fields point into this object's rows, so a recordset is not copied.
  Recordset(const Recordset&) = delete;
  Recordset& operator=(const Recordset&) = delete;

  void SetActiveConnection(std::shared_ptr<Connection> connection);  // nullptr detaches
  const std::shared_ptr<Connection>& ActiveConnection() const { return connection_; }
  void SetCursorLocation(int location) { cursor_location_ = location; }
  int CursorLocation() const { return cursor_location_; }
  void SetCursorType(int type) { cursor_type_ = type; }
  int CursorType() const { return cursor_type_; }
  void SetLockType(int type) { lock_type_ = type; }
  int LockType() const { return lock_type_; }

  // Runs source on the active connection (3709 without one) and opens on its first rowset.
  void Open(std::string_view source);
  int State() const { return open_ ? adStateOpen : adStateClosed; }
  bool EOF() const;
  bool BOF() const;
  int32_t RecordCount() const;  // -1 when closed
  size_t FieldCount() const;
  const Field& Fields(size_t index) const;
  const Field& Fields(std::string_view name) const;  // case-insensitive; 3265 when absent
  void MoveNext();
  void MoveFirst();
  void Close();
  // Hands the rows from the current one to the end over to the caller without copying them
  // (a reader that goes through them once, such as a printer); they leave the recordset, which
  // is then at EOF.
  std::vector<std::vector<automation::Variant>> TakeRemainingRows();
  // The same for a reader that can convert rows itself as it goes: the rows leave as the
  // provider's row source, unconverted. Null (and nothing taken) when the provider delivered
  // the rows converted already or the cursor has moved.
  std::shared_ptr<const RowSource> TakeRowSource();
  // The next result of the same batch: an open recordset for a rowset, a closed one for a row
  // count, nullptr when no results remain. A pending error result is raised here.
  std::shared_ptr<Recordset> NextRecordset();

  // Built by Connection: `results` holds the batch's results after this one.
  static std::shared_ptr<Recordset> FromResult(ProviderResult result,
                                               std::deque<ProviderResult> rest);

 private:
  void RequireOpen() const;
  void BindFields();
  // Takes over one result (a rowset opens the recordset, anything else leaves it closed) and
  // the results that follow it in the batch.
  void Load(ProviderResult result, std::deque<ProviderResult> rest);

  std::shared_ptr<Connection> connection_;
  int cursor_location_ = adUseServer;
  int cursor_type_ = adOpenForwardOnly;
  int lock_type_ = adLockReadOnly;
  bool open_ = false;
  std::vector<ColumnInfo> columns_;
  // The rows: converted in rows_, or in source_ (then converted one at a time into current_).
  std::vector<std::vector<automation::Variant>> rows_;
  std::shared_ptr<const RowSource> source_;
  std::vector<automation::Variant> current_;
  size_t RowTotal() const { return source_ ? source_->size() : rows_.size(); }
  int64_t position_ = 0;  // 0..RowTotal(); == RowTotal() is EOF
  std::vector<Field> fields_;
  std::deque<ProviderResult> rest_;
  bool closed_by_caller_ = false;  // Close() was called: NextRecordset raises 3704
};

// Raises the AutomationError for a provider error (number kProviderError).
[[noreturn]] void RaiseProviderError(const ProviderError& error);

}  // namespace orv::ado
