// Cursors: DECLARE CURSOR and SET @v = CURSOR, OPEN, FETCH, CLOSE, DEALLOCATE, and the row a
// cursor stands on for WHERE CURRENT OF. OPEN runs the query once and keeps its rows (moved,
// not copied); FETCH moves a position among them, so each fetch costs the same however many
// rows there are. Cursors are no part of a transaction: COMMIT and ROLLBACK leave them as
// they are (CURSOR_CLOSE_ON_COMMIT is OFF).
#include "tsql/bind/binder.h"
#include "tsql/exec/dml_target.h"
#include "tsql/exec/exec.h"
#include "tsql/exec/statements.h"
#include "tsql/types/sql_error.h"
#include "tsql/types/value_ops.h"

namespace orv::tsql {
namespace {

// The slot that holds the cursor a statement names: a cursor variable's, or a LOCAL cursor's
// of this scope before a GLOBAL one's of that name (only the GLOBAL one when the statement
// says so). Raises 137 for an undeclared variable and 16916 for an unknown name.
std::shared_ptr<Cursor>& CursorSlot(SessionState& session, const std::string& name, bool global) {
  if (!name.empty() && name[0] == '@') {
    const auto it = session.cursor_variables.find(FoldName(name.substr(1)));
    if (it == session.cursor_variables.end()) ThrowError(137, {name});
    return it->second;
  }
  const std::string key = FoldName(name);
  if (!global) {
    if (auto it = session.local_cursors.find(key); it != session.local_cursors.end())
      return it->second;
  }
  const auto it = session.global_cursors.find(key);
  if (it == session.global_cursors.end()) ThrowError(16916, {name});
  return it->second;
}

// The cursor a statement names; a cursor variable that holds none raises 16950.
Cursor& FindCursor(SessionState& session, const std::string& name, bool global) {
  std::shared_ptr<Cursor>& slot = CursorSlot(session, name, global);
  if (!slot) ThrowError(16950, {name});
  return *slot;
}

void Close(Cursor& cursor) {
  cursor.open = false;
  cursor.position = 0;
  std::vector<std::vector<Value>>().swap(cursor.rows);
  std::vector<int64_t>().swap(cursor.row_ids);
  cursor.table.reset();
}

// Keeps the table and each row's id in it when the query reads one table as it is (no
// grouping, DISTINCT or set operation): an extra select item gives each row's address in the
// table, turned into the row's id once the rows are made. Returns whether it does.
bool TrackTableRows(BoundQuery& query, Cursor& cursor) {
  if (!query.spec) return false;
  BoundSpec& spec = *query.spec;
  if (spec.grouped || spec.distinct || spec.sources.size() != 1 || !spec.sources[0].table) {
    return false;
  }
  cursor.table = spec.sources[0].table;
  cursor.table->KeepRowIds();
  auto ref = std::make_unique<BExpr>();
  ref->kind = BKind::RowRef;
  ref->type = SqlType::BigInt();
  ref->src = 0;
  spec.select.push_back(std::move(ref));
  query.columns.push_back({"", SqlType::BigInt(), true});
  return true;
}

void Open(Cursor& cursor, StatementContext& cx) {
  if (cursor.open) {
    cx.BindDone();
    ThrowError(16905);
  }
  Binder binder(cx.session, EvalConstant);
  std::unique_ptr<BoundQuery> query = binder.BindQuery(*cursor.query, nullptr);
  const bool tracked = cursor.updatable && TrackTableRows(*query, cursor);
  cx.BindDone();
  cursor.rows = RunQuery(*query, nullptr, cx.env);
  cursor.columns = query->columns;
  if (tracked) {
    cursor.columns.pop_back();
    const Table& table = *cursor.table;
    const Row* base = table.row_slots().data();
    const size_t count = table.row_slots().size();
    bool found_all = table.KeepsIdsOfAllRows();
    cursor.row_ids.reserve(cursor.rows.size());
    for (Row& row : cursor.rows) {
      const Value address = std::move(row.back());
      row.pop_back();
      if (!found_all || address.is_null()) {
        found_all = false;
        continue;
      }
      const Row* at = reinterpret_cast<const Row*>(static_cast<intptr_t>(address.int_value()));
      if (at < base || at >= base + count) {
        found_all = false;
        continue;
      }
      cursor.row_ids.push_back(table.row_ids()[static_cast<size_t>(at - base)]);
    }
    if (!found_all) {
      cursor.table.reset();
      cursor.row_ids.clear();
    }
  }
  cursor.position = 0;
  cursor.open = true;
}

const char* FetchWord(ast::CursorStmt::Fetch fetch) {
  using Fetch = ast::CursorStmt::Fetch;
  switch (fetch) {
    case Fetch::Next:
      return "NEXT";
    case Fetch::Prior:
      return "PRIOR";
    case Fetch::First:
      return "FIRST";
    case Fetch::Last:
      return "LAST";
    case Fetch::Absolute:
      return "ABSOLUTE";
    case Fetch::Relative:
      return "RELATIVE";
  }
  return "";
}

// Whether the cursor's row at `position` is still in its table (a cursor that keeps no table
// cannot tell, and takes it to be).
bool RowStillThere(const Cursor& cursor, size_t position) {
  if (!cursor.table || !cursor.table->KeepsIdsOfAllRows()) return true;
  return cursor.table->PositionOf(cursor.row_ids[position - 1]) != Table::npos;
}

void Fetch(ast::CursorStmt& stmt, Cursor& cursor, StatementContext& cx) {
  using FetchKind = ast::CursorStmt::Fetch;
  int64_t offset = 0;
  if (stmt.offset) {
    Binder binder(cx.session, EvalConstant);
    Scope scope;
    BExprPtr e = binder.BindExpr(*stmt.offset, scope);
    EvalCtx ctx;
    ctx.env = &cx.env;
    const Value v = Convert(Eval(*e, ctx), e->type, SqlType::BigInt(), CastMode::Explicit);
    offset = v.is_null() ? 0 : v.int_value();
  }
  SessionState& session = cx.session;
  std::vector<std::string> into;
  for (const std::string& v : stmt.into) {
    into.push_back(FoldName(v));
    if (!session.variables.count(into.back())) ThrowError(137, {"@" + v});
  }
  cx.BindDone();
  if (!cursor.open) ThrowError(16917);
  if (stmt.fetch != FetchKind::Next && !cursor.scroll)
    ThrowError(16911, {"fetch", FetchWord(stmt.fetch)});
  if (stmt.fetch == FetchKind::Absolute && !cursor.absolute) ThrowError(16925, {"ABSOLUTE"});
  if (!into.empty() && into.size() != cursor.columns.size()) ThrowError(16924);

  const auto count = static_cast<int64_t>(cursor.rows.size());
  const auto position = static_cast<int64_t>(cursor.position);
  int64_t target = 0;
  switch (stmt.fetch) {
    case FetchKind::Next:
      target = position + 1;
      break;
    case FetchKind::Prior:
      target = position - 1;
      break;
    case FetchKind::First:
      target = 1;
      break;
    case FetchKind::Last:
      target = count;
      break;
    case FetchKind::Absolute:
      target = offset >= 0 ? offset : count + 1 + offset;
      break;
    case FetchKind::Relative:
      target = position + offset;
      break;
  }
  // Past either end the cursor stands before the first row or after the last.
  int32_t status = 0;
  if (target < 1) {
    cursor.position = 0;
    status = -1;
  } else if (target > count) {
    cursor.position = cursor.rows.size() + 1;
    status = -1;
  } else {
    cursor.position = static_cast<size_t>(target);
    if (!RowStillThere(cursor, cursor.position)) status = -2;
  }
  session.fetch_status = status;
  session.rowcount = status == 0 ? 1 : 0;
  const Row* row = status == 0 ? &cursor.rows[cursor.position - 1] : nullptr;
  if (!into.empty()) {
    if (!row) return;
    for (size_t i = 0; i < into.size(); ++i) {
      AssignVariable(session, into[i], (*row)[i], cursor.columns[i].type);
    }
    return;
  }
  // Without INTO the row goes to the client as a result of its own (no row when none).
  StatementResult result;
  result.kind = StatementResult::Kind::Rows;
  result.counted = !session.nocount;
  result.columns = cursor.columns;
  if (row) result.rows.push_back(*row);
  cx.results.push_back(std::move(result));
}

}  // namespace

void ExecDeclareCursor(ast::DeclareCursorStmt& stmt, StatementContext& cx) {
  cx.BindDone();
  SessionState& session = cx.session;
  const ast::CursorOptions& o = stmt.options;
  using Kind = ast::CursorOptions::Kind;
  using Concurrency = ast::CursorOptions::Concurrency;
  auto cursor = std::make_shared<Cursor>();
  cursor->name = stmt.variable ? "@" + stmt.name : stmt.name;
  cursor->query = stmt.query;
  const bool fixed_rows = o.insensitive || o.kind == Kind::Static || o.kind == Kind::FastForward;
  // STATIC, KEYSET and DYNAMIC cursors scroll unless declared FORWARD_ONLY; the others (and
  // ISO cursors) only when declared SCROLL.
  const bool scroll_kind =
      o.kind == Kind::Static || o.kind == Kind::Keyset || o.kind == Kind::Dynamic;
  cursor->scroll = o.scroll || (scroll_kind && !o.forward_only && !o.insensitive);
  cursor->dynamic = !o.insensitive && (o.kind == Kind::Dynamic || o.kind == Kind::Default);
  cursor->absolute = o.kind != Kind::Dynamic;
  cursor->counted = o.insensitive || o.kind == Kind::Static || o.kind == Kind::Keyset;
  cursor->updatable = !fixed_rows && o.concurrency != Concurrency::ReadOnly && !o.for_read_only;
  cursor->update_columns = o.update_columns;
  if (stmt.variable) {
    const auto it = session.cursor_variables.find(FoldName(stmt.name));
    if (it == session.cursor_variables.end()) ThrowError(137, {"@" + stmt.name});
    it->second = std::move(cursor);
    return;
  }
  // A cursor is GLOBAL unless declared LOCAL (the database's default scope is GLOBAL).
  const bool local = o.scope == ast::CursorOptions::Scope::Local;
  cursor->global = !local;
  auto& cursors = local ? session.local_cursors : session.global_cursors;
  const std::string key = FoldName(stmt.name);
  if (cursors.count(key)) ThrowError(16915, {stmt.name});
  cursors[key] = std::move(cursor);
}

namespace {

void RunCursorStatement(ast::CursorStmt& stmt, StatementContext& cx) {
  using Action = ast::CursorStmt::Action;
  SessionState& session = cx.session;
  if (stmt.action == Action::Fetch)
    return Fetch(stmt, FindCursor(session, stmt.cursor, stmt.global), cx);
  if (stmt.action == Action::Open) {
    std::shared_ptr<Cursor>& slot = CursorSlot(session, stmt.cursor, stmt.global);
    if (!slot) ThrowError(16950, {stmt.cursor});
    Open(*slot, cx);  // binds the cursor's query
    session.last_opened = slot;
    return;
  }
  cx.BindDone();
  switch (stmt.action) {
    case Action::Open:
      return;
    case Action::Close: {
      Cursor& cursor = FindCursor(session, stmt.cursor, stmt.global);
      if (!cursor.open) ThrowError(16917);
      return Close(cursor);
    }
    case Action::Deallocate: {
      std::shared_ptr<Cursor>& slot = CursorSlot(session, stmt.cursor, stmt.global);
      if (!slot) ThrowError(16950, {stmt.cursor});
      Close(*slot);
      if (stmt.cursor[0] == '@') {
        slot.reset();
        return;
      }
      const std::string key = FoldName(stmt.cursor);
      if (!stmt.global && session.local_cursors.count(key)) {
        session.local_cursors.erase(key);
      } else {
        session.global_cursors.erase(key);
      }
      return;
    }
    case Action::Fetch:
      return;
  }
}

}  // namespace

// Every error of a cursor statement, its query's included, ends the statement alone.
void ExecCursor(ast::CursorStmt& stmt, StatementContext& cx) {
  try {
    RunCursorStatement(stmt, cx);
  } catch (const SqlException&) {
    cx.bound = true;
    throw;
  }
}

TupleSet CurrentOfTuple(const ast::CurrentOf& current_of, const DmlTarget& target,
                        const BoundSpec& spec, const std::vector<ast::SetClause>* sets,
                        StatementContext& cx) {
  Cursor& cursor = FindCursor(cx.session, current_of.cursor, current_of.global);
  if (!cursor.open) ThrowError(16917);
  if (!cursor.updatable) ThrowError(16929);
  for (size_t i = 0; sets && !cursor.update_columns.empty() && i < sets->size(); ++i) {
    bool listed = false;
    for (const std::string& c : cursor.update_columns) {
      listed = listed || NamesEqual(c, (*sets)[i].column.back());
    }
    if (!listed) ThrowError(16932);
  }
  if (!cursor.table || target.derived || spec.sources.size() != 1 || target.tables.size() != 1 ||
      target.tables[0] != cursor.table || !cursor.table->KeepsIdsOfAllRows()) {
    ThrowError(16933);
  }
  if (cursor.position < 1 || cursor.position > cursor.rows.size()) ThrowError(16930);
  const Table& table = *cursor.table;
  const size_t at = table.PositionOf(cursor.row_ids[cursor.position - 1]);
  if (at == Table::npos) ThrowError(16930);
  TupleSet tuples;
  tuples.width = 1;
  tuples.count = 1;
  tuples.slots.push_back(&table.rows()[at]);
  return tuples;
}

}  // namespace orv::tsql
