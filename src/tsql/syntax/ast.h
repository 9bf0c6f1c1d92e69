// The syntax tree of a T-SQL batch as the parser produces it: statements, queries, table
// sources and expressions, with their positions in the batch text. Names are kept as written
// (brackets removed); the binder resolves them without regard to letter case.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tsql/types/operators.h"

namespace orv::tsql::ast {

// The vocabulary shared with the value operations, so that the trees can name it as ast::Op.
using tsql::LiteralKind;
using tsql::Op;
using tsql::TypeName;

struct SourcePos {
  int32_t line = 1;    // 1-based
  int32_t column = 1;  // 1-based, in bytes
  uint32_t offset = 0; // byte offset in the batch
};

// A possibly qualified name: {"t1", "FItemID"}, {"dbo", "t_ICItem"}, {"tempdb", "", "#T"}.
// Empty parts stand for omitted ones ("tempdb..#T").
using Name = std::vector<std::string>;

// The name as written with its parts joined by dots ("dbo.t_ICItem", "tempdb..#T").
std::string JoinName(const Name& name);

struct QueryExpr;
struct Expr;
using ExprPtr = std::unique_ptr<Expr>;
struct WindowSpec;
struct OrderItem;

enum class ExprKind {
  Literal,         // literal_kind + text
  ColumnRef,       // name (1 to 4 parts); also a bare identifier the binder must resolve
  Variable,        // @name in text; name holds it without '@'
  Unary,           // op (Neg, Pos, BitNot) + args[0]
  Binary,          // op + args[0], args[1]   (arithmetic, '+' on strings, comparisons)
  And,             // args[0..n)
  Or,              // args[0..n)
  Not,             // args[0]
  IsNull,          // args[0] IS [NOT] NULL (negated)
  Between,         // args[0] [NOT] BETWEEN args[1] AND args[2]
  Like,            // args[0] [NOT] LIKE args[1] [ESCAPE args[2]]
  InList,          // args[0] [NOT] IN (args[1..n))
  InSubquery,      // args[0] [NOT] IN (subquery)
  Exists,          // [NOT] EXISTS (subquery)
  ScalarSubquery,  // (subquery)
  Case,            // CASE [case_operand] WHEN args[2i] THEN args[2i+1] ... [ELSE case_else] END
  Function,        // function_name(args) ; COUNT(*) has star_arg; DISTINCT sets distinct
  Cast,            // CAST(args[0] AS type) or CONVERT(type, args[0] [, args[1] = style])
  DatePart,        // the datepart keyword of DATEDIFF/DATEADD/DATEPART/DATENAME, in text (upper)
  Default,         // DEFAULT in an INSERT VALUES list or an UPDATE SET
  Star,            // * or t.* inside a select list (name holds the qualifier) or COUNT(*)
  Collate,         // args[0] COLLATE text (the collation name)
};

struct Expr {
  Expr() = default;
  Expr(Expr&&) = default;
  Expr& operator=(Expr&&) = default;
  // Frees the tree below without recursion: a chain of thousands of operators parsed in a
  // loop is as deep, and its destruction must not need a frame per level.
  ~Expr();

  ExprKind kind = ExprKind::Literal;
  SourcePos pos;

  LiteralKind literal_kind = LiteralKind::Null;
  std::string text;  // literal: digits as written / string contents (quotes removed, '' -> ')
                     // Function: name as written; DatePart: the keyword upper-cased
  Name name;         // ColumnRef / Star qualifier / Variable (one part without '@')
  Op op = Op::None;
  std::vector<ExprPtr> args;
  bool negated = false;   // NOT LIKE, NOT IN, NOT BETWEEN, IS NOT NULL, NOT EXISTS
  bool distinct = false;  // COUNT(DISTINCT x)
  bool star_arg = false;  // COUNT(*)
  ExprPtr case_operand;   // simple CASE
  ExprPtr case_else;
  TypeName type;          // Cast target
  bool is_convert = false;  // CONVERT(...) rather than CAST(...)
  bool is_try = false;      // TRY_CAST / TRY_CONVERT: NULL instead of a conversion error
  std::unique_ptr<QueryExpr> subquery;
  std::unique_ptr<WindowSpec> over;  // Function: fn(...) OVER (...)
  std::vector<OrderItem> within_group;  // STRING_AGG(...) WITHIN GROUP (ORDER BY ...)
};

// CrossApply / OuterApply: the right side is evaluated for each row of the left side and may
// read its columns.
enum class JoinType { Inner, Left, Right, Full, Cross, CrossApply, OuterApply };

struct TableRef {
  TableRef() = default;
  TableRef(TableRef&&) = default;
  TableRef& operator=(TableRef&&) = default;
  ~TableRef();  // frees a long chain of joins without recursion

  enum class Kind { Named, Derived, Values, Join };
  Kind kind = Kind::Named;
  SourcePos pos;
  Name name;                           // Named: {db, schema, table} as written, 1 to 3 parts
  std::string alias;                   // Named / Derived / Values (required for the last two)
  std::vector<std::string> column_aliases;  // Derived / Values: "AS t(a, b)"; empty when none
  std::unique_ptr<QueryExpr> derived;  // Derived
  std::vector<std::vector<ExprPtr>> values;  // Values: "(VALUES (1, 'a'), (2, 'b'))"
  // Values read as STRING_SPLIT(string, separator [, enable_ordinal]): values[0] holds the
  // arguments, and the rows are the string's parts.
  bool string_split = false;
  // Values read as OPENJSON(json [, path]): values[0] holds the arguments, and the rows are the
  // members or items of the JSON object or array.
  bool openjson = false;
  JoinType join_type = JoinType::Inner;  // Join
  std::unique_ptr<TableRef> left, right; // Join
  ExprPtr on;                            // Join (none for Cross)
};
using TableRefPtr = std::unique_ptr<TableRef>;

struct SelectItem {
  ExprPtr expr;        // Star expressions for * and t.*
  std::string alias;   // "" when none; set by "expr AS a", "expr a", "a = expr", "expr 'a'"
  SourcePos pos;
  // SELECT @v = expr: the variable assigned (without '@', as written); "" for a plain item.
  // A compound "@v += expr" is kept as "@v = @v + (expr)".
  std::string variable;
};

// OUTPUT items [INTO table [(columns)]] of INSERT, UPDATE, DELETE and MERGE: items read the
// inserted. and deleted. images of each changed row (and $action in MERGE).
struct OutputClause {
  std::vector<SelectItem> items;
  Name into;                         // empty: the rows go to the client
  std::vector<std::string> into_columns;
  SourcePos pos;
};

struct QuerySpec {
  bool distinct = false;
  ExprPtr top;              // TOP n / TOP (n)
  bool top_percent = false;
  bool with_ties = false;
  std::vector<SelectItem> items;
  Name into;                // SELECT ... INTO name (empty when none)
  std::vector<TableRefPtr> from;  // comma-separated sources (each may be a join tree)
  ExprPtr where;
  std::vector<ExprPtr> group_by;
  ExprPtr having;
  // The block a PIVOT or UNPIVOT became (parse_pivot.cpp): the columns its "*" leaves out,
  // and whether it groups by every column that "*" gives.
  std::vector<std::string> star_except;
  bool group_by_star = false;
  // One set of a GROUP BY ROLLUP, CUBE or GROUPING SETS: grouped even when group_by is empty
  // (the grand total row, which an empty source gives too).
  bool grouping_set = false;
};

struct OrderItem {
  ExprPtr expr;
  bool descending = false;
};

// One end of a window frame: UNBOUNDED PRECEDING, n PRECEDING, CURRENT ROW, n FOLLOWING or
// UNBOUNDED FOLLOWING.
struct WindowBound {
  enum class Kind { UnboundedPreceding, Preceding, CurrentRow, Following, UnboundedFollowing };
  Kind kind = Kind::CurrentRow;
  int64_t offset = 0;  // Preceding / Following
};

// OVER ([PARTITION BY ...] [ORDER BY ... [ROWS | RANGE frame]]).
struct WindowSpec {
  std::vector<ExprPtr> partition_by;
  std::vector<OrderItem> order_by;
  bool has_frame = false;
  bool rows = false;  // ROWS (else RANGE)
  WindowBound start{WindowBound::Kind::UnboundedPreceding, 0};
  WindowBound end;
};

// One common table expression of a WITH clause: name [(columns)] AS (query).
struct CommonTableExpr {
  std::string name;
  std::vector<std::string> columns;  // empty when no column list is given
  std::unique_ptr<QueryExpr> query;
  SourcePos pos;
};
using WithClause = std::vector<CommonTableExpr>;

// The query hints of OPTION (...) that change results; the others are accepted and ignored.
struct QueryOptions {
  std::optional<int32_t> max_recursion;  // MAXRECURSION n (0: no limit)
};

// FOR XML PATH [('row')] | RAW [('row')] [, TYPE] [, ROOT [('root')]] [, ELEMENTS], or
// FOR JSON PATH | AUTO [, ROOT [('root')]] [, INCLUDE_NULL_VALUES] [, WITHOUT_ARRAY_WRAPPER]:
// the query's rows become one XML or JSON text.
struct ForClause {
  bool json = false;
  bool raw = false;             // XML RAW: columns as attributes of <row/> (elements with ELEMENTS)
  std::string element = "row";  // XML: "" for PATH(''): no element around a row
  std::optional<std::string> root;
  bool elements = false;
  bool json_auto = false;              // JSON AUTO (refused when bound)
  bool include_null_values = false;    // JSON: NULLs written as null (else left out)
  bool without_array_wrapper = false;  // JSON: the objects without [ ]
};

// A query: a single SELECT block or a set operation of two queries.
struct QueryExpr {
  QueryExpr() = default;
  QueryExpr(QueryExpr&&) = default;
  QueryExpr& operator=(QueryExpr&&) = default;
  ~QueryExpr();  // frees a long chain of set operations without recursion

  enum class Kind { Spec, Union };  // Union: any set operation (set_op says which)
  enum class SetOp { Union, Except, Intersect };
  Kind kind = Kind::Spec;
  SourcePos pos;
  std::unique_ptr<QuerySpec> spec;        // Spec
  std::unique_ptr<QueryExpr> left, right; // Union
  SetOp set_op = SetOp::Union;            // Union
  bool union_all = false;                 // Union: UNION ALL
  std::vector<OrderItem> order_by;        // on the outermost query only
  ExprPtr offset, fetch;                  // ORDER BY ... OFFSET n ROWS [FETCH NEXT m ROWS ONLY]
  WithClause with;                        // on the query of a SELECT statement or view only
  std::shared_ptr<const ForClause> for_clause;  // FOR XML or FOR JSON after the ORDER BY
};

// The table a query's SELECT ... INTO makes (the INTO of its first SELECT block); empty when
// the query makes none.
const Name& IntoTarget(const QueryExpr& query);

enum class StmtKind {
  Select,
  Insert,
  Update,
  Delete,
  CreateTable,
  DropTable,
  CreateView,
  DropView,
  CreateIndex,
  DropIndex,
  Truncate,
  AlterTable,
  If,
  Block,
  Set,
  SetVariable,
  Print,
  Declare,
  Merge,
  Transaction,  // BEGIN TRAN, COMMIT, ROLLBACK, SAVE TRAN
  Empty,        // a lone ';'
  While,
  Break,
  Continue,
  Return,
  Goto,
  Label,
  Try,         // BEGIN TRY ... END TRY BEGIN CATCH ... END CATCH
  RaiseError,
  Throw,
  Exec,        // EXEC[UTE] procedure ... or EXEC (string)
  CreateProc,  // CREATE [OR ALTER] / ALTER PROCEDURE
  DropProc,
  DeclareCursor,  // DECLARE name CURSOR ... FOR query, SET @v = CURSOR ... FOR query
  Cursor,         // OPEN, FETCH, CLOSE, DEALLOCATE
};

struct Statement {
  explicit Statement(StmtKind k) : kind(k) {}
  virtual ~Statement() = default;
  StmtKind kind;
  SourcePos pos;
  uint32_t end_offset = 0;  // byte offset just past the statement in the batch text

  // Checked downcast: As<SelectStmt>() on a non-select throws std::logic_error.
  template <class T>
  T& As() {
    if (kind != T::kKind) throw std::logic_error("statement kind mismatch");
    return static_cast<T&>(*this);
  }
  template <class T>
  const T& As() const {
    if (kind != T::kKind) throw std::logic_error("statement kind mismatch");
    return static_cast<const T&>(*this);
  }
};
using StmtPtr = std::unique_ptr<Statement>;

struct SelectStmt : Statement {
  static constexpr StmtKind kKind = StmtKind::Select;
  SelectStmt() : Statement(kKind) {}
  std::unique_ptr<QueryExpr> query;  // INTO, if any, is on the first QuerySpec; WITH on it too
  QueryOptions options;
};

struct InsertStmt : Statement {
  static constexpr StmtKind kKind = StmtKind::Insert;
  InsertStmt() : Statement(kKind) {}
  WithClause with;
  QueryOptions options;
  std::vector<OutputClause> output;  // OUTPUT ... INTO, then OUTPUT to the client
  Name target;
  std::vector<std::string> columns;             // empty: every column in table order
  std::vector<std::vector<ExprPtr>> values;     // VALUES rows (Default exprs allowed)
  std::unique_ptr<QueryExpr> select;            // INSERT ... SELECT
  bool default_values = false;                  // DEFAULT VALUES
};

struct SetClause {
  Name column;    // 1 or 2 parts ("t1.FName")
  ExprPtr value;  // may be a Default expr
};

// WHERE CURRENT OF [GLOBAL] cursor | @variable: the row the cursor stands on.
struct CurrentOf {
  std::string cursor;  // a cursor's name, or a cursor variable's with its '@'
  bool global = false;
  SourcePos pos;
};

struct UpdateStmt : Statement {
  static constexpr StmtKind kKind = StmtKind::Update;
  UpdateStmt() : Statement(kKind) {}
  WithClause with;
  QueryOptions options;
  std::vector<OutputClause> output;  // OUTPUT ... INTO, then OUTPUT to the client
  ExprPtr top;
  Name target;  // table name or an alias from FROM
  std::vector<SetClause> sets;
  std::vector<TableRefPtr> from;
  ExprPtr where;
  std::optional<CurrentOf> current_of;  // instead of a WHERE condition
};

struct DeleteStmt : Statement {
  static constexpr StmtKind kKind = StmtKind::Delete;
  DeleteStmt() : Statement(kKind) {}
  WithClause with;
  QueryOptions options;
  std::vector<OutputClause> output;  // OUTPUT ... INTO, then OUTPUT to the client
  ExprPtr top;
  Name target;
  std::vector<TableRefPtr> from;
  ExprPtr where;
  std::optional<CurrentOf> current_of;  // instead of a WHERE condition
};

// One WHEN clause of a MERGE: which rows it is for, an extra condition, and its action.
struct MergeClause {
  enum class When { Matched, NotMatchedByTarget, NotMatchedBySource };
  enum class Action { Update, Delete, Insert };
  When when = When::Matched;
  ExprPtr condition;  // AND ...; null when none
  Action action = Action::Update;
  std::vector<SetClause> sets;       // Update
  std::vector<std::string> columns;  // Insert: the column list, empty when none
  std::vector<ExprPtr> values;       // Insert: VALUES (...), empty for DEFAULT VALUES
  SourcePos pos;
};

struct MergeStmt : Statement {
  static constexpr StmtKind kKind = StmtKind::Merge;
  MergeStmt() : Statement(kKind) {}
  WithClause with;
  QueryOptions options;
  ExprPtr top;
  bool top_percent = false;
  Name target;
  std::string target_alias;
  TableRefPtr source;  // USING ...
  ExprPtr on;
  std::vector<MergeClause> clauses;
  std::vector<OutputClause> output;
};

struct ColumnDef {
  std::string name;
  TypeName type;
  std::optional<bool> nullable;  // unset: no NULL / NOT NULL clause
  ExprPtr default_value;         // DEFAULT expr (parentheses removed)
  std::string default_name;      // CONSTRAINT name before DEFAULT; "" when none
  bool identity = false;
  int64_t identity_seed = 1;
  int64_t identity_increment = 1;
  bool primary_key = false;
  bool unique = false;
  std::string key_name;  // CONSTRAINT name before PRIMARY KEY or UNIQUE; "" when none
  // A computed column (name AS expr [PERSISTED]): its expression and its text as written; the
  // column has no type of its own.
  ExprPtr computed;
  std::string computed_text;
  SourcePos pos;
};

// CHECK (condition) of a CREATE TABLE, written on a column or after the columns.
struct CheckDef {
  std::string name;    // "" when no CONSTRAINT name is given
  std::string column;  // the column it is written on; "" after the columns
  std::shared_ptr<const Expr> condition;
  std::string text;    // the condition as written
};

// PRIMARY KEY (cols) or UNIQUE (cols) of a CREATE TABLE, written after the columns.
struct KeyDef {
  std::string name;  // "" when no CONSTRAINT name is given
  bool primary = false;
  std::vector<std::string> columns;
};

struct CreateTableStmt : Statement {
  static constexpr StmtKind kKind = StmtKind::CreateTable;
  CreateTableStmt() : Statement(kKind) {}
  Name name;
  std::vector<ColumnDef> columns;
  std::vector<KeyDef> keys;  // table-level PRIMARY KEY and UNIQUE constraints, as written
  std::vector<CheckDef> checks;  // CHECK constraints, on columns and after them, as written
};

struct DropTableStmt : Statement {
  static constexpr StmtKind kKind = StmtKind::DropTable;
  DropTableStmt() : Statement(kKind) {}
  std::vector<Name> names;
  bool if_exists = false;
};

struct CreateViewStmt : Statement {
  static constexpr StmtKind kKind = StmtKind::CreateView;
  CreateViewStmt() : Statement(kKind) {}
  Name name;
  std::vector<std::string> columns;  // optional column list
  std::unique_ptr<QueryExpr> query;
  std::string query_text;            // the SELECT text as written (stored with the view)
};

struct DropViewStmt : Statement {
  static constexpr StmtKind kKind = StmtKind::DropView;
  DropViewStmt() : Statement(kKind) {}
  std::vector<Name> names;
  bool if_exists = false;
};

struct CreateIndexStmt : Statement {
  static constexpr StmtKind kKind = StmtKind::CreateIndex;
  CreateIndexStmt() : Statement(kKind) {}
  std::string index_name;
  Name table;
  std::vector<std::string> columns;
  bool unique = false;
  // WHERE: the index covers only the rows for which the condition is true (null when none),
  // and the condition's text as written.
  std::shared_ptr<const Expr> filter;
  std::string filter_text;
  bool drop_existing = false;  // WITH (DROP_EXISTING = ON): replaces an index of the same name
};

struct DropIndexStmt : Statement {
  static constexpr StmtKind kKind = StmtKind::DropIndex;
  DropIndexStmt() : Statement(kKind) {}
  Name table;
  std::string index_name;
};

struct TruncateStmt : Statement {
  static constexpr StmtKind kKind = StmtKind::Truncate;
  TruncateStmt() : Statement(kKind) {}
  Name table;
};

// ALTER TABLE t ADD columns | ALTER COLUMN c type [NULL | NOT NULL] | DROP COLUMN [IF EXISTS] c,
// ...; ADD / DROP CONSTRAINT, CHECK / NOCHECK CONSTRAINT; the clauses of constraints not kept
// (FOREIGN KEY) are parsed only so far as to be refused when the statement runs.
struct AlterTableStmt : Statement {
  static constexpr StmtKind kKind = StmtKind::AlterTable;
  AlterTableStmt() : Statement(kKind) {}
  enum class Action {
    AddColumns, AlterColumn, DropColumns, AddKeys, AddChecks, AddDefault, DropConstraints,
    EnableConstraints, DisableConstraints, Constraint
  };
  Name table;
  Action action = Action::AddColumns;
  // AddColumns: the new columns; AlterColumn: the one column, with its new type and nullability.
  std::vector<ColumnDef> columns;
  std::vector<bool> with_values;  // AddColumns: DEFAULT ... WITH VALUES, column by column
  struct Drop {
    std::string column;
    bool if_exists = false;
  };
  // DropColumns; DropConstraints, EnableConstraints, DisableConstraints (the constraints'
  // names; none for ALL)
  std::vector<Drop> drops;
  std::vector<KeyDef> keys;  // AddKeys: PRIMARY KEY and UNIQUE constraints
  std::vector<CheckDef> checks;  // AddChecks
  bool nocheck = false;          // AddChecks: WITH NOCHECK, the rows there are not tested
  bool with_check = false;       // WITH CHECK written: the rows there are tested
  // AddDefault: DEFAULT expr FOR column, and the expression as written.
  std::shared_ptr<const Expr> default_value;
  std::string default_text, default_column;
  std::string default_name;  // AddDefault: the CONSTRAINT name given, "" when none
  std::string constraint_clause;  // Constraint: the clause's leading words, for the message
};

struct IfStmt : Statement {
  static constexpr StmtKind kKind = StmtKind::If;
  IfStmt() : Statement(kKind) {}
  ExprPtr condition;
  StmtPtr then_branch;
  StmtPtr else_branch;  // may be null
};

struct BlockStmt : Statement {
  static constexpr StmtKind kKind = StmtKind::Block;
  BlockStmt() : Statement(kKind) {}
  std::vector<StmtPtr> statements;  // BEGIN ... END
};

struct SetStmt : Statement {
  static constexpr StmtKind kKind = StmtKind::Set;
  SetStmt() : Statement(kKind) {}
  std::string option;  // upper case: "NOCOUNT", "ANSI_NULLS", "DATEFORMAT", ...
  std::string value;   // upper case for ON/OFF; as written otherwise
  Name table;          // SET IDENTITY_INSERT's table
};

// SET @v = expr; a compound "SET @v += expr" (-=, *=, /=, %=, &=, |=, ^=) is kept as
// "SET @v = @v + (expr)".
struct SetVariableStmt : Statement {
  static constexpr StmtKind kKind = StmtKind::SetVariable;
  SetVariableStmt() : Statement(kKind) {}
  std::string variable;  // without '@', as written
  ExprPtr value;
};

struct PrintStmt : Statement {
  static constexpr StmtKind kKind = StmtKind::Print;
  PrintStmt() : Statement(kKind) {}
  ExprPtr value;
};

struct DeclareStmt : Statement {
  static constexpr StmtKind kKind = StmtKind::Declare;
  DeclareStmt() : Statement(kKind) {}
  std::string variable;  // without '@'
  TypeName type;
  ExprPtr initial;
  // DECLARE @t TABLE (...): the columns of a table variable (its name is "@t"); null otherwise.
  std::unique_ptr<CreateTableStmt> table;
  bool cursor = false;  // DECLARE @c CURSOR: a cursor variable, holding no cursor yet
};

struct WhileStmt : Statement {
  static constexpr StmtKind kKind = StmtKind::While;
  WhileStmt() : Statement(kKind) {}
  ExprPtr condition;
  StmtPtr body;
};

struct BreakStmt : Statement {
  static constexpr StmtKind kKind = StmtKind::Break;
  BreakStmt() : Statement(kKind) {}
};

struct ContinueStmt : Statement {
  static constexpr StmtKind kKind = StmtKind::Continue;
  ContinueStmt() : Statement(kKind) {}
};

struct ReturnStmt : Statement {
  static constexpr StmtKind kKind = StmtKind::Return;
  ReturnStmt() : Statement(kKind) {}
  ExprPtr value;  // may be null
};

struct GotoStmt : Statement {
  static constexpr StmtKind kKind = StmtKind::Goto;
  GotoStmt() : Statement(kKind) {}
  std::string label;
};

// "name:" marks a place GOTO may jump to.
struct LabelStmt : Statement {
  static constexpr StmtKind kKind = StmtKind::Label;
  LabelStmt() : Statement(kKind) {}
  std::string label;
};

struct TryStmt : Statement {
  static constexpr StmtKind kKind = StmtKind::Try;
  TryStmt() : Statement(kKind) {}
  std::vector<StmtPtr> try_statements;
  std::vector<StmtPtr> catch_statements;
};

// RAISERROR (msg, severity, state [, argument ...]) [WITH LOG | NOWAIT | SETERROR].
struct RaiseErrorStmt : Statement {
  static constexpr StmtKind kKind = StmtKind::RaiseError;
  RaiseErrorStmt() : Statement(kKind) {}
  std::vector<ExprPtr> args;  // message (or number), severity, state, then the arguments
  bool seterror = false;
};

// THROW number, message, state; a bare THROW (all null) raises the caught error again.
struct ThrowStmt : Statement {
  static constexpr StmtKind kKind = StmtKind::Throw;
  ThrowStmt() : Statement(kKind) {}
  ExprPtr number, message, state;
};

// One argument of EXEC proc: [@parameter =] value [OUTPUT], or DEFAULT.
struct ExecArg {
  std::string parameter;  // without '@'; "" when given by position
  ExprPtr value;          // null for DEFAULT
  bool output = false;
  SourcePos pos;
};

struct ExecStmt : Statement {
  static constexpr StmtKind kKind = StmtKind::Exec;
  ExecStmt() : Statement(kKind) {}
  std::string return_variable;  // EXEC @rc = proc: without '@'; "" when none
  Name procedure;               // empty for EXEC (string)
  std::vector<ExecArg> args;
  std::vector<ExprPtr> dynamic;  // EXEC ('a' + @b + ...): the parts, concatenated
};

struct ProcParam {
  std::string name;  // without '@'
  TypeName type;
  ExprPtr default_value;  // null: the caller must pass one
  bool output = false;
  SourcePos pos;
};

// CREATE [OR ALTER] PROC[EDURE] name params AS body, and ALTER PROC[EDURE]. The body is the
// rest of the batch; `text` is the whole definition as written, kept with the procedure.
struct CreateProcStmt : Statement {
  static constexpr StmtKind kKind = StmtKind::CreateProc;
  CreateProcStmt() : Statement(kKind) {}
  Name name;
  bool alter = false;     // ALTER PROCEDURE
  bool or_alter = false;  // CREATE OR ALTER
  std::vector<ProcParam> params;
  std::vector<StmtPtr> body;
  std::string text;
};

struct DropProcStmt : Statement {
  static constexpr StmtKind kKind = StmtKind::DropProc;
  DropProcStmt() : Statement(kKind) {}
  std::vector<Name> names;
  bool if_exists = false;
};

// BEGIN TRAN[SACTION] [name], COMMIT [TRAN[SACTION] | WORK] [name],
// ROLLBACK [TRAN[SACTION] | WORK] [name], SAVE TRAN[SACTION] name. A name may be given as a
// variable (@v) that holds it.
struct TransactionStmt : Statement {
  static constexpr StmtKind kKind = StmtKind::Transaction;
  TransactionStmt() : Statement(kKind) {}
  enum class Action { kBegin, kCommit, kRollback, kSave };
  Action action = Action::kBegin;
  std::string name;          // as written; "" when none
  bool name_is_variable = false;  // name holds a variable's name (without '@')
};

// The options of a cursor as declared. Those not given are settled when it is declared:
// STATIC, KEYSET and DYNAMIC cursors scroll unless FORWARD_ONLY is given; the others, and
// ISO cursors without SCROLL, fetch NEXT only.
struct CursorOptions {
  enum class Scope { Default, Local, Global };
  enum class Kind { Default, Static, Keyset, Dynamic, FastForward };
  enum class Concurrency { Default, ReadOnly, ScrollLocks, Optimistic };
  Scope scope = Scope::Default;
  Kind kind = Kind::Default;
  Concurrency concurrency = Concurrency::Default;
  bool forward_only = false;
  bool scroll = false;
  bool insensitive = false;  // ISO INSENSITIVE: a STATIC, read-only cursor
  bool for_read_only = false;
  bool for_update = false;
  std::vector<std::string> update_columns;  // FOR UPDATE OF ...; empty: every column
};

// DECLARE name CURSOR [options] FOR query (and the ISO form DECLARE name [INSENSITIVE]
// [SCROLL] CURSOR FOR query), or SET @v = CURSOR [options] FOR query. The query is shared
// with the cursor, which may outlive the batch.
struct DeclareCursorStmt : Statement {
  static constexpr StmtKind kKind = StmtKind::DeclareCursor;
  DeclareCursorStmt() : Statement(kKind) {}
  std::string name;  // the cursor's name; for SET @v = CURSOR, the variable's (without '@')
  bool variable = false;
  CursorOptions options;
  std::shared_ptr<const QueryExpr> query;
};

// OPEN, FETCH, CLOSE and DEALLOCATE of [GLOBAL] name or @variable.
struct CursorStmt : Statement {
  static constexpr StmtKind kKind = StmtKind::Cursor;
  CursorStmt() : Statement(kKind) {}
  enum class Action { Open, Fetch, Close, Deallocate };
  enum class Fetch { Next, Prior, First, Last, Absolute, Relative };
  Action action = Action::Open;
  std::string cursor;  // a cursor's name, or a cursor variable's with its '@'
  bool global = false;
  Fetch fetch = Fetch::Next;
  ExprPtr offset;                 // ABSOLUTE n / RELATIVE n
  std::vector<std::string> into;  // FETCH ... INTO @a, @b: the variables without '@'
};

struct EmptyStmt : Statement {
  static constexpr StmtKind kKind = StmtKind::Empty;
  EmptyStmt() : Statement(kKind) {}
};

struct Batch {
  std::vector<StmtPtr> statements;
};

// How deeply expressions, joins and set operations may nest in a statement (subqueries and
// views included). The binder refuses deeper ones with Msg 191 before anything recurses over
// them, so that neither it nor the executor (which recurses as deeply over the bound tree,
// also on helper threads) runs out of stack.
inline constexpr int kMaxNesting = 1000;

// Whether the expression tree (its operands, not its subqueries) is more than `limit` levels
// deep; found without recursion.
bool DeeperThan(const Expr& expr, int limit);

}  // namespace orv::tsql::ast
