// Binding of expressions: names, literals, operators, CASE, the functions that the binder
// types itself (CAST, CONVERT, ISNULL, COALESCE, NULLIF, OBJECT_ID, GETDATE) and plain scalar
// functions from the function table.
#include <algorithm>

#include "tsql/bind/binder.h"
#include "tsql/types/sql_error.h"

namespace orv::tsql {
namespace {

using ast::JoinName;

bool IsComparison(ast::Op op) {
  switch (op) {
    case ast::Op::Eq:
    case ast::Op::Ne:
    case ast::Op::Lt:
    case ast::Op::Le:
    case ast::Op::Gt:
    case ast::Op::Ge:
    case ast::Op::NotLt:
    case ast::Op::NotGt:
      return true;
    default:
      return false;
  }
}

// An integer constant next to a decimal operand is typed as numeric just wide enough for its
// digits (1 -> numeric(1,0), 250 -> numeric(3,0)).
void NarrowIntLiteral(BExpr& e, const SqlType& other) {
  if (e.kind != BKind::Literal || e.type.id != TypeId::Int || e.value.is_null()) return;
  if (other.id != TypeId::Decimal) return;
  int64_t v = e.value.int_value();
  e.type = IntegerConstantType(v);
  e.value = Value::Decimal(static_cast<Int128>(v), 0);
}

std::string Upper(std::string_view s) { return FoldName(s); }

}  // namespace

BExprPtr MakeLiteral(Value v, SqlType type) {
  auto e = std::make_unique<BExpr>();
  e->kind = BKind::Literal;
  e->nullable = v.is_null();
  e->value = std::move(v);
  e->type = type;
  return e;
}

BExprPtr MakeConvert(BExprPtr e, const SqlType& to, CastMode mode) {
  const SqlType& from = e->type;
  if (from == to) return e;
  if (mode == CastMode::Implicit) {
    if (from.id == TypeId::Null) {
      e->type = to;
      return e;
    }
    if (from.IsString() && to.IsString()) return e;
    if (from.IsInteger() && to.IsInteger()) return e;
    if (from.id == to.id && from.id == TypeId::Decimal) return e;
  }
  if (e->kind == BKind::Literal) {
    Value v = Convert(e->value, from, to, mode);
    auto lit = MakeLiteral(std::move(v), to);
    return lit;
  }
  auto c = std::make_unique<BExpr>();
  c->kind = BKind::Convert;
  c->type = to;
  c->nullable = e->nullable;
  c->mode = mode;
  c->args.push_back(std::move(e));
  return c;
}

bool IsPredicate(BKind kind) {
  switch (kind) {
    case BKind::Compare:
    case BKind::And:
    case BKind::Or:
    case BKind::Not:
    case BKind::IsNull:
    case BKind::Between:
    case BKind::Like:
    case BKind::InList:
    case BKind::InSubquery:
    case BKind::Exists:
      return true;
    default:
      return false;
  }
}

bool SameExpr(const BExpr& a, const BExpr& b) {
  if (a.kind != b.kind || !(a.type == b.type) || a.op != b.op || a.negated != b.negated) {
    return false;
  }
  switch (a.kind) {
    case BKind::Literal:
      if (a.value.is_null() || b.value.is_null()) return a.value.is_null() && b.value.is_null();
      return a.value.kind() == b.value.kind() && Compare(a.value, b.value, a.type) == 0;
    case BKind::Column:
      return a.depth == b.depth && a.src == b.src && a.col == b.col;
    case BKind::Subquery:
    case BKind::Exists:
    case BKind::InSubquery:
    case BKind::Window:
      return &a == &b;
    default:
      break;
  }
  if (a.name != b.name || a.fn != b.fn || a.distinct != b.distinct || a.style != b.style ||
      a.args.size() != b.args.size()) {
    return false;
  }
  for (size_t i = 0; i < a.args.size(); ++i) {
    if (!a.args[i] != !b.args[i]) return false;
    if (a.args[i] && !SameExpr(*a.args[i], *b.args[i])) return false;
  }
  if (!a.else_expr != !b.else_expr || (a.else_expr && !SameExpr(*a.else_expr, *b.else_expr))) {
    return false;
  }
  if (!a.operand != !b.operand || (a.operand && !SameExpr(*a.operand, *b.operand))) return false;
  return true;
}

void Binder::SplitConjuncts(BExprPtr expr, std::vector<BExprPtr>& out) {
  if (!expr) return;
  if (expr->kind == BKind::And) {
    for (auto& a : expr->args) SplitConjuncts(std::move(a), out);
    return;
  }
  out.push_back(std::move(expr));
}

BExprPtr Binder::BindColumn(const ast::Expr& expr, Scope& scope) {
  const ast::Name& name = expr.name;
  const std::string& column = name.back();
  if (name.size() == 1) {
    int depth = 0;
    for (Scope* s = &scope; s; s = s->parent, ++depth) {
      if (!s->spec) continue;
      int found_src = -1, found_col = -1;
      for (size_t i = 0; i < s->spec->sources.size(); ++i) {
        const auto& cols = s->spec->sources[i].columns;
        for (size_t c = 0; c < cols.size(); ++c) {
          if (NamesEqual(cols[c].name, column)) {
            if (found_src >= 0) ThrowError(209, {column});
            found_src = static_cast<int>(i);
            found_col = static_cast<int>(c);
            break;
          }
        }
      }
      if (found_src < 0) continue;
      auto e = std::make_unique<BExpr>();
      e->kind = BKind::Column;
      e->depth = depth;
      e->src = found_src;
      e->col = found_col;
      const BoundSource& source = s->spec->sources[found_src];
      e->type = source.columns[found_col].type;
      e->nullable = source.columns[found_col].nullable || source.null_supplying;
      e->name = column;
      if (depth > 0) {
        Scope* level = &scope;
        for (int k = 0; k < depth - 1; ++k) {
          level->refs_beyond_parent = true;
          level = level->parent;
        }
        level->refs_to_parent.push_back(found_src);
      }
      return e;
    }
    std::string upper = Upper(column);
    if (upper == "CURRENT_TIMESTAMP") {
      auto e = std::make_unique<BExpr>();
      e->kind = BKind::GetDate;
      e->type = SqlType::DateTime();
      e->nullable = false;
      return e;
    }
    ThrowError(207, {column});
  }
  const std::string& qualifier = name[name.size() - 2];
  int depth = 0;
  for (Scope* s = &scope; s; s = s->parent, ++depth) {
    if (!s->spec) continue;
    for (size_t i = 0; i < s->spec->sources.size(); ++i) {
      const BoundSource& source = s->spec->sources[i];
      if (!NamesEqual(source.exposed, qualifier)) continue;
      for (size_t c = 0; c < source.columns.size(); ++c) {
        if (!NamesEqual(source.columns[c].name, column)) continue;
        auto e = std::make_unique<BExpr>();
        e->kind = BKind::Column;
        e->depth = depth;
        e->src = static_cast<int>(i);
        e->col = static_cast<int>(c);
        e->type = source.columns[c].type;
        e->nullable = source.columns[c].nullable || source.null_supplying;
        e->name = column;
        if (depth > 0) {
          Scope* level = &scope;
          for (int k = 0; k < depth - 1; ++k) {
            level->refs_beyond_parent = true;
            level = level->parent;
          }
          level->refs_to_parent.push_back(static_cast<int>(i));
        }
        return e;
      }
      ThrowError(207, {column});
    }
  }
  ThrowError(4104, {JoinName(name)});
}

Binder::NestingGuard::NestingGuard(Binder& binder) : binder_(binder) {
  if (++binder_.nesting_ > ast::kMaxNesting) {
    --binder_.nesting_;
    ThrowError(191);
  }
}

BExprPtr Binder::BindExpr(const ast::Expr& expr, Scope& scope) {
  NestingGuard guard(*this);
  switch (expr.kind) {
    case ast::ExprKind::Literal: {
      SqlType type = LiteralType(expr.literal_kind, expr.text);
      Value v = LiteralValue(expr.literal_kind, expr.text);
      return MakeLiteral(std::move(v), type);
    }
    case ast::ExprKind::ColumnRef:
      return BindColumn(expr, scope);
    case ast::ExprKind::Variable: {
      std::string upper = Upper(expr.name.empty() ? expr.text : expr.name.back());
      while (!upper.empty() && upper[0] == '@') upper.erase(0, 1);
      auto e = std::make_unique<BExpr>();
      if (upper == "ROWCOUNT") {
        e->kind = BKind::RowCount;
        e->type = SqlType::Int();
        e->nullable = false;
        return e;
      }
      if (upper == "TRANCOUNT" || upper == "LOCK_TIMEOUT") {
        e->kind = BKind::SessionInt;
        e->name = upper;
        e->type = SqlType::Int();
        e->nullable = false;
        return e;
      }
      if (upper == "IDENTITY") {
        e->kind = BKind::SessionInt;
        e->name = upper;
        e->type = SqlType::Decimal(38, 0);
        return e;
      }
      if (BExprPtr global = BindGlobalVariable(upper)) return global;
      auto it = session_.variables.find(upper);
      if (it == session_.variables.end()) {
        ThrowError(137, {expr.name.empty() ? expr.text : "@" + expr.name.back()});
      }
      e->kind = BKind::Variable;
      e->name = upper;
      e->type = it->second.type;
      return e;
    }
    case ast::ExprKind::Unary: {
      BExprPtr arg = BindExpr(*expr.args[0], scope);
      if (expr.op == ast::Op::Pos) return arg;
      if (expr.op == ast::Op::Neg) {
        if (arg->kind == BKind::Literal) {
          arg->value = Negate(arg->value, arg->type);
          return arg;
        }
        auto e = std::make_unique<BExpr>();
        e->kind = BKind::Negate;
        e->type = arg->type;
        e->nullable = arg->nullable;
        e->args.push_back(std::move(arg));
        return e;
      }
      ThrowError(8117, {"~", std::string(arg->type.MessageName())});
    }
    case ast::ExprKind::Binary:
      return BindBinary(expr, scope);
    case ast::ExprKind::And:
    case ast::ExprKind::Or: {
      auto e = std::make_unique<BExpr>();
      e->kind = expr.kind == ast::ExprKind::And ? BKind::And : BKind::Or;
      e->type = SqlType::Bit();
      for (const auto& a : expr.args) {
        BExprPtr child = BindExpr(*a, scope);
        if (child->kind == e->kind) {
          for (auto& g : child->args) e->args.push_back(std::move(g));
        } else {
          e->args.push_back(std::move(child));
        }
      }
      return e;
    }
    case ast::ExprKind::Not: {
      auto e = std::make_unique<BExpr>();
      e->kind = BKind::Not;
      e->type = SqlType::Bit();
      e->args.push_back(BindExpr(*expr.args[0], scope));
      return e;
    }
    case ast::ExprKind::IsNull: {
      auto e = std::make_unique<BExpr>();
      e->kind = BKind::IsNull;
      e->type = SqlType::Bit();
      e->negated = expr.negated;
      e->nullable = false;
      e->args.push_back(BindExpr(*expr.args[0], scope));
      return e;
    }
    case ast::ExprKind::Between: {
      auto e = std::make_unique<BExpr>();
      e->kind = BKind::Between;
      e->type = SqlType::Bit();
      e->negated = expr.negated;
      std::vector<BExprPtr> parts;
      for (int i = 0; i < 3; ++i) parts.push_back(BindExpr(*expr.args[i], scope));
      NarrowIntLiteral(*parts[1], parts[0]->type);
      NarrowIntLiteral(*parts[2], parts[0]->type);
      SqlType common = CommonType(CommonType(parts[0]->type, parts[1]->type), parts[2]->type);
      e->cmp_type = common;
      for (auto& p : parts) e->args.push_back(MakeConvert(std::move(p), common));
      return e;
    }
    case ast::ExprKind::Like: {
      auto e = std::make_unique<BExpr>();
      e->kind = BKind::Like;
      e->type = SqlType::Bit();
      e->negated = expr.negated;
      for (size_t i = 0; i < expr.args.size(); ++i) {
        BExprPtr a = BindExpr(*expr.args[i], scope);
        if (i == 0) e->unicode_like = a->type.IsUnicode();
        if (!a->type.IsString()) a = MakeConvert(std::move(a), SqlType::VarChar(8000));
        e->args.push_back(std::move(a));
      }
      return e;
    }
    case ast::ExprKind::InList: {
      auto e = std::make_unique<BExpr>();
      e->kind = BKind::InList;
      e->type = SqlType::Bit();
      e->negated = expr.negated;
      std::vector<BExprPtr> parts;
      for (const auto& a : expr.args) parts.push_back(BindExpr(*a, scope));
      SqlType common = parts[0]->type;
      for (size_t i = 1; i < parts.size(); ++i) {
        NarrowIntLiteral(*parts[i], parts[0]->type);
        common = CommonType(common, parts[i]->type);
      }
      e->cmp_type = common;
      for (auto& p : parts) e->args.push_back(MakeConvert(std::move(p), common));
      return e;
    }
    case ast::ExprKind::InSubquery:
    case ast::ExprKind::Exists:
    case ast::ExprKind::ScalarSubquery:
      return BindSubquery(expr, scope);
    case ast::ExprKind::Case:
      return BindCase(expr, scope);
    case ast::ExprKind::Function:
      return BindFunction(expr, scope);
    case ast::ExprKind::Cast: {
      BExprPtr arg = BindExpr(*expr.args[0], scope);
      SqlType to = TypeFromName(expr.type, true);
      int style = 0;
      if (expr.args.size() > 1) {
        BExprPtr s = BindExpr(*expr.args[1], scope);
        Value sv = EvalConstant(*s);
        if (!sv.is_null()) {
          sv = Convert(sv, s->type, SqlType::Int(), CastMode::Implicit);
          style = static_cast<int>(sv.int_value());
        }
      }
      auto e = std::make_unique<BExpr>();
      e->kind = BKind::Convert;
      e->type = to;
      e->nullable = arg->nullable || expr.is_try;
      e->mode = CastMode::Explicit;
      e->style = style;
      e->try_convert = expr.is_try;
      e->args.push_back(std::move(arg));
      return e;
    }
    case ast::ExprKind::Collate: {
      BExprPtr arg = BindExpr(*expr.args[0], scope);
      if (!arg->type.IsString()) ThrowError(447, {std::string(arg->type.MessageName())});
      arg->type.collation = CollationFromName(expr.text);
      return arg;
    }
    case ast::ExprKind::DatePart:
      return MakeLiteral(Value::String(expr.text),
                         SqlType::VarChar(static_cast<int32_t>(expr.text.size())));
    case ast::ExprKind::Default:
      ThrowError(156, {"DEFAULT"});
    case ast::ExprKind::Star:
      ThrowError(102, {"*"});
  }
  ThrowError(102, {expr.text});
}

BExprPtr Binder::BindBinary(const ast::Expr& expr, Scope& scope) {
  BExprPtr left = BindExpr(*expr.args[0], scope);
  BExprPtr right = BindExpr(*expr.args[1], scope);
  NarrowIntLiteral(*left, right->type);
  NarrowIntLiteral(*right, left->type);
  auto e = std::make_unique<BExpr>();
  e->op = expr.op;
  if (IsComparison(expr.op)) {
    e->kind = BKind::Compare;
    e->type = SqlType::Bit();
    SqlType common = CommonType(left->type, right->type);
    e->cmp_type = common;
    e->args.push_back(MakeConvert(std::move(left), common));
    e->args.push_back(MakeConvert(std::move(right), common));
    return e;
  }
  e->kind = BKind::Arith;
  e->type = ArithmeticType(expr.op, left->type, right->type);
  e->nullable = left->nullable || right->nullable;
  e->args.push_back(std::move(left));
  e->args.push_back(std::move(right));
  return e;
}

BExprPtr Binder::BindCase(const ast::Expr& expr, Scope& scope) {
  auto e = std::make_unique<BExpr>();
  e->kind = BKind::Case;
  std::vector<BExprPtr> whens, thens;
  BExprPtr operand;
  if (expr.case_operand) operand = BindExpr(*expr.case_operand, scope);
  for (size_t i = 0; i + 1 < expr.args.size(); i += 2) {
    whens.push_back(BindExpr(*expr.args[i], scope));
    thens.push_back(BindExpr(*expr.args[i + 1], scope));
  }
  BExprPtr else_expr;
  if (expr.case_else) else_expr = BindExpr(*expr.case_else, scope);

  SqlType result = SqlType::Null();
  bool nullable = !else_expr || else_expr->nullable;
  for (auto& t : thens) {
    result = CommonType(result, t->type);
    nullable = nullable || t->nullable;
  }
  if (else_expr) result = CommonType(result, else_expr->type);
  if (result.id == TypeId::Null) result = SqlType::Int();
  e->type = result;
  e->nullable = nullable;

  if (operand) {
    SqlType common = operand->type;
    for (auto& w : whens) {
      NarrowIntLiteral(*w, operand->type);
      common = CommonType(common, w->type);
    }
    e->cmp_type = common;
    e->operand = MakeConvert(std::move(operand), common);
    for (auto& w : whens) w = MakeConvert(std::move(w), common);
  }
  for (size_t i = 0; i < whens.size(); ++i) {
    e->args.push_back(std::move(whens[i]));
    e->args.push_back(MakeConvert(std::move(thens[i]), result));
  }
  if (else_expr) e->else_expr = MakeConvert(std::move(else_expr), result);
  return e;
}

// STRING_AGG's result: varchar or nvarchar as its value, (max) when the value is (max), else
// 8000 bytes; values of other types become nvarchar(4000).
static SqlType StringAggType(const SqlType& value) {
  const bool max = value.length == SqlType::kMaxLength || value.id == TypeId::Text ||
                   value.id == TypeId::NText;
  switch (value.id) {
    case TypeId::Char:
    case TypeId::VarChar:
    case TypeId::Text:
      return SqlType::VarChar(max ? SqlType::kMaxLength : 8000);
    case TypeId::NChar:
    case TypeId::NVarChar:
    case TypeId::NText:
      return SqlType::NVarChar(max ? SqlType::kMaxLength : 4000);
    default:
      return SqlType::NVarChar(4000);
  }
}

BExprPtr Binder::BindAggregate(const ast::Expr& expr, const std::string& upper, Scope& scope) {
  if (!scope.aggregates) ThrowError(147);
  auto e = std::make_unique<BExpr>();
  e->kind = BKind::Aggregate;
  e->name = upper;
  e->distinct = expr.distinct;
  std::vector<BExpr*>* saved = scope.aggregates;
  const bool saved_in = scope.in_window_or_aggregate;
  scope.aggregates = nullptr;
  scope.in_window_or_aggregate = true;
  if (expr.star_arg || (!expr.args.empty() && expr.args[0]->kind == ast::ExprKind::Star)) {
    if (upper != "COUNT" && upper != "COUNT_BIG") ThrowError(102, {"*"});
    e->type = upper == "COUNT" ? SqlType::Int() : SqlType::BigInt();
  } else if (upper == "STRING_AGG") {
    if (expr.args.size() != 2) ThrowError(174, {upper, "2"});
    BExprPtr value = BindExpr(*expr.args[0], scope);
    BExprPtr separator = BindExpr(*expr.args[1], scope);
    e->type = StringAggType(value->type);
    e->args.push_back(MakeConvert(std::move(value), e->type, CastMode::Explicit));
    e->args.push_back(MakeConvert(std::move(separator), e->type, CastMode::Explicit));
    for (const ast::OrderItem& item : expr.within_group) {
      e->args.push_back(BindExpr(*item.expr, scope));
      e->descending.push_back(item.descending);
    }
  } else {
    if (expr.args.size() != 1) ThrowError(174, {upper, "1"});
    BExprPtr arg = BindExpr(*expr.args[0], scope);
    e->type = upper == "COUNT_BIG" ? SqlType::BigInt() : AggregateType(upper, arg->type);
    e->args.push_back(std::move(arg));
  }
  scope.aggregates = saved;
  scope.in_window_or_aggregate = saved_in;
  e->nullable = !(upper == "COUNT" || upper == "COUNT_BIG");
  e->slot = static_cast<int>(saved->size());
  saved->push_back(e.get());
  return e;
}

BExprPtr Binder::BindFunction(const ast::Expr& expr, Scope& scope) {
  std::string upper = Upper(expr.text);
  const bool percentile = upper == "PERCENTILE_CONT" || upper == "PERCENTILE_DISC";
  if (percentile && !expr.over) ThrowError(10753, {upper});
  if (!expr.within_group.empty() && upper != "STRING_AGG" && !percentile) {
    ThrowError(102, {"WITHIN"});
  }
  if (expr.over) return BindWindow(expr, upper, scope);
  if (upper == "SUM" || upper == "COUNT" || upper == "AVG" || upper == "MIN" || upper == "MAX" ||
      upper == "COUNT_BIG" || upper == "STRING_AGG" || upper == "STDEV" || upper == "STDEVP" ||
      upper == "VAR" || upper == "VARP") {
    return BindAggregate(expr, upper, scope);
  }
  auto e = std::make_unique<BExpr>();
  e->name = upper;
  if (upper == "GETDATE" || upper == "CURRENT_TIMESTAMP" || upper == "SYSDATETIME" ||
      upper == "GETUTCDATE" || upper == "SYSUTCDATETIME" || upper == "SYSDATETIMEOFFSET") {
    e->kind = BKind::GetDate;
    e->type = upper == "SYSDATETIME" || upper == "SYSUTCDATETIME" ? SqlType::DateTime2(7)
              : upper == "SYSDATETIMEOFFSET"                     ? SqlType::DateTimeOffset(7)
                                                                 : SqlType::DateTime();
    e->nullable = false;
    return e;
  }
  if (BExprPtr constant = BindSessionFunction(upper, expr)) return constant;
  if (upper == "ROWCOUNT_BIG") {
    // @@ROWCOUNT as bigint.
    if (!expr.args.empty()) ThrowError(174, {"rowcount_big", "0"});
    e->kind = BKind::RowCount;
    e->type = SqlType::BigInt();
    e->nullable = false;
    return e;
  }
  std::vector<BExprPtr> args;
  if (upper == "CHECKSUM" && expr.star_arg) {
    // CHECKSUM(*): every column of the query's sources, in order.
    if (!scope.spec) ThrowError(102, {"*"});
    for (size_t i = 0; i < scope.spec->sources.size(); ++i) {
      const BoundSource& source = scope.spec->sources[i];
      for (size_t c = 0; c < source.columns.size(); ++c) {
        auto column = std::make_unique<BExpr>();
        column->kind = BKind::Column;
        column->src = static_cast<int>(i);
        column->col = static_cast<int>(c);
        column->type = source.columns[c].type;
        column->nullable = source.columns[c].nullable || source.null_supplying;
        column->name = source.columns[c].name;
        args.push_back(std::move(column));
      }
    }
  } else {
    for (const auto& a : expr.args) {
      // ISJSON's type constraint is a word (VALUE, ARRAY, OBJECT, SCALAR), not a column.
      if (upper == "ISJSON" && !args.empty() && a->kind == ast::ExprKind::ColumnRef &&
          a->name.size() == 1) {
        const std::string word = Upper(a->name[0]);
        if (word != "VALUE" && word != "ARRAY" && word != "OBJECT" && word != "SCALAR") {
          ThrowError(102, {a->name[0]});
        }
        args.push_back(
            MakeLiteral(Value::String(word), SqlType::VarChar(static_cast<int32_t>(word.size()))));
        continue;
      }
      args.push_back(BindExpr(*a, scope));
    }
  }
  if (upper == "ISNULL") {
    if (args.size() != 2) ThrowError(174, {"isnull", "2"});
    SqlType type = args[0]->type.id == TypeId::Null ? args[1]->type : args[0]->type;
    if (type.id == TypeId::Null) type = SqlType::Int();
    e->kind = BKind::IsNullFn;
    e->type = type;
    e->nullable = args[0]->nullable && args[1]->nullable;
    NarrowIntLiteral(*args[1], SqlType::Int());
    e->args.push_back(MakeConvert(std::move(args[0]), type));
    e->args.push_back(MakeConvert(std::move(args[1]), type, CastMode::Explicit));
    return e;
  }
  if (upper == "COALESCE") {
    if (args.size() < 2) ThrowError(174, {"coalesce", "2"});
    SqlType type = SqlType::Null();
    bool nullable = true;
    for (auto& a : args) {
      type = CommonType(type, a->type);
      nullable = nullable && a->nullable;
    }
    if (type.id == TypeId::Null) ThrowError(4127);
    e->kind = BKind::Coalesce;
    e->type = type;
    e->nullable = nullable;
    for (auto& a : args) e->args.push_back(MakeConvert(std::move(a), type));
    return e;
  }
  if (upper == "NULLIF") {
    if (args.size() != 2) ThrowError(174, {"nullif", "2"});
    e->kind = BKind::NullIf;
    e->type = args[0]->type.id == TypeId::Null ? SqlType::Int() : args[0]->type;
    e->cmp_type = CommonType(args[0]->type, args[1]->type);
    for (auto& a : args) e->args.push_back(std::move(a));
    return e;
  }
  if (upper == "OBJECT_NAME" || upper == "COL_LENGTH" || upper == "COL_NAME" || upper == "SCHEMA_NAME" ||
      upper == "SCHEMA_ID" || upper == "DB_NAME" || upper == "DB_ID" || upper == "TYPE_NAME" ||
      upper == "COLUMNPROPERTY" || upper == "OBJECTPROPERTY" || upper == "IDENT_SEED" ||
      upper == "IDENT_INCR" || upper == "IDENT_CURRENT" || upper == "SCOPE_IDENTITY" ||
      upper == "OBJECT_SCHEMA_NAME" || upper == "OBJECT_DEFINITION") {
    e->kind = BKind::CatalogFn;
    e->type = upper.starts_with("IDENT_") || upper == "SCOPE_IDENTITY" ? SqlType::Decimal(38, 0)
              : upper == "COL_LENGTH"                                  ? SqlType::SmallInt()
              : upper == "SCHEMA_ID" || upper == "DB_ID" || upper == "COLUMNPROPERTY" ||
                      upper == "OBJECTPROPERTY"
                  ? SqlType::Int()
              : upper == "OBJECT_DEFINITION" ? SqlType::NVarChar(SqlType::kMaxLength)
                                             : SqlType::NVarChar(128);
    for (auto& a : args) e->args.push_back(std::move(a));
    return e;
  }
  if (upper == "SQL_VARIANT_PROPERTY" && !args.empty() && args[0]->kind == BKind::Convert &&
      args[0]->type.id == TypeId::SqlVariant) {
    // The base type of CAST(x AS sql_variant) is x's own type.
    BExprPtr inner = std::move(args[0]->args[0]);
    args[0] = std::move(inner);
  }
  if (upper == "OBJECT_ID") {
    if (args.empty() || args.size() > 2) ThrowError(174, {"object_id", "1"});
    e->kind = BKind::ObjectId;
    e->type = SqlType::Int();
    for (auto& a : args) e->args.push_back(std::move(a));
    return e;
  }
  const ScalarFunction* fn = FindScalarFunction(upper);
  if (!fn) ThrowError(195, {expr.text});
  int n = static_cast<int>(args.size());
  if (n < fn->min_args || n > fn->max_args) {
    ThrowError(174, {expr.text, std::to_string(fn->min_args)});
  }
  std::vector<SqlType> types;
  bool nullable = false;
  for (auto& a : args) {
    types.push_back(a->type);
    nullable = nullable || a->nullable;
  }
  e->kind = BKind::Function;
  e->fn = fn;
  e->type = fn->result_type(types);
  e->arg_types = types;
  // Functions that give NULL for some values that are not (CHAR(300), STUFF past the end,
  // JSON_VALUE of a missing property, HASHBYTES of an unknown algorithm) are nullable whatever
  // their arguments.
  e->nullable = nullable || upper == "CHAR" || upper == "NULLIF" || upper == "NCHAR" ||
                upper == "UNICODE" || upper == "STUFF" || upper == "QUOTENAME" ||
                upper == "JSON_VALUE" || upper == "JSON_QUERY" || upper == "HASHBYTES";
  for (auto& a : args) e->args.push_back(std::move(a));
  return e;
}

}  // namespace orv::tsql
