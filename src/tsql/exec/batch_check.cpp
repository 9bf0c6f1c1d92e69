// Binding a batch's queries before it runs, for the errors SQL Server gives when it compiles.
#include "tsql/exec/batch_check.h"

#include "tsql/bind/binder.h"
#include "tsql/exec/dml_target.h"
#include "tsql/exec/exec.h"

namespace orv::tsql {
namespace {

// The leaf statements of a batch, blocks and branches opened.
void Leaves(const std::vector<ast::StmtPtr>& statements, std::vector<const ast::Statement*>& out);

void Leaf(const ast::Statement* s, std::vector<const ast::Statement*>& out) {
  if (!s) return;
  switch (s->kind) {
    case ast::StmtKind::Block:
      return Leaves(s->As<ast::BlockStmt>().statements, out);
    case ast::StmtKind::If:
      Leaf(s->As<ast::IfStmt>().then_branch.get(), out);
      return Leaf(s->As<ast::IfStmt>().else_branch.get(), out);
    case ast::StmtKind::While:
      return Leaf(s->As<ast::WhileStmt>().body.get(), out);
    case ast::StmtKind::Try:
      Leaves(s->As<ast::TryStmt>().try_statements, out);
      return Leaves(s->As<ast::TryStmt>().catch_statements, out);
    default:
      out.push_back(s);
  }
}

void Leaves(const std::vector<ast::StmtPtr>& statements, std::vector<const ast::Statement*>& out) {
  for (const auto& s : statements) Leaf(s.get(), out);
}

bool MakesOrDropsObjects(const ast::Statement& s) {
  switch (s.kind) {
    case ast::StmtKind::CreateTable:
    case ast::StmtKind::DropTable:
    case ast::StmtKind::AlterTable:
    case ast::StmtKind::CreateView:
    case ast::StmtKind::DropView:
    case ast::StmtKind::CreateProc:
    case ast::StmtKind::DropProc:
      return true;
    case ast::StmtKind::Select:
      return !ast::IntoTarget(*s.As<ast::SelectStmt>().query).empty();
    default:
      return false;
  }
}

// UPDATE and DELETE: their target and FROM, the SET columns and values, and the WHERE.
void BindChange(Binder& binder, const ast::Statement& s) {
  const bool update = s.kind == ast::StmtKind::Update;
  const auto& with = update ? s.As<ast::UpdateStmt>().with : s.As<ast::DeleteStmt>().with;
  const auto& target = update ? s.As<ast::UpdateStmt>().target : s.As<ast::DeleteStmt>().target;
  const auto& from = update ? s.As<ast::UpdateStmt>().from : s.As<ast::DeleteStmt>().from;
  const ast::Expr* where = update ? s.As<ast::UpdateStmt>().where.get() : s.As<ast::DeleteStmt>().where.get();
  binder.PushCtes(with);
  BoundSpec spec;
  Scope scope;
  scope.spec = &spec;
  const DmlTarget bound = BindDmlTarget(binder, target, from, spec, scope);
  if (update) {
    const BoundSource& source = spec.sources[static_cast<size_t>(bound.source)];
    for (const auto& set : s.As<ast::UpdateStmt>().sets) {
      if (bound.FindColumn(source, set.column.back()) < 0) ThrowError(207, {set.column.back()});
      if (set.value->kind != ast::ExprKind::Default) binder.BindExpr(*set.value, scope);
    }
  }
  if (where) binder.BindExpr(*where, scope);
}

// The query a statement reads, with whether it may assign variables.
const ast::QueryExpr* QueryOf(const ast::Statement& s) {
  switch (s.kind) {
    case ast::StmtKind::Select:
      return s.As<ast::SelectStmt>().query.get();
    case ast::StmtKind::Insert: {
      const auto& insert = s.As<ast::InsertStmt>();
      return insert.with.empty() ? insert.select.get() : nullptr;
    }
    default:
      return nullptr;
  }
}

bool IsCompileError(int32_t number) {
  switch (number) {
    case 104:   // ORDER BY items must appear in the select list of a UNION
    case 108:   // ORDER BY position out of range
    case 116:   // a subquery of several columns where one is expected
    case 145:   // ORDER BY items must appear in the select list of SELECT DISTINCT
    case 205:   // UNION of queries with different numbers of columns
    case 207:   // no such column
    case 209:   // ambiguous column
    case 1013:  // two sources of a FROM with the same exposed name
    case 1062:  // TOP WITH TIES without ORDER BY
    case 4104:  // a multi-part name that cannot be bound
    case 8118:  // a column in the select list of an aggregate query without GROUP BY
    case 8120:  // a column in the select list that is not in the GROUP BY
    case 8154:  // the table an UPDATE or DELETE changes is ambiguous
      return true;
    default:
      return false;
  }
}

// The temporary table a statement creates ("#t" of CREATE TABLE #t or SELECT ... INTO #t), or
// "" when it creates none.
std::string TempTableMade(const ast::Statement& s) {
  const ast::Name* name = nullptr;
  if (s.kind == ast::StmtKind::CreateTable) name = &s.As<ast::CreateTableStmt>().name;
  if (s.kind == ast::StmtKind::Select) name = &ast::IntoTarget(*s.As<ast::SelectStmt>().query);
  return name && !name->empty() && IsTempName(name->back()) ? name->back() : std::string();
}

// 2714 for the second statement of the batch that creates a temporary table the batch creates
// already: SQL Server refuses the batch when it compiles it, even when the two are in
// different branches of an IF or the first is dropped in between.
std::optional<SqlError> TempTableMadeTwice(const std::vector<const ast::Statement*>& leaves) {
  std::vector<std::string> made;
  for (const ast::Statement* s : leaves) {
    const std::string name = TempTableMade(*s);
    if (name.empty()) continue;
    for (const std::string& earlier : made) {
      if (!NamesEqual(earlier, name)) continue;
      SqlError error = MakeError(2714, {name});
      error.line = s->pos.line;
      return error;
    }
    made.push_back(name);
  }
  return std::nullopt;
}

}  // namespace

std::optional<SqlError> CheckBatchColumns(SessionState& session, const std::vector<ast::StmtPtr>& statements) {
  std::vector<const ast::Statement*> leaves;
  Leaves(statements, leaves);
  if (std::optional<SqlError> twice = TempTableMadeTwice(leaves)) return twice;
  for (const ast::Statement* s : leaves) {
    if (MakesOrDropsObjects(*s)) return std::nullopt;
  }
  std::optional<SqlError> found;
  // Nothing waits here for another session's locks (a SET LOCK_TIMEOUT of the batch has not run
  // yet): a table locked by someone else is checked when its statement runs.
  const int64_t lock_timeout = session.lock_timeout_ms;
  session.lock_timeout_ms = 0;
  for (const ast::Statement* s : leaves) {
    const ast::QueryExpr* query = QueryOf(*s);
    const bool change = s->kind == ast::StmtKind::Update || s->kind == ast::StmtKind::Delete;
    if (!query && !change) continue;
    try {
      Binder binder(session, EvalConstant);
      if (change) {
        BindChange(binder, *s);
      } else {
        if (query->kind == ast::QueryExpr::Kind::Spec) binder.AllowAssignment();
        binder.BindQuery(*query, nullptr);
      }
    } catch (const SqlException& e) {
      // Only errors of the statement's own text over tables that exist are certain now (a
      // column that is not there or is ambiguous, a column outside the GROUP BY, ORDER BY and
      // UNION mistakes, a subquery with several columns); anything else (a variable declared
      // later in the batch, a table made by it) is for the statement itself to raise.
      const int32_t n = e.error().number;
      if (IsCompileError(n)) {
        found = e.error();
        if (found->line == 0) found->line = s->pos.line;
      }
    } catch (const std::exception&) {
      // The statement raises whatever this was when it runs.
    }
    // The binding took the statement's shared locks and noted its reads: let them go.
    session.database->locks().ReleaseStatement(session.locks);
    session.reads.tables.clear();
    session.reads.check = false;
    if (found) break;
  }
  session.lock_timeout_ms = lock_timeout;
  return found;
}

}  // namespace orv::tsql
