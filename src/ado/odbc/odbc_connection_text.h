// The connection texts report clients use for SQL Server, read as one ODBC connection: the
// OLE DB form ("Provider=SQLOLEDB;Data Source=host[,port];Initial Catalog=db;User ID=u;
// Password=p"), the ODBC driver form ("Driver={FreeTDS};Server=h;Port=n;Database=db;UID=u;
// PWD=p") and a DSN ("DSN=name;UID=u;PWD=p"). Also what may be said of the target in a message:
// host, port, database and user, never the password.
#pragma once

#include <string>

#include "ado/provider.h"

namespace orv::ado::odbc {

struct OdbcTarget {
  std::string connection_text;  // for SQLDriverConnect; holds the password
  std::string host;             // "" for a DSN (the DSN's own file names it)
  std::string port;             // "" for a DSN or a named instance
  std::string dsn;
  std::string database;
  std::string user;
  int login_timeout_seconds = 15;

  // "host:port", "host\instance" or "DSN name", with the database and user when known:
  // "127.0.0.1:1433 (database demo, user alice)".
  std::string Describe() const;
};

// Maps `properties` to an ODBC connection. `freetds_driver` is what Driver= names for the
// FreeTDS driver here ("FreeTDS" when the driver manager lists it, else the library's path); it
// replaces the names of SQL Server's own drivers, which report clients on other systems write.
// Text is exchanged in UTF-8 and the TDS version is 7.4 unless the text asks for another.
// Raises an automation error for what cannot be mapped: no server, Windows authentication.
OdbcTarget MapConnectionText(const ConnectionString& properties, const std::string& freetds_driver);

// A value as ODBC connection texts write it: braced (with '}' doubled) when it holds ';', '{',
// '}' or '=' or begins or ends with a space.
std::string OdbcValue(const std::string& value);

}  // namespace orv::ado::odbc
