// Persistence of a database in a SQLite data-source file: every table is stored with its
// declared T-SQL column types (in the catalog tables orv_tables / orv_columns) and its rows in
// a SQLite table of the same name, values kept exactly (decimals as text, datetimes as ticks);
// views are stored as their defining text. A row's SQLite rowid is its identity: changes are
// written row by row (insert, update and delete by rowid), never by rewriting a table.
//
// Every table carries a version, the commit sequence number of the last commit that changed
// it, so that a process can tell which of the tables it holds in memory another process has
// changed since (PRAGMA data_version says whether any did).
//
// Writes happen between BeginWrite and Commit: SQLite's write lock is held from BeginWrite, so
// one process at a time writes the file, and a commit is atomic and durable (write-ahead log).
//
// Folder tsql/storage: the data-source file (this store), the column snapshots of its large
// tables (column_snapshot.h) and the process's heap policy. It uses
// only tsql/types; the catalog calls it, never the other way round.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tsql/storage/stored_values.h"
#include "tsql/types/types.h"
#include "tsql/types/value.h"

struct sqlite3;

namespace orv::tsql {

class ColumnSnapshots;
struct FileStamp;
struct SnapshotKey;

struct StoredColumn {
  std::string name;
  SqlType type;
  bool nullable = true;
  std::string default_sql;  // the DEFAULT expression as T-SQL text, "" when none
  bool identity = false;
  int64_t identity_seed = 1;
  int64_t identity_increment = 1;
  std::string computed_sql;  // a computed column's expression as T-SQL text, "" for others
  std::string default_name;  // the DEFAULT constraint's name ("" when none is stored)
};

// A PRIMARY KEY or UNIQUE constraint, or a unique index: its name and the positions of its
// columns.
struct StoredKey {
  std::string name;
  bool primary = false;
  std::vector<int> columns;
  bool index = false;
  bool unique = true;       // false: an index that is not unique
  std::string filter_sql;   // a filtered index's condition ("" for none)
};

// A CHECK constraint: its name, the column it was written on ("" for none) and its condition's
// T-SQL text.
struct StoredCheck {
  std::string name;
  std::string column;
  std::string condition;
  bool disabled = false;
  bool not_trusted = false;
};

class SnapshotColumns;

struct StoredTable {
  std::string name;
  std::vector<StoredColumn> columns;
  std::vector<StoredKey> keys;
  std::vector<StoredCheck> checks;
  std::vector<std::vector<Value>> rows;
  // Set in place of `rows` when they were asked for on demand and come from a column snapshot
  // (column_snapshot.h): each row is made from it when read.
  std::shared_ptr<const SnapshotColumns> snapshot;
  std::vector<int64_t> row_ids;  // the rowid of each row, ascending
  int64_t identity_next = 1;     // next identity value, when a column has IDENTITY
  int64_t version = 0;
};

struct StoredView {
  std::string name;
  std::string definition;  // the CREATE VIEW statement text
};

struct TableVersion {
  std::string name;
  int64_t version = 0;
};

// A row to write: its rowid and its values (not copied).
using StoredRow = std::pair<int64_t, const std::vector<Value>*>;

class SqliteStore {
 public:
  enum class Mode {
    kExisting,  // the file must exist and be a data-source file
    kCreate,    // a missing file is made a new, empty data-source file
  };

  // Opens the file. Raises SqlException (5120) with a message naming the file when the folder
  // or the file is missing (kExisting), the file is empty (0 bytes) or not a data-source file,
  // a column has a type that is not valid, or it is locked. Opening never changes an existing
  // file.
  static std::unique_ptr<SqliteStore> Open(const std::string& path, Mode mode);
  ~SqliteStore();
  SqliteStore(const SqliteStore&) = delete;
  SqliteStore& operator=(const SqliteStore&) = delete;

  const std::string& path() const { return path_; }

  // Changes whenever another connection (another process) commits to the file.
  int64_t DataVersion();

  // ---- reads: in one read transaction each, or in the open write transaction -------------
  std::vector<std::string> TableNames();
  std::vector<TableVersion> TableVersions();
  std::vector<StoredView> LoadViews();
  // One table by case-insensitive name; nullopt when the file has no such table. Every value
  // is checked against its column's type: one that does not fit raises SqlException naming
  // file, table, column and rowid, with the conversion's error number. A large table comes from
  // its column snapshot (column_snapshot.h) when that is of the state read, and a large table
  // read from SQLite outside a write gets one. With `rows_on_demand`, a table that comes from
  // its snapshot comes without rows: StoredTable::snapshot makes them when they are read.
  std::optional<StoredTable> LoadTable(const std::string& name, bool rows_on_demand = false);
  std::vector<StoredTable> LoadTables();
  // A table's name as created, columns, identity and version, without its rows; nullopt when
  // the file has no such table.
  std::optional<StoredTable> DescribeTable(const std::string& name);
  // Whether loads write column snapshots (not when ORVDATA_COLUMN_SNAPSHOTS=off).
  bool MakesSnapshots() const;
  // The file's stamp now (column_snapshot.h's StampFile, through this connection).
  std::optional<FileStamp> Stamp();

  // ---- writes --------------------------------------------------------------------------------
  // Takes SQLite's write lock (BEGIN IMMEDIATE); false when another connection holds it.
  bool TryBeginWrite();
  bool InWrite() const { return in_write_; }
  // The commit sequence number of this write (the versions of the tables it changes); taken
  // on first use in a write transaction.
  int64_t WriteVersion();
  void CreateTable(const std::string& name, const std::vector<StoredColumn>& columns,
                   const std::vector<StoredKey>& keys = {}, const std::vector<StoredCheck>& checks = {});
  // A stored table's definition (its columns' names and types stay; their defaults, its keys,
  // indexes and checks change), its rows left as they are.
  void RedefineTable(const std::string& name, const std::vector<StoredColumn>& columns,
                     const std::vector<StoredKey>& keys, const std::vector<StoredCheck>& checks);
  void DropTable(const std::string& name);
  void SetTableInfo(const std::string& name, int64_t identity_next, int64_t version);
  void DeleteAllRows(const std::string& name);
  void DeleteRows(const std::string& name, const std::vector<int64_t>& row_ids);
  void InsertRows(const std::string& name, const std::vector<SqlType>& types, const std::vector<StoredRow>& rows);
  void UpdateRows(const std::string& name, const std::vector<SqlType>& types, const std::vector<StoredRow>& rows);
  void PutView(const StoredView& view);
  void DeleteView(const std::string& name);
  void Commit();
  void Rollback();

 private:
  SqliteStore(std::string path, sqlite3* db);
  void Exec(const std::string& sql);
  // Checks every column type and notes whether tables have versions (ReadCatalog: inside a
  // read or write transaction).
  void CheckCatalog();
  void ReadCatalog();
  // Notes which of the catalog tables and columns later versions added the file has.
  void FindCatalogParts();
  void CreateCatalog();
  void UpgradeCatalog();
  // Runs fn in a read transaction unless a write transaction is open.
  template <class Fn>
  auto Read(Fn&& fn);
  // Rows of a table with rowids in [low, high], read and checked through `select`.
  struct RowRange {
    std::vector<std::vector<Value>> rows;
    std::vector<int64_t> ids;
    int64_t version = 0;
    std::exception_ptr error;
  };
  void ReadRows(sqlite3* db, const std::string& select, int64_t low, int64_t high, const StoredTable& t,
                const std::vector<StoredValueReader>& readers, RowRange& out);
  // The second connection, for reading half of a large table at the same time.
  bool OpenSecondReader();
  void ReadSecondHalf(const std::string& name, const std::string& select, int64_t low, int64_t high,
                      const std::vector<StoredValueReader>& readers, RowRange& out);

  // Reads the catalog rows of a table into t (name, identity, version, columns) on connection
  // `db`; false when the file has no such table.
  // The catalog rows of a table's definition (not its orv_tables row), written and deleted.
  void WriteDefinition(const std::string& name, const std::vector<StoredColumn>& columns,
                       const std::vector<StoredKey>& keys, const std::vector<StoredCheck>& checks);
  void DeleteDefinition(const std::string& name);
  bool ReadDefinition(sqlite3* db, const std::string& name, StoredTable& t);
  // The table read from SQLite, or from its column snapshot when `snapshot_stamp` is given and
  // the snapshot has the state the read transaction sees; `from_snapshot` says which, and `key`
  // gets the state read (for a snapshot to be written of it).
  std::optional<StoredTable> LoadTableOnce(const std::string& name, const FileStamp* snapshot_stamp,
                                           bool& from_snapshot, SnapshotKey& key, bool rows_on_demand = false);

  std::string path_;
  sqlite3* db_;
  // Null when snapshots are turned off (ORVDATA_COLUMN_SNAPSHOTS=off).
  std::unique_ptr<ColumnSnapshots> snapshots_;
  sqlite3* second_ = nullptr;
  bool in_write_ = false;
  bool upgraded_in_write_ = false;  // the open write added to the catalog (UpgradeCatalog)
  bool has_versions_ = false;  // orv_tables has the version column (older files lack it)
  bool has_keys_ = false;      // orv_keys is there (older files lack it)
  bool has_checks_ = false;    // orv_checks is there (older files lack it)
  bool has_computed_ = false;  // orv_computed is there (older files lack it)
  bool has_indexes_ = false;   // orv_indexes is there (older files lack it)
  bool has_defaults_ = false;  // orv_defaults is there (older files lack it)
  bool has_check_state_ = false;  // orv_checks has its state column (older files lack it)
  int64_t write_version_ = 0;
};

// "decimal(23,10)" -> SqlType and back (SqlType::ToString gives the text form). Refuses
// unknown names and parameters outside SQL Server's limits: precision 1-38, scale up to the
// precision, char/varchar lengths 1-8000 and nchar/nvarchar 1-4000 (or max).
std::optional<SqlType> ParseTypeText(const std::string& text);

}  // namespace orv::tsql
