// Owning wrappers of ODBC handles (the process's environment, a connection, a statement) and
// the diagnostic records a call leaves on a handle, read with SQL Server's own fields (message
// state, severity, line).
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <string>
#include <vector>

namespace orv::ado::odbc {

// One diagnostic record.
struct Diagnostic {
  std::string sqlstate;  // "42S02", "01000", ...
  int32_t native = 0;    // the server's error number; 0 for the driver's own messages
  std::string message;   // the text without the driver's "[FreeTDS][SQL Server]" prefixes
  std::string raw;       // the text as the driver gave it
  int32_t severity = 0;  // the server's severity; 0 when the driver gave none
  int32_t state = 0;     // the server's message state; 0 when the driver gave none
  int32_t line = 0;
  bool informational() const { return sqlstate.starts_with("01"); }
};

// Every diagnostic record on a handle, in order.
std::vector<Diagnostic> ReadDiagnostics(SQLSMALLINT handle_type, SQLHANDLE handle);

// The process's ODBC 3 environment, made on first use.
SQLHENV Environment();

class Handle {
 public:
  Handle(SQLSMALLINT type, SQLHANDLE parent);  // raises an automation error when refused
  ~Handle();
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  SQLHANDLE get() const { return handle_; }
  SQLSMALLINT type() const { return type_; }

 private:
  SQLSMALLINT type_;
  SQLHANDLE handle_ = SQL_NULL_HANDLE;
};

// What Driver= names for FreeTDS: "FreeTDS" when the driver manager lists a driver of that
// name, else the driver library's path.
std::string FreeTdsDriverName();

}  // namespace orv::ado::odbc
