// The batch runner: statement dispatch, each statement as a unit of work (its locks, its undo,
// autocommit), SQL Server's error scopes and their effect on an open transaction, and the
// results a client receives.
#include "tsql/exec/runner.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <set>

#include "tsql/bind/binder.h"
#include "tsql/catalog/transaction.h"
#include "tsql/exec/exec.h"
#include "tsql/exec/statements.h"
#include "tsql/storage/memory_limit.h"
#include "tsql/syntax/lexer.h"
#include "tsql/types/sql_error.h"
#include "tsql/types/value_ops.h"

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

void SelectIntoTargets(const ast::QueryExpr& q, std::vector<std::string>& out) {
  if (q.kind == ast::QueryExpr::Kind::Union) return SelectIntoTargets(*q.left, out);
  if (q.spec && IsPermanentName(q.spec->into)) out.push_back(q.spec->into.back());
}

// The permanent tables and views a statement creates, changes or drops: it takes their locks
// (and the data-source file's write lock) before it is bound.
std::vector<std::string> PermanentTargets(const ast::Statement& s, Database& db) {
  std::vector<std::string> out;
  switch (s.kind) {
    case ast::StmtKind::Insert: {
      const auto& i = s.As<ast::InsertStmt>();
      TargetTables targets(db, i.with, out);
      if (!i.target.empty()) targets.Name(i.target.back());
      targets.Output(i.output);
      break;
    }
    case ast::StmtKind::Update: {
      const auto& u = s.As<ast::UpdateStmt>();
      TargetTables targets(db, u.with, out);
      targets.Dml(u.target, u.from);
      targets.Output(u.output);
      break;
    }
    case ast::StmtKind::Delete: {
      const auto& d = s.As<ast::DeleteStmt>();
      TargetTables targets(db, d.with, out);
      targets.Dml(d.target, d.from);
      targets.Output(d.output);
      break;
    }
    case ast::StmtKind::Merge: {
      const auto& m = s.As<ast::MergeStmt>();
      TargetTables targets(db, m.with, out);
      if (!m.target.empty()) targets.Name(m.target.back());
      targets.Output(m.output);
      break;
    }
    case ast::StmtKind::Truncate:
      AddIfPermanent(s.As<ast::TruncateStmt>().table.back(), out);
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

// The statements that open a transaction under SET IMPLICIT_TRANSACTIONS ON when none is
// open: those that change tables or definitions, BEGIN TRANSACTION (which then counts 2) and
// a SELECT that reads a table.
bool OpensImplicitTransaction(const ast::Statement& s) {
  switch (s.kind) {
    case ast::StmtKind::Insert:
    case ast::StmtKind::Update:
    case ast::StmtKind::Delete:
    case ast::StmtKind::Merge:
    case ast::StmtKind::Truncate:
    case ast::StmtKind::CreateTable:
    case ast::StmtKind::DropTable:
    case ast::StmtKind::CreateView:
    case ast::StmtKind::DropView:
    case ast::StmtKind::CreateIndex:
    case ast::StmtKind::DropIndex:
      return true;
    case ast::StmtKind::Transaction:
      return s.As<ast::TransactionStmt>().action == ast::TransactionStmt::Action::kBegin;
    case ast::StmtKind::Select:
      return ReadsTable(*s.As<ast::SelectStmt>().query);
    default:
      return false;
  }
}

bool IsConversionError(int32_t n) { return n == 245 || n == 8114 || n == 241 || n == 242; }

class Runner {
 public:
  Runner(SessionState& session, std::vector<StatementResult>& results, std::string_view text)
      : session_(session), results_(results), text_(text) {}

  // Runs a statement; false when the rest of the batch is skipped.
  bool Run(ast::Statement& stmt);

 private:
  bool RunLeaf(ast::Statement& stmt);
  void Dispatch(ast::Statement& stmt, StatementContext& cx);
  void RunTransactionStatement(const ast::TransactionStmt& s);
  bool Fail(const SqlError& error, const ast::Statement& stmt, const StatementContext& cx);

  SessionState& session_;
  std::vector<StatementResult>& results_;
  std::string_view text_;
  std::optional<Tri> condition_;
};

bool Runner::Run(ast::Statement& stmt) {
  switch (stmt.kind) {
    case ast::StmtKind::Block:
      for (auto& s : stmt.As<ast::BlockStmt>().statements) {
        if (!Run(*s)) return false;
      }
      return true;
    case ast::StmtKind::Empty:
      return true;
    case ast::StmtKind::If: {
      auto& s = stmt.As<ast::IfStmt>();
      condition_.reset();
      if (!RunLeaf(stmt)) return false;
      if (!condition_) return true;
      ast::Statement* branch =
          *condition_ == Tri::True ? s.then_branch.get() : s.else_branch.get();
      return branch ? Run(*branch) : true;
    }
    default:
      return RunLeaf(stmt);
  }
}

bool Runner::Fail(const SqlError& error, const ast::Statement& stmt,
                  const StatementContext& cx) {
  StatementResult r;
  r.kind = error.severity >= 11 ? StatementResult::Kind::Error : StatementResult::Kind::Message;
  r.error = error;
  if (r.error.line == 0) r.error.line = stmt.pos.line;
  results_.push_back(r);
  const int32_t n = error.number;
  // A compile error ends the batch and leaves an open transaction as it is; XACT_ABORT does
  // not apply to it. (Waiting for a lock, or for memory, while binding is no compile error.)
  const bool run_time = cx.bound || n == 1222 || n == 1205 || n == 701;
  if (!run_time) return false;
  // Errors that abort the batch roll back the open transaction: the conversion errors, a
  // deadlock victim's, and with XACT_ABORT ON every run-time error.
  if (IsConversionError(n) || n == 1205 || (session_.xact_abort && error.severity >= 11)) {
    RollbackTransaction(session_);
    return false;
  }
  bool dml = stmt.kind == ast::StmtKind::Insert || stmt.kind == ast::StmtKind::Update ||
             stmt.kind == ast::StmtKind::Delete || stmt.kind == ast::StmtKind::Merge;
  if (n == 515 || n == 8152 || n == 2628 || (n == 512 && dml)) {
    StatementResult info;
    info.kind = StatementResult::Kind::Message;
    info.error = MakeError(3621);
    info.error.line = r.error.line;
    results_.push_back(info);
  }
  return true;
}

// With ORV_TSQL_PROFILE set, each statement's batch line and run time go to stderr.
struct StatementTimer {
  explicit StatementTimer(int line) : line(line) {
    static const bool enabled = std::getenv("ORV_TSQL_PROFILE") != nullptr;
    if (enabled) start = std::chrono::steady_clock::now();
    on = enabled;
  }
  ~StatementTimer() {
    if (!on) return;
    auto ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start);
    std::fprintf(stderr, "tsql: line %d: %.1f ms\n", line, ms.count());
  }
  int line;
  bool on = false;
  std::chrono::steady_clock::time_point start;
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
    case ast::StmtKind::CreateIndex:
      if (IsPermanentName(s.As<ast::CreateIndexStmt>().table)) {
        deny(1088, {s.As<ast::CreateIndexStmt>().table.back()});
      }
      break;
    case ast::StmtKind::CreateTable:
      if (IsPermanentName(s.As<ast::CreateTableStmt>().name)) deny(262, {"CREATE TABLE", database});
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
    default:
      break;
  }
}

bool Runner::RunLeaf(ast::Statement& stmt) {
  StatementTimer timer(stmt.pos.line);
  // A statement bound while another process committed a table it reads is bound again (it
  // has changed nothing then); after many tries in a row it gives up as a lock timeout would.
  constexpr int kMaxRetries = 50;
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
      return true;
    } catch (const StatementRetry&) {
      EndStatement(session_, false, mark);
      if (attempt < kMaxRetries) continue;
      cx.bound = true;
      return Fail(MakeError(1222), stmt, cx);
    } catch (const SqlException& ex) {
      // (A commit that failed has undone its changes already.)
      if (begun) EndStatement(session_, false, mark);
      if (session_.cancel_requested.load(std::memory_order_relaxed)) {
        Fail(MakeError(3617), stmt, cx);
        return false;
      }
      return Fail(ex.error(), stmt, cx);
    } catch (const std::exception& ex) {
      if (begun) EndStatement(session_, false, mark);
      SqlError error;
      error.number = 8624;
      error.severity = 16;
      error.message = std::string("Internal error: ") + ex.what();
      Fail(error, stmt, cx);
      return false;
    }
  }
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
      cx.BindDone();
      return;
    case ast::StmtKind::Truncate:
      return ExecTruncate(stmt.As<ast::TruncateStmt>(), cx);
    case ast::StmtKind::If: {
      Binder binder(session_, EvalConstant);
      Scope scope;
      BExprPtr cond = binder.BindExpr(*stmt.As<ast::IfStmt>().condition, scope);
      cx.BindDone();
      EvalCtx ctx;
      ctx.env = &cx.env;
      condition_ = EvalPred(*cond, ctx);
      return;
    }
    case ast::StmtKind::Set:
      cx.BindDone();
      ApplySetOption(session_, stmt.As<ast::SetStmt>(), results_);
      return;
    case ast::StmtKind::Transaction:
      cx.BindDone();
      return RunTransactionStatement(stmt.As<ast::TransactionStmt>());
    case ast::StmtKind::SetVariable:
      return ExecSetVariable(stmt.As<ast::SetVariableStmt>(), cx);
    case ast::StmtKind::Print: {
      Binder binder(session_, EvalConstant);
      Scope scope;
      BExprPtr e = binder.BindExpr(*stmt.As<ast::PrintStmt>().value, scope);
      cx.BindDone();
      EvalCtx ctx;
      ctx.env = &cx.env;
      Value v = Eval(*e, ctx);
      StatementResult r;
      r.kind = StatementResult::Kind::Message;
      r.error.number = 0;
      r.error.severity = 0;
      r.error.line = stmt.pos.line;
      r.error.message = v.is_null() ? "" : ToText(v, e->type);
      results_.push_back(std::move(r));
      return;
    }
    case ast::StmtKind::Declare: {
      auto& s = stmt.As<ast::DeclareStmt>();
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
      }
      return;
    }
    case ast::StmtKind::Block:
    case ast::StmtKind::Empty:
      cx.BindDone();
      return;
  }
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
                                      std::string_view text) {
  std::vector<StatementResult> results;
  session.variables.clear();
  session.cancel_requested.store(false, std::memory_order_relaxed);
  TablePreloader preloader(session.database, text);
  Runner runner(session, results, text);
  for (auto& stmt : batch.statements) {
    if (!runner.Run(*stmt)) break;
  }
  preloader.Finish();
  if (!session.share_result_rows) {
    for (auto& r : results) r.MaterializeRows();
  }
  return results;
}

}  // namespace orv::tsql
