// The executor: evaluation of bound expressions (three-valued for predicates), and running
// bound queries: FROM with hash joins and pushed-down filters, grouping, projection,
// DISTINCT, ORDER BY, TOP, UNION, EXCEPT and INTERSECT. Intermediate results are tuples of row
// pointers, one slot per source, so joins never copy column values.
//
// Folder tsql/exec: the statements (statements.h), the batch runner (runner.h), this executor
// and what they need to run (aggregates, row pipelines, two-thread helpers). It may use every
// other stage; only the engine's own door (tsql/engine.h, session.cpp) uses it.
#pragma once

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "tsql/bind/bound.h"
#include "tsql/catalog/session_state.h"
#include "tsql/types/sql_error.h"

namespace orv::tsql {

struct StatementResult;

enum class Tri : uint8_t { False, True, Unknown };

Value Eval(const BExpr& expr, const EvalCtx& ctx);
Tri EvalPred(const BExpr& expr, const EvalCtx& ctx);
// Whether a comparison operator holds for a three-way result (<0, 0, >0) of Compare.
bool CompareHolds(ast::Op op, int c);
// Ends the running statement, and with it the batch, when another thread asked the session to
// cancel (Session::Cancel). Called between rows by the loops that can run long.
inline void CheckCancel(const ExecEnv& env) {
  if (env.session && env.session->cancel_requested.load(std::memory_order_relaxed)) {
    ThrowError(3617);
  }
}

// An expression that reads no columns, evaluated on its own (the binder's ConstantEvaluator).
Value EvalConstant(const BExpr& expr, SessionState& session);

// Rows of a query scope: `width` row pointers per tuple (nullptr for an outer join's NULL row).
struct TupleSet {
  size_t width = 0;
  size_t count = 0;
  std::vector<const Row*> slots;

  const Row* const* at(size_t i) const { return slots.data() + i * width; }
  void Append(const Row* const* tuple) {
    if (slots.size() + width > slots.capacity()) [[unlikely]] Grow();
    // One pointer at a time: a tuple is a few pointers, fewer than a call to copy them costs.
    for (size_t i = 0; i < width; ++i) slots.push_back(tuple[i]);
    ++count;
  }
  // Makes room for more tuples, counting them against the memory limit first (Msg 701).
  void Grow();
};

// The (source, column) pairs of the expression's own scope that it reads, subqueries aside
// (each once): row loops request these columns of rows a few places ahead.
void CollectOwnColumns(const BExpr& expr, std::vector<std::pair<int, int>>& out);
inline void PrefetchColumns(const Row* const* tuple,
                            const std::vector<std::pair<int, int>>& columns) {
  for (const auto& [src, col] : columns) {
    if (tuple[src]) __builtin_prefetch(tuple[src]->data() + col);
  }
}
// How many tuples ahead the row loops prefetch.
inline constexpr size_t kRowsAhead = 8;

// FROM and WHERE of a query scope: every combination of source rows that passes.
TupleSet RunFrom(BoundSpec& spec, const EvalCtx* outer, ExecEnv& env);
// For a scope of one large table and only filters its column arrays decide (exec_from.cpp):
// the positions of the table's rows that pass, in order, found without reading a row. False,
// having done nothing that shows, for any other scope.
bool SelectRowsOnArrays(BoundSpec& spec, ExecEnv& env, std::vector<uint32_t>& positions);
// An uncorrelated IN subquery (not keyed) run once for the statement: its plan's entries are
// its distinct values other than NULL, in the IN's comparison type; any_rows and has_null say
// whether it gave rows and whether one was NULL.
const SubqueryPlan& UncorrelatedInValues(const BExpr& expr, ExecEnv& env);
// Whether an uncorrelated query gives any row. A query of one source, without grouping or
// TOP, stops at the first row that passes its conditions, and its select list is not
// evaluated (as EXISTS reads it in SQL Server: SELECT 1/0 raises nothing there).
bool QueryHasRows(BoundQuery& query, ExecEnv& env);

// The output rows of a query with ORDER BY, TOP and DISTINCT applied.
std::vector<Row> RunQuery(BoundQuery& query, const EvalCtx* outer, ExecEnv& env);
// FOR XML: the rows as one XML text (for_xml.cpp).
Value XmlOfRows(const std::vector<Row>& rows, const std::vector<ResultColumn>& columns,
                const ast::ForClause& options);
// FOR JSON: the rows as one JSON text (for_json.cpp); NULL when there are none.
Value JsonOfRows(const std::vector<Row>& rows, const std::vector<ResultColumn>& columns,
                 const ast::ForClause& options);
// The rows of a recursive common table expression (recursive_cte.cpp).
std::vector<Row> RunRecursiveCte(RecursiveCte& plan, ExecEnv& env);

// Receives each output row of a query as it is made; it may move the values out (the row
// object is reused for the next one).
using RowSink = std::function<void(Row&)>;
// Whether a query's rows can be handed over one at a time as they are made: a query scope
// without DISTINCT, ORDER BY or TOP, or a UNION ALL of such (without ORDER BY).
bool StreamsRows(const BoundQuery& query);
// Sinks for the two halves of a streamed query's rows when they are made on two threads.
struct SplitSinks {
  // Called with the number of rows once it is known: whether the rows are to be split (the
  // caller readies its sinks for two threads), or all go to the one sink in order.
  std::function<bool(size_t rows)> ready;
  RowSink first;   // rows [0, n/2), in order, on the calling thread
  RowSink second;  // rows [n/2, n), in order, on a second thread
  // Called after both halves are done, before any later row (a UNION ALL's next part) is
  // given to a sink: the second half's rows come after the first's.
  std::function<void()> joined;
};
// Runs such a query, giving each row to the sink instead of collecting them. With `split`, a
// query whose select list allows it (see SubqueriesAllowThreads) may instead give its rows to
// the split sinks, if `split->ready` agrees.
void RunQueryStreaming(BoundQuery& query, ExecEnv& env, const RowSink& sink,
                       const SplitSinks* split = nullptr);

// Receives the context of each output row of a query scope, in output order.
using RowVisitor = std::function<void(const EvalCtx&)>;
// Runs a query scope (not a UNION) with its WHERE, grouping, DISTINCT, ORDER BY and TOP, and
// then calls visit with each output row's context in output order instead of returning rows:
// SELECT @v = expr evaluates its items row by row, each row seeing the variables as the rows
// before it left them. Returns the number of rows visited.
size_t RunQueryVisiting(BoundQuery& query, ExecEnv& env, const RowVisitor& visit);

// For a query that returns columns of one table as they are (no grouping, DISTINCT or TOP,
// ORDER BY on columns of that table only): runs it, leaving the table's rows shared with
// `result` in the query's order, and returns true. Returns false, having run nothing, for a
// query of any other shape.
bool RunQuerySharingRows(BoundQuery& query, ExecEnv& env, StatementResult& result);

// Subquery expressions (exec_subquery.cpp).
Value EvalScalarSubquery(const BExpr& expr, const EvalCtx& ctx);
// OBJECT_NAME, COL_LENGTH, SCHEMA_NAME, DB_NAME and their kin (BKind::CatalogFn).
Value EvalCatalogFunction(const BExpr& expr, const EvalCtx& ctx);
Tri EvalExists(const BExpr& expr, const EvalCtx& ctx);
Tri EvalInSubquery(const BExpr& expr, const EvalCtx& ctx);
// For a keyed IN subquery whose correlation keys read only scopes above the one of ctx (so
// ctx's own rows need not be set): appends the values the IN can match for ctx's outer rows.
// Returns false when the subquery has no such shape.
bool ListInSubqueryValues(const BExpr& expr, const EvalCtx& ctx, std::vector<Value>& out);

// Whether the expression can be evaluated for different rows on several threads at once as
// far as its subqueries go: each is keyed (a scalar, EXISTS or IN subquery turned into a probe
// of a hash index) or uncorrelated (run once), and so built once under a lock and then read.
bool SubqueriesAllowThreads(const BExpr& expr);

// The keyed scalar or EXISTS subqueries an expression holds (not those nested in them): the
// ones a row loop can probe ahead with SubqueryLookahead.
void CollectKeyedSubqueries(const BExpr& expr, std::vector<const BExpr*>& out);

// A keyed subquery's probe worked out before its row is evaluated: the outer key values and
// their hash, or that a key is NULL (no match).
struct PreparedProbe {
  enum class State : uint8_t { None, NullKey, Ready };
  const BExpr* expr = nullptr;
  const Row* const* srcs = nullptr;  // the row it was prepared for
  State state = State::None;
  size_t hash = 0;
  std::vector<Value> keys;
};
struct PreparedProbes {
  size_t row = SIZE_MAX;
  std::vector<PreparedProbe> probes;
};

// Look-ahead for a loop that evaluates keyed subqueries once per row. A large look-up lives
// outside the cache, and a probe reads its bucket and then its entry, each at a random place:
// waiting for them row by row costs more than the rest of the row. So the keys and hash of a
// row's probe are worked out kRowsAhead rows early and its bucket requested; half as many
// rows early the (by then cached) bucket is read and the entry requested; the evaluation then
// uses the prepared keys and hash. Nothing is prepared before the subquery's index exists,
// and errors in the keys are left for the evaluation itself to raise. One per thread.
class SubqueryLookahead {
 public:
  explicit SubqueryLookahead(const std::vector<const BExpr*>& subqueries);
  bool empty() const { return subqueries_.empty(); }
  // Prepares the probes of row `row`, whose tuple is in ctx; called kRowsAhead rows before the
  // row is evaluated, in increasing row order.
  void Prepare(size_t row, const EvalCtx& ctx);
  // Gives the evaluation of row `row` (ctx) the probes prepared for it.
  void Attach(size_t row, EvalCtx& ctx) const;

 private:
  static constexpr size_t kSlots = 16;  // a power of two above kRowsAhead
  void RequestEntries(PreparedProbes& slot) const;
  std::vector<const BExpr*> subqueries_;
  std::vector<PreparedProbes> slots_;
};

}  // namespace orv::tsql
