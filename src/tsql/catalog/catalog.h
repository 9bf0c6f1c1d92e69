// The catalog of the engine: table and view definitions with their rows, the Database that
// holds the permanent ones (shared by every connection to a data source), and the hooks through
// which a storage layer loads tables on first use and saves changed tables after each batch.
//
// Folder tsql/catalog: tables, views, the Database, the per-connection SessionState, and the
// glue that loads and saves them through tsql/storage (persistence.h). It uses tsql/types,
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
#include <shared_mutex>
#include <string>
#include <string_view>
#include <vector>

#include "tsql/syntax/ast.h"
#include "tsql/types/types.h"
#include "tsql/types/value.h"

namespace orv::tsql {

using Row = std::vector<Value>;

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
};

struct Table {
  std::string name;  // as created ("#T401", "t_ICItem")
  std::vector<ColumnDef> columns;
  int32_t object_id = 0;
  bool temporary = false;
  // Next identity value to hand out (unset until the first insert).
  std::optional<int64_t> next_identity;
  // Set when the rows or the definition changed since the storage layer last saved it.
  bool dirty = false;

  // Column position by case-insensitive name, -1 when absent.
  int FindColumn(std::string_view column) const;

  const std::vector<Row>& rows() const { return *rows_; }
  // The rows for a change. A SELECT may hand the table's rows to its result without copying
  // them (shared_rows); a change made while such a result is alive first gives the table a
  // copy of its own, so the result keeps the rows as they were when it was produced. Take
  // this before reading row addresses that the change will use.
  std::vector<Row>& mutable_rows();
  // Puts new rows in place of all the rows (never copies the old ones).
  void ReplaceRows(std::vector<Row> rows);
  std::shared_ptr<const std::vector<Row>> shared_rows() const { return rows_; }

 private:
  std::shared_ptr<std::vector<Row>> rows_ = std::make_shared<std::vector<Row>>();
};

struct View {
  std::string name;
  std::vector<std::string> column_names;  // optional column list, empty when none
  std::shared_ptr<const ast::QueryExpr> query;
  std::string query_text;
  int32_t object_id = 0;
};

// Upper-cases ASCII letters; the catalog compares names case-insensitively.
std::string FoldName(std::string_view name);
bool NamesEqual(std::string_view a, std::string_view b);
int32_t NewObjectId();

// Parses a DEFAULT expression's text (as stored by the storage layer) back into a tree.
std::shared_ptr<const ast::Expr> ParseDefaultExpr(const std::string& sql);

class Database {
 public:
  explicit Database(std::string path);

  const std::string& path() const { return path_; }
  // The database part of three-part names in messages ("orv.dbo.t_ICItem").
  std::string name() const;

  // Reader/writer lock around the data of the permanent tables: a statement that changes
  // permanent tables or their definitions holds it exclusively, any other a shared lock.
  std::shared_mutex& data_mutex() { return data_mutex_; }

  // Catalog look-ups, by case-insensitive name; nullptr when absent. FindTable asks the
  // table loader (if set) for a table not yet in memory.
  std::shared_ptr<Table> FindTable(std::string_view name);
  // Loads a stored table that is not in memory yet (nothing for other names); meant for a
  // helper thread that gets the tables of a batch ready while the batch runs. A FindTable
  // for a table being loaded waits for that load. Load errors are left to FindTable.
  void PreloadTable(std::string_view name);
  // Whether tables are loaded from storage on first use (a data-source file).
  bool LoadsOnDemand() const;
  std::shared_ptr<View> FindView(std::string_view name);
  bool AddTable(std::shared_ptr<Table> table);  // false when the name is taken
  bool AddView(std::shared_ptr<View> view);
  bool DropTable(std::string_view name);
  bool DropView(std::string_view name);
  std::optional<int32_t> ObjectId(std::string_view name);

  // ---- storage hooks ---------------------------------------------------------------------
  // Adds a table read from storage (not marked dirty); replaces one of the same name.
  void AddLoadedTable(std::shared_ptr<Table> table);
  void ForEachTable(const std::function<void(Table&)>& fn);
  void ForEachView(const std::function<void(View&)>& fn);
  // Adds a view read from storage; replaces one of the same name.
  void AddLoadedView(std::shared_ptr<View> view);
  // The names of every permanent table, loaded or still in storage (sorted, as created).
  std::vector<std::string> TableNames();
  // Lists the tables that storage holds (for TableNames).
  void SetStoredTableLister(std::function<std::vector<std::string>()> lister);
  // Called for a name that is not in memory; returns the table (already added or not) or null.
  void SetTableLoader(std::function<std::shared_ptr<Table>(Database&, std::string_view)> loader);
  // Called at the end of every batch that changed a permanent table (dirty flags set) or
  // dropped one (names in dropped_tables()); the hook clears what it saved.
  void SetBatchEndHook(std::function<void(Database&)> hook);
  void RunBatchEndHook();
  std::vector<std::string>& dropped_tables() { return dropped_tables_; }
  void MarkChanged() { changed_ = true; }

  // The stored demo clock behind GETDATE() (datetime ticks), if the data source has one.
  void SetDemoClock(std::optional<int64_t> ticks);
  std::optional<int64_t> demo_clock() const;

 private:
  std::shared_ptr<Table> FindOrLoad(std::string_view name, bool preloading);

  std::string path_;
  std::shared_mutex data_mutex_;
  mutable std::mutex catalog_mutex_;  // guards the maps below
  std::set<std::string> loading_;     // folded names of tables being loaded
  std::condition_variable loaded_;    // signalled when a load ends
  std::map<std::string, std::shared_ptr<Table>> tables_;
  std::map<std::string, std::shared_ptr<View>> views_;
  std::function<std::shared_ptr<Table>(Database&, std::string_view)> loader_;
  std::function<void(Database&)> batch_end_hook_;
  std::function<std::vector<std::string>()> stored_table_lister_;
  std::vector<std::string> dropped_tables_;
  std::atomic<bool> changed_{false};
  std::optional<int64_t> demo_clock_;
};

}  // namespace orv::tsql
