// Evaluation of bound expressions over the current rows of an EvalCtx. Predicates use SQL's
// three-valued logic; a predicate used as a value gives 1, 0 or NULL.

#include "tsql/catalog/session_state.h"
#include "tsql/exec/exec.h"
#include "tsql/types/datetime.h"
#include "tsql/types/sql_error.h"

namespace orv::tsql {
namespace {

Tri Negated(Tri t) {
  if (t == Tri::True) return Tri::False;
  if (t == Tri::False) return Tri::True;
  return Tri::Unknown;
}

Tri FromCompare(ast::Op op, int c) { return CompareHolds(op, c) ? Tri::True : Tri::False; }

// First code point of a UTF-8 string (the ESCAPE character).
char32_t FirstChar(std::string_view s) {
  if (s.empty()) return 0;
  unsigned char c = static_cast<unsigned char>(s[0]);
  if (c < 0x80 || s.size() < 2) return c;
  int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : 1;
  char32_t cp = c & (0x3F >> extra);
  for (int i = 1; i <= extra && i < static_cast<int>(s.size()); ++i) {
    cp = (cp << 6) | (static_cast<unsigned char>(s[i]) & 0x3F);
  }
  return cp;
}

Value ObjectIdOf(const BExpr& expr, const EvalCtx& ctx) {
  Value name = Eval(*expr.args[0], ctx);
  if (name.is_null()) return Value();
  SessionState& session = *ctx.env->session;
  const std::string last = ObjectNamePart(name.string_value(), session.database->name());
  if (last.empty()) return Value();
  // Which kind of object the type asks for: a table, a view, a procedure, a PRIMARY KEY,
  // UNIQUE, CHECK or DEFAULT constraint (looked for only when asked, or when no table, view or
  // procedure has the name: every table's definition is read); NULL for the other kinds
  // (functions, triggers, foreign keys), which no database here holds.
  enum class Want { kAny, kTable, kView, kProcedure, kKey, kCheck, kDefault } want = Want::kAny;
  bool primary = false;
  if (expr.args.size() > 1) {
    Value type = Eval(*expr.args[1], ctx);
    if (!type.is_null()) {
      std::string t = FoldName(type.string_value());
      while (!t.empty() && t.back() == ' ') t.pop_back();
      if (t == "U") {
        want = Want::kTable;
      } else if (t == "V") {
        want = Want::kView;
      } else if (t == "P") {
        want = Want::kProcedure;
      } else if (t == "PK" || t == "UQ") {
        want = Want::kKey;
        primary = t == "PK";
      } else if (t == "C") {
        want = Want::kCheck;
      } else if (t == "D") {
        want = Want::kDefault;
      } else {
        return Value();
      }
    }
  }
  auto constraint = [&]() -> Value {
    for (const std::string& table : session.database->TableNames()) {
      const auto described = session.database->DescribeTable(table);
      if (!described) continue;
      for (const TableKey& k : described->keys) {
        if (k.index || !NamesEqual(k.name, last)) continue;
        if (want == Want::kAny || (want == Want::kKey && k.primary == primary)) return Value::Int(k.object_id);
      }
      for (const TableCheck& c : described->checks) {
        if ((want == Want::kAny || want == Want::kCheck) && NamesEqual(c.name, last)) {
          return Value::Int(c.object_id);
        }
      }
      for (const ColumnDef& c : described->columns) {
        if ((want == Want::kAny || want == Want::kDefault) && c.default_expr && NamesEqual(c.default_name, last)) {
          return Value::Int(c.default_object_id);
        }
      }
    }
    return Value();
  };
  if (want == Want::kKey || want == Want::kCheck || want == Want::kDefault) return constraint();
  if (IsTempName(last)) {
    if (want != Want::kAny && want != Want::kTable) return Value();
    auto table = session.FindTempTable(last);
    return table ? Value::Int(table->object_id) : Value();
  }
  switch (want) {
    case Want::kTable: {
      auto table = session.database->FindTable(last);
      return table ? Value::Int(table->object_id) : Value();
    }
    case Want::kView: {
      auto view = session.database->FindView(last);
      return view ? Value::Int(view->object_id) : Value();
    }
    case Want::kProcedure: {
      auto procedure = session.database->FindProcedure(last);
      return procedure ? Value::Int(procedure->object_id) : Value();
    }
    case Want::kAny:
    case Want::kKey:
    case Want::kCheck:
    case Want::kDefault:
      break;
  }
  if (auto id = session.database->ObjectId(last)) return Value::Int(*id);
  return constraint();
}

}  // namespace

bool CompareHolds(ast::Op op, int c) {
  switch (op) {
    case ast::Op::Eq: return c == 0;
    case ast::Op::Ne: return c != 0;
    case ast::Op::Lt: return c < 0;
    case ast::Op::Le: return c <= 0;
    case ast::Op::Gt: return c > 0;
    case ast::Op::Ge: return c >= 0;
    case ast::Op::NotLt: return c >= 0;
    case ast::Op::NotGt: return c <= 0;
    default: return false;
  }
}

namespace {

// Whether an operand is NULL whatever the row: the NULL literal, converted or not.
bool IsNullConstant(const BExpr& e) {
  const BExpr* x = &e;
  while (x->kind == BKind::Convert) x = x->args[0].get();
  return x->kind == BKind::Literal && x->value.is_null();
}

}  // namespace

Tri EvalPred(const BExpr& e, const EvalCtx& ctx) {
  switch (e.kind) {
    case BKind::Compare: {
      // A comparison with NULL itself is unknown without its other side being computed (SQL
      // Server folds it away when it compiles the query, so an overflow there never happens).
      if (IsNullConstant(*e.args[1])) return Tri::Unknown;
      Value a = Eval(*e.args[0], ctx);
      if (a.is_null()) return Tri::Unknown;
      Value b = Eval(*e.args[1], ctx);
      if (b.is_null()) return Tri::Unknown;
      return FromCompare(e.op, Compare(a, b, e.cmp_type));
    }
    case BKind::And: {
      bool unknown = false;
      for (const auto& a : e.args) {
        Tri t = EvalPred(*a, ctx);
        if (t == Tri::False) return Tri::False;
        if (t == Tri::Unknown) unknown = true;
      }
      return unknown ? Tri::Unknown : Tri::True;
    }
    case BKind::Or: {
      bool unknown = false;
      for (const auto& a : e.args) {
        Tri t = EvalPred(*a, ctx);
        if (t == Tri::True) return Tri::True;
        if (t == Tri::Unknown) unknown = true;
      }
      return unknown ? Tri::Unknown : Tri::False;
    }
    case BKind::Not:
      return Negated(EvalPred(*e.args[0], ctx));
    case BKind::IsNull: {
      bool is_null = Eval(*e.args[0], ctx).is_null();
      return (is_null != e.negated) ? Tri::True : Tri::False;
    }
    case BKind::Between: {
      if (IsNullConstant(*e.args[1]) && IsNullConstant(*e.args[2])) return Tri::Unknown;
      Value v = Eval(*e.args[0], ctx);
      Value lo = Eval(*e.args[1], ctx);
      Value hi = Eval(*e.args[2], ctx);
      Tri a = (v.is_null() || lo.is_null()) ? Tri::Unknown
                                            : FromCompare(ast::Op::Ge, Compare(v, lo, e.cmp_type));
      Tri b = (v.is_null() || hi.is_null()) ? Tri::Unknown
                                            : FromCompare(ast::Op::Le, Compare(v, hi, e.cmp_type));
      Tri r = (a == Tri::False || b == Tri::False)     ? Tri::False
              : (a == Tri::True && b == Tri::True) ? Tri::True
                                                   : Tri::Unknown;
      return e.negated ? Negated(r) : r;
    }
    case BKind::Like: {
      Value v = Eval(*e.args[0], ctx);
      Value p = Eval(*e.args[1], ctx);
      if (v.is_null() || p.is_null()) return Tri::Unknown;
      std::optional<char32_t> escape;
      if (e.args.size() > 2) {
        Value esc = Eval(*e.args[2], ctx);
        if (esc.is_null()) return Tri::Unknown;
        escape = FirstChar(esc.string_value());
      }
      bool m = Like(v.string_value(), p.string_value(), escape, e.unicode_like);
      return (m != e.negated) ? Tri::True : Tri::False;
    }
    case BKind::InList: {
      Value v = Eval(*e.args[0], ctx);
      Tri r = Tri::False;
      if (v.is_null()) {
        r = Tri::Unknown;
      } else {
        for (size_t i = 1; i < e.args.size(); ++i) {
          Value item = Eval(*e.args[i], ctx);
          if (item.is_null()) {
            r = Tri::Unknown;
          } else if (Compare(v, item, e.cmp_type) == 0) {
            r = Tri::True;
            break;
          }
        }
      }
      return e.negated ? Negated(r) : r;
    }
    case BKind::InSubquery: {
      Tri r = EvalInSubquery(e, ctx);
      return e.negated ? Negated(r) : r;
    }
    case BKind::Exists: {
      Tri r = EvalExists(e, ctx);
      return e.negated ? Negated(r) : r;
    }
    default: {
      Value v = Eval(e, ctx);
      if (v.is_null()) return Tri::Unknown;
      if (v.kind() == Value::Kind::Int) return v.int_value() != 0 ? Tri::True : Tri::False;
      return Tri::True;
    }
  }
}

Value Eval(const BExpr& e, const EvalCtx& ctx) {
  switch (e.kind) {
    case BKind::Literal:
      return e.value;
    case BKind::Column: {
      const EvalCtx* c = &ctx;
      for (int d = 0; d < e.depth; ++d) c = c->outer;
      const Row* row = c->srcs[e.src];
      return row ? (*row)[e.col] : Value();
    }
    case BKind::Variable: {
      auto& vars = ctx.env->session->variables;
      auto it = vars.find(e.name);
      return it == vars.end() ? Value() : it->second.value;
    }
    case BKind::RowCount:
      return Value::Int(ctx.env->session->rowcount);
    case BKind::SessionInt: {
      const SessionState& session = *ctx.env->session;
      if (e.name == "TRANCOUNT") return Value::Int(session.transaction.count);
      if (e.name == "IDENTITY") {
        return session.last_identity ? Value::Decimal(*session.last_identity, 0) : Value();
      }
      if (e.name == "LOCK_TIMEOUT") return Value::Int(session.lock_timeout_ms);
      return Value::Int(session.session_id);
    }
    case BKind::GetDate:
      if (e.type.IsPreciseTime()) return Value::DateTime2(dt::UnitsFromTicks(ctx.env->now));
      return Value::DateTime(ctx.env->now);
    case BKind::Convert:
      if (e.try_convert) [[unlikely]] {
        // TRY_CAST / TRY_CONVERT: a value that does not convert gives NULL; a conversion the
        // types never allow (529) is still an error.
        Value v = Eval(*e.args[0], ctx);
        try {
          return Convert(v, e.args[0]->type, e.type, e.mode, e.style);
        } catch (const SqlException& ex) {
          if (ex.number() == 529) throw;
          return Value();
        }
      }
      return Convert(Eval(*e.args[0], ctx), e.args[0]->type, e.type, e.mode, e.style);
    case BKind::Arith: {
      Value a = Eval(*e.args[0], ctx);
      Value b = Eval(*e.args[1], ctx);
      return Arithmetic(e.op, a, e.args[0]->type, b, e.args[1]->type, e.type);
    }
    case BKind::Negate: {
      Value a = Eval(*e.args[0], ctx);
      if (a.is_null()) return a;
      return Negate(a, e.type);
    }
    case BKind::Case: {
      if (e.operand) {
        Value op = Eval(*e.operand, ctx);
        if (!op.is_null()) {
          for (size_t i = 0; i + 1 < e.args.size(); i += 2) {
            Value w = Eval(*e.args[i], ctx);
            if (!w.is_null() && Compare(op, w, e.cmp_type) == 0) return Eval(*e.args[i + 1], ctx);
          }
        }
      } else {
        for (size_t i = 0; i + 1 < e.args.size(); i += 2) {
          if (EvalPred(*e.args[i], ctx) == Tri::True) return Eval(*e.args[i + 1], ctx);
        }
      }
      return e.else_expr ? Eval(*e.else_expr, ctx) : Value();
    }
    case BKind::IsNullFn: {
      Value a = Eval(*e.args[0], ctx);
      if (!a.is_null()) return a;
      return Eval(*e.args[1], ctx);
    }
    case BKind::Coalesce: {
      for (const auto& a : e.args) {
        Value v = Eval(*a, ctx);
        if (!v.is_null()) return v;
      }
      return Value();
    }
    case BKind::NullIf: {
      Value a = Eval(*e.args[0], ctx);
      if (a.is_null()) return a;
      Value b = Eval(*e.args[1], ctx);
      if (b.is_null()) return a;
      Value ca = Convert(a, e.args[0]->type, e.cmp_type, CastMode::Implicit);
      Value cb = Convert(b, e.args[1]->type, e.cmp_type, CastMode::Implicit);
      return Compare(ca, cb, e.cmp_type) == 0 ? Value() : a;
    }
    case BKind::Function: {
      // The common arities build their arguments in place (no default values to overwrite:
      // functions such as ROUND run once per value of a million-row work table).
      const auto invoke = [&](const Value* args, size_t n) {
        return e.fn->invoke(std::span<const Value>(args, n), e.arg_types, e.type);
      };
      switch (e.args.size()) {
        case 0:
          return invoke(nullptr, 0);
        case 1: {
          const Value args[] = {Eval(*e.args[0], ctx)};
          return invoke(args, 1);
        }
        case 2: {
          const Value args[] = {Eval(*e.args[0], ctx), Eval(*e.args[1], ctx)};
          return invoke(args, 2);
        }
        case 3: {
          const Value args[] = {Eval(*e.args[0], ctx), Eval(*e.args[1], ctx),
                                Eval(*e.args[2], ctx)};
          return invoke(args, 3);
        }
        default:
          break;
      }
      std::vector<Value> args;
      for (const auto& a : e.args) args.push_back(Eval(*a, ctx));
      return e.fn->invoke(args, e.arg_types, e.type);
    }
    case BKind::Aggregate:
      if (!ctx.aggs) ThrowError(147);
      return ctx.aggs[e.slot];
    case BKind::ObjectId:
      return ObjectIdOf(e, ctx);
    case BKind::CatalogFn:
      return EvalCatalogFunction(e, ctx);
    case BKind::Window:
      if (!ctx.windows) ThrowError(4108);
      return ctx.windows[e.slot];
    case BKind::RowRef: {
      const Row* row = ctx.srcs[e.src];
      return row ? Value::Int(static_cast<int64_t>(reinterpret_cast<intptr_t>(row))) : Value();
    }
    case BKind::Subquery:
      return EvalScalarSubquery(e, ctx);
    default: {
      Tri t = EvalPred(e, ctx);
      if (t == Tri::Unknown) return Value();
      return Value::Int(t == Tri::True ? 1 : 0);
    }
  }
}

Value EvalConstant(const BExpr& expr, SessionState& session) {
  ExecEnv env{&session, session.Now()};
  EvalCtx ctx;
  ctx.env = &env;
  return Eval(expr, ctx);
}

}  // namespace orv::tsql
