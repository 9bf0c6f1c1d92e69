// The binder: turns parsed queries and expressions into bound trees. It resolves names in
// nested scopes (Msg 207, 208, 209, 4104), derives types with SQL Server's rules, collects
// aggregates and checks grouping (Msg 8120, 8118), resolves ORDER BY items, and plans
// subqueries (keyed look-ups when their correlation is a set of equalities).
//
// Folder tsql/bind: the binder and the bound tree it produces (bound.h). It uses tsql/catalog,
// tsql/functions, tsql/syntax and tsql/types; constants are evaluated through a function the
// executor passes in, so binding never calls into tsql/exec.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tsql/bind/bound.h"
#include "tsql/catalog/session_state.h"
#include "tsql/syntax/ast.h"

namespace orv::tsql {

// One query level's names, and what the level below it reads from outside.
struct Scope {
  Scope* parent = nullptr;
  BoundSpec* spec = nullptr;
  std::vector<BExpr*>* aggregates = nullptr;  // null where aggregates are not allowed
  std::vector<BExpr*>* windows = nullptr;     // null where window functions are not allowed
  bool in_window_or_aggregate = false;        // binding the arguments of one (Msg 4109)
  std::vector<int> refs_to_parent;  // sources of the parent scope read from this level down
  bool refs_beyond_parent = false;
};

// Evaluates a bound expression that reads no columns (TOP, CONVERT style, defaults, IF
// conditions). The executor supplies it, so that binding itself runs nothing.
using ConstantEvaluator = Value (*)(const BExpr& expr, SessionState& session);

class Binder {
 public:
  Binder(SessionState& session, ConstantEvaluator evaluate_constant)
      : session_(session), evaluate_constant_(evaluate_constant) {}

  // parent: the enclosing scope for correlated references, or null.
  // correlated (optional): set when the query reads columns of enclosing scopes.
  std::unique_ptr<BoundQuery> BindQuery(const ast::QueryExpr& query, Scope* parent,
                                        bool* correlated = nullptr,
                                        std::vector<int>* parent_refs = nullptr);

  BExprPtr BindExpr(const ast::Expr& expr, Scope& scope);

  // FROM list of UPDATE/DELETE, and the sources of a single table. Returns nothing; the units
  // are appended to spec.from.
  void BindFrom(const std::vector<ast::TableRefPtr>& from, BoundSpec& spec, Scope& scope);
  // Adds a named table (or view) as a source; returns its index.
  int AddNamedSource(const ast::Name& name, const std::string& alias, BoundSpec& spec,
                     bool null_supplying);
  std::unique_ptr<BoundJoin> BindTableRef(const ast::TableRef& ref, BoundSpec& spec,
                                          Scope& scope, bool null_supplying);
  // A derived table or table value constructor as a source of spec. With `parent` (the right
  // side of an APPLY) it may read the sources of that scope bound so far, and is then marked
  // lateral when it does. Otherwise, with `enclosing` (the scope of spec), it may read the
  // queries around spec but none of spec's own sources, and is marked outer_correlated when it
  // does. Returns the source's index.
  int AddDerivedSource(const ast::TableRef& ref, BoundSpec& spec, Scope* parent,
                       bool null_supplying, Scope* enclosing = nullptr);

  // Splits an AND tree into conjuncts.
  static void SplitConjuncts(BExprPtr expr, std::vector<BExprPtr>& out);

  // Evaluates an expression without columns (TOP, CONVERT style, defaults, IF conditions).
  Value EvalConstant(const BExpr& expr) { return evaluate_constant_(expr, session_); }

  // Resolves a table name to a table (temp tables of this session first for "#x").
  std::shared_ptr<Table> FindTable(const ast::Name& name);
  // A view's columns as its query binds, without reading the rows of its tables; empty when it
  // does not bind.
  std::vector<ResultColumn> ViewColumns(const View& view);

  SessionState& session() { return session_; }

  // Makes the common table expressions of a WITH clause visible to the names bound until
  // PopCtes(mark) with the mark returned; Msg 239 for a name the clause gives twice.
  size_t PushCtes(const ast::WithClause& ctes);
  void PopCtes(size_t mark) { ctes_.resize(mark); }
  // MAXRECURSION of the statement being bound (the default is 100).
  void SetMaxRecursion(int32_t levels) { max_recursion_ = levels; }

  // Lets the next query scope bound assign variables (SELECT @v = ...): only the scope of a
  // SELECT statement itself may; any other scope that tries is Msg 141.
  void AllowAssignment() { allow_assignment_ = true; }
  // The folded name of a variable a statement assigns; Msg 137 when it is not declared.
  std::string AssignedVariable(const std::string& name);

 private:
  // OFFSET and FETCH of an ordered query (FETCH left null when absent).
  void BindOffset(const ast::QueryExpr& query, BExprPtr& offset, BExprPtr& fetch);
  // BindQuery without the query's WITH clause.
  std::unique_ptr<BoundQuery> BindQueryBody(const ast::QueryExpr& query, Scope* parent,
                                            bool* correlated, std::vector<int>* parent_refs);
  std::unique_ptr<BoundQuery> BindSpec(const ast::QuerySpec& spec,
                                       const std::vector<ast::OrderItem>& order_by,
                                       Scope& scope);
  void BindSpecOrder(const ast::QuerySpec& ast_spec, const std::vector<ast::OrderItem>& order_by,
                     BoundSpec& spec, std::vector<ResultColumn>& columns,
                     const std::vector<std::string>& aliases, Scope& scope);
  BExprPtr BindColumn(const ast::Expr& expr, Scope& scope);
  // Copies the WHERE conditions of spec that test columns of one of its derived tables into
  // the queries of that derived table too (binder_pushdown.cpp).
  void PushFiltersIntoDerived(BoundSpec& spec);
  void PushFilters(BoundSpec& spec, const std::vector<const BExpr*>& conditions);
  BExprPtr BindBinary(const ast::Expr& expr, Scope& scope);
  BExprPtr BindFunction(const ast::Expr& expr, Scope& scope);
  // @@VERSION, @@SPID, @@SERVERNAME, ... as constants of this session; null for other names.
  BExprPtr BindGlobalVariable(const std::string& upper);
  // DB_NAME(), SERVERPROPERTY('x'), USER_NAME(), ... when their value is known at bind time.
  BExprPtr BindSessionFunction(const std::string& upper, const ast::Expr& expr);
  BExprPtr BindAggregate(const ast::Expr& expr, const std::string& upper, Scope& scope);
  BExprPtr BindWindow(const ast::Expr& expr, const std::string& upper, Scope& scope);
  BExprPtr BindCase(const ast::Expr& expr, Scope& scope);
  BExprPtr BindSubquery(const ast::Expr& expr, Scope& scope);
  std::unique_ptr<BoundQuery> BindValues(const ast::TableRef& ref, Scope& scope);
  std::unique_ptr<BoundQuery> BindStringSplit(const ast::TableRef& ref, Scope& scope);
  std::unique_ptr<BoundQuery> BindOpenJson(const ast::TableRef& ref, Scope& scope);
  void PlanSubquery(SubqueryPlan& plan, BKind kind);
  void CheckGrouped(const BExpr& expr, const BoundSpec& spec);
  // Common table expressions (binder_cte.cpp).
  const ast::CommonTableExpr* FindCte(const ast::Name& name, size_t* index) const;
  std::unique_ptr<BoundQuery> BindCte(size_t index);
  std::unique_ptr<BoundQuery> BindRecursiveCte(const ast::CommonTableExpr& cte);
  // Adds the reference of a recursive member to its own expression as a source.
  void AddRecursiveReference(BoundSource& source);
  void CheckAssignments(const ast::QuerySpec& spec);

  // Counts one level of nesting while it lives; Msg 191 past ast::kMaxNesting.
  class NestingGuard {
   public:
    explicit NestingGuard(Binder& binder);
    ~NestingGuard() { --binder_.nesting_; }
    NestingGuard(const NestingGuard&) = delete;
    NestingGuard& operator=(const NestingGuard&) = delete;

   private:
    Binder& binder_;
  };

  SessionState& session_;
  ConstantEvaluator evaluate_constant_;
  // Binding only to learn a view's columns: tables are their descriptions (ViewColumns).
  bool describing_ = false;
  bool allow_assignment_ = false;

  // The common table expressions in scope, in the order defined; each sees those before it.
  std::vector<const ast::CommonTableExpr*> ctes_;
  // While the recursive members of a common table expression are bound: the expression,
  // its columns and work rows, the query depth of the members, and the references made.
  struct Recursion {
    const ast::CommonTableExpr* cte = nullptr;
    std::vector<ResultColumn> columns;
    std::shared_ptr<std::vector<Row>> work;
    int depth = 0;
    int references = 0;
  };
  Recursion* recursion_ = nullptr;
  int depth_ = 0;  // query scopes being bound, one inside the other
  int32_t max_recursion_ = 100;
  struct DepthGuard {
    explicit DepthGuard(Binder& binder) : binder(binder) { ++binder.depth_; }
    ~DepthGuard() { --binder.depth_; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;
    Binder& binder;
  };
  int nesting_ = 0;
};

// Names the columns of a derived table, table value constructor or common table expression
// `name` from its column list (Msg 8158/8159 when the counts differ, 8156 for a name given
// twice); without a list every column must already have a name (Msg 8155).
void NameColumns(std::vector<ResultColumn>& columns, const std::vector<std::string>& names,
                 const std::string& name);

// True when expr reads a column of a scope `level` or more levels above its own.
bool RefsAbove(const BExpr& expr, int level);
// True when expr reads a column of its own scope (depth == level).
bool RefsLevel(const BExpr& expr, int level);
// Sources of the current scope that expr reads (through correlated subqueries too).
void CollectSources(const BExpr& expr, std::vector<int>& out);

}  // namespace orv::tsql
