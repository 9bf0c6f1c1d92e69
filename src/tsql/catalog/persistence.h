// Ties a Database to its SQLite data-source file: permanent tables load from the file the first
// time a statement names them, views load when the database opens, and each commit writes the
// rows its transaction inserted, updated and deleted (and the tables and views it created and
// dropped) in one SQLite transaction. Before a statement the database follows what other
// processes committed: tables whose stored version changed are read again.
#pragma once

#include <memory>
#include <string>

#include "tsql/catalog/catalog.h"

namespace orv::tsql {

struct OpenOptions {
  // Whether a missing file may become a new data-source file: it is made by the first commit
  // that writes. Without it a missing file is an error. Opening never creates or changes a
  // file, and an existing one must be a data source (an empty, 0-byte file is not).
  bool create = false;
};

// Opens (or returns the already open) database of a data source: a file path for a SQLite
// data-source file, or ":memory:" for a new private in-memory database. The same canonical
// path gives the same Database object while it is open. Raises SqlException (5120) with a
// clear message naming the file when it cannot be used: missing (without create), empty, not
// a data-source file, or with a column type that is not valid.
std::shared_ptr<Database> OpenDatabase(const std::string& path, const OpenOptions& options = {});

// Reads every table of a data-source file once, so that each large one gets its column snapshot
// beside the file (storage/column_snapshot.h) and the first report on a file just written loads
// as fast as the next. Nothing when snapshots are turned off.
void MakeColumnSnapshots(const std::string& path);

// Writes every permanent table and view of `db` into a new data-source file at `path`,
// replacing any file there. Used to save a database built in memory in one go.
void SaveDatabaseAs(Database& db, const std::string& path);

}  // namespace orv::tsql
