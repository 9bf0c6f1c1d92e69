#include "tsql/catalog/persistence.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <map>
#include <mutex>
#include <set>
#include <string_view>
#include <sys/stat.h>

#include "tsql/catalog/change_log.h"
#include "tsql/storage/sqlite_store.h"
#include "tsql/syntax/parser.h"
#include "tsql/types/sql_error.h"

namespace orv::tsql {
namespace {

// T-SQL text of a column default, enough for the defaults that tables declare: literals,
// signs, function calls, arithmetic and parentheses. Anything else is kept out (no default).
bool AppendExprSql(const ast::Expr& e, std::string& out, int depth = 0) {
  // CREATE TABLE refuses defaults nested deeper than statements may be.
  if (depth > ast::kMaxNesting) return false;
  switch (e.kind) {
    case ast::ExprKind::Literal:
      switch (e.literal_kind) {
        case ast::LiteralKind::Null: out += "NULL"; return true;
        case ast::LiteralKind::String:
        case ast::LiteralKind::NString: {
          if (e.literal_kind == ast::LiteralKind::NString) out += 'N';
          out += '\'';
          for (char c : e.text) {
            out += c;
            if (c == '\'') out += '\'';
          }
          out += '\'';
          return true;
        }
        case ast::LiteralKind::Money: out += '$'; out += e.text; return true;
        default: out += e.text; return true;
      }
    case ast::ExprKind::Unary:
      out += e.op == ast::Op::Neg ? "-" : e.op == ast::Op::BitNot ? "~" : "+";
      return AppendExprSql(*e.args[0], out, depth + 1);
    case ast::ExprKind::Binary: {
      static const std::map<ast::Op, const char*> kOps = {
          {ast::Op::Add, "+"}, {ast::Op::Sub, "-"}, {ast::Op::Mul, "*"}, {ast::Op::Div, "/"}, {ast::Op::Mod, "%"}};
      auto it = kOps.find(e.op);
      if (it == kOps.end()) return false;
      out += '(';
      if (!AppendExprSql(*e.args[0], out, depth + 1)) return false;
      out += it->second;
      if (!AppendExprSql(*e.args[1], out, depth + 1)) return false;
      out += ')';
      return true;
    }
    case ast::ExprKind::Function: {
      out += e.text;
      out += '(';
      for (size_t i = 0; i < e.args.size(); ++i) {
        if (i) out += ',';
        if (!AppendExprSql(*e.args[i], out, depth + 1)) return false;
      }
      out += ')';
      return true;
    }
    default:
      return false;
  }
}

std::string DefaultSql(const ColumnDef& c) {
  if (!c.default_expr) return {};
  std::string out;
  return AppendExprSql(*c.default_expr, out) ? "(" + out + ")" : std::string{};
}

std::shared_ptr<const ast::Expr> ParseDefault(const std::string& sql) {
  if (sql.empty()) return nullptr;
  ast::Batch batch = ParseBatch("SELECT " + sql);
  auto& select = batch.statements.at(0)->As<ast::SelectStmt>();
  return std::shared_ptr<const ast::Expr>(std::move(select.query->spec->items.at(0).expr));
}

std::vector<StoredColumn> ToStored(const std::vector<ColumnDef>& columns) {
  std::vector<StoredColumn> out;
  out.reserve(columns.size());
  for (const ColumnDef& c : columns) {
    out.push_back({c.name, c.type, c.nullable, DefaultSql(c), c.identity, c.identity_seed, c.identity_increment,
                   c.computed_sql, c.default_expr ? c.default_name : std::string()});
  }
  return out;
}

// A condition (a CHECK's, a filtered index's) from its stored text (as the condition of an IF:
// "a = 1" in a select list would name a column).
std::shared_ptr<const ast::Expr> ParseCondition(const std::string& sql) {
  ast::Batch batch = ParseBatch("IF (" + sql + ") PRINT 1");
  auto& if_stmt = batch.statements.at(0)->As<ast::IfStmt>();
  return std::shared_ptr<const ast::Expr>(std::move(if_stmt.condition));
}

std::vector<StoredKey> ToStored(const std::vector<TableKey>& keys) {
  std::vector<StoredKey> out;
  for (const TableKey& k : keys) out.push_back({k.name, k.primary, k.columns, k.index, k.unique, k.filter_sql});
  return out;
}

std::vector<TableKey> FromStored(std::vector<StoredKey> keys) {
  std::vector<TableKey> out;
  for (StoredKey& k : keys) {
    auto filter = k.filter_sql.empty() ? nullptr : ParseCondition(k.filter_sql);
    out.push_back({std::move(k.name), k.primary, std::move(k.columns), 0, k.index, k.unique, std::move(k.filter_sql),
                   std::move(filter)});
  }
  return out;
}

std::vector<StoredCheck> ToStored(const std::vector<TableCheck>& checks) {
  std::vector<StoredCheck> out;
  for (const TableCheck& c : checks) out.push_back({c.name, c.column, c.text, c.disabled, c.not_trusted});
  return out;
}

std::vector<TableCheck> FromStored(std::vector<StoredCheck> checks) {
  std::vector<TableCheck> out;
  for (StoredCheck& c : checks) {
    auto condition = ParseCondition(c.condition);
    out.push_back({std::move(c.name), std::move(c.column), std::move(c.condition), std::move(condition), 0,
                   c.disabled, c.not_trusted});
  }
  return out;
}

// A column of the table from its stored form. A default stored before defaults kept their
// names gets one made up as CREATE TABLE would, its digits from the table's and column's names
// so that every process that reads the file gives it the same.
ColumnDef FromStoredColumn(StoredColumn c, const std::string& table) {
  if (!c.default_sql.empty() && c.default_name.empty()) {
    uint32_t hash = 2166136261u;  // FNV-1a
    for (char ch : FoldName(table) + "." + FoldName(c.name)) hash = (hash ^ static_cast<uint8_t>(ch)) * 16777619u;
    char digits[9];
    std::snprintf(digits, sizeof digits, "%08X", hash);
    c.default_name = "DF__" + table.substr(0, 9) + "__" + c.name.substr(0, 5) + "__" + digits;
  }
  ColumnDef def;
  def.name = std::move(c.name);
  def.type = c.type;
  def.nullable = c.nullable;
  def.default_expr = ParseDefault(c.default_sql);
  // The text the catalog views show: the stored text is the expression in one pair of
  // parentheses (DefaultSql), which the views add themselves.
  if (c.default_sql.size() >= 2 && c.default_sql.front() == '(' && c.default_sql.back() == ')') {
    def.default_sql = c.default_sql.substr(1, c.default_sql.size() - 2);
  }
  if (def.default_expr) def.default_name = std::move(c.default_name);
  def.identity = c.identity;
  def.identity_seed = c.identity_seed;
  def.identity_increment = c.identity_increment;
  if (!c.computed_sql.empty()) {
    def.computed = ParseDefault(c.computed_sql);
    def.computed_sql = std::move(c.computed_sql);
  }
  return def;
}

std::shared_ptr<Table> FromStored(StoredTable stored) {
  auto table = std::make_shared<Table>();
  table->name = std::move(stored.name);
  table->object_id = NewObjectId();
  bool has_identity = false;
  for (StoredColumn& c : stored.columns) {
    has_identity = has_identity || c.identity;
    table->columns.push_back(FromStoredColumn(std::move(c), table->name));
  }
  table->keys = FromStored(std::move(stored.keys));
  table->checks = FromStored(std::move(stored.checks));
  if (stored.snapshot) {
    table->SetSnapshotRows(std::move(stored.snapshot), std::move(stored.row_ids));
  } else {
    table->SetStoredRows(std::move(stored.rows), std::move(stored.row_ids));
  }
  table->version = stored.version;
  if (has_identity && table->row_count() > 0) table->next_identity = stored.identity_next;
  return table;
}

// The stored definitions hold views and stored procedures (a procedure's is its whole
// CREATE PROCEDURE text): a procedure is put in the database here, a view returned.
std::shared_ptr<View> ViewFromDefinition(const std::string& definition, Database* db = nullptr) {
  ast::Batch batch = ParseBatch(definition);
  if (!batch.statements.empty() && batch.statements[0]->kind == ast::StmtKind::CreateProc) {
    if (db) db->PutProcedure(ProcedureFromText(definition));
    return nullptr;
  }
  auto& create = batch.statements.at(0)->As<ast::CreateViewStmt>();
  auto view = std::make_shared<View>();
  view->name = create.name.back();
  view->column_names = create.columns;
  view->query_text = create.query_text;
  view->query = std::shared_ptr<const ast::QueryExpr>(std::move(create.query));
  view->object_id = NewObjectId();
  return view;
}


// What one commit writes for a table that existed before the transaction: the net effect of
// its row changes. Row ids only grow, so every row with an id from base_id on was inserted by
// this transaction and is written with its final values.
struct RowChanges {
  bool truncated = false;
  int64_t base_id = std::numeric_limits<int64_t>::max();
  std::vector<int64_t> deleted;
  std::vector<int64_t> updated;
};

void SortUnique(std::vector<int64_t>& ids) {
  std::sort(ids.begin(), ids.end());
  ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
}

std::vector<SqlType> ColumnTypes(const Table& t) {
  std::vector<SqlType> types;
  types.reserve(t.columns.size());
  for (const ColumnDef& c : t.columns) types.push_back(c.type);
  return types;
}

void WriteAllRows(SqliteStore& store, const Table& t) {
  std::vector<StoredRow> rows;
  rows.reserve(t.rows().size());
  for (size_t i = 0; i < t.rows().size(); ++i) rows.emplace_back(t.row_ids()[i], &t.rows()[i]);
  store.InsertRows(t.name, ColumnTypes(t), rows);
}

// Whether two definitions of a table have the same columns, as the file stores their rows.
bool SameColumns(const Table& a, const Table& b) {
  if (a.name != b.name || a.columns.size() != b.columns.size()) return false;
  for (size_t i = 0; i < a.columns.size(); ++i) {
    const ColumnDef& x = a.columns[i];
    const ColumnDef& y = b.columns[i];
    if (x.name != y.name || x.type.ToString() != y.type.ToString() || x.nullable != y.nullable ||
        x.identity != y.identity || x.computed_sql != y.computed_sql) {
      return false;
    }
  }
  return true;
}

void WriteRowChanges(SqliteStore& store, const Table& t, RowChanges& c) {
  if (c.truncated) store.DeleteAllRows(t.name);
  // Rows inserted by this transaction never reached the file.
  auto old = [&](int64_t id) { return id < c.base_id; };
  c.deleted.erase(std::remove_if(c.deleted.begin(), c.deleted.end(), [&](int64_t id) { return !old(id); }),
                  c.deleted.end());
  SortUnique(c.deleted);
  store.DeleteRows(t.name, c.deleted);
  SortUnique(c.updated);
  std::vector<StoredRow> updated;
  for (const int64_t id : c.updated) {
    if (!old(id)) continue;
    const size_t at = t.PositionOf(id);
    if (at != Table::npos) updated.emplace_back(id, &t.rows()[at]);
  }
  store.UpdateRows(t.name, ColumnTypes(t), updated);
  const auto& ids = t.row_ids();
  std::vector<StoredRow> inserted;
  for (size_t i = static_cast<size_t>(std::lower_bound(ids.begin(), ids.end(), c.base_id) - ids.begin());
       i < ids.size(); ++i) {
    inserted.emplace_back(ids[i], &t.rows()[i]);
  }
  store.InsertRows(t.name, ColumnTypes(t), inserted);
}

// The SQLite data-source file of a database. One connection serves every session of the
// process (under `mutex_`); the sessions take turns writing through LockForWrite.
class SqliteFile : public DataFile {
 public:
  SqliteFile(std::string path, bool create) : path_(std::move(path)), create_(create) {
    struct stat st {};
    // Without `create`, opening is what reports a missing file; an existing one is opened now.
    if (stat(path_.c_str(), &st) == 0 || !create_) store_ = SqliteStore::Open(path_, SqliteStore::Mode::kExisting);
  }

  // Reads the views and the demo clock into a database that is being opened.
  void Attach(Database& db) {
    std::lock_guard lock(mutex_);
    if (!store_) return;
    RefreshLocked(db, true);
    // A demo database carries its own "today" for GETDATE().
    if (stored_tables_.count("T_ORVCLOCK")) {
      if (std::optional<StoredTable> clock = store_->LoadTable("t_OrvClock")) {
        if (!clock->rows.empty() && !clock->rows[0].empty() && clock->rows[0][0].kind() == Value::Kind::DateTime) {
          db.SetDemoClock(clock->rows[0][0].datetime_ticks());
        }
      }
    }
  }

  std::vector<std::string> StoredTableNames() override {
    std::lock_guard lock(mutex_);
    std::vector<std::string> names;
    if (!store_) return names;
    for (std::string& name : store_->TableNames()) {
      if (stored_tables_.count(FoldName(name))) names.push_back(std::move(name));
    }
    return names;
  }

  std::optional<Definition> StoredDefinition(std::string_view name) override {
    std::lock_guard lock(mutex_);
    if (!store_ || !stored_tables_.count(FoldName(name))) return std::nullopt;
    std::optional<StoredTable> stored = store_->DescribeTable(std::string(name));
    if (!stored) return std::nullopt;
    Definition d;
    d.name = std::move(stored->name);
    for (StoredColumn& c : stored->columns) d.columns.push_back(FromStoredColumn(std::move(c), d.name));
    d.keys = FromStored(std::move(stored->keys));
    d.checks = FromStored(std::move(stored->checks));
    return d;
  }

  std::shared_ptr<Table> LoadTable(std::string_view name) override {
    std::lock_guard lock(mutex_);
    if (!store_ || !stored_tables_.count(FoldName(name))) return nullptr;
    const int64_t before = store_->DataVersion();
    std::optional<StoredTable> stored = store_->LoadTable(std::string(name), /*rows_on_demand=*/true);
    const int64_t after = store_->DataVersion();
    if (!stored) return nullptr;
    std::shared_ptr<Table> table = FromStored(std::move(*stored));
    // Read while another process committed: whether it is current is checked before use.
    table->checked_at = before == after ? after : -1;
    return table;
  }

  int64_t Refresh(Database& db, bool force) override {
    if (force) {
      std::lock_guard lock(mutex_);
      return RefreshLocked(db, true);
    }
    // While a table is being read (maybe a large one, for a statement further on in the batch)
    // a statement starts at the state last looked at rather than wait: the tables in memory
    // are all of that state, and one read meanwhile is checked when the statement binds it.
    std::unique_lock lock(mutex_, std::try_to_lock);
    if (!lock.owns_lock()) return last_data_version_.load(std::memory_order_relaxed);
    return RefreshLocked(db, false);
  }

  bool TryBeginWrite(Database& db) override {
    std::lock_guard lock(mutex_);
    if (!store_) {
      // A new data-source file is made by its first write.
      store_ = SqliteStore::Open(path_, create_ ? SqliteStore::Mode::kCreate : SqliteStore::Mode::kExisting);
      last_data_version_ = -1;
    }
    if (!store_->TryBeginWrite()) return false;
    try {
      RefreshLocked(db, false);
    } catch (...) {
      store_->Rollback();
      throw;
    }
    return true;
  }

  void Commit(Database& db, const ChangeLog& log) override {
    std::lock_guard lock(mutex_);
    // Only a session holding the write lock commits changes to permanent tables: a store out
    // of its write transaction here means they would not reach the file.
    if (!store_ || !store_->InWrite()) {
      SqlError e;
      e.number = 5120;
      e.severity = 16;
      e.message = "Cannot use the data source file '" + path_ +
                  "': the write lock was lost before the commit; nothing was written";
      throw SqlException(std::move(e));
    }
    std::vector<std::string> dropped;
    std::vector<Table*> written;
    try {
      Write(log, dropped, written);
      store_->Commit();
    } catch (...) {
      store_->Rollback();
      throw;
    }
    // (A table dropped and made again under its name is stored.)
    for (const std::string& name : dropped) stored_tables_.erase(FoldName(name));
    for (Table* t : written) {
      t->version = version_;
      t->checked_at = last_data_version_.load(std::memory_order_relaxed);
      stored_tables_.insert(FoldName(t->name));
    }
    db.ForgetDropped(dropped);
  }

  void AbortWrite() override {
    std::lock_guard lock(mutex_);
    if (store_) store_->Rollback();
  }

 private:
  int64_t RefreshLocked(Database& db, bool force) {
    if (!store_) {
      // The file may have been made by another process meanwhile.
      struct stat st {};
      if (stat(path_.c_str(), &st) != 0) return 0;
      store_ = SqliteStore::Open(path_, SqliteStore::Mode::kExisting);
    }
    const int64_t data_version = store_->DataVersion();
    LockManager& locks = db.locks();
    if (data_version == last_data_version_ && !force) {
      // Nothing committed since the last look; but a table read while another process
      // committed (or put in memory after that look) is still to be checked.
      bool unchecked = false;
      db.ForEachTable([&](const std::shared_ptr<Table>& t) {
        unchecked = unchecked || (t->checked_at != data_version && !locks.ExclusivelyLocked(FoldName(t->name)));
      });
      if (!unchecked) return data_version;
    }
    std::map<std::string, int64_t> versions;
    for (const TableVersion& v : store_->TableVersions()) versions[FoldName(v.name)] = v.version;
    stored_tables_.clear();
    for (const auto& [key, version] : versions) stored_tables_.insert(key);
    db.ForEachTable([&](const std::shared_ptr<Table>& t) {
      const std::string key = FoldName(t->name);
      // A table that a session of this process is changing is as the file is (that session
      // holds the write lock) plus its own changes.
      if (locks.ExclusivelyLocked(key)) return;
      auto it = versions.find(key);
      if (it != versions.end() && it->second == t->version) {
        t->checked_at = data_version;
      } else {
        db.EvictTable(t->name);
      }
    });
    std::map<std::string, std::string> stored_views;
    for (StoredView& v : store_->LoadViews()) stored_views[FoldName(v.name)] = std::move(v.definition);
    for (const auto& [key, definition] : stored_views) {
      if (locks.ExclusivelyLocked(key)) continue;
      auto known = view_texts_.find(key);
      if (known == view_texts_.end() || known->second != definition ||
          (!db.FindView(key) && !db.FindProcedure(key))) {
        if (auto view = ViewFromDefinition(definition, &db)) db.AddLoadedView(std::move(view));
      }
    }
    db.ForEachView([&](const std::shared_ptr<View>& v) {
      const std::string key = FoldName(v->name);
      if (!stored_views.count(key) && !locks.ExclusivelyLocked(key)) db.RemoveView(v);
    });
    db.ForEachProcedure([&](const std::shared_ptr<Procedure>& p) {
      const std::string key = FoldName(p->name);
      if (!stored_views.count(key) && !locks.ExclusivelyLocked(key)) db.DetachProcedure(key);
    });
    view_texts_ = std::move(stored_views);
    last_data_version_ = data_version;
    return data_version;
  }

  // Writes the permanent changes of a transaction, in the order of its catalog changes.
  void Write(const ChangeLog& log, std::vector<std::string>& dropped, std::vector<Table*>& written) {
    std::map<const Table*, bool> created_alive;  // created by this transaction: not dropped again
    std::map<const View*, bool> view_alive;
    std::map<Table*, RowChanges> changes;
    std::map<const Table*, size_t> created_at, dropped_at;  // record numbers
    for (size_t i = 0; i < log.records().size(); ++i) {
      const ChangeLog::Record& r = log.records()[i];
      if (r.view) {
        view_alive[r.view.get()] = r.kind == ChangeLog::Kind::kCreateView;
        continue;
      }
      if (!r.table || r.table->temporary) continue;
      Table* t = r.table.get();
      switch (r.kind) {
        case ChangeLog::Kind::kCreateTable:
          created_alive[t] = true;
          created_at[t] = i;
          break;
        case ChangeLog::Kind::kDropTable:
          if (created_alive.count(t)) created_alive[t] = false;
          dropped_at[t] = i;
          break;
        case ChangeLog::Kind::kInsert: {
          RowChanges& c = changes[t];
          c.base_id = std::min(c.base_id, r.first_id);
          break;
        }
        case ChangeLog::Kind::kUpdate: {
          RowChanges& c = changes[t];
          c.updated.insert(c.updated.end(), r.ids.begin(), r.ids.end());
          break;
        }
        case ChangeLog::Kind::kDelete: {
          RowChanges& c = changes[t];
          c.deleted.insert(c.deleted.end(), r.ids.begin(), r.ids.end());
          break;
        }
        case ChangeLog::Kind::kTruncate: {
          RowChanges& c = changes[t];
          c.truncated = true;
          c.deleted.clear();
          c.updated.clear();
          break;
        }
        default: break;
      }
    }
    // Tables given new definitions alone (same columns and rows; one or more in a row) in place
    // of a stored one: the stored definition is rewritten, and the rows changed before, between
    // and after written as changes, instead of the whole table written anew. By the table that
    // stands at the end: the tables whose row changes are to be written, the stored one first.
    std::map<const Table*, std::vector<const Table*>> redefined;
    std::set<const Table*> redefined_away;  // the stored table and those in between
    for (const auto& [t, alive] : created_alive) {
      if (!alive) continue;
      std::vector<const Table*> chain{t};
      std::shared_ptr<const Table> before = t->redefines.lock();
      while (before && created_alive.count(before.get()) && dropped_at.count(before.get()) &&
             dropped_at[before.get()] + 1 == created_at[chain.back()]) {
        chain.push_back(before.get());
        before = before->redefines.lock();
      }
      if (!before || created_alive.count(before.get()) || !dropped_at.count(before.get()) ||
          dropped_at[before.get()] + 1 != created_at[chain.back()] || !SameColumns(*before, *t)) {
        continue;
      }
      chain.push_back(before.get());
      std::reverse(chain.begin(), chain.end());
      redefined_away.insert(chain.begin(), chain.end() - 1);
      redefined[t] = std::move(chain);
    }
    version_ = store_->WriteVersion();
    std::set<const Table*> gone;  // dropped by this transaction
    for (const ChangeLog::Record& r : log.records()) {
      if (r.kind == ChangeLog::Kind::kPutProcedure) {
        StoredView v{r.procedure->name, r.procedure->text};
        store_->PutView(v);
        view_texts_[FoldName(v.name)] = v.definition;
        continue;
      }
      if (r.kind == ChangeLog::Kind::kDropProcedure) {
        store_->DeleteView(r.replaced->name);
        view_texts_.erase(FoldName(r.replaced->name));
        continue;
      }
      if (r.view) {
        if (r.kind == ChangeLog::Kind::kDropView) {
          store_->DeleteView(r.view->name);
          view_texts_.erase(FoldName(r.view->name));
        } else if (view_alive[r.view.get()]) {
          StoredView v{r.view->name, ViewDefinition(*r.view)};
          store_->PutView(v);
          view_texts_[FoldName(v.name)] = v.definition;
        }
        continue;
      }
      if (!r.table || r.table->temporary) continue;
      Table& t = *r.table;
      if (r.kind == ChangeLog::Kind::kDropTable && redefined_away.count(&t)) {
        gone.insert(&t);  // its row changes are written with the last definition's
        continue;
      }
      if (r.kind == ChangeLog::Kind::kCreateTable && redefined.count(&t)) {
        store_->RedefineTable(t.name, ToStored(t.columns), ToStored(t.keys), ToStored(t.checks));
        for (const Table* each : redefined[&t]) {
          if (auto it = changes.find(const_cast<Table*>(each)); it != changes.end()) {
            WriteRowChanges(*store_, *each, it->second);
          }
        }
        store_->SetTableInfo(t.name, t.next_identity.value_or(1), version_);
        written.push_back(&t);
        continue;
      }
      if (r.kind == ChangeLog::Kind::kDropTable) {
        gone.insert(&t);
        dropped.push_back(t.name);
        if (created_alive.count(&t)) continue;  // never reached the file
        store_->DropTable(t.name);
      } else if (r.kind == ChangeLog::Kind::kCreateTable && created_alive[&t]) {
        store_->CreateTable(t.name, ToStored(t.columns), ToStored(t.keys), ToStored(t.checks));
        WriteAllRows(*store_, t);
        store_->SetTableInfo(t.name, t.next_identity.value_or(1), version_);
        written.push_back(&t);
      }
    }
    for (auto& [t, c] : changes) {
      if (created_alive.count(t) || gone.count(t)) continue;
      WriteRowChanges(*store_, *t, c);
      store_->SetTableInfo(t->name, t->next_identity.value_or(1), version_);
      written.push_back(t);
    }
  }

  std::string path_;
  bool create_;
  std::mutex mutex_;
  std::unique_ptr<SqliteStore> store_;  // null until a file that does not exist yet is made
  std::atomic<int64_t> last_data_version_{-1};
  int64_t version_ = 0;
  std::set<std::string> stored_tables_;              // folded names
  std::map<std::string, std::string> view_texts_;    // folded name -> stored definition
};

}  // namespace

void SaveDatabaseAs(Database& db, const std::string& path) {
  for (const char* suffix : {"", "-wal", "-shm"}) std::remove((path + suffix).c_str());
  std::unique_ptr<SqliteStore> store = SqliteStore::Open(path, SqliteStore::Mode::kCreate);
  if (!store->TryBeginWrite()) {
    SqlError e = MakeError(1222);
    throw SqlException(std::move(e));
  }
  try {
    const int64_t version = store->WriteVersion();
    db.ForEachTable([&](const std::shared_ptr<Table>& t) {
      if (t->temporary) return;
      t->NumberRows();
      store->CreateTable(t->name, ToStored(t->columns), ToStored(t->keys), ToStored(t->checks));
      WriteAllRows(*store, *t);
      store->SetTableInfo(t->name, t->next_identity.value_or(1), version);
    });
    db.ForEachView([&](const std::shared_ptr<View>& v) { store->PutView({v->name, ViewDefinition(*v)}); });
    store->Commit();
  } catch (...) {
    store->Rollback();
    throw;
  }
}

void MakeColumnSnapshots(const std::string& path) {
  const std::unique_ptr<SqliteStore> store = SqliteStore::Open(path, SqliteStore::Mode::kExisting);
  if (!store->MakesSnapshots()) return;
  for (const std::string& name : store->TableNames()) store->LoadTable(name);
}

std::shared_ptr<Database> OpenDatabase(const std::string& path, const OpenOptions& options) {
  if (path.empty() || path == ":memory:") return std::make_shared<Database>(":memory:");
  static std::mutex registry_mutex;
  static std::map<std::string, std::weak_ptr<Database>> registry;
  std::error_code ec;
  std::string canonical = std::filesystem::weakly_canonical(path, ec).string();
  if (ec || canonical.empty()) canonical = path;
  std::lock_guard lock(registry_mutex);
  if (auto existing = registry[canonical].lock()) return existing;
  auto file = std::make_unique<SqliteFile>(canonical, options.create);
  auto db = std::make_shared<Database>(canonical);
  file->Attach(*db);
  db->AttachFile(std::move(file));
  registry[canonical] = db;
  return db;
}

}  // namespace orv::tsql
