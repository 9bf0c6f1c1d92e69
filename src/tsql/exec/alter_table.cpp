// ALTER TABLE (ADD columns, ALTER COLUMN, DROP COLUMN, constraints), CREATE and DROP INDEX, and
// sp_rename. A table's definition changes by putting a new table in the old one's place: the
// new one gets the old one's name, object id and identity, and rows made from the old rows. The
// change log records the swap as the old table dropped and the new one created, so that undo
// (a failing statement, ROLLBACK) puts the old table back, and a commit rewrites the table in
// the data-source file under a new version, which other processes holding the file follow as
// they follow any changed table.
#include <algorithm>
#include <numeric>
#include <optional>
#include <string>

#include "tsql/catalog/transaction.h"
#include "tsql/exec/computed_columns.h"
#include "tsql/exec/exec.h"
#include "tsql/exec/statements.h"
#include "tsql/exec/table_checks.h"
#include "tsql/exec/table_keys.h"
#include "tsql/types/sql_error.h"
#include "tsql/types/value_ops.h"

namespace orv::tsql {
namespace {

using Action = ast::AlterTableStmt::Action;

// The table an ALTER TABLE, CREATE INDEX or DROP INDEX names: a #table of the session or a
// permanent table; null when there is none.
std::shared_ptr<Table> FindAlteredTable(const ast::Name& name, StatementContext& cx) {
  const std::string& table_name = name.back();
  std::shared_ptr<Table> table =
      IsTempName(table_name) ? cx.session.FindTempTable(table_name) : cx.session.OpenTable(table_name);
  cx.BindDone();
  return table;
}

// A new table that stands for `old`: its name, ids and columns, no rows yet.
std::shared_ptr<Table> NewDefinition(const Table& old) {
  auto table = std::make_shared<Table>();
  table->name = old.name;
  table->columns = old.columns;
  table->keys = old.keys;
  table->checks = old.checks;
  table->object_id = old.object_id;
  table->temporary = old.temporary;
  table->tempdb_name = old.tempdb_name;
  table->next_identity = old.next_identity;
  return table;
}

// Makes `altered` a new definition of `old` alone: its rows are old's, shared, and a commit
// rewrites the stored definition only.
void Redefine(const std::shared_ptr<Table>& old, Table& altered) {
  altered.ShareRowsOf(*old);
  altered.redefines = old;
}

// Puts `altered` where `old` is in the catalog (under altered's name, which differs from old's
// for a rename) and records the swap.
void PutInPlace(const std::shared_ptr<Table>& old, const std::shared_ptr<Table>& altered, StatementContext& cx) {
  SessionState& session = cx.session;
  if (old->temporary) {
    session.temp_tables.erase(FoldName(old->name));
    cx.log().DroppedTable(old);
    session.temp_tables[FoldName(altered->name)] = altered;
  } else {
    session.database->DetachTable(old->name);
    cx.log().DroppedTable(old);
    if (!session.database->AddTable(altered)) ThrowError(2714, {altered->name});
  }
  cx.log().CreatedTable(altered);
}

// ADD: each new column is appended; existing rows get its identity numbers, its default (when
// the column is NOT NULL or WITH VALUES is given) or NULL.
void AddColumns(ast::AlterTableStmt& stmt, const Table& old, Table& altered, std::vector<Row>& rows,
                StatementContext& cx) {
  for (size_t k = 0; k < stmt.columns.size(); ++k) {
    ast::ColumnDef& c = stmt.columns[k];
    if (c.primary_key) ThrowError(40517, {"ADD PRIMARY KEY"});
    if (c.unique) ThrowError(40517, {"ADD UNIQUE"});
    if (altered.FindColumn(c.name) >= 0) ThrowError(2705, {c.name, old.name});
    ColumnDef col = ColumnOfDefinition(c, false, cx);
    if (col.identity) {
      for (const ColumnDef& other : altered.columns) {
        if (other.identity) ThrowError(2744, {old.name});
      }
    }
    altered.columns.push_back(std::move(col));
    const size_t at = altered.columns.size() - 1;
    if (altered.columns[at].computed) {
      altered.columns[at].type = ComputedColumnType(altered, altered.columns[at], cx);
      const ComputedColumns computed(altered, cx, "ALTER TABLE");
      for (Row& row : rows) {
        row.emplace_back();
        computed.Fill(row);
      }
      continue;
    }
    const ColumnDef& added = altered.columns[at];
    const bool fill_default = added.default_expr && (!added.nullable || stmt.with_values[k]);
    if (!rows.empty() && !added.nullable && !added.identity && !fill_default) {
      ThrowError(4901, {added.name, old.name});
    }
    ColumnDefaults defaults(altered, cx);
    int64_t next = added.identity_seed;
    for (Row& row : rows) {
      Value v;
      if (added.identity) {
        v = Convert(Value::Int(next), SqlType::BigInt(), added.type, CastMode::Assignment);
        next += added.identity_increment;
      } else if (fill_default) {
        v = defaults.Get(at);
        if (v.is_null() && !added.nullable) ThrowError(4901, {added.name, old.name});
      }
      row.push_back(std::move(v));
    }
    if (added.identity && !rows.empty()) altered.next_identity = next;
  }
}

// A column of a PRIMARY KEY, UNIQUE or CHECK constraint, of an index (or read by its filter) or
// read by a computed column can be neither dropped nor altered.
void RefuseConstrainedColumn(const Table& table, int column) {
  const std::string& name = table.columns[static_cast<size_t>(column)].name;
  for (const ColumnDef& other : table.columns) {
    if (other.computed && ExprReadsColumn(*other.computed, name)) ThrowError(5074, {"column", other.name, name});
  }
  for (const TableKey& key : table.keys) {
    if (std::find(key.columns.begin(), key.columns.end(), column) != key.columns.end() ||
        (key.filter && ExprReadsColumn(*key.filter, name))) {
      ThrowError(5074, {key.index ? "index" : "object", key.name, name});
    }
  }
  for (const TableCheck& check : table.checks) {
    if (CheckReadsColumn(check, name)) ThrowError(5074, {"object", check.name, name});
  }
}

// ALTER COLUMN: the column's new type and nullability (NULL unless NOT NULL is given, as
// SQL Server's default nullability has it); its DEFAULT and identity stay. Every value is
// converted as storing it in the new column would convert it.
void AlterColumn(ast::AlterTableStmt& stmt, const Table& old, Table& altered, std::vector<Row>& rows,
                 StatementContext& cx) {
  const ast::ColumnDef& c = stmt.columns.at(0);
  const int at = altered.FindColumn(c.name);
  if (at < 0) ThrowError(4924, {"ALTER TABLE ALTER COLUMN", c.name, old.name});
  RefuseConstrainedColumn(altered, at);
  ColumnDef& col = altered.columns[static_cast<size_t>(at)];
  if (col.computed) ThrowError(4928, {col.name, "COMPUTED"});
  const SqlType from = col.type;
  col.type = TypeFromName(c.type, false);
  col.nullable = c.nullable.value_or(!col.identity);
  const bool same_type = from == col.type;
  for (Row& row : rows) {
    Value& v = row[static_cast<size_t>(at)];
    if (v.is_null()) {
      if (!col.nullable) ThrowError(515, {col.name, QualifiedTableName(old, cx.session), "UPDATE"});
      continue;
    }
    if (!same_type) v = Convert(v, from, col.type, CastMode::Assignment);
  }
}

// DROP COLUMN: the columns go with their values; one that is not there raises 4924 (nothing
// for IF EXISTS), and the last column of a table cannot go.
void DropColumns(const ast::AlterTableStmt& stmt, const Table& old, Table& altered, std::vector<Row>& rows) {
  for (const ast::AlterTableStmt::Drop& drop : stmt.drops) {
    const int at = altered.FindColumn(drop.column);
    if (at < 0) {
      if (drop.if_exists) continue;
      ThrowError(4924, {"ALTER TABLE DROP COLUMN", drop.column, old.name});
    }
    if (altered.columns.size() == 1) ThrowError(4923, {altered.columns[0].name, old.name});
    // Its DEFAULT constraint goes first (ALTER TABLE DROP CONSTRAINT), as SQL Server has it.
    if (const ColumnDef& dropped = altered.columns[static_cast<size_t>(at)]; dropped.default_expr) {
      ThrowError(5074, {"object", dropped.default_name, dropped.name});
    }
    RefuseConstrainedColumn(altered, at);
    for (TableKey& key : altered.keys) {
      for (int& c : key.columns) c -= c > at ? 1 : 0;
    }
    altered.columns.erase(altered.columns.begin() + at);
    for (Row& row : rows) row.erase(row.begin() + at);
  }
}

// Whether the table has a key, check or default constraint of this name.
bool HasConstraint(const Table& table, std::string_view name) {
  return std::any_of(table.keys.begin(), table.keys.end(),
                     [&](const TableKey& k) { return !k.index && NamesEqual(k.name, name); }) ||
         std::any_of(table.checks.begin(), table.checks.end(),
                     [&](const TableCheck& c) { return NamesEqual(c.name, name); }) ||
         std::any_of(table.columns.begin(), table.columns.end(),
                     [&](const ColumnDef& c) { return c.default_expr && NamesEqual(c.default_name, name); });
}

// ADD PRIMARY KEY / UNIQUE: the rows there must hold no duplicate (1505); a table has one
// primary key (1779), and a constraint's name is the table's once (2714).
void AddKeys(const ast::AlterTableStmt& stmt, const Table& old, Table& altered) {
  ast::CreateTableStmt definition;
  definition.keys = stmt.keys;
  for (TableKey& key : KeysOfDefinition(definition, altered)) {
    for (const TableKey& other : altered.keys) {
      if (key.primary && other.primary) ThrowError(1779, {old.name});
      if (other.index && NamesEqual(key.name, other.name)) ThrowError(1913, {key.name, old.name});
    }
    if (!key.name.empty() && HasConstraint(altered, key.name)) ThrowError(2714, {key.name});
    altered.keys.push_back(std::move(key));
  }
  NameKeys(altered);
}

// ADD CHECK: each condition is bound against the table (and, unless WITH NOCHECK, tested on
// every row there once they are in place: 547).
void AddChecks(const ast::AlterTableStmt& stmt, Table& altered, StatementContext& cx) {
  ast::CreateTableStmt definition;
  definition.checks = stmt.checks;
  std::vector<TableCheck> checks = ChecksOfDefinition(definition, altered);
  BindChecks(altered, checks, cx);
  for (TableCheck& check : checks) {
    if (HasConstraint(altered, check.name)) ThrowError(2714, {check.name});
    check.not_trusted = stmt.nocheck;  // WITH NOCHECK: the rows there were not tested
    altered.checks.push_back(std::move(check));
  }
}

// ADD DEFAULT ... FOR column: the column's default, when it has none (1781).
void AddDefault(const ast::AlterTableStmt& stmt, Table& altered) {
  const int at = altered.FindColumn(stmt.default_column);
  if (at < 0) ThrowError(1752, {stmt.default_column, altered.name});
  ColumnDef& col = altered.columns[static_cast<size_t>(at)];
  if (col.default_expr) ThrowError(1781);
  if (ast::DeeperThan(*stmt.default_value, ast::kMaxNesting)) ThrowError(191);
  if (!stmt.default_name.empty() && HasConstraint(altered, stmt.default_name)) ThrowError(2714, {stmt.default_name});
  col.default_expr = stmt.default_value;
  col.default_sql = stmt.default_text;
  col.default_name = stmt.default_name;
  col.default_object_id = 0;
}

// CHECK | NOCHECK CONSTRAINT: the checks named (every check for ALL). A name must be a
// constraint of the table (4917); a key cannot be disabled (11415) and is always enabled.
std::vector<TableCheck*> NamedChecks(const ast::AlterTableStmt& stmt, Table& altered) {
  // (Only the table's definition is read: `altered` may be the table in place.)
  std::vector<TableCheck*> named;
  if (stmt.drops.empty()) {
    for (TableCheck& check : altered.checks) named.push_back(&check);
    return named;
  }
  for (const ast::AlterTableStmt::Drop& name : stmt.drops) {
    auto check = std::find_if(altered.checks.begin(), altered.checks.end(),
                              [&](const TableCheck& c) { return NamesEqual(c.name, name.column); });
    if (check != altered.checks.end()) {
      named.push_back(&*check);
    } else if (!HasConstraint(altered, name.column)) {
      ThrowError(4917, {name.column});
    } else if (stmt.action == Action::DisableConstraints) {
      ThrowError(11415, {name.column});
    }
  }
  return named;
}

// DROP CONSTRAINT: keys and checks are the constraints kept; another name raises 3728 (nothing
// for IF EXISTS).
void DropConstraints(const ast::AlterTableStmt& stmt, Table& altered) {
  for (const ast::AlterTableStmt::Drop& drop : stmt.drops) {
    auto it = std::find_if(altered.keys.begin(), altered.keys.end(),
                           [&](const TableKey& k) { return !k.index && NamesEqual(k.name, drop.column); });
    auto check = std::find_if(altered.checks.begin(), altered.checks.end(),
                              [&](const TableCheck& c) { return NamesEqual(c.name, drop.column); });
    auto with_default = std::find_if(altered.columns.begin(), altered.columns.end(), [&](const ColumnDef& c) {
      return c.default_expr && NamesEqual(c.default_name, drop.column);
    });
    if (it != altered.keys.end()) {
      altered.keys.erase(it);
    } else if (check != altered.checks.end()) {
      altered.checks.erase(check);
    } else if (with_default != altered.columns.end()) {
      with_default->default_expr = nullptr;
      with_default->default_sql.clear();
      with_default->default_name.clear();
      with_default->default_object_id = 0;
    } else if (!drop.if_exists) {
      ThrowError(3728, {drop.column});
    }
  }
}

// An sp_rename argument's name parts: "dbo.t.c", "[t].[c]" -> {"dbo", "t", "c"}.
std::vector<std::string> NameParts(const std::string& text) {
  std::vector<std::string> parts(1);
  bool bracketed = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char ch = text[i];
    if (bracketed) {
      if (ch == ']' && i + 1 < text.size() && text[i + 1] == ']') {
        parts.back() += ']';
        ++i;
      } else if (ch == ']') {
        bracketed = false;
      } else {
        parts.back() += ch;
      }
    } else if (ch == '[') {
      bracketed = true;
    } else if (ch == '.') {
      parts.emplace_back();
    } else {
      parts.back() += ch;
    }
  }
  return parts;
}

}  // namespace

void ExecAlterTable(ast::AlterTableStmt& stmt, StatementContext& cx) {
  std::shared_ptr<Table> old = FindAlteredTable(stmt.table, cx);
  if (!old) ThrowError(4902, {ast::JoinName(stmt.table)});
  if (stmt.action == Action::Constraint) ThrowError(40517, {stmt.constraint_clause});
  if (stmt.action == Action::EnableConstraints && !stmt.with_check) {
    // Scripts enable each constraint they add: when that changes nothing, the table (and its
    // copy in the file) stays as it is.
    const std::vector<TableCheck*> named = NamedChecks(stmt, *old);
    if (std::none_of(named.begin(), named.end(), [](const TableCheck* c) { return c->disabled; })) return;
  }
  std::shared_ptr<Table> altered = NewDefinition(*old);
  // The checks the rows there are to be tested against: those added, or those CHECK
  // CONSTRAINT enables, unless WITH NOCHECK.
  std::vector<TableCheck*> tested;
  // Only ADD, ALTER COLUMN and DROP COLUMN change the rows; the other actions change the
  // definition alone.
  const bool rows_change =
      stmt.action == Action::AddColumns || stmt.action == Action::AlterColumn || stmt.action == Action::DropColumns;
  std::vector<Row> rows = rows_change ? old->rows() : std::vector<Row>();
  switch (stmt.action) {
    case Action::AddColumns:
      AddColumns(stmt, *old, *altered, rows, cx);
      break;
    case Action::AlterColumn:
      AlterColumn(stmt, *old, *altered, rows, cx);
      break;
    case Action::DropColumns:
      DropColumns(stmt, *old, *altered, rows);
      break;
    case Action::AddKeys:
      AddKeys(stmt, *old, *altered);
      break;
    case Action::AddChecks:
      AddChecks(stmt, *altered, cx);
      if (stmt.nocheck) break;
      for (size_t i = altered->checks.size() - stmt.checks.size(); i < altered->checks.size(); ++i) {
        tested.push_back(&altered->checks[i]);
      }
      break;
    case Action::AddDefault:
      AddDefault(stmt, *altered);
      break;
    case Action::DropConstraints:
      DropConstraints(stmt, *altered);
      break;
    case Action::EnableConstraints:
      // Enabled again, a check is trusted only once WITH CHECK has tested the rows there.
      for (TableCheck* check : NamedChecks(stmt, *altered)) {
        check->disabled = false;
        check->not_trusted = check->not_trusted && !stmt.with_check;
        if (stmt.with_check) tested.push_back(check);
      }
      break;
    case Action::DisableConstraints:
      for (TableCheck* check : NamedChecks(stmt, *altered)) {
        check->disabled = true;
        check->not_trusted = true;
      }
      break;
    case Action::Constraint:
      break;
  }
  if (rows_change) {
    altered->mutable_rows() = std::move(rows);
  } else {
    Redefine(old, *altered);
  }
  if (stmt.action == Action::AddKeys) CheckKeys(*altered, cx, /*adding=*/true);
  if (!tested.empty()) {
    std::vector<size_t> positions(altered->row_count());
    std::iota(positions.begin(), positions.end(), 0);
    for (const TableCheck* check : tested) CheckCondition(*altered, *check, positions, "ALTER TABLE", cx);
  }
  NameDefaults(*altered);
  PutInPlace(old, altered, cx);
}

void ExecCreateIndex(ast::CreateIndexStmt& stmt, StatementContext& cx) {
  std::shared_ptr<Table> old = FindAlteredTable(stmt.table, cx);
  if (!old) ThrowError(1088, {ast::JoinName(stmt.table)});
  TableKey index;
  index.name = stmt.index_name;
  index.index = true;
  index.unique = stmt.unique;
  for (const std::string& name : stmt.columns) {
    const int at = old->FindColumn(name);
    if (at < 0) ThrowError(1911, {name});
    index.columns.push_back(at);
  }
  if (stmt.filter) {
    // A condition on the row alone, over the table's columns.
    if (ExprHasSubquery(*stmt.filter)) ThrowError(10735, {index.name, old->name});
    BoundSpec spec;
    BindRowCondition(*old, *stmt.filter, spec, cx);
    index.filter = stmt.filter;
    index.filter_sql = stmt.filter_text;
  }
  std::shared_ptr<Table> altered = NewDefinition(*old);
  const auto same = std::find_if(altered->keys.begin(), altered->keys.end(),
                                 [&](const TableKey& k) { return NamesEqual(k.name, index.name); });
  if (stmt.drop_existing) {
    if (same == altered->keys.end() || !same->index) ThrowError(7999, {index.name, old->name});
    altered->keys.erase(same);
  } else if (same != altered->keys.end()) {
    ThrowError(1913, {index.name, old->name});
  }
  altered->keys.push_back(std::move(index));
  NameKeys(*altered);
  Redefine(old, *altered);
  // The rows are those the other keys hold already: only a unique index has something to check.
  if (stmt.unique) CheckKeys(*altered, cx, /*adding=*/true);
  PutInPlace(old, altered, cx);
}

void ExecDropIndex(ast::DropIndexStmt& stmt, StatementContext& cx) {
  std::shared_ptr<Table> old = FindAlteredTable(stmt.table, cx);
  const std::string shown = ast::JoinName(stmt.table) + "." + stmt.index_name;
  if (!old) ThrowError(3701, {"index", shown});
  const auto it = std::find_if(old->keys.begin(), old->keys.end(),
                               [&](const TableKey& k) { return NamesEqual(k.name, stmt.index_name); });
  if (it == old->keys.end()) ThrowError(3701, {"index", shown});
  if (!it->index) ThrowError(3723, {it->name, it->primary ? "PRIMARY KEY" : "UNIQUE KEY"});
  std::shared_ptr<Table> altered = NewDefinition(*old);
  altered->keys.erase(altered->keys.begin() + (it - old->keys.begin()));
  Redefine(old, *altered);
  PutInPlace(old, altered, cx);
}

void ExecRename(const std::optional<std::string>& objname, const std::optional<std::string>& newname,
                const std::optional<std::string>& objtype, StatementContext& cx) {
  SessionState& session = cx.session;
  const std::string type = objtype ? FoldName(*objtype) : std::string();
  const std::vector<std::string> parts = NameParts(objname.value_or(""));
  const std::string new_name = newname.value_or("");
  const bool column = type == "COLUMN";
  if (!column && !type.empty() && type != "OBJECT") ThrowError(15248, {*objtype});
  if (column && parts.size() < 2) ThrowError(15248, {*objtype});
  const std::string& table_name = parts[parts.size() - (column ? 2 : 1)];
  const bool temporary = IsTempName(table_name);
  // A #table lives in tempdb: only its columns can be renamed from here. A read-only session
  // sees no permanent table it could rename.
  const bool reachable = column ? temporary || !session.read_only : !temporary && !session.read_only;
  if (reachable && !temporary) {
    std::vector<std::string> locked{table_name};
    if (!column) locked.push_back(new_name);
    LockForWrite(session, locked);
  }
  std::shared_ptr<Table> old;
  if (reachable) old = temporary ? session.FindTempTable(table_name) : session.OpenTable(table_name);
  if (!old) {
    if (column) ThrowError(15248, {*objtype});
    ThrowError(15225, {*objname, session.database->name(), objtype.value_or("(null)")});
  }
  std::shared_ptr<Table> renamed = NewDefinition(*old);
  if (column) {
    const int at = old->FindColumn(parts.back());
    if (at < 0) ThrowError(15248, {*objtype});
    const int taken = old->FindColumn(new_name);
    if (taken >= 0 && taken != at) ThrowError(15335, {new_name, *objtype});
    // A CHECK condition or computed column names its columns in its text, kept as written.
    for (const TableCheck& check : old->checks) {
      if (CheckReadsColumn(check, parts.back())) ThrowError(5074, {"object", check.name, parts.back()});
    }
    for (const TableKey& key : old->keys) {
      if (key.filter && ExprReadsColumn(*key.filter, parts.back())) ThrowError(5074, {"index", key.name, parts.back()});
    }
    for (const ColumnDef& other : old->columns) {
      if (other.computed && ExprReadsColumn(*other.computed, parts.back())) {
        ThrowError(5074, {"column", other.name, parts.back()});
      }
    }
    renamed->columns[static_cast<size_t>(at)].name = new_name;
  } else {
    if (!NamesEqual(new_name, old->name) && session.database->ObjectId(new_name)) {
      ThrowError(15335, {new_name, "object"});
    }
    renamed->name = new_name;
  }
  renamed->mutable_rows() = old->rows();
  PutInPlace(old, renamed, cx);
  StatementResult caution;
  caution.kind = StatementResult::Kind::Message;
  caution.error = MakeError(15477);
  cx.results.push_back(std::move(caution));
}

}  // namespace orv::tsql
