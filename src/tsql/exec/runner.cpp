// The batch runner: statement dispatch, each statement as a unit of work (its locks, its undo,
// autocommit), SQL Server's error scopes and their effect on an open transaction, and the
// results a client receives.
#include "tsql/exec/runner.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <future>
#include <map>
#include <set>
#include <thread>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "tsql/bind/binder.h"
#include "tsql/catalog/transaction.h"
#include "tsql/exec/batch_check.h"
#include "tsql/exec/exec.h"
#include "tsql/exec/statements.h"
#include "tsql/exec/system_procedures.h"
#include "tsql/storage/heap_policy.h"
#include "tsql/storage/memory_limit.h"
#include "tsql/syntax/lexer.h"
#include "tsql/syntax/parser.h"
#include "tsql/types/sql_error.h"
#include "tsql/types/value_ops.h"
#include "tsql/types/value_util.h"

namespace orv::tsql {

void StatementContext::RowCount(int64_t count) {
  session.rowcount = count;
  if (session.nocount) return;
  StatementResult r;
  r.kind = StatementResult::Kind::RowCount;
  r.count = count;
  results.push_back(std::move(r));
}

void StatementContext::BindDone() {
  bound = true;
  CheckReads(session);
}

namespace {

// Where `name` last stands in `text` as a word of its own, letter case aside (npos: nowhere).
size_t LastMention(std::string_view text, std::string_view name) {
  size_t last = std::string_view::npos;
  if (name.empty()) return last;
  for (size_t at = 0; at + name.size() <= text.size(); ++at) {
    if (at > 0 && IsIdentifierPart(text[at - 1])) continue;
    size_t k = 0;
    while (k < name.size() && util::AsciiUpper(text[at + k]) == util::AsciiUpper(name[k])) ++k;
    if (k == name.size() && (at + k == text.size() || !IsIdentifierPart(text[at + k]))) last = at;
  }
  return last;
}

bool IsPermanentName(const ast::Name& name) { return !name.empty() && !IsTempName(name.back()); }

void AddIfPermanent(const std::string& name, std::vector<std::string>& out) {
  if (!name.empty() && !IsTempName(name)) out.push_back(name);
}

// The permanent tables that a change through a target may reach: a table itself, or the
// tables a view, common table expression or derived table reads (a change through one goes to
// one of them). Views are followed to their tables, a few levels deep at most.
class TargetTables {
 public:
  TargetTables(Database& db, const ast::WithClause& with, std::vector<std::string>& out)
      : db_(db), with_(with), out_(out) {}

  void Name(const std::string& name, int depth = 0) {
    if (name.empty() || IsTempName(name) || depth > kMaxDepth) return;
    for (const auto& cte : with_) {
      if (NamesEqual(cte.name, name)) return Query(*cte.query, depth + 1);
    }
    out_.push_back(name);
    if (std::shared_ptr<View> view = db_.FindView(name)) Query(*view->query, depth + 1);
  }

  // UPDATE / DELETE: the FROM source aliased with the target's name, else the name itself.
  void Dml(const ast::Name& target, const std::vector<ast::TableRefPtr>& from) {
    if (target.empty()) return;
    std::vector<const ast::TableRef*> pending;
    for (const auto& ref : from) pending.push_back(ref.get());
    while (!pending.empty() && target.size() == 1) {
      const ast::TableRef* ref = pending.back();
      pending.pop_back();
      if (ref->kind == ast::TableRef::Kind::Join) {
        pending.push_back(ref->left.get());
        pending.push_back(ref->right.get());
      } else if (!ref->alias.empty() && NamesEqual(ref->alias, target.back())) {
        return Ref(*ref, 0);
      }
    }
    Name(target.back());
  }

  void Output(const std::vector<ast::OutputClause>& output) {
    for (const auto& o : output) {
      if (!o.into.empty()) Name(o.into.back());
    }
  }

 private:
  static constexpr int kMaxDepth = 16;

  void Query(const ast::QueryExpr& q, int depth) {
    if (depth > kMaxDepth) return;
    if (q.kind == ast::QueryExpr::Kind::Union) {
      if (q.left) Query(*q.left, depth);
      if (q.right) Query(*q.right, depth);
      return;
    }
    if (!q.spec) return;
    for (const auto& ref : q.spec->from) Ref(*ref, depth);
  }

  void Ref(const ast::TableRef& ref, int depth) {
    switch (ref.kind) {
      case ast::TableRef::Kind::Named:
        if (!ref.name.empty()) Name(ref.name.back(), depth);
        break;
      case ast::TableRef::Kind::Derived:
        if (ref.derived) Query(*ref.derived, depth + 1);
        break;
      case ast::TableRef::Kind::Join:
        if (ref.left) Ref(*ref.left, depth);
        if (ref.right) Ref(*ref.right, depth);
        break;
      case ast::TableRef::Kind::Values:
        break;
    }
  }

  Database& db_;
  const ast::WithClause& with_;
  std::vector<std::string>& out_;
};

// The tables an INSERT, UPDATE, DELETE or MERGE changes: its target's and its OUTPUT INTO's.
template <typename Stmt>
void AddChangedTables(const Stmt& stmt, Database& db, std::vector<std::string>& out) {
  TargetTables targets(db, stmt.with, out);
  if constexpr (requires { stmt.from; }) {
    targets.Dml(stmt.target, stmt.from);
  } else if (!stmt.target.empty()) {
    targets.Name(stmt.target.back());
  }
  targets.Output(stmt.output);
}

void SelectIntoTargets(const ast::QueryExpr& q, std::vector<std::string>& out) {
  if (const ast::Name& into = ast::IntoTarget(q); IsPermanentName(into)) out.push_back(into.back());
}

// The permanent tables and views a statement creates, changes or drops: it takes their locks
// (and the data-source file's write lock) before it is bound.
std::vector<std::string> PermanentTargets(const ast::Statement& s, Database& db) {
  std::vector<std::string> out;
  switch (s.kind) {
    case ast::StmtKind::Insert:
      AddChangedTables(s.As<ast::InsertStmt>(), db, out);
      break;
    case ast::StmtKind::Update:
      AddChangedTables(s.As<ast::UpdateStmt>(), db, out);
      break;
    case ast::StmtKind::Delete:
      AddChangedTables(s.As<ast::DeleteStmt>(), db, out);
      break;
    case ast::StmtKind::Merge:
      AddChangedTables(s.As<ast::MergeStmt>(), db, out);
      break;
    case ast::StmtKind::Truncate:
      AddIfPermanent(s.As<ast::TruncateStmt>().table.back(), out);
      break;
    case ast::StmtKind::AlterTable:
      AddIfPermanent(s.As<ast::AlterTableStmt>().table.back(), out);
      break;
    case ast::StmtKind::CreateIndex:
      AddIfPermanent(s.As<ast::CreateIndexStmt>().table.back(), out);
      break;
    case ast::StmtKind::DropIndex:
      AddIfPermanent(s.As<ast::DropIndexStmt>().table.back(), out);
      break;
    case ast::StmtKind::CreateTable:
      AddIfPermanent(s.As<ast::CreateTableStmt>().name.back(), out);
      break;
    case ast::StmtKind::DropTable:
      for (const auto& n : s.As<ast::DropTableStmt>().names) AddIfPermanent(n.back(), out);
      break;
    case ast::StmtKind::CreateView:
      out.push_back(s.As<ast::CreateViewStmt>().name.back());
      break;
    case ast::StmtKind::DropView:
      for (const auto& n : s.As<ast::DropViewStmt>().names) out.push_back(n.back());
      break;
    case ast::StmtKind::CreateProc:
      out.push_back(s.As<ast::CreateProcStmt>().name.back());
      break;
    case ast::StmtKind::DropProc:
      for (const auto& n : s.As<ast::DropProcStmt>().names) out.push_back(n.back());
      break;
    case ast::StmtKind::Select:
      SelectIntoTargets(*s.As<ast::SelectStmt>().query, out);
      break;
    default:
      break;
  }
  return out;
}

// Whether a query reads a table (a SELECT without FROM, such as SELECT GETDATE(), does not),
// or creates one with INTO.
bool ReadsTable(const ast::QueryExpr& query) {
  std::vector<const ast::QueryExpr*> pending{&query};
  while (!pending.empty()) {
    const ast::QueryExpr* q = pending.back();
    pending.pop_back();
    if (q->kind == ast::QueryExpr::Kind::Union) {
      pending.push_back(q->left.get());
      pending.push_back(q->right.get());
    } else if (!q->spec->from.empty() || !q->spec->into.empty()) {
      return true;
    }
  }
  return false;
}

// The statements that change tables or definitions.
bool ChangesTablesOrDefinitions(const ast::Statement& s) {
  switch (s.kind) {
    case ast::StmtKind::Insert:
    case ast::StmtKind::Update:
    case ast::StmtKind::Delete:
    case ast::StmtKind::Merge:
    case ast::StmtKind::Truncate:
    case ast::StmtKind::AlterTable:
    case ast::StmtKind::CreateTable:
    case ast::StmtKind::DropTable:
    case ast::StmtKind::CreateView:
    case ast::StmtKind::DropView:
    case ast::StmtKind::CreateIndex:
    case ast::StmtKind::DropIndex:
      return true;
    default:
      return false;
  }
}

// The statements that open a transaction under SET IMPLICIT_TRANSACTIONS ON when none is
// open: those that change tables or definitions, BEGIN TRANSACTION (which then counts 2) and
// a SELECT that reads a table.
bool OpensImplicitTransaction(const ast::Statement& s) {
  if (ChangesTablesOrDefinitions(s)) return true;
  switch (s.kind) {
    case ast::StmtKind::Transaction:
      return s.As<ast::TransactionStmt>().action == ast::TransactionStmt::Action::kBegin;
    case ast::StmtKind::Select:
      return ReadsTable(*s.As<ast::SelectStmt>().query);
    default:
      return false;
  }
}

bool IsConversionError(int32_t n) { return n == 245 || n == 8114 || n == 241 || n == 242; }

// Statements that write: refused with 3930 while the transaction is uncommittable.
bool Writes(const ast::Statement& s, const std::vector<std::string>& targets) {
  return !targets.empty() || ChangesTablesOrDefinitions(s);
}

// How a statement hands control on.
enum class Flow {
  kNext,      // to the statement after it
  kBreak,     // out of the innermost WHILE
  kContinue,  // to the innermost WHILE's condition
  kReturn,    // out of the procedure or batch
  kGoto,      // to a label (Runner::goto_label_)
  kRaise,     // to the innermost CATCH block (Runner::raised_)
  kStop,      // the batch ends
};

constexpr int32_t kMaxNesting = 32;

class Runner {
 public:
  // `in_try`: a caller's TRY block is around this batch or procedure; `procedure`: the
  // procedure's name ("" for a batch).
  Runner(SessionState& session, std::vector<StatementResult>& results, std::string_view text,
         bool nested = false, bool in_try = false, std::string procedure = {})
      : session_(session), results_(results), text_(text), nested_(nested), in_try_(in_try),
        procedure_(std::move(procedure)) {}

  Flow Run(ast::Statement& stmt);
  Flow RunList(std::vector<ast::StmtPtr>& statements);

  const SqlError& raised() const { return raised_; }
  std::optional<int32_t> return_value() const { return return_value_; }

 private:
  Flow RunLeaf(ast::Statement& stmt);
  Flow RunWhile(ast::WhileStmt& stmt);
  Flow RunTry(ast::TryStmt& stmt);
  Flow RunExec(ast::ExecStmt& stmt);
  Flow RunDynamic(ast::Batch& batch, std::string_view text);
  void Dispatch(ast::Statement& stmt, StatementContext& cx);
  void RunTransactionStatement(const ast::TransactionStmt& s);
  void PrepareExec(ast::ExecStmt& stmt, StatementContext& cx);
  void RaiseError(const ast::RaiseErrorStmt& stmt, StatementContext& cx);
  void Throw(const ast::ThrowStmt& stmt, StatementContext& cx);
  Value EvalExpr(const ast::Expr& expr, StatementContext& cx, SqlType* type = nullptr);
  Flow Fail(SqlError error, const ast::Statement& stmt, const StatementContext& cx);
  bool InTry() const { return in_try_ || try_depth_ > 0; }
  void LetGoOfSnapshotRows(const ast::Statement& stmt);

  SessionState& session_;
  std::vector<StatementResult>& results_;
  std::string_view text_;
  bool nested_ = false;  // a procedure or dynamic SQL called from a batch
  bool in_try_ = false;
  std::string procedure_;
  int try_depth_ = 0;
  int loop_depth_ = 0;
  // Where each table's name last stands in the batch text, once looked for.
  std::map<std::string, size_t, std::less<>> last_mention_;
  std::optional<uintmax_t> file_bytes_;  // the data-source file's size, once asked (0: none)
  std::optional<Tri> condition_;
  std::string goto_label_;
  SqlError raised_;
  bool abort_batch_ = false;  // THROW: the error ends the batch when no CATCH takes it
  std::optional<int32_t> return_value_;

  // The call an EXEC statement prepared (PrepareExec) for RunExec to make.
  struct Argument {
    std::string parameter;  // folded
    Value value;
    SqlType type;
    std::string output_variable;  // the caller's variable (folded) for an OUTPUT argument
  };
  struct Call {
    std::shared_ptr<Procedure> procedure;
    std::vector<Argument> arguments;  // one per parameter, in the procedure's order
    // sp_executesql / EXEC (string): the batch text to run
    std::optional<std::string> dynamic_text;
    std::vector<std::pair<std::string, Variable>> dynamic_parameters;
  };
  Call call_;
};

Flow Runner::RunList(std::vector<ast::StmtPtr>& statements) {
  for (size_t i = 0; i < statements.size(); ++i) {
    Flow flow = Run(*statements[i]);
    if (flow == Flow::kGoto) {
      // A label in this list: go on from there; else the enclosing list looks for it.
      size_t target = statements.size();
      for (size_t k = 0; k < statements.size(); ++k) {
        if (statements[k]->kind == ast::StmtKind::Label &&
            NamesEqual(statements[k]->As<ast::LabelStmt>().label, goto_label_)) {
          target = k;
        }
      }
      if (target == statements.size()) return flow;
      i = target;
      continue;
    }
    if (flow != Flow::kNext) return flow;
  }
  return Flow::kNext;
}

Flow Runner::Run(ast::Statement& stmt) {
  switch (stmt.kind) {
    case ast::StmtKind::Block:
      return RunList(stmt.As<ast::BlockStmt>().statements);
    case ast::StmtKind::Empty:
    case ast::StmtKind::Label:
      return Flow::kNext;
    case ast::StmtKind::If: {
      auto& s = stmt.As<ast::IfStmt>();
      condition_.reset();
      Flow flow = RunLeaf(stmt);
      if (flow != Flow::kNext || !condition_) return flow;
      ast::Statement* branch =
          *condition_ == Tri::True ? s.then_branch.get() : s.else_branch.get();
      return branch ? Run(*branch) : Flow::kNext;
    }
    case ast::StmtKind::While:
      return RunWhile(stmt.As<ast::WhileStmt>());
    case ast::StmtKind::Break:
      return Flow::kBreak;
    case ast::StmtKind::Continue:
      return Flow::kContinue;
    case ast::StmtKind::Goto:
      goto_label_ = stmt.As<ast::GotoStmt>().label;
      return Flow::kGoto;
    case ast::StmtKind::Return: {
      Flow flow = RunLeaf(stmt);
      return flow == Flow::kNext ? Flow::kReturn : flow;
    }
    case ast::StmtKind::Try:
      return RunTry(stmt.As<ast::TryStmt>());
    case ast::StmtKind::Exec: {
      Flow flow = RunExec(stmt.As<ast::ExecStmt>());
      LetGoOfSnapshotRows(stmt);
      return flow;
    }
    default: {
      Flow flow = RunLeaf(stmt);
      LetGoOfSnapshotRows(stmt);
      return flow;
    }
  }
}

Flow Runner::RunWhile(ast::WhileStmt& stmt) {
  for (;;) {
    condition_.reset();
    Flow flow = RunLeaf(stmt);
    if (flow != Flow::kNext) return flow;
    if (condition_ != Tri::True) return Flow::kNext;
    ++loop_depth_;
    flow = Run(*stmt.body);
    --loop_depth_;
    if (flow == Flow::kBreak) return Flow::kNext;
    if (flow != Flow::kNext && flow != Flow::kContinue) return flow;
  }
}

Flow Runner::RunTry(ast::TryStmt& stmt) {
  ++try_depth_;
  Flow flow = RunList(stmt.try_statements);
  --try_depth_;
  if (flow != Flow::kRaise) return flow;
  session_.caught_errors.push_back(raised_);
  flow = RunList(stmt.catch_statements);
  session_.caught_errors.pop_back();
  return flow;
}

Flow Runner::Fail(SqlError error, const ast::Statement& stmt, const StatementContext& cx) {
  if (error.line == 0) error.line = stmt.pos.line;
  if (error.procedure.empty()) error.procedure = procedure_;
  const int32_t n = error.number;
  const bool abort_batch = abort_batch_;
  abort_batch_ = false;
  if (error.severity >= 11) session_.last_error = n;
  // A compile error ends the batch and leaves an open transaction as it is; XACT_ABORT does
  // not apply to it. (Waiting for a lock, or for memory, while binding is no compile error.)
  // In a procedure it ends the procedure, and the caller goes on (or its CATCH takes it).
  const bool run_time = cx.bound || n == 1222 || n == 1205 || n == 701;
  const bool batch_aborting =
      IsConversionError(n) || n == 1205 || (session_.xact_abort && error.severity >= 11);
  if (InTry() && error.severity >= 11 && (run_time || nested_)) {
    // CATCH takes it. An error that would have rolled the transaction back leaves it
    // uncommittable instead, for the CATCH block to roll back.
    if (batch_aborting && session_.transaction.count > 0) session_.transaction.doomed = true;
    raised_ = std::move(error);
    return Flow::kRaise;
  }
  StatementResult r;
  r.kind = error.severity >= 11 ? StatementResult::Kind::Error : StatementResult::Kind::Message;
  r.error = error;
  results_.push_back(r);
  if (!run_time) return nested_ ? Flow::kReturn : Flow::kStop;
  if (batch_aborting) {
    RollbackTransaction(session_);
    return Flow::kStop;
  }
  if (abort_batch) return Flow::kStop;
  bool dml = stmt.kind == ast::StmtKind::Insert || stmt.kind == ast::StmtKind::Update ||
             stmt.kind == ast::StmtKind::Delete || stmt.kind == ast::StmtKind::Merge;
  if (n == 515 || n == 8152 || n == 2628 || n == 2627 || n == 2601 || n == 547 || (n == 512 && dml)) {
    StatementResult info;
    info.kind = StatementResult::Kind::Message;
    info.error = MakeError(3621);
    info.error.line = r.error.line;
    info.error.procedure = r.error.procedure;
    results_.push_back(info);
  }
  return Flow::kNext;
}
// The process's resident memory now and at its peak so far, in MiB (0 where /proc has none).
std::pair<long, long> ResidentMiB() {
  long rss_kb = 0, peak_kb = 0;
  if (std::FILE* f = std::fopen("/proc/self/status", "r")) {
    char line[256];
    while (std::fgets(line, sizeof line, f)) {
      std::sscanf(line, "VmRSS: %ld kB", &rss_kb);
      std::sscanf(line, "VmHWM: %ld kB", &peak_kb);
    }
    std::fclose(f);
  }
  return {rss_kb / 1024, peak_kb / 1024};
}

// The bytes the C library's heaps hand out now (blocks in use, not those freed and kept for
// reuse), in MiB; -1 where that is not known.
long HeapInUseMiB() {
#if defined(__GLIBC__)
  const struct mallinfo2 info = mallinfo2();
  return static_cast<long>((info.uordblks + info.hblkhd) >> 20);
#else
  return -1;
#endif
}

// With ORV_TSQL_PROFILE set, each statement's batch line, run time, the CPU time the process
// spent meanwhile (on all its threads: above the run time when work was split), the process's
// resident memory after it, now and at its peak so far, and what of its heap is in use (the
// rest of the resident memory is kept for reuse, or mapped files), go to stderr.
struct StatementTimer {
  explicit StatementTimer(int line) : line(line) {
    static const bool enabled = std::getenv("ORV_TSQL_PROFILE") != nullptr;
    if (enabled) {
      start = std::chrono::steady_clock::now();
      cpu_start = std::clock();
    }
    on = enabled;
  }
  ~StatementTimer() {
    if (!on) return;
    auto ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start);
    const double cpu_ms = 1000.0 * static_cast<double>(std::clock() - cpu_start) / CLOCKS_PER_SEC;
    const auto [rss, peak] = ResidentMiB();
    std::fprintf(stderr,
                 "tsql: line %d: %.1f ms (cpu %.1f ms, rss %ld MiB, peak %ld MiB, heap %ld MiB)\n",
                 line, ms.count(), cpu_ms, rss, peak, HeapInUseMiB());
  }
  int line;
  bool on = false;
  std::chrono::steady_clock::time_point start;
  std::clock_t cpu_start = 0;
};

// A read-only session may not change permanent tables or definitions: SQL Server's permission
// errors, raised as statement errors (the batch goes on). UPDATE and DELETE are checked when
// their target is known (an alias may name a temporary table).
void CheckReadOnly(const ast::Statement& s, StatementContext& cx) {
  const std::string database = cx.session.database->name();
  auto deny = [&](int32_t number, std::initializer_list<std::string> args) {
    cx.BindDone();
    ThrowError(number, args);
  };
  switch (s.kind) {
    case ast::StmtKind::Insert:
      if (IsPermanentName(s.As<ast::InsertStmt>().target)) {
        deny(229, {"INSERT", s.As<ast::InsertStmt>().target.back(), database});
      }
      break;
    case ast::StmtKind::Truncate:
      if (IsPermanentName(s.As<ast::TruncateStmt>().table)) deny(1088, {s.As<ast::TruncateStmt>().table.back()});
      break;
    case ast::StmtKind::AlterTable:
      if (IsPermanentName(s.As<ast::AlterTableStmt>().table)) {
        deny(4902, {ast::JoinName(s.As<ast::AlterTableStmt>().table)});
      }
      break;
    case ast::StmtKind::CreateIndex:
      if (IsPermanentName(s.As<ast::CreateIndexStmt>().table)) {
        deny(1088, {s.As<ast::CreateIndexStmt>().table.back()});
      }
      break;
    case ast::StmtKind::DropIndex: {
      const auto& drop = s.As<ast::DropIndexStmt>();
      if (IsPermanentName(drop.table)) deny(3701, {"index", ast::JoinName(drop.table) + "." + drop.index_name});
      break;
    }
    case ast::StmtKind::CreateTable:
      if (IsPermanentName(s.As<ast::CreateTableStmt>().name)) deny(262, {"CREATE TABLE", database});
      break;
    case ast::StmtKind::Set:
      if (s.As<ast::SetStmt>().option == "IDENTITY_INSERT" && IsPermanentName(s.As<ast::SetStmt>().table)) {
        deny(1088, {s.As<ast::SetStmt>().table.back()});
      }
      break;
    case ast::StmtKind::Select: {
      std::vector<std::string> into;
      SelectIntoTargets(*s.As<ast::SelectStmt>().query, into);
      if (!into.empty()) deny(262, {"CREATE TABLE", database});
      break;
    }
    case ast::StmtKind::CreateView:
      deny(262, {"CREATE VIEW", database});
      break;
    case ast::StmtKind::DropTable:
      for (const auto& n : s.As<ast::DropTableStmt>().names) {
        if (IsPermanentName(n)) deny(3701, {"table", n.back()});
      }
      break;
    case ast::StmtKind::DropView:
      deny(3701, {"view", s.As<ast::DropViewStmt>().names.front().back()});
      break;
    case ast::StmtKind::CreateProc:
      deny(262, {s.As<ast::CreateProcStmt>().alter ? "ALTER PROCEDURE" : "CREATE PROCEDURE", database});
      break;
    case ast::StmtKind::DropProc:
      deny(3701, {"procedure", s.As<ast::DropProcStmt>().names.front().back()});
      break;
    default:
      break;
  }
}

// Waits before a statement is bound again after another process's commit: no pause for the
// first tries, then 1, 2, 4 ... up to 20 ms. False once the statement has waited out the lock
// timeout (SET LOCK_TIMEOUT, or ten seconds when that waits without limit).
bool PauseBeforeRetry(int attempt, std::chrono::steady_clock::time_point first_try,
                      int64_t lock_timeout_ms) {
  constexpr int kImmediateTries = 8;
  constexpr int64_t kLongestWaitMs = 10000;
  if (attempt < kImmediateTries) return true;
  const int64_t limit_ms = lock_timeout_ms < 0 ? kLongestWaitMs : lock_timeout_ms;
  if (std::chrono::steady_clock::now() - first_try >= std::chrono::milliseconds(limit_ms)) return false;
  const int shift = std::min(attempt - kImmediateTries, 5);
  std::this_thread::sleep_for(std::chrono::milliseconds(std::min(1 << shift, 20)));
  return true;
}

// Where the process asks for it (SnapshotRowsGoAfterEachStatement) and holds more than one and
// a half times the size of its data-source file, a statement of the batch itself (not of a
// loop's body) lets go the rows made of each table loaded from its snapshot that no later
// statement of the batch names: they are made again if a later batch reads the table. Below
// that size they are kept, since later batches often read the same tables. A name found in
// the rest of the text keeps the rows, even in a comment or a string.
void Runner::LetGoOfSnapshotRows(const ast::Statement& stmt) {
  if (nested_ || loop_depth_ > 0 || !SnapshotRowsGoAfterEachStatement()) return;
  // Most statements find no such rows: then neither the file nor the memory is looked at.
  std::vector<std::shared_ptr<Table>> unnamed;
  session_.database->ForEachTable([&](const std::shared_ptr<Table>& table) {
    if (!table->HoldsMadeSnapshotRows()) return;
    auto it = last_mention_.find(table->name);
    if (it == last_mention_.end()) {
      it = last_mention_.emplace(table->name, LastMention(text_, table->name)).first;
    }
    if (it->second == std::string_view::npos || it->second < stmt.end_offset)
      unnamed.push_back(table);
  });
  if (unnamed.empty()) return;
  if (!file_bytes_) {
    std::error_code error;
    const auto bytes = std::filesystem::file_size(session_.database->path(), error);
    file_bytes_ = error ? 0 : bytes;
  }
  if (*file_bytes_ == 0 ||
      static_cast<double>(ResidentBytes()) < 1.5 * static_cast<double>(*file_bytes_)) {
    return;
  }
  for (const std::shared_ptr<Table>& table : unnamed) table->LetMadeRowsGo();
}

Flow Runner::RunLeaf(ast::Statement& stmt) {
  StatementTimer timer(stmt.pos.line);
  // A statement bound while another process committed a table it reads is bound again (it
  // has changed nothing then), at once the first times, then after a growing pause so that a
  // writer committing in a tight loop cannot starve it; it gives up as a lock wait would.
  const auto first_try = std::chrono::steady_clock::now();
  for (int attempt = 0;; ++attempt) {
    StatementContext cx{session_, results_, text_, ExecEnv{&session_, 0}};
    StatementMemory memory(session_.memory_limit_bytes);
    size_t mark = session_.transaction.log.size();
    bool begun = false;
    try {
      CheckCancel(cx.env);
      mark = BeginStatement(session_);
      begun = true;
      cx.env.now = session_.Now();
      if (session_.read_only) CheckReadOnly(stmt, cx);
      if (session_.implicit_transactions && session_.transaction.count == 0 &&
          OpensImplicitTransaction(stmt)) {
        BeginTransaction(session_, "");
      }
      const std::vector<std::string> targets = PermanentTargets(stmt, *session_.database);
      if (session_.transaction.doomed && Writes(stmt, targets)) {
        cx.BindDone();
        ThrowError(3930);
      }
      if (!targets.empty() && !session_.read_only) LockForWrite(session_, targets);
      Dispatch(stmt, cx);
      if (cx.env.null_eliminated && session_.ansi_warnings) {
        StatementResult warning;
        warning.kind = StatementResult::Kind::Message;
        warning.error = MakeError(8153);
        warning.error.line = stmt.pos.line;
        results_.push_back(std::move(warning));
      }
      begun = false;
      EndStatement(session_, true, mark);
      session_.last_error = 0;
      return Flow::kNext;
    } catch (const StatementRetry&) {
      EndStatement(session_, false, mark);
      if (session_.cancel_requested.load(std::memory_order_relaxed)) {
        Fail(MakeError(3617), stmt, cx);
        return Flow::kStop;
      }
      if (PauseBeforeRetry(attempt, first_try, session_.lock_timeout_ms)) continue;
      cx.bound = true;
      return Fail(MakeError(1222), stmt, cx);
    } catch (const SqlException& ex) {
      // (A commit that failed has undone its changes already.)
      if (begun) EndStatement(session_, false, mark);
      if (session_.cancel_requested.load(std::memory_order_relaxed)) {
        Fail(MakeError(3617), stmt, cx);
        return Flow::kStop;
      }
      return Fail(ex.error(), stmt, cx);
    } catch (const std::exception& ex) {
      if (begun) EndStatement(session_, false, mark);
      SqlError error;
      error.number = 8624;
      error.severity = 16;
      error.message = std::string("Internal error: ") + ex.what();
      in_try_ = false;
      try_depth_ = 0;
      Fail(error, stmt, cx);
      return Flow::kStop;
    }
  }
}

Value Runner::EvalExpr(const ast::Expr& expr, StatementContext& cx, SqlType* type) {
  Binder binder(session_, EvalConstant);
  Scope scope;
  BExprPtr e = binder.BindExpr(expr, scope);
  cx.BindDone();
  EvalCtx ctx;
  ctx.env = &cx.env;
  if (type) *type = e->type;
  return Eval(*e, ctx);
}

void Runner::Dispatch(ast::Statement& stmt, StatementContext& cx) {
  switch (stmt.kind) {
    case ast::StmtKind::Select:
      return ExecSelect(stmt.As<ast::SelectStmt>(), cx);
    case ast::StmtKind::Insert:
      return ExecInsert(stmt.As<ast::InsertStmt>(), cx);
    case ast::StmtKind::Update:
      return ExecUpdate(stmt.As<ast::UpdateStmt>(), cx);
    case ast::StmtKind::Delete:
      return ExecDelete(stmt.As<ast::DeleteStmt>(), cx);
    case ast::StmtKind::Merge:
      return ExecMerge(stmt.As<ast::MergeStmt>(), cx);
    case ast::StmtKind::CreateTable:
      return ExecCreateTable(stmt.As<ast::CreateTableStmt>(), cx);
    case ast::StmtKind::DropTable:
      return ExecDropTable(stmt.As<ast::DropTableStmt>(), cx);
    case ast::StmtKind::CreateView:
      return ExecCreateView(stmt.As<ast::CreateViewStmt>(), cx);
    case ast::StmtKind::DropView:
      return ExecDropView(stmt.As<ast::DropViewStmt>(), cx);
    case ast::StmtKind::CreateIndex:
      return ExecCreateIndex(stmt.As<ast::CreateIndexStmt>(), cx);
    case ast::StmtKind::DropIndex:
      return ExecDropIndex(stmt.As<ast::DropIndexStmt>(), cx);
    case ast::StmtKind::Truncate:
      return ExecTruncate(stmt.As<ast::TruncateStmt>(), cx);
    case ast::StmtKind::AlterTable:
      return ExecAlterTable(stmt.As<ast::AlterTableStmt>(), cx);
    case ast::StmtKind::If:
    case ast::StmtKind::While: {
      const ast::Expr& condition = stmt.kind == ast::StmtKind::If
                                       ? *stmt.As<ast::IfStmt>().condition
                                       : *stmt.As<ast::WhileStmt>().condition;
      Binder binder(session_, EvalConstant);
      Scope scope;
      BExprPtr cond = binder.BindExpr(condition, scope);
      cx.BindDone();
      EvalCtx ctx;
      ctx.env = &cx.env;
      condition_ = EvalPred(*cond, ctx);
      return;
    }
    case ast::StmtKind::Set:
      if (stmt.As<ast::SetStmt>().option == "IDENTITY_INSERT") {
        ExecSetIdentityInsert(stmt.As<ast::SetStmt>(), cx);
        session_.rowcount = 0;
        return;
      }
      cx.BindDone();
      ApplySetOption(session_, stmt.As<ast::SetStmt>(), results_);
      session_.rowcount = 0;
      return;
    case ast::StmtKind::Transaction:
      cx.BindDone();
      RunTransactionStatement(stmt.As<ast::TransactionStmt>());
      session_.rowcount = 0;
      return;
    case ast::StmtKind::SetVariable:
      return ExecSetVariable(stmt.As<ast::SetVariableStmt>(), cx);
    case ast::StmtKind::Print: {
      SqlType type;
      Value v = EvalExpr(*stmt.As<ast::PrintStmt>().value, cx, &type);
      StatementResult r;
      r.kind = StatementResult::Kind::Message;
      r.error.number = 0;
      r.error.severity = 0;
      r.error.line = stmt.pos.line;
      r.error.procedure = procedure_;
      r.error.message = v.is_null() ? "" : ToText(v, type);
      results_.push_back(std::move(r));
      session_.rowcount = 0;
      return;
    }
    case ast::StmtKind::Declare: {
      auto& s = stmt.As<ast::DeclareStmt>();
      if (s.table) {
        // A table variable lives among the session's tables as "@name" until the batch or
        // procedure ends.
        const std::string key = FoldName(s.table->name.back());
        if (session_.temp_tables.count(key)) ThrowError(134, {"@" + s.variable});
        ExecCreateTable(*s.table, cx);
        if (auto table = session_.FindTempTable(key)) table->table_variable = true;
        return;
      }
      if (s.cursor) {
        // A cursor variable holds no cursor until SET @v = CURSOR gives it one.
        cx.BindDone();
        const std::string name = FoldName(s.variable);
        if (session_.variables.count(name) || session_.cursor_variables.count(name)) {
          ThrowError(134, {"@" + s.variable});
        }
        session_.cursor_variables[name] = nullptr;
        return;
      }
      Variable var;
      var.type = TypeFromName(s.type, false);
      BExprPtr init;
      if (s.initial) {
        Binder binder(session_, EvalConstant);
        Scope scope;
        init = binder.BindExpr(*s.initial, scope);
      }
      cx.BindDone();
      const std::string name = FoldName(s.variable);
      session_.variables[name] = std::move(var);
      if (init) {
        EvalCtx ctx;
        ctx.env = &cx.env;
        AssignVariable(session_, name, Eval(*init, ctx), init->type);
        session_.rowcount = 1;
      }
      return;
    }
    case ast::StmtKind::Return: {
      auto& s = stmt.As<ast::ReturnStmt>();
      if (!s.value) {
        cx.BindDone();
        return_value_ = 0;
        return;
      }
      SqlType type;
      Value v = EvalExpr(*s.value, cx, &type);
      v = Convert(v, type, SqlType::Int(), CastMode::Explicit);
      // RETURN NULL returns 0 (with a message in SQL Server).
      return_value_ = v.is_null() ? 0 : static_cast<int32_t>(v.int_value());
      return;
    }
    case ast::StmtKind::RaiseError:
      return RaiseError(stmt.As<ast::RaiseErrorStmt>(), cx);
    case ast::StmtKind::Throw:
      return Throw(stmt.As<ast::ThrowStmt>(), cx);
    case ast::StmtKind::Exec:
      return PrepareExec(stmt.As<ast::ExecStmt>(), cx);
    case ast::StmtKind::CreateProc:
      return ExecCreateProcedure(stmt.As<ast::CreateProcStmt>(), cx);
    case ast::StmtKind::DropProc:
      return ExecDropProcedure(stmt.As<ast::DropProcStmt>(), cx);
    case ast::StmtKind::DeclareCursor:
      return ExecDeclareCursor(stmt.As<ast::DeclareCursorStmt>(), cx);
    case ast::StmtKind::Cursor:
      return ExecCursor(stmt.As<ast::CursorStmt>(), cx);
    case ast::StmtKind::Block:
    case ast::StmtKind::Empty:
    case ast::StmtKind::Break:
    case ast::StmtKind::Continue:
    case ast::StmtKind::Goto:
    case ast::StmtKind::Label:
    case ast::StmtKind::Try:
      cx.BindDone();
      return;
  }
}

void Runner::RaiseError(const ast::RaiseErrorStmt& stmt, StatementContext& cx) {
  std::vector<Value> values;
  std::vector<SqlType> types;
  for (const auto& arg : stmt.args) {
    SqlType type;
    values.push_back(EvalExpr(*arg, cx, &type));
    types.push_back(type);
  }
  auto int_arg = [&](size_t i) -> int32_t {
    Value v = Convert(values[i], types[i], SqlType::Int(), CastMode::Explicit);
    return v.is_null() ? 0 : static_cast<int32_t>(v.int_value());
  };
  SqlError error;
  error.severity = std::clamp(int_arg(1), 0, 25);
  error.state = std::clamp(int_arg(2), 0, 255);
  error.procedure = procedure_;
  error.line = stmt.pos.line;
  if (types[0].IsString()) {
    error.number = 50000;
    std::vector<std::pair<Value, SqlType>> args;
    for (size_t i = 3; i < values.size(); ++i) args.emplace_back(values[i], types[i]);
    error.message = FormatRaiseErrorMessage(
        values[0].is_null() ? std::string() : ToText(values[0], types[0]), args);
  } else {
    // A message number: the engine's own messages (none are added with sp_addmessage here),
    // their placeholders taken by the arguments in order.
    const int32_t number = int_arg(0);
    if (number < 13000 || number == 50000) ThrowError(2732, {std::to_string(number)});
    std::vector<std::string> texts;
    for (size_t i = 3; i < values.size(); ++i) {
      texts.push_back(values[i].is_null() ? "(null)" : ToText(values[i], types[i]));
    }
    if (std::optional<SqlError> catalogued = CataloguedError(number, texts)) {
      error.number = number;
      error.message = std::move(catalogued->message);
    } else {
      error = MakeError(18054, {std::to_string(number), std::to_string(error.severity),
                                std::to_string(error.state)});
      error.line = stmt.pos.line;
      error.procedure = procedure_;
    }
  }
  if (stmt.seterror) session_.last_error = error.number;
  session_.rowcount = 0;
  if (error.severity <= 10) {
    StatementResult r;
    r.kind = StatementResult::Kind::Message;
    r.error = std::move(error);
    results_.push_back(std::move(r));
    return;
  }
  throw SqlException(std::move(error));
}

void Runner::Throw(const ast::ThrowStmt& stmt, StatementContext& cx) {
  if (!stmt.number) {
    cx.BindDone();
    if (session_.caught_errors.empty()) ThrowError(10733);
    abort_batch_ = true;
    throw SqlException(session_.caught_errors.back());
  }
  SqlType number_type, message_type, state_type;
  Value number = EvalExpr(*stmt.number, cx, &number_type);
  Value message = EvalExpr(*stmt.message, cx, &message_type);
  Value state = EvalExpr(*stmt.state, cx, &state_type);
  number = Convert(number, number_type, SqlType::Int(), CastMode::Explicit);
  state = Convert(state, state_type, SqlType::Int(), CastMode::Explicit);
  const int64_t n = number.is_null() ? 0 : number.int_value();
  if (n < 50000) ThrowError(35100, {std::to_string(n)});
  SqlError error;
  error.number = static_cast<int32_t>(n);
  error.severity = 16;
  error.state = state.is_null() ? 1 : static_cast<int32_t>(state.int_value());
  error.message = message.is_null() ? std::string() : ToText(message, message_type);
  error.line = stmt.pos.line;
  error.procedure = procedure_;
  abort_batch_ = true;
  throw SqlException(std::move(error));
}

// Binds an EXEC's arguments to the parameters (by position, then by name), evaluates them and
// the defaults, and records the call for RunExec; sp_executesql's parameters are those of its
// definition text. Raises 2812, 201, 8144, 8145 and 217 as SQL Server does.
// An error of a call's arguments that SQL Server raises when the call runs: the batch goes on.
[[noreturn]] void RunTimeError(StatementContext& cx, int32_t number,
                               std::initializer_list<std::string> args) {
  cx.BindDone();
  ThrowError(number, args);
}

void Runner::PrepareExec(ast::ExecStmt& stmt, StatementContext& cx) {
  call_ = Call{};
  if (!stmt.return_variable.empty() && !session_.variables.count(FoldName(stmt.return_variable))) {
    ThrowError(137, {"@" + stmt.return_variable});
  }
  auto text_of = [&](const ast::Expr& e) {
    SqlType type;
    Value v = EvalExpr(e, cx, &type);
    return v.is_null() ? std::string() : ToText(v, type);
  };
  if (!stmt.dynamic.empty()) {
    std::string text;
    for (const auto& part : stmt.dynamic) text += text_of(*part);
    cx.BindDone();
    call_.dynamic_text = std::move(text);
    if (session_.nest_level >= kMaxNesting) ThrowError(217);
    return;
  }
  std::string written;
  for (const auto& part : stmt.procedure) written += (written.empty() ? "" : ".") + part;
  const std::string& name = stmt.procedure.back();
  std::vector<const ast::ExecArg*> args;
  for (const auto& a : stmt.args) args.push_back(&a);
  std::shared_ptr<Procedure> procedure;
  bool rename = false;
  if (NamesEqual(name, "sp_executesql")) {
    if (args.empty() || !args[0]->value) RunTimeError(cx, 201, {"sp_executesql", "@statement"});
    call_.dynamic_text = text_of(*args[0]->value);
    std::string definition;
    if (args.size() > 1 && args[1]->value) definition = text_of(*args[1]->value);
    procedure = ProcedureFromText("CREATE PROCEDURE sp_executesql " + definition + " AS RETURN");
    if (!procedure) ThrowError(102, {definition});
    args.erase(args.begin(), args.begin() + std::min<size_t>(args.size(), 2));
  } else if (NamesEqual(name, "sp_rename")) {
    // Run here rather than as T-SQL: its parameters are bound like any procedure's.
    procedure = ProcedureFromText(
        "CREATE PROCEDURE sp_rename @objname nvarchar(1035), @newname sysname, @objtype varchar(13) = NULL "
        "AS RETURN 0");
    rename = true;
  } else if ((procedure = SystemProcedure(name))) {
    // parsed anew for this call
  } else {
    procedure = session_.database->FindProcedure(name);
    if (!procedure) {
      cx.BindDone();
      ThrowError(2812, {written});
    }
    // Each call runs a tree of its own: statements keep state in their trees as they run.
    procedure = ProcedureFromText(procedure->text);
  }
  const std::vector<ast::ProcParam>& params = procedure->definition->params;
  std::vector<const ast::ExecArg*> given(params.size(), nullptr);
  size_t position = 0;
  for (const ast::ExecArg* arg : args) {
    size_t p = params.size();
    if (!arg->parameter.empty()) {
      for (size_t i = 0; i < params.size(); ++i) {
        if (NamesEqual(params[i].name, arg->parameter)) p = i;
      }
      if (p == params.size()) RunTimeError(cx, 8145, {"@" + arg->parameter, name});
    } else {
      p = position++;
      if (p >= params.size()) RunTimeError(cx, 8144, {name});
    }
    given[p] = arg;
  }
  for (size_t i = 0; i < params.size(); ++i) {
    const ast::ProcParam& param = params[i];
    Argument a;
    a.parameter = FoldName(param.name);
    a.type = TypeFromName(param.type, false);
    const ast::ExecArg* arg = given[i];
    const ast::Expr* value = arg && arg->value ? arg->value.get() : param.default_value.get();
    if (!value) RunTimeError(cx, 201, {name, "@" + param.name});
    if (arg && arg->output && !param.output) RunTimeError(cx, 8162, {"@" + param.name});
    SqlType from;
    Value v = EvalExpr(*value, cx, &from);
    a.value = Convert(v, from, a.type, CastMode::Explicit);
    if (arg && arg->output && param.output && arg->value &&
        arg->value->kind == ast::ExprKind::Variable && !arg->value->name.empty()) {
      a.output_variable = FoldName(arg->value->name.back());
    }
    call_.arguments.push_back(std::move(a));
  }
  cx.BindDone();
  if (session_.nest_level >= kMaxNesting) ThrowError(217);
  if (rename) {
    auto text = [&](size_t i) -> std::optional<std::string> {
      const Argument& a = call_.arguments[i];
      if (a.value.is_null()) return std::nullopt;
      return ToText(a.value, a.type);
    };
    ExecRename(text(0), text(1), text(2), cx);
    call_ = Call{};
    return;
  }
  if (!call_.dynamic_text) call_.procedure = std::move(procedure);
}

Flow Runner::RunExec(ast::ExecStmt& stmt) {
  call_ = Call{};
  Flow flow = RunLeaf(stmt);
  Call call = std::move(call_);
  call_ = Call{};
  // (A call whose arguments failed has neither: its error is reported already.)
  if (flow != Flow::kNext || (!call.procedure && !call.dynamic_text)) return flow;
  // The parsed statements of what runs: the procedure's, or a batch parsed from the string.
  ast::Batch dynamic;
  std::vector<ast::StmtPtr>* body = nullptr;
  std::string_view text;
  std::string name;
  if (call.procedure) {
    body = &call.procedure->definition->body;
    text = call.procedure->text;
    name = call.procedure->name;
  } else {
    text = *call.dynamic_text;
    try {
      dynamic = ParseBatch(text);
    } catch (const SqlException& ex) {
      SqlError error = ex.error();
      if (InTry()) {
        raised_ = std::move(error);
        return Flow::kRaise;
      }
      session_.last_error = error.number;
      StatementResult r;
      r.kind = StatementResult::Kind::Error;
      r.error = std::move(error);
      results_.push_back(std::move(r));
      return Flow::kNext;
    }
    body = &dynamic.statements;
  }
  // The callee's own scope: its parameters as variables, no table variables of the caller;
  // temporary tables it creates are dropped when it ends.
  std::map<std::string, Variable> caller_variables = std::move(session_.variables);
  session_.variables.clear();
  // Its LOCAL cursors and cursor variables are its own too, and go when it returns.
  auto caller_cursors = std::move(session_.local_cursors);
  auto caller_cursor_variables = std::move(session_.cursor_variables);
  session_.local_cursors.clear();
  session_.cursor_variables.clear();
  std::map<std::string, std::shared_ptr<Table>> caller_tables = session_.temp_tables;
  for (auto it = session_.temp_tables.begin(); it != session_.temp_tables.end();) {
    it = it->first[0] == '@' ? session_.temp_tables.erase(it) : std::next(it);
  }
  for (const Argument& a : call.arguments) session_.variables[a.parameter] = Variable{a.type, a.value};
  ++session_.nest_level;
  const std::optional<int64_t> caller_scope_identity = std::exchange(session_.scope_identity, {});
  Runner inner(session_, results_, text, true, InTry(), name);
  flow = inner.RunList(*body);
  session_.scope_identity = caller_scope_identity;
  --session_.nest_level;
  std::vector<std::pair<const Argument*, Value>> outputs;
  for (const Argument& a : call.arguments) {
    if (!a.output_variable.empty()) outputs.emplace_back(&a, session_.variables[a.parameter].value);
  }
  for (auto it = session_.temp_tables.begin(); it != session_.temp_tables.end();) {
    auto before = caller_tables.find(it->first);
    it = before == caller_tables.end() ? session_.temp_tables.erase(it) : std::next(it);
  }
  for (auto& [key, table] : caller_tables) {
    if (key[0] == '@') session_.temp_tables[key] = table;
  }
  session_.variables = std::move(caller_variables);
  session_.local_cursors = std::move(caller_cursors);
  session_.cursor_variables = std::move(caller_cursor_variables);
  for (auto& [a, value] : outputs) {
    try {
      AssignVariable(session_, a->output_variable, value, a->type);
    } catch (const SqlException&) {
      // the caller's variable cannot hold it: it keeps its value
    }
  }
  if (call.procedure && !stmt.return_variable.empty() && flow != Flow::kStop) {
    const std::string rc = FoldName(stmt.return_variable);
    if (session_.variables.count(rc)) {
      AssignVariable(session_, rc, Value::Int(inner.return_value().value_or(0)), SqlType::Int());
    }
  }
  if (flow == Flow::kRaise) {
    raised_ = inner.raised();
    return Flow::kRaise;
  }
  return flow == Flow::kStop ? Flow::kStop : Flow::kNext;
}

void Runner::RunTransactionStatement(const ast::TransactionStmt& s) {
  std::string name = s.name;
  if (s.name_is_variable) {
    auto it = session_.variables.find(FoldName(name));
    if (it == session_.variables.end()) ThrowError(137, {"@" + name});
    const Value& v = it->second.value;
    name = v.is_null() ? std::string() : ToText(v, it->second.type);
  }
  // Only the first 32 characters of a transaction or savepoint name count.
  if (name.size() > 32) name.resize(32);
  using Action = ast::TransactionStmt::Action;
  switch (s.action) {
    case Action::kBegin:
      return BeginTransaction(session_, name);
    case Action::kCommit:
      return CommitTransaction(session_);
    case Action::kRollback:
      if (session_.transaction.count == 0) ThrowError(3903);
      if (name.empty()) return RollbackTransaction(session_);
      return RollbackTransactionNamed(session_, name);
    case Action::kSave:
      return SaveTransaction(session_, name);
  }
}

}  // namespace

namespace {

// The names in a batch that may be stored tables, in order of first appearance: every
// identifier but keywords and temporary names. Over-inclusive on purpose (column names come
// too); the loader ignores names that are not stored tables.
std::vector<std::string> CandidateTableNames(std::string_view text) {
  std::vector<std::string> names;
  std::vector<Token> tokens;
  try {
    tokens = Tokenize(text);
  } catch (const SqlException&) {
    return names;
  }
  std::set<std::string> seen;
  for (const Token& t : tokens) {
    if (t.kind != TokenKind::Identifier && t.kind != TokenKind::Quoted) continue;
    if (t.text.empty() || t.text[0] == '#') continue;
    if (t.kind == TokenKind::Identifier && IsReservedKeyword(t.text)) continue;
    if (seen.insert(FoldName(t.text)).second) names.push_back(t.text);
  }
  return names;
}

// Loads the stored tables a batch names on a second thread while the batch runs, so that a
// large table is read from the file while earlier statements execute. Stops between tables
// once the batch is over.
class TablePreloader {
 public:
  TablePreloader(std::shared_ptr<Database> database, std::string_view text) {
    if (!database->LoadsOnDemand()) return;
    done_ = std::async(std::launch::async, [this, database, names = CandidateTableNames(text)] {
      for (const std::string& name : names) {
        if (stop_.load(std::memory_order_relaxed)) return;
        database->PreloadTable(name);
      }
    });
  }
  ~TablePreloader() { Finish(); }
  void Finish() {
    stop_.store(true, std::memory_order_relaxed);
    if (done_.valid()) done_.wait();
  }

 private:
  std::atomic<bool> stop_{false};
  std::future<void> done_;
};

}  // namespace

std::vector<StatementResult> RunBatch(SessionState& session, ast::Batch& batch,
                                      std::string_view text,
                                      std::map<std::string, Variable> variables) {
  std::vector<StatementResult> results;
  session.variables = std::move(variables);
  session.cancel_requested.store(false, std::memory_order_relaxed);
  TablePreloader preloader(session.database, text);
  // Table variables live as long as the batch.
  auto drop_table_variables = [&session] {
    for (auto it = session.temp_tables.begin(); it != session.temp_tables.end();) {
      it = it->first[0] == '@' ? session.temp_tables.erase(it) : std::next(it);
    }
  };
  drop_table_variables();
  // LOCAL cursors and cursor variables live as long as the batch.
  session.local_cursors.clear();
  session.cursor_variables.clear();
  session.nest_level = 0;
  session.caught_errors.clear();
  session.scope_identity.reset();  // each batch is a scope of its own
  Runner runner(session, results, text);
  if (std::optional<SqlError> error = CheckBatchColumns(session, batch.statements)) {
    // A batch that does not compile runs none of its statements.
    StatementResult r;
    r.kind = StatementResult::Kind::Error;
    r.error = std::move(*error);
    results.push_back(std::move(r));
  } else {
    runner.RunList(batch.statements);
  }
  if (session.transaction.doomed) {
    // An uncommittable transaction does not outlive the batch.
    RollbackTransaction(session);
    StatementResult r;
    r.kind = StatementResult::Kind::Error;
    r.error = MakeError(3998);
    results.push_back(std::move(r));
  }
  drop_table_variables();
  session.local_cursors.clear();
  session.cursor_variables.clear();
  preloader.Finish();
  if (!session.share_result_rows) {
    for (auto& r : results) r.MaterializeRows();
  }
  return results;
}

ProcedureCall RunProcedureCall(SessionState& session, const ast::Name& procedure,
                               const std::vector<ProcedureArgument>& arguments) {
  // The call runs as "EXEC @rc = procedure @name = @v0, @v1 OUTPUT, ...": each value is held
  // in a variable whose name T-SQL cannot write (it has a space), so EXEC's own rules bind the
  // arguments, take the defaults, raise its errors and copy the OUTPUT values back.
  auto hidden = [](size_t i) { return "rpc " + std::to_string(i); };
  const std::string rc = "rpc rc";
  auto exec = std::make_unique<ast::ExecStmt>();
  exec->pos = ast::SourcePos{1, 1};
  exec->procedure = procedure;
  exec->return_variable = rc;
  std::map<std::string, Variable> variables;
  variables[FoldName(rc)] = Variable{SqlType::Int(), Value::Null()};
  for (size_t i = 0; i < arguments.size(); ++i) {
    const ProcedureArgument& a = arguments[i];
    ast::ExecArg arg;
    if (a.name.size() > 1 && a.name[0] == '@') arg.parameter = a.name.substr(1);
    arg.value = std::make_unique<ast::Expr>();
    arg.value->kind = ast::ExprKind::Variable;
    arg.value->pos = exec->pos;
    arg.value->text = "@" + hidden(i);
    arg.value->name.push_back(hidden(i));
    arg.output = a.output;
    arg.pos = exec->pos;
    exec->args.push_back(std::move(arg));
    variables[FoldName(hidden(i))] = Variable{a.type, a.value};
  }
  ast::Batch batch;
  batch.statements.push_back(std::move(exec));
  ProcedureCall call;
  call.results = RunBatch(session, batch, {}, std::move(variables));
  const auto status = session.variables.find(FoldName(rc));
  if (status != session.variables.end() && !status->second.value.is_null()) {
    call.return_status = static_cast<int32_t>(status->second.value.int_value());
  }
  // The OUTPUT values; the parameter each argument reached gives the name of a positional one.
  std::shared_ptr<Procedure> definition = session.database->FindProcedure(procedure.back());
  if (!call.return_status || !definition) return call;
  const std::vector<ast::ProcParam>& params = definition->definition->params;
  size_t position = 0;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const ProcedureArgument& a = arguments[i];
    const ast::ProcParam* param = nullptr;
    if (!a.name.empty()) {
      for (const ast::ProcParam& p : params) {
        if (NamesEqual("@" + p.name, a.name)) param = &p;
      }
    } else if (position < params.size()) {
      param = &params[position++];
    }
    if (!a.output || !param || !param->output) continue;
    const Variable& v = session.variables[FoldName(hidden(i))];
    call.outputs.push_back({i, a.name.empty() ? "@" + param->name : a.name, v.value, v.type});
  }
  return call;
}

}  // namespace orv::tsql
