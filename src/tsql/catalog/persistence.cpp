#include "tsql/catalog/persistence.h"

#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <string_view>

#include "tsql/storage/sqlite_store.h"
#include "tsql/syntax/parser.h"
#include "tsql/types/sql_error.h"

namespace orv::tsql {
namespace {

// T-SQL text of a column default, enough for the defaults that tables declare: literals,
// signs, function calls, arithmetic and parentheses. Anything else is kept out (no default).
bool AppendExprSql(const ast::Expr& e, std::string& out) {
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
      return AppendExprSql(*e.args[0], out);
    case ast::ExprKind::Binary: {
      static const std::map<ast::Op, const char*> kOps = {
          {ast::Op::Add, "+"}, {ast::Op::Sub, "-"}, {ast::Op::Mul, "*"}, {ast::Op::Div, "/"}, {ast::Op::Mod, "%"}};
      auto it = kOps.find(e.op);
      if (it == kOps.end()) return false;
      out += '(';
      if (!AppendExprSql(*e.args[0], out)) return false;
      out += it->second;
      if (!AppendExprSql(*e.args[1], out)) return false;
      out += ')';
      return true;
    }
    case ast::ExprKind::Function: {
      out += e.text;
      out += '(';
      for (size_t i = 0; i < e.args.size(); ++i) {
        if (i) out += ',';
        if (!AppendExprSql(*e.args[i], out)) return false;
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
    out.push_back({c.name, c.type, c.nullable, DefaultSql(c), c.identity, c.identity_seed, c.identity_increment});
  }
  return out;
}

std::shared_ptr<Table> FromStored(StoredTable stored) {
  auto table = std::make_shared<Table>();
  table->name = std::move(stored.name);
  table->object_id = NewObjectId();
  bool has_identity = false;
  for (StoredColumn& c : stored.columns) {
    ColumnDef def;
    def.name = std::move(c.name);
    def.type = c.type;
    def.nullable = c.nullable;
    def.default_expr = ParseDefault(c.default_sql);
    def.identity = c.identity;
    def.identity_seed = c.identity_seed;
    def.identity_increment = c.identity_increment;
    has_identity = has_identity || c.identity;
    table->columns.push_back(std::move(def));
  }
  table->ReplaceRows(std::move(stored.rows));
  if (has_identity && !table->rows().empty()) table->next_identity = stored.identity_next;
  return table;
}

std::string ViewDefinition(const View& v) {
  std::string text = "CREATE VIEW " + v.name;
  if (!v.column_names.empty()) {
    text += " (";
    for (size_t i = 0; i < v.column_names.size(); ++i) text += (i ? "," : "") + v.column_names[i];
    text += ")";
  }
  return text + " AS\n" + v.query_text;
}

std::shared_ptr<View> ViewFromDefinition(const std::string& definition) {
  ast::Batch batch = ParseBatch(definition);
  auto& create = batch.statements.at(0)->As<ast::CreateViewStmt>();
  auto view = std::make_shared<View>();
  view->name = create.name.back();
  view->column_names = create.columns;
  view->query_text = create.query_text;
  view->query = std::shared_ptr<const ast::QueryExpr>(std::move(create.query));
  view->object_id = NewObjectId();
  return view;
}

// What the file holds, so that unchanged tables are not written and names of tables that were
// never loaded are still known.
struct StoreState {
  std::unique_ptr<SqliteStore> store;
  std::mutex mutex;
  std::set<std::string> stored_tables;  // folded names
  std::set<std::string> stored_views;   // folded names
};

}  // namespace

void AttachSqliteStore(Database& db, const std::string& path) {
  auto state = std::make_shared<StoreState>();
  state->store = SqliteStore::Open(path);
  for (const std::string& name : state->store->TableNames()) state->stored_tables.insert(FoldName(name));
  for (const StoredView& v : state->store->LoadViews()) {
    std::shared_ptr<View> view = ViewFromDefinition(v.definition);
    state->stored_views.insert(FoldName(view->name));
    db.AddView(std::move(view));
  }
  db.SetTableLoader([state](Database&, std::string_view name) -> std::shared_ptr<Table> {
    std::lock_guard lock(state->mutex);
    if (!state->stored_tables.count(FoldName(name))) return nullptr;
    std::optional<StoredTable> stored = state->store->LoadTable(std::string(name));
    if (!stored) return nullptr;
    return FromStored(std::move(*stored));
  });
  db.SetStoredTableLister([state]() {
    std::lock_guard lock(state->mutex);
    std::vector<std::string> names;
    for (const std::string& name : state->store->TableNames()) {
      if (state->stored_tables.count(FoldName(name))) names.push_back(name);
    }
    return names;
  });
  // A demo database carries its own "today" for GETDATE().
  if (state->stored_tables.count("T_ORVCLOCK")) {
    if (std::optional<StoredTable> clock = state->store->LoadTable("t_OrvClock")) {
      if (!clock->rows.empty() && !clock->rows[0].empty() &&
          clock->rows[0][0].kind() == Value::Kind::DateTime) {
        db.SetDemoClock(clock->rows[0][0].datetime_ticks());
      }
    }
  }
  db.SetBatchEndHook([state](Database& database) {
    std::lock_guard lock(state->mutex);
    std::vector<TableChange> changes;
    std::vector<Table*> saved;
    database.ForEachTable([&](Table& t) {
      if (t.temporary || !t.dirty) return;
      changes.push_back({t.name, ToStored(t.columns), &t.rows(), t.next_identity.value_or(1), true, 0});
      saved.push_back(&t);
    });
    std::vector<std::string> dropped;
    for (const std::string& name : database.dropped_tables()) {
      if (state->stored_tables.count(FoldName(name))) dropped.push_back(name);
    }
    std::vector<StoredView> created_views;
    std::set<std::string> current_views;
    database.ForEachView([&](View& v) {
      const std::string key = FoldName(v.name);
      current_views.insert(key);
      if (!state->stored_views.count(key)) created_views.push_back({v.name, ViewDefinition(v)});
    });
    std::vector<std::string> dropped_views;
    for (const std::string& key : state->stored_views) {
      if (!current_views.count(key)) dropped_views.push_back(key);
    }
    state->store->Save(changes, dropped, created_views, dropped_views);
    for (Table* t : saved) {
      t->dirty = false;
      state->stored_tables.insert(FoldName(t->name));
    }
    for (const std::string& name : dropped) state->stored_tables.erase(FoldName(name));
    database.dropped_tables().clear();
    state->stored_views = std::move(current_views);
  });
}

void SaveDatabaseAs(Database& db, const std::string& path) {
  std::remove(path.c_str());
  std::unique_ptr<SqliteStore> store = SqliteStore::Open(path);
  std::vector<TableChange> changes;
  db.ForEachTable([&](Table& t) {
    if (t.temporary) return;
    changes.push_back({t.name, ToStored(t.columns), &t.rows(), t.next_identity.value_or(1), true, 0});
  });
  std::vector<StoredView> views;
  db.ForEachView([&](View& v) { views.push_back({v.name, ViewDefinition(v)}); });
  store->Save(changes, {}, views, {});
}

std::shared_ptr<Database> OpenDatabase(const std::string& path) {
  if (path.empty() || path == ":memory:") return std::make_shared<Database>(":memory:");
  static std::mutex registry_mutex;
  static std::map<std::string, std::weak_ptr<Database>> registry;
  std::error_code ec;
  std::string canonical = std::filesystem::weakly_canonical(path, ec).string();
  if (ec || canonical.empty()) canonical = path;
  std::lock_guard lock(registry_mutex);
  if (auto existing = registry[canonical].lock()) return existing;
  auto db = std::make_shared<Database>(canonical);
  AttachSqliteStore(*db, canonical);
  registry[canonical] = db;
  return db;
}

}  // namespace orv::tsql
