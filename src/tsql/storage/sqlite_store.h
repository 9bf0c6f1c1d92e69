// Persistence of a database in a SQLite data-source file: every table is stored with its
// declared T-SQL column types (in the catalog tables orv_tables / orv_columns) and its rows in
// a SQLite table of the same name, values kept exactly (decimals as text, datetimes as ticks);
// views are stored as their defining text. Changes are written in one SQLite transaction per
// call, so a failed save leaves the file as it was.
//
// Folder tsql/storage: the data-source file (this store) and the process's heap policy. It uses
// only tsql/types; the catalog calls it, never the other way round.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tsql/types/types.h"
#include "tsql/types/value.h"

struct sqlite3;

namespace orv::tsql {

struct StoredColumn {
  std::string name;
  SqlType type;
  bool nullable = true;
  std::string default_sql;  // the DEFAULT expression as T-SQL text, "" when none
  bool identity = false;
  int64_t identity_seed = 1;
  int64_t identity_increment = 1;
};

struct StoredTable {
  std::string name;
  std::vector<StoredColumn> columns;
  std::vector<std::vector<Value>> rows;
  int64_t identity_next = 1;  // next identity value, when a column has IDENTITY
};

struct StoredView {
  std::string name;
  std::string definition;  // the CREATE VIEW statement text
};

// What one save writes for a table: its schema (always), and either all its rows or only the
// rows appended since the last save (rows [first_new_row, end)). The rows are not copied.
struct TableChange {
  std::string name;
  std::vector<StoredColumn> columns;
  const std::vector<std::vector<Value>>* rows = nullptr;
  int64_t identity_next = 1;
  bool rewrite = true;       // false: append rows from first_new_row
  size_t first_new_row = 0;

  static TableChange Of(const StoredTable& t, bool rewrite = true, size_t first_new_row = 0) {
    return {t.name, t.columns, &t.rows, t.identity_next, rewrite, first_new_row};
  }
};

class SqliteStore {
 public:
  // Opens or creates the file. Raises SqlException with a message naming the file when the
  // directory is missing, the file is not a data-source file, or it is locked.
  static std::unique_ptr<SqliteStore> Open(const std::string& path);
  ~SqliteStore();
  SqliteStore(const SqliteStore&) = delete;
  SqliteStore& operator=(const SqliteStore&) = delete;

  const std::string& path() const { return path_; }

  std::vector<StoredTable> LoadTables();
  std::vector<std::string> TableNames();
  // One table by case-insensitive name; nullopt when the file has no such table.
  std::optional<StoredTable> LoadTable(const std::string& name);
  std::vector<StoredView> LoadViews();

  // Writes the changes of one batch in a single transaction: changed tables, dropped tables,
  // created and dropped views. Raises SqlException (and leaves the file unchanged) on failure.
  void Save(const std::vector<TableChange>& changed, const std::vector<std::string>& dropped_tables,
            const std::vector<StoredView>& created_views, const std::vector<std::string>& dropped_views);

 private:
  SqliteStore(std::string path, sqlite3* db);
  void Exec(const std::string& sql);

  std::string path_;
  sqlite3* db_;
};

// "decimal(23,10)" -> SqlType and back (SqlType::ToString gives the text form).
std::optional<SqlType> ParseTypeText(const std::string& text);

}  // namespace orv::tsql
