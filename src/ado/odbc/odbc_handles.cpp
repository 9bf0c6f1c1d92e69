#include "ado/odbc/odbc_handles.h"

#include <mutex>
#include <string_view>

#include "ado/ado_errors.h"
#include "ado/connection.h"
#include "automation/ascii.h"

namespace orv::ado::odbc {
namespace {

// SQL Server's fields of a diagnostic record (the values its drivers define).
constexpr SQLSMALLINT kDiagMessageState = -1150;
constexpr SQLSMALLINT kDiagSeverity = -1151;
constexpr SQLSMALLINT kDiagLine = -1154;

// "[FreeTDS][SQL Server]Invalid object name 'x'." -> "Invalid object name 'x'."
std::string WithoutPrefixes(std::string_view text) {
  while (!text.empty() && text.front() == '[') {
    const size_t close = text.find(']');
    if (close == std::string_view::npos) break;
    text.remove_prefix(close + 1);
  }
  return std::string(text);
}

int32_t IntegerField(SQLSMALLINT handle_type, SQLHANDLE handle, SQLSMALLINT record,
                     SQLSMALLINT field) {
  // Some drivers write 16 bits, some 32: a zeroed 32-bit field reads right either way.
  uint32_t value = 0;
  const SQLRETURN rc = SQLGetDiagField(handle_type, handle, record, field, &value, SQL_IS_INTEGER,
                                       nullptr);
  if (!SQL_SUCCEEDED(rc)) return 0;
  if (field == kDiagLine) value &= 0xFFFF;
  return static_cast<int32_t>(value);
}

}  // namespace

std::vector<Diagnostic> ReadDiagnostics(SQLSMALLINT handle_type, SQLHANDLE handle) {
  std::vector<Diagnostic> out;
  for (SQLSMALLINT record = 1;; ++record) {
    SQLCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    std::string text(1024, '\0');
    SQLRETURN rc = SQLGetDiagRec(handle_type, handle, record, state, &native,
                                 reinterpret_cast<SQLCHAR*>(text.data()),
                                 static_cast<SQLSMALLINT>(text.size()), &length);
    if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(text.size())) {
      text.assign(static_cast<size_t>(length) + 1, '\0');
      rc = SQLGetDiagRec(handle_type, handle, record, state, &native,
                         reinterpret_cast<SQLCHAR*>(text.data()),
                         static_cast<SQLSMALLINT>(text.size()), &length);
    }
    if (!SQL_SUCCEEDED(rc)) break;
    text.resize(std::min<size_t>(static_cast<size_t>(length), text.size()));
    Diagnostic diagnostic;
    diagnostic.sqlstate = reinterpret_cast<const char*>(state);
    diagnostic.native = native;
    diagnostic.message = WithoutPrefixes(text);
    diagnostic.raw = std::move(text);
    diagnostic.severity = IntegerField(handle_type, handle, record, kDiagSeverity);
    diagnostic.state = IntegerField(handle_type, handle, record, kDiagMessageState);
    diagnostic.line = IntegerField(handle_type, handle, record, kDiagLine);
    out.push_back(std::move(diagnostic));
  }
  return out;
}

SQLHENV Environment() {
  static std::once_flag once;
  static SQLHENV environment = SQL_NULL_HENV;
  std::call_once(once, [] {
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &environment))) {
      environment = SQL_NULL_HENV;
      return;
    }
    SQLSetEnvAttr(environment, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3),
                  0);
  });
  if (environment == SQL_NULL_HENV) {
    RaiseAdoError(adoerr::kProviderNotFound,
                  "The ODBC driver manager could not be started (is unixODBC installed?).");
  }
  return environment;
}

Handle::Handle(SQLSMALLINT type, SQLHANDLE parent) : type_(type) {
  if (!SQL_SUCCEEDED(SQLAllocHandle(type, parent, &handle_))) {
    handle_ = SQL_NULL_HANDLE;
    RaiseAdoError(adoerr::kNoConnection, "The ODBC driver manager refused a new handle.");
  }
}

Handle::~Handle() {
  if (handle_ != SQL_NULL_HANDLE) SQLFreeHandle(type_, handle_);
}

std::string FreeTdsDriverName() {
  static const std::string name = [] {
    SQLHENV environment = Environment();
    SQLCHAR description[256];
    SQLCHAR attributes[1024];
    SQLSMALLINT description_length = 0;
    SQLSMALLINT attributes_length = 0;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    while (SQL_SUCCEEDED(SQLDrivers(environment, direction, description, sizeof description,
                                    &description_length, attributes, sizeof attributes,
                                    &attributes_length))) {
      direction = SQL_FETCH_NEXT;
      if (automation::EqualsIgnoreCase(reinterpret_cast<const char*>(description), "FreeTDS")) {
        return std::string("FreeTDS");
      }
    }
    return std::string(ORV_FREETDS_DRIVER);
  }();
  return name;
}

}  // namespace orv::ado::odbc
