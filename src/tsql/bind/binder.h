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

  // Splits an AND tree into conjuncts.
  static void SplitConjuncts(BExprPtr expr, std::vector<BExprPtr>& out);

  // Evaluates an expression without columns (TOP, CONVERT style, defaults, IF conditions).
  Value EvalConstant(const BExpr& expr) { return evaluate_constant_(expr, session_); }

  // Resolves a table name to a table (temp tables of this session first for "#x").
  std::shared_ptr<Table> FindTable(const ast::Name& name);

  SessionState& session() { return session_; }

  // Lets the next query scope bound assign variables (SELECT @v = ...): only the scope of a
  // SELECT statement itself may; any other scope that tries is Msg 141.
  void AllowAssignment() { allow_assignment_ = true; }
  // The folded name of a variable a statement assigns; Msg 137 when it is not declared.
  std::string AssignedVariable(const std::string& name);

 private:
  std::unique_ptr<BoundQuery> BindSpec(const ast::QuerySpec& spec,
                                       const std::vector<ast::OrderItem>& order_by,
                                       Scope& scope);
  void BindSpecOrder(const ast::QuerySpec& ast_spec, const std::vector<ast::OrderItem>& order_by,
                     BoundSpec& spec, std::vector<ResultColumn>& columns,
                     const std::vector<std::string>& aliases, Scope& scope);
  BExprPtr BindColumn(const ast::Expr& expr, Scope& scope);
  BExprPtr BindBinary(const ast::Expr& expr, Scope& scope);
  BExprPtr BindFunction(const ast::Expr& expr, Scope& scope);
  BExprPtr BindAggregate(const ast::Expr& expr, const std::string& upper, Scope& scope);
  BExprPtr BindCase(const ast::Expr& expr, Scope& scope);
  BExprPtr BindSubquery(const ast::Expr& expr, Scope& scope);
  void PlanSubquery(SubqueryPlan& plan, BKind kind);
  void CheckGrouped(const BExpr& expr, const BoundSpec& spec);
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
  bool allow_assignment_ = false;
  int nesting_ = 0;
};

// True when expr reads a column of a scope `level` or more levels above its own.
bool RefsAbove(const BExpr& expr, int level);
// True when expr reads a column of its own scope (depth == level).
bool RefsLevel(const BExpr& expr, int level);
// Sources of the current scope that expr reads (through correlated subqueries too).
void CollectSources(const BExpr& expr, std::vector<int>& out);

}  // namespace orv::tsql
