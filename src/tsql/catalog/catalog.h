// The catalog of the engine: table and view definitions with their rows, the Database that
// holds the permanent ones (shared by every connection to a data source), and the interface
// through which the data-source file loads tables on first use and takes committed changes.
//
// Folder tsql/catalog: tables, views, the Database, the per-connection SessionState, and the
// glue that loads and saves them through tsql/storage (persistence.h), the change log and the
// transactions of a session, and the locks between sessions. It uses tsql/types,
// tsql/syntax (defaults and view definitions are kept parsed) and tsql/storage.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tsql/catalog/lock_manager.h"
#include "tsql/syntax/ast.h"
#include "tsql/types/hash_index.h"
#include "tsql/types/types.h"
#include "tsql/types/value.h"

namespace orv::tsql {

using Row = std::vector<Value>;
class SnapshotColumns;

struct ColumnDef {
  std::string name;
  SqlType type;
  bool nullable = true;
  // DEFAULT expression as parsed (shared so that a table definition can be copied).
  std::shared_ptr<const ast::Expr> default_expr;
  std::string default_sql;  // the same expression as T-SQL text ("" when none)
  bool identity = false;
  int64_t identity_seed = 1;
  int64_t identity_increment = 1;
  // A computed column: its value is this expression over the row's other columns, worked out
  // whenever the row is added or changed (statements cannot give it). Text as for defaults.
  std::shared_ptr<const ast::Expr> computed;
  std::string computed_sql;
  // The DEFAULT constraint that gives the default: its name (as declared, or made up when the
  // column gets its default) and object id; "" while the column has no default.
  std::string default_name;
  int32_t default_object_id = 0;
};

// A PRIMARY KEY or UNIQUE constraint, or a unique index: no two rows of the table hold equal
// values in all of its columns (under their collation; for UNIQUE, NULLs are equal to each
// other). Also an index that is not unique, kept as a description only (CREATE INDEX): rows do
// not change for it, and nothing is checked.
struct TableKey {
  std::string name;  // as declared, or made up at CREATE TABLE ("PK__t__..." / "UQ__t__...")
  bool primary = false;
  std::vector<int> columns;  // positions in the table's columns
  int32_t object_id = 0;     // a constraint is an object of its own
  // Made by CREATE [UNIQUE] INDEX: a unique one is checked as a UNIQUE constraint is, but is not
  // a constraint (no object of its own; DROP INDEX drops it).
  bool index = false;
  bool unique = true;  // false: an index that is not unique
  // A filtered index (CREATE INDEX ... WHERE): it covers only the rows for which the condition
  // is true; its text as written, and parsed (null when there is none).
  std::string filter_sql;
  std::shared_ptr<const ast::Expr> filter;
};

// A CHECK constraint: no row may make its condition false (NULL passes).
struct TableCheck {
  std::string name;    // as declared, or made up at CREATE TABLE ("CK__t__...")
  std::string column;  // the column it was written on; "" for a table constraint
  std::string text;    // the condition as written
  std::shared_ptr<const ast::Expr> condition;
  int32_t object_id = 0;
  // NOCHECK CONSTRAINT: not tested until CHECK CONSTRAINT; not trusted when the rows there were
  // not all tested against it (added WITH NOCHECK, or enabled again without WITH CHECK).
  bool disabled = false;
  bool not_trusted = false;
};

struct Table {
  Table() = default;
  Table(const Table&) = delete;
  Table& operator=(const Table&) = delete;
  ~Table();  // keeps the rows' memory once KeepRowsUntilExit was called (heap_policy.h)

  std::string name;  // as created ("#T401", "t_ICItem")
  std::vector<ColumnDef> columns;
  std::vector<TableKey> keys;
  std::vector<TableCheck> checks;
  int32_t object_id = 0;
  bool temporary = false;
  // A table variable (DECLARE @t TABLE): a ROLLBACK leaves its rows as they are.
  bool table_variable = false;
  // The name tempdb knows a #table or table variable by (its catalog views, messages): "#t"
  // padded with underscores and numbered, so that every session's #t has a name of its own;
  // "" for permanent tables.
  std::string tempdb_name;
  // Next identity value to hand out (unset until the first insert).
  std::optional<int64_t> next_identity;
  // The version of the data-source file's copy that the rows are (0: never stored), and the
  // file's data version at which that copy was last found to be the current one.
  int64_t version = 0;
  int64_t checked_at = -1;
  // Set when this table replaces `redefines` with a new definition alone: the same columns and
  // rows, other keys, indexes, checks or defaults (ALTER TABLE ... CONSTRAINT, CREATE or DROP
  // INDEX). The rows are shared (ShareRowsOf), and a commit rewrites the stored definition only.
  std::weak_ptr<const Table> redefines;

  // Column position by case-insensitive name, -1 when absent.
  int FindColumn(std::string_view column) const;

  // The rows, every one made (see SetSnapshotRows).
  const std::vector<Row>& rows() const {
    if (!all_made_.load(std::memory_order_acquire)) MakeAllRows();
    return *rows_;
  }
  size_t row_count() const { return rows_->size(); }
  // The rows for a change made in place (an UPDATE, recorded with ChangeLog::Updated). A
  // SELECT may hand the table's rows to its result without copying them (shared_rows); a
  // change made while such a result is alive first gives the table a copy of its own, so the
  // result keeps the rows as they were when it was produced. Take this before reading row
  // addresses that the change will use.
  std::vector<Row>& mutable_rows();
  // The same for a change of these columns alone (an UPDATE's SET list, or its undo): the
  // arrays of the other columns stay (ColumnAsArray), since their values stay where they are.
  std::vector<Row>& mutable_rows(const std::vector<int>& changed_columns);
  std::shared_ptr<const std::vector<Row>> shared_rows() const {
    rows();
    return rows_;
  }

  // For a scan that reads only some rows of a table loaded from its column snapshot: the rows
  // in place, where those not made yet are empty (for every other table all are made), and
  // MakeRows to make those at the given positions first. A row once made stays where it is
  // until the table changes.
  const std::vector<Row>& row_slots() const { return *rows_; }
  void MakeRows(const std::vector<uint32_t>& positions) const;
  bool AllRowsMade() const { return all_made_.load(std::memory_order_acquire); }
  // For a table whose rows are still those of its column snapshot (none changed since it was
  // loaded): lets the rows made go again, to be made anew from the snapshot when next read.
  // None go while a result holds the rows (shared_rows). Only between statements, and only
  // where no other session can be reading the table.
  void LetMadeRowsGo() const;
  // Whether LetMadeRowsGo would find rows to let go (cheap: no row is looked at).
  bool HoldsMadeSnapshotRows() const;

  // The identity of each row of a permanent table, ascending (its rowid in the data-source
  // file); empty for temporary tables. Rows added later get higher ids than any before.
  const std::vector<int64_t>& row_ids() const { return row_ids_; }
  // The position of the row with this id, or npos.
  size_t PositionOf(int64_t row_id) const;
  static constexpr size_t npos = static_cast<size_t>(-1);
  // Puts rows read from storage in place, with their ids (ascending).
  void SetStoredRows(std::vector<Row> rows, std::vector<int64_t> row_ids);
  // The same for rows left in their column snapshot: each is made when first read (rows(),
  // any change, or a scan's MakeRows), so that a statement that reads a few rows of a large
  // table makes only those, and its integer columns are read from the snapshot as arrays.
  void SetSnapshotRows(std::shared_ptr<const SnapshotColumns> snapshot, std::vector<int64_t> row_ids);
  // Gives rows without ids (built in memory) ids 1, 2, ... when the table keeps them.
  void NumberRows();
  // Takes `other`'s rows, as they are and with their ids, without copying them: they are
  // copied by the first change of either table (as for shared_rows).
  void ShareRowsOf(const Table& other);
  // Makes a temporary table keep ids for its rows from now on, as a permanent one does: a
  // cursor over it finds its rows again by them. An undo of a change made before then stops
  // it again (its ids are then unknown); KeepsIdsOfAllRows tells whether they are kept.
  void KeepRowIds();
  bool KeepsIdsOfAllRows() const { return KeepsRowIds() && row_ids_.size() == rows_->size(); }

  // A column of an integer or datetime (not datetime2) type as one array, for scans that
  // test it row after row without reaching into every row: each row's value (the integer, or
  // the datetime's ticks) and whether it is NULL. Made on first use and kept until the rows
  // change; null for columns of other types.
  struct ColumnArray {
    std::vector<int64_t> values;
    std::vector<uint8_t> nulls;
    const void* rows = nullptr;  // the rows it was made from, and how many
    size_t count = 0;
    bool usable = true;  // false: a value of another kind was found (the rows are read instead)
  };
  std::shared_ptr<const ColumnArray> ColumnAsArray(int column) const;

  // For checking keys[k] (table_keys.h): the hashes of its values in the first `rows` rows,
  // which hold no two equal keys. Kept while rows are only appended, so that adding rows to a
  // large table checks only them; any other change to the key's columns empties it. Used by
  // the session that holds the table for writing.
  struct KeyIndex {
    HashIndex index;
    size_t rows = 0;
    // A filtered key's index holds only the rows its filter covers: the position of each.
    std::vector<size_t> positions;
  };
  KeyIndex& key_index(size_t k) const;
  // The rows for appending to (ChangeLog::Insert): as mutable_rows(), but the key indexes stay.
  std::vector<Row>& rows_to_append();

 private:
  friend class ChangeLog;
  bool KeepsRowIds() const { return !temporary || keeps_row_ids_; }
  void StopKeepingRowIds();
  void ForgetColumnArrays();
  void ForgetColumnArrays(const std::vector<int>& columns);
  // The rows for a change: copied first when a result still shares them (see mutable_rows).
  std::vector<Row>& OwnRows();
  // Makes the rows not made yet (the snapshot is kept while the rows stay as it has them).
  void MakeAllRows() const;
  // The rows are about to differ from the snapshot's: it is no longer theirs.
  void ForgetSnapshot();

  struct ArrayCache {
    std::mutex mutex;
    std::map<int, std::shared_ptr<const ColumnArray>> arrays;
  };
  std::unique_ptr<ArrayCache> arrays_ = std::make_unique<ArrayCache>();
  void DropColumnArrays();
  mutable std::vector<std::unique_ptr<KeyIndex>> key_indexes_;  // by key, made on first use

  std::shared_ptr<std::vector<Row>> rows_ = std::make_shared<std::vector<Row>>();
  // Rows still in their snapshot: which are made, under the mutex (none listed once all are:
  // all_made_); the snapshot is kept until the rows change.
  struct Unmade {
    std::mutex mutex;
    std::shared_ptr<const SnapshotColumns> snapshot;
    std::vector<uint8_t> made;
    bool any_made = false;
  };
  std::unique_ptr<Unmade> unmade_ = std::make_unique<Unmade>();
  mutable std::atomic<bool> all_made_{true};
  std::vector<int64_t> row_ids_;
  int64_t next_row_id_ = 1;
  bool keeps_row_ids_ = false;  // a temporary table's, once KeepRowIds was called
};

struct View {
  std::string name;
  std::vector<std::string> column_names;  // optional column list, empty when none
  std::shared_ptr<const ast::QueryExpr> query;
  std::string query_text;
  int32_t object_id = 0;
};

// A view's definition as stored and as OBJECT_DEFINITION gives it: "CREATE VIEW v [(cols)] AS"
// and its query's text.
std::string ViewDefinition(const View& v);

// A stored procedure: its definition as written (CREATE PROCEDURE ... AS ...) and parsed.
struct Procedure {
  std::string name;
  std::string text;
  std::shared_ptr<ast::CreateProcStmt> definition;
  int32_t object_id = 0;
};

// Parses a stored procedure's definition text; null when the text is no CREATE PROCEDURE.
std::shared_ptr<Procedure> ProcedureFromText(const std::string& text);

// Upper-cases ASCII letters; the catalog compares names case-insensitively.
std::string FoldName(std::string_view name);
bool NamesEqual(std::string_view a, std::string_view b);
// Column position among `columns` by case-insensitive name, -1 when absent.
int FindColumnIn(const std::vector<ColumnDef>& columns, std::string_view column);
int32_t NewObjectId();
// The name tempdb gives a new temporary table of this name (see Table::tempdb_name): "#t"
// padded with underscores to 116 characters and followed by 12 hexadecimal digits that count
// the temporary tables of the process; a table variable's is "#" and 8 hexadecimal digits of
// its object id; a global "##t" keeps its name.
std::string TempdbName(std::string_view name, int32_t object_id);
// The longest name a #table may have: tempdb adds 12 characters to it.
inline constexpr size_t kMaxTempTableName = 116;

// Parses a DEFAULT expression's text (as stored by the storage layer) back into a tree.
std::shared_ptr<const ast::Expr> ParseDefaultExpr(const std::string& sql);

class ChangeLog;
class Database;

// The data-source file behind a Database (persistence.cpp has the SQLite one). The database
// calls it to load tables on first use; the sessions call it to follow the file and to write.
class DataFile {
 public:
  virtual ~DataFile() = default;
  // A stored table, read from the file (not added to the database); null when the file has no
  // table of that name.
  virtual std::shared_ptr<Table> LoadTable(std::string_view name) = 0;
  // Makes the database follow what other processes committed since the last call: tables
  // whose stored version changed are dropped from memory (and read again on next use), views
  // are read again. Cheap when nothing changed (unless forced: then every table in memory is
  // checked). Returns the file's data version, which changes whenever another process commits.
  virtual int64_t Refresh(Database& db, bool force) = 0;
  // Takes the file's write lock, held until Commit or AbortWrite; false while another process
  // holds it. Follows the file (Refresh) once it has the lock.
  virtual bool TryBeginWrite(Database& db) = 0;
  // Writes the changes to permanent tables and views that `log` records, row by row, and
  // commits them; the file is unchanged when this raises SqlException.
  virtual void Commit(Database& db, const ChangeLog& log) = 0;
  // Gives the write lock up without writing anything.
  virtual void AbortWrite() = 0;
  // The names of the tables the file holds, as created.
  virtual std::vector<std::string> StoredTableNames() = 0;
  // A stored table's name as created, its columns and keys, read without its rows; nothing when
  // the file has no table of that name.
  struct Definition {
    std::string name;
    std::vector<ColumnDef> columns;
    std::vector<TableKey> keys;
    std::vector<TableCheck> checks;
  };
  virtual std::optional<Definition> StoredDefinition(std::string_view name) = 0;
};

class Database {
 public:
  explicit Database(std::string path);

  const std::string& path() const { return path_; }
  // The database part of three-part names in messages ("orv.dbo.t_ICItem").
  std::string name() const;

  // The locks the sessions of this database take on its tables (lock_manager.h).
  LockManager& locks() { return locks_; }

  // Catalog look-ups, by case-insensitive name; nullptr when absent. FindTable reads a table
  // that is not in memory yet from the data-source file.
  std::shared_ptr<Table> FindTable(std::string_view name);
  // Loads a stored table that is not in memory yet (nothing for other names); meant for a
  // helper thread that gets the tables of a batch ready while the batch runs. A FindTable
  // for a table being loaded waits for that load. Load errors are left to FindTable.
  void PreloadTable(std::string_view name);
  // Whether tables are loaded from a data-source file on first use.
  bool LoadsOnDemand() const;
  std::shared_ptr<View> FindView(std::string_view name);
  std::shared_ptr<Procedure> FindProcedure(std::string_view name);
  // What a permanent table is, without reading its rows: its name as created, its object id and
  // its columns (from memory when it is loaded, else from the file's catalog). The catalog views
  // and OBJECT_ID use it, so that naming a table there does not load a million rows. Nothing
  // when there is no such table.
  struct TableDescription {
    std::string name;
    int32_t object_id = 0;
    std::vector<ColumnDef> columns;
    std::vector<TableKey> keys;
    std::vector<TableCheck> checks;
  };
  std::optional<TableDescription> DescribeTable(std::string_view name);
  std::optional<int32_t> ObjectId(std::string_view name);

  // ---- catalog changes; the session records each in its ChangeLog ---------------------------
  bool AddTable(std::shared_ptr<Table> table);  // false when the name is taken
  bool AddView(std::shared_ptr<View> view);
  // Adds or replaces (ALTER) a procedure; returns the one it replaced, if any.
  std::shared_ptr<Procedure> PutProcedure(std::shared_ptr<Procedure> procedure);
  // Takes a procedure out; null when there is none.
  std::shared_ptr<Procedure> DetachProcedure(std::string_view name);
  // Undo: puts a procedure back in place of the one now of its name, or takes one out.
  void RestoreProcedure(std::string_view name, std::shared_ptr<Procedure> procedure);
  // Takes a table out of the catalog (reading it from the file first if need be); null when
  // there is none. Until the drop is committed or undone the file's copy is not read again.
  std::shared_ptr<Table> DetachTable(std::string_view name);
  std::shared_ptr<View> DetachView(std::string_view name);
  // Undo: puts a detached table or view back, or takes a created one out.
  void RestoreTable(std::shared_ptr<Table> table);
  void RestoreView(std::shared_ptr<View> view);
  void RemoveTable(const std::shared_ptr<Table>& table);
  void RemoveView(const std::shared_ptr<View>& view);
  // After a commit: the dropped tables' names no longer stand for anything in the file.
  void ForgetDropped(const std::vector<std::string>& names);

  // ---- storage hooks ---------------------------------------------------------------------
  void AttachFile(std::unique_ptr<DataFile> file);
  DataFile* file() const { return file_.get(); }
  // Adds a table read from storage; replaces one of the same name.
  void AddLoadedTable(std::shared_ptr<Table> table);
  // Drops a table another process changed from memory (read again on next use).
  void EvictTable(std::string_view name);
  // Adds a view read from storage; replaces one of the same name.
  void AddLoadedView(std::shared_ptr<View> view);
  // The names of every permanent table, in memory or still in the file (sorted, as created).
  std::vector<std::string> TableNames();
  void ForEachTable(const std::function<void(const std::shared_ptr<Table>&)>& fn);
  void ForEachView(const std::function<void(const std::shared_ptr<View>&)>& fn);
  void ForEachProcedure(const std::function<void(const std::shared_ptr<Procedure>&)>& fn);

  // The stored demo clock behind GETDATE() (datetime ticks), if the data source has one.
  void SetDemoClock(std::optional<int64_t> ticks);
  std::optional<int64_t> demo_clock() const;

 private:
  std::shared_ptr<Table> FindOrLoad(std::string_view name, bool preloading);
  // Gives the keys, checks and defaults of a stored table the object ids they had before (as
  // stored_ids_ does for tables), or new ones. Under catalog_mutex_.
  void KeepConstraintIds(const std::string& table_key, std::vector<ColumnDef>& columns,
                         std::vector<TableKey>& keys, std::vector<TableCheck>& checks);

  std::string path_;
  LockManager locks_;
  std::unique_ptr<DataFile> file_;
  mutable std::mutex catalog_mutex_;  // guards the maps below
  std::set<std::string> loading_;     // folded names of tables being loaded
  std::condition_variable loaded_;    // signalled when a load ends
  std::map<std::string, std::shared_ptr<Table>> tables_;
  std::map<std::string, std::shared_ptr<View>> views_;
  std::map<std::string, std::shared_ptr<Procedure>> procedures_;
  std::set<std::string> dropped_;     // folded names dropped in memory but still in the file
  // The object ids of stored tables by folded name, given when first described or loaded, so
  // that a table keeps its id whether or not (or however often) its rows are read.
  std::map<std::string, int32_t> stored_ids_;
  std::optional<int64_t> demo_clock_;
};

}  // namespace orv::tsql
