// SET @v = expr, and the conversion every assignment to a variable makes (SET, SELECT @v =,
// DECLARE @v type = expr).
#include "tsql/bind/binder.h"
#include "tsql/exec/exec.h"
#include "tsql/exec/statements.h"
#include "tsql/types/value_ops.h"

namespace orv::tsql {

void AssignVariable(SessionState& session, const std::string& name, const Value& value,
                    const SqlType& from) {
  Variable& variable = session.variables.at(name);
  // Unlike a column, a variable takes an over-long string cut, as CAST does.
  variable.value = Convert(value, from, variable.type, CastMode::Explicit);
}

// A scalar subquery in the value gives NULL without rows and Msg 512 with more than one (the
// variable then keeps its value). Like every simple assignment it sets @@ROWCOUNT to 1 and
// sends the client nothing.
void ExecSetVariable(ast::SetVariableStmt& stmt, StatementContext& cx) {
  Binder binder(cx.session, EvalConstant);
  const std::string name = binder.AssignedVariable(stmt.variable);
  Scope scope;
  BExprPtr value = binder.BindExpr(*stmt.value, scope);
  cx.BindDone();
  EvalCtx ctx;
  ctx.env = &cx.env;
  AssignVariable(cx.session, name, Eval(*value, ctx), value->type);
  cx.session.rowcount = 1;
}

}  // namespace orv::tsql
