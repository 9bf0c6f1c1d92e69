// Data definition: CREATE/DROP TABLE (session tables for #names), CREATE/DROP VIEW, CREATE
// INDEX (accepted; the executor needs no indexes), TRUNCATE TABLE, and column defaults.
#include <cctype>

#include "tsql/bind/binder.h"
#include "tsql/exec/computed_columns.h"
#include "tsql/exec/exec.h"
#include "tsql/exec/statements.h"
#include "tsql/exec/table_checks.h"
#include "tsql/exec/table_keys.h"
#include "tsql/syntax/parser.h"
#include "tsql/types/sql_error.h"

namespace orv::tsql {
namespace {

using ast::JoinName;

bool StartsWord(std::string_view text, size_t at, std::string_view word) {
  if (at + word.size() > text.size()) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(text[at + i])) != word[i]) return false;
  }
  size_t end = at + word.size();
  return end == text.size() ||
         !(std::isalnum(static_cast<unsigned char>(text[end])) || text[end] == '_');
}

}  // namespace

// The text of a DEFAULT expression that starts at `offset`: up to the ',' or ')' that ends the
// column definition, or a following column constraint keyword.
std::string DefaultText(std::string_view batch, size_t offset) {
  if (offset >= batch.size()) return "";
  int depth = 0;
  size_t i = offset;
  static const std::string_view kStops[] = {"NOT", "NULL", "PRIMARY", "IDENTITY",
                                            "CONSTRAINT", "UNIQUE", "CHECK", "REFERENCES"};
  for (; i < batch.size(); ++i) {
    char c = batch[i];
    if (c == '\'') {
      for (++i; i < batch.size(); ++i) {
        if (batch[i] == '\'') {
          if (i + 1 < batch.size() && batch[i + 1] == '\'') {
            ++i;
          } else {
            break;
          }
        }
      }
      continue;
    }
    if (c == '(') {
      ++depth;
    } else if (c == ')') {
      if (depth == 0) break;
      --depth;
    } else if (c == ',' && depth == 0) {
      break;
    } else if (depth == 0 && std::isspace(static_cast<unsigned char>(c))) {
      size_t j = i;
      while (j < batch.size() && std::isspace(static_cast<unsigned char>(batch[j]))) ++j;
      bool stop = false;
      for (auto w : kStops) stop = stop || StartsWord(batch, j, w);
      if (stop) break;
    }
  }
  std::string text(batch.substr(offset, i - offset));
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
  return text;
}

std::shared_ptr<const ast::Expr> ParseDefaultExpr(const std::string& sql) {
  if (sql.empty()) return nullptr;
  ast::Batch batch = ParseBatch("SELECT " + sql);
  if (batch.statements.empty() || batch.statements[0]->kind != ast::StmtKind::Select) {
    return nullptr;
  }
  auto& select = batch.statements[0]->As<ast::SelectStmt>();
  if (!select.query->spec || select.query->spec->items.empty()) return nullptr;
  return std::shared_ptr<const ast::Expr>(std::move(select.query->spec->items[0].expr));
}

std::string QualifiedTableName(const Table& table, const SessionState& session) {
  if (table.table_variable) return table.name;
  if (table.temporary) return "tempdb.dbo." + table.tempdb_name;
  return session.database->name() + ".dbo." + table.name;
}

Value DefaultValue(const ColumnDef& column, StatementContext& cx) {
  if (!column.default_expr) return Value();
  Binder binder(cx.session, EvalConstant);
  Scope scope;
  BExprPtr e = binder.BindExpr(*column.default_expr, scope);
  EvalCtx ctx;
  ctx.env = &cx.env;
  Value v = Eval(*e, ctx);
  return Convert(v, e->type, column.type, CastMode::Assignment);
}

ColumnDefaults::ColumnDefaults(const Table& table, StatementContext& cx)
    : table_(table), cx_(cx), slots_(table.columns.size()) {}

bool ColumnDefaults::IsConstant(size_t column) const {
  return !table_.columns[column].default_expr || slots_[column].constant;
}

Value ColumnDefaults::Get(size_t column) {
  const ColumnDef& col = table_.columns[column];
  if (!col.default_expr) return Value();
  Slot& slot = slots_[column];
  if (slot.constant) return slot.value;
  if (!slot.bound) {
    Binder binder(cx_.session, EvalConstant);
    Scope scope;
    slot.expr = binder.BindExpr(*col.default_expr, scope);
    slot.bound = true;
  }
  EvalCtx ctx;
  ctx.env = &cx_.env;
  Value v = Convert(Eval(*slot.expr, ctx), slot.expr->type, col.type, CastMode::Assignment);
  if (slot.expr->kind == BKind::Literal) {
    slot.value = v;
    slot.constant = true;
  }
  return v;
}

void RegisterTable(std::shared_ptr<Table> table, StatementContext& cx) {
  table->object_id = NewObjectId();
  table->temporary = IsTempName(table->name);
  if (table->temporary) {
    if (table->name[0] == '#' && table->name.size() > kMaxTempTableName) {
      ThrowError(193, {table->name, std::to_string(kMaxTempTableName)});
    }
    table->tempdb_name = TempdbName(table->name, table->object_id);
    std::string key = FoldName(table->name);
    if (cx.session.temp_tables.count(key)) ThrowError(2714, {table->name});
    cx.session.temp_tables.emplace(key, table);
  } else if (!cx.session.database->AddTable(table)) {
    ThrowError(2714, {table->name});
  }
  cx.log().CreatedTable(table);
}

ColumnDef ColumnOfDefinition(ast::ColumnDef& c, bool in_primary_key, StatementContext& cx) {
  ColumnDef col;
  col.name = c.name;
  if (c.computed) {
    // Its type is the expression's, known once the table's other columns are made
    // (ComputedColumnType).
    if (ast::DeeperThan(*c.computed, ast::kMaxNesting)) ThrowError(191);
    col.computed = std::shared_ptr<const ast::Expr>(std::move(c.computed));
    col.computed_sql = c.computed_text;
    col.nullable = c.nullable.value_or(!in_primary_key);
    return col;
  }
  col.type = TypeFromName(c.type, false);
  col.nullable = c.nullable.value_or(!(c.identity || in_primary_key));
  if (c.default_value) {
    // A default is kept as text too: one nested past what statements may hold is refused.
    if (ast::DeeperThan(*c.default_value, ast::kMaxNesting)) ThrowError(191);
    col.default_sql = DefaultText(cx.batch_text, c.default_value->pos.offset);
    col.default_expr = std::shared_ptr<const ast::Expr>(std::move(c.default_value));
    col.default_name = c.default_name;
  }
  col.identity = c.identity;
  col.identity_seed = c.identity_seed;
  col.identity_increment = c.identity_increment;
  return col;
}

void ExecCreateTable(ast::CreateTableStmt& stmt, StatementContext& cx) {
  cx.BindDone();
  auto table = std::make_shared<Table>();
  table->name = stmt.name.back();
  bool exists = IsTempName(table->name) ? cx.session.FindTempTable(table->name) != nullptr
                                        : cx.session.database->ObjectId(table->name).has_value();
  if (exists) ThrowError(2714, {table->name});
  for (auto& c : stmt.columns) {
    if (table->FindColumn(c.name) >= 0) ThrowError(2705, {c.name, table->name});
    bool in_pk = c.primary_key;
    for (const ast::KeyDef& key : stmt.keys) {
      for (const auto& k : key.columns) in_pk = in_pk || (key.primary && NamesEqual(k, c.name));
    }
    table->columns.push_back(ColumnOfDefinition(c, in_pk, cx));
  }
  for (ColumnDef& col : table->columns) {
    if (col.computed) col.type = ComputedColumnType(*table, col, cx);
  }
  // The definition is whole before the table is in the catalog, where other sessions see it.
  table->keys = KeysOfDefinition(stmt, *table);
  NameKeys(*table);
  NameDefaults(*table);
  table->checks = ChecksOfDefinition(stmt, *table);
  RegisterTable(table, cx);
  BindChecks(*table, table->checks, cx);
}

void ExecDropTable(ast::DropTableStmt& stmt, StatementContext& cx) {
  cx.BindDone();
  for (const auto& name : stmt.names) {
    const std::string& table_name = name.back();
    std::shared_ptr<Table> table;
    if (IsTempName(table_name)) {
      auto it = cx.session.temp_tables.find(FoldName(table_name));
      if (it != cx.session.temp_tables.end()) {
        table = std::move(it->second);
        cx.session.temp_tables.erase(it);
      }
    } else {
      table = cx.session.database->DetachTable(table_name);
    }
    if (table) {
      cx.log().DroppedTable(table);
    } else if (!stmt.if_exists) {
      ThrowError(3701, {JoinName(name)});
    }
  }
}

void ExecCreateView(ast::CreateViewStmt& stmt, StatementContext& cx) {
  const std::string& name = stmt.name.back();
  {
    Binder binder(cx.session, EvalConstant);
    auto bound = binder.BindQuery(*stmt.query, nullptr);
    for (size_t i = 0; i < bound->columns.size() && stmt.columns.empty(); ++i) {
      if (bound->columns[i].name.empty()) {
        ThrowError(4511, {"Create View or Function failed because no column name was specified for "
                          "column " + std::to_string(i + 1) + "."});
      }
    }
  }
  cx.BindDone();
  if (cx.session.database->ObjectId(name)) ThrowError(2714, {name});
  auto view = std::make_shared<View>();
  view->name = name;
  view->column_names = stmt.columns;
  view->query_text = stmt.query_text;
  view->query = std::shared_ptr<const ast::QueryExpr>(std::move(stmt.query));
  view->object_id = NewObjectId();
  if (!cx.session.database->AddView(view)) ThrowError(2714, {name});
  cx.log().CreatedView(view);
}

void ExecDropView(ast::DropViewStmt& stmt, StatementContext& cx) {
  cx.BindDone();
  for (const auto& name : stmt.names) {
    if (std::shared_ptr<View> view = cx.session.database->DetachView(name.back())) {
      cx.log().DroppedView(view);
    } else if (!stmt.if_exists) {
      ThrowError(3701, {"view", JoinName(name)});
    }
  }
}

void ExecTruncate(ast::TruncateStmt& stmt, StatementContext& cx) {
  Binder binder(cx.session, EvalConstant);
  auto table = binder.FindTable(stmt.table);
  if (!table) ThrowError(4701, {"Cannot find the object \"" + JoinName(stmt.table) +
                          "\" because it does not exist or you do not have permissions."});
  cx.BindDone();
  cx.log().Truncate(table);
  table->next_identity.reset();
}

}  // namespace orv::tsql
