// The bound form of queries and expressions: names resolved to (scope depth, source, column),
// types derived, implicit conversions made explicit. The executor runs these trees; the
// evaluation context (EvalCtx) gives an expression the current row of each source.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tsql/catalog/catalog.h"
#include "tsql/functions/functions.h"
#include "tsql/syntax/ast.h"
#include "tsql/types/hash_index.h"
#include "tsql/types/result_column.h"
#include "tsql/types/types.h"
#include "tsql/types/value.h"
#include "tsql/types/value_ops.h"

namespace orv::tsql {

struct SessionState;
struct PreparedProbes;
struct BoundQuery;
struct BExpr;
using BExprPtr = std::unique_ptr<BExpr>;

// What a statement's expressions need from outside: the session and the statement's clock.
struct ExecEnv {
  SessionState* session = nullptr;
  int64_t now = 0;  // GETDATE() of the running statement
  // Set when an aggregate skipped a NULL: the statement then sends warning 8153.
  bool null_eliminated = false;
};

// The current row of every source of a query scope (nullptr = the NULL row of an outer join),
// the enclosing query's context for correlated references, and the aggregate results of the
// current group in the phase after grouping.
struct EvalCtx {
  const Row* const* srcs = nullptr;
  const EvalCtx* outer = nullptr;
  const Value* aggs = nullptr;
  ExecEnv* env = nullptr;
  // Keyed subquery probes a row loop prepared ahead for this row (see SubqueryLookahead).
  const PreparedProbes* probes = nullptr;
  // The values of the scope's window functions for the current row, one per slot.
  const Value* windows = nullptr;
};

enum class BKind {
  Literal,
  Column,      // depth, src, col
  Variable,    // name
  RowCount,    // @@ROWCOUNT
  SessionInt,  // name: @@TRANCOUNT, @@LOCK_TIMEOUT or @@SPID
  Convert,     // args[0] to type (mode, style)
  Arith,       // op, args[0..1]
  Negate,      // args[0]
  Compare,     // op, args[0..1] already in cmp_type
  And,
  Or,
  Not,
  IsNull,      // args[0] IS [NOT] NULL
  Between,     // args[0..2] in cmp_type
  Like,        // args[0] LIKE args[1] [ESCAPE args[2]]
  InList,      // args[0] IN (args[1..]) in cmp_type
  InSubquery,  // args[0] IN (sub)
  Exists,      // sub
  Subquery,    // scalar sub
  Case,        // searched: args = when0, then0, when1, then1, ...; else_expr; simple: operand
  IsNullFn,    // ISNULL(args[0], args[1])
  Coalesce,
  NullIf,      // args[0], args[1] compared in cmp_type (args[2], args[3] are the converted pair)
  Function,    // fn(args)
  Aggregate,   // name, args[0] (none for COUNT(*)), distinct; slot in the group's results
  ObjectId,    // OBJECT_ID(args[0] [, args[1]])
  GetDate,
  CatalogFn,   // name: OBJECT_NAME, COL_LENGTH, SCHEMA_NAME, ... over the session's catalog
  Window,      // fn(...) OVER (...): `window` describes it; its value is the row's in slot
  RowRef,      // which row of table source `src` the current row is (for changes through
               // views): its address, as an int; NULL for an outer join's missing row
};

bool IsPredicate(BKind kind);

// Plan of a subquery used as an expression. When its WHERE holds equalities between its own
// columns and outer columns (and nothing else refers outside), they are moved to inner_keys /
// outer_keys: the subquery then runs once per statement into a hash index probed per row.
struct SubqueryPlan {
  std::unique_ptr<BoundQuery> query;
  bool correlated = false;
  bool keyed = false;
  std::vector<BExprPtr> inner_keys;  // over the subquery's own row
  std::vector<BExprPtr> outer_keys;  // over the enclosing row (column depths count from the subquery)
  std::vector<SqlType> key_types;
  bool top1 = false;

  // Statement-level cache (the bound tree lives for one statement execution).
  // A keyed plan, or an uncorrelated one's result, is built once under build_mutex and then
  // only read, so rows can be evaluated on several threads: `ready` is set when it may be
  // read (probed), `outer_ready` when a keyed IN's outer index may.
  std::mutex build_mutex;
  std::atomic<bool> ready{false};
  std::atomic<bool> outer_ready{false};
  bool built = false;
  Value scalar;            // uncorrelated scalar result
  bool any_rows = false;   // uncorrelated EXISTS / IN: subquery returned rows
  bool has_null = false;   // IN: a NULL among the values
  HashIndex index;        // keyed: over all the keys of the entries (built on first use)
  bool index_built = false;
  // The entries one after another, entry_width values each (keys..., value): one block rather
  // than one allocation per entry, so that building and probing touch less memory.
  std::vector<Value> entries;
  size_t entry_width = 0;
  size_t entry_count() const { return entry_width ? entries.size() / entry_width : 0; }
  const Value* entry(size_t id) const { return entries.data() + id * entry_width; }
  // Keyed IN only: an index of the entries over their outer keys alone, so that the IN values
  // of one outer row can be listed (built on first use).
  bool outer_index_built = false;
  HashIndex outer_index;
};

// A hash index over one column of a source's rows (NULLs left out), built once per statement
// when a query that runs once per outer row filters that column by equality or IN.
struct ColumnIndex {
  int col = -1;
  SqlType type;
  HashIndex index;
  std::vector<uint32_t> row_ids;  // index id -> row position
  // The column's array it was built from (a large table's integer column), else null: it was
  // built from the rows, all of them made.
  std::shared_ptr<const Table::ColumnArray> array;
};

// A window function: what it computes, over which partitions, in which order and frame. Its
// arguments, partition and order expressions are evaluated on the rows of the query scope
// after grouping and HAVING; they are kept here, not in BExpr::args, because the row loops
// that project rows only read the function's result.
struct WindowDef {
  enum class Fn {
    RowNumber,
    Rank,
    DenseRank,
    Ntile,
    PercentRank,
    CumeDist,
    PercentileCont,
    PercentileDisc,
    Lag,
    Lead,
    FirstValue,
    LastValue,
    Aggregate
  };
  Fn fn = Fn::RowNumber;
  std::string aggregate;       // Aggregate: SUM, COUNT, COUNT_BIG, AVG, MIN or MAX
  std::vector<BExprPtr> args;  // NTILE: count; LAG/LEAD: value [, offset [, default]];
                               // FIRST_VALUE/LAST_VALUE and aggregates: value (none: COUNT(*));
                               // PERCENTILE_CONT/DISC: fraction, value (also the order)
  std::vector<BExprPtr> partition;
  std::vector<BExprPtr> order;
  std::vector<bool> descending;
  // The frame, for aggregates and FIRST_VALUE/LAST_VALUE with an ORDER BY (by default RANGE
  // BETWEEN UNBOUNDED PRECEDING AND CURRENT ROW); without an ORDER BY the whole partition.
  bool rows = false;
  ast::WindowBound start{ast::WindowBound::Kind::UnboundedPreceding, 0};
  ast::WindowBound end;
};

struct BExpr {
  BKind kind = BKind::Literal;
  SqlType type;
  bool nullable = true;
  Value value;  // Literal

  int depth = 0, src = -1, col = -1;  // Column
  std::string name;                   // Column name, Variable, Aggregate/Function name
  ast::Op op = ast::Op::None;
  std::vector<BExprPtr> args;
  BExprPtr else_expr;  // Case
  BExprPtr operand;    // simple Case
  bool negated = false;
  SqlType cmp_type;
  CastMode mode = CastMode::Implicit;
  int style = 0;
  bool try_convert = false;  // Convert: TRY_CAST / TRY_CONVERT (NULL when the value fails)
  const ScalarFunction* fn = nullptr;
  std::vector<SqlType> arg_types;  // Function
  bool distinct = false;  // Aggregate
  // STRING_AGG: args are the value, the separator, then the WITHIN GROUP keys; their order
  std::vector<bool> descending;
  int slot = -1;          // Aggregate
  std::unique_ptr<SubqueryPlan> sub;
  bool unicode_like = false;
  std::unique_ptr<WindowDef> window;  // Window (slot is its place among the scope's windows)
};

BExprPtr MakeLiteral(Value v, SqlType type);
// Wraps e in a conversion to `to` when the value representation differs.
BExprPtr MakeConvert(BExprPtr e, const SqlType& to, CastMode mode = CastMode::Implicit);
bool SameExpr(const BExpr& a, const BExpr& b);

// A source of a query scope: a table, a view or derived table (materialized when run).
struct BoundSource {
  std::string exposed;     // alias, or the table name as written
  std::string table_name;  // the table's catalog name; "" for derived tables
  bool aliased = false;
  std::vector<ResultColumn> columns;
  std::shared_ptr<Table> table;
  std::unique_ptr<BoundQuery> derived;
  bool null_supplying = false;  // inner side of an outer join
  // The right side of an APPLY that reads columns of the left side: `derived` runs once for
  // each left row (with that row as its outer context) instead of once per statement.
  bool lateral = false;
  // A derived table (not the right side of an APPLY) in a subquery that reads columns of the
  // queries around it: it is made each time its query runs, with their rows as its outer
  // context (it cannot read the other sources of its own FROM).
  bool outer_correlated = false;
  // A view or common table expression (rather than a derived table written in the FROM).
  bool view_or_cte = false;
  // The reference of a recursive common table expression's member to the expression itself:
  // the rows of the previous level, set before each run of the member (no table or derived).
  std::shared_ptr<std::vector<Row>> work;

  // Run time: the rows are *rows, or, for a derived table that passes a table's rows through
  // unchanged, the table rows listed in `borrowed` (rows is then null).
  std::vector<Row> materialized;
  const std::vector<Row>* rows = nullptr;
  std::vector<const Row*> borrowed;
  std::vector<std::unique_ptr<ColumnIndex>> column_indexes;
};

struct BoundJoin {
  int source = -1;  // leaf
  ast::JoinType type = ast::JoinType::Inner;
  std::unique_ptr<BoundJoin> left, right;
  std::vector<BExprPtr> on;  // conjuncts
};

struct OrderKey {
  int output = -1;  // output column, or
  BExprPtr expr;    // an expression over the query's rows (after grouping when grouped)
  bool desc = false;
};

struct BoundSpec {
  std::vector<BoundSource> sources;
  std::vector<std::unique_ptr<BoundJoin>> from;  // comma-separated units
  std::vector<BExprPtr> where;                   // conjuncts
  bool grouped = false;
  bool has_group_by = false;
  std::vector<BExprPtr> group_by;
  std::vector<BExpr*> aggregates;
  std::vector<BExpr*> windows;  // the window functions of the select list and ORDER BY
  BExprPtr having;
  std::vector<BExprPtr> select;
  bool distinct = false;
  BExprPtr top;
  bool top_percent = false;
  bool with_ties = false;
  // OFFSET: the rows to skip before TOP, which then holds FETCH's count (or every row): so
  // whatever looks at TOP treats the scope as one whose rows are cut.
  BExprPtr offset;
  std::vector<OrderKey> order;
  // SELECT @v = ...: the variable (folded name) each select item assigns; empty otherwise.
  std::vector<std::string> assign_to;
};

// A recursive common table expression: the anchor's rows, then the rows each run of the
// recursive members makes from the rows of the level before, until a level makes none.
struct RecursiveCte {
  std::string name;
  std::unique_ptr<BoundQuery> anchor;
  std::vector<std::unique_ptr<BoundQuery>> members;  // each reads `work` once
  std::shared_ptr<std::vector<Row>> work;
  int32_t max_recursion = 100;  // levels allowed after the anchor; 0: no limit (Msg 530)
};

struct BoundQuery {
  std::unique_ptr<BoundSpec> spec;          // a single query, or
  std::unique_ptr<BoundQuery> left, right;  // a UNION [ALL], EXCEPT or INTERSECT, or
  bool is_values = false;                   // a table value constructor: `values`, or
  std::unique_ptr<RecursiveCte> recursive;  // a recursive common table expression
  ast::QueryExpr::SetOp set_op = ast::QueryExpr::SetOp::Union;
  bool union_all = false;
  // VALUES (...), (...): the rows of expressions, each converted to its column's type. They
  // read no sources of their own; an APPLY's constructor may read the left side (depth 1).
  std::vector<std::vector<BExprPtr>> values;
  // STRING_SPLIT: values[0] holds the string and the separator; a row per part of the string,
  // with its 1-based position when `split_ordinal`.
  bool string_split = false;
  bool split_ordinal = false;
  // OPENJSON: values[0] holds the JSON text and the path; a row per member or item.
  bool openjson = false;
  std::vector<ResultColumn> columns;
  std::vector<OrderKey> order;  // set operations: output columns only
  BExprPtr offset, fetch;       // set operations: OFFSET ... FETCH
  // FOR XML: the rows of for_rows become the one value of the one row of this query.
  std::unique_ptr<BoundQuery> for_rows;
  std::shared_ptr<const ast::ForClause> for_clause;
};

}  // namespace orv::tsql
