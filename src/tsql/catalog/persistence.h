// Ties a Database to its SQLite data-source file: permanent tables load from the file the first
// time a statement names them, views load when the database opens, and at the end of each
// batch that changed permanent tables or views the changes are written in one transaction.
#pragma once

#include <memory>
#include <string>

#include "tsql/catalog/catalog.h"

namespace orv::tsql {

// Opens (or returns the already open) database of a data source: a file path for a SQLite
// data-source file (created on first write), or ":memory:" for a new private in-memory
// database. The same canonical path gives the same Database object while it is open.
// Raises SqlException with a clear message naming the file when it cannot be opened.
std::shared_ptr<Database> OpenDatabase(const std::string& path);

// Opens the file at `path` (creating it when missing) and attaches it to `db`. Raises
// SqlException naming the file when it cannot be used.
void AttachSqliteStore(Database& db, const std::string& path);

// Writes every permanent table and view of `db` into a new data-source file at `path`,
// replacing any file there. Used to save a database built in memory in one go.
void SaveDatabaseAs(Database& db, const std::string& path);

}  // namespace orv::tsql
