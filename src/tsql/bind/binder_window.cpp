// Binding of window functions: fn(...) OVER ([PARTITION BY ...] [ORDER BY ... [frame]]) in a
// select list or ORDER BY, with the documented rules for which function takes which parts of
// the OVER clause.
#include "tsql/bind/binder.h"
#include "tsql/types/sql_error.h"
#include "tsql/types/value_ops.h"

namespace orv::tsql {
namespace {

using Fn = WindowDef::Fn;

struct Kind {
  const char* name;
  Fn fn;
  int min_args, max_args;
  bool needs_order;  // Msg 4112 without ORDER BY
  bool takes_frame;  // Msg 10752 with ROWS/RANGE otherwise
};

constexpr Kind kKinds[] = {
    {"ROW_NUMBER", Fn::RowNumber, 0, 0, true, false},
    {"RANK", Fn::Rank, 0, 0, true, false},
    {"DENSE_RANK", Fn::DenseRank, 0, 0, true, false},
    {"NTILE", Fn::Ntile, 1, 1, true, false},
    {"PERCENT_RANK", Fn::PercentRank, 0, 0, true, false},
    {"CUME_DIST", Fn::CumeDist, 0, 0, true, false},
    {"PERCENTILE_CONT", Fn::PercentileCont, 1, 1, false, false},
    {"PERCENTILE_DISC", Fn::PercentileDisc, 1, 1, false, false},
    {"LAG", Fn::Lag, 1, 3, true, false},
    {"LEAD", Fn::Lead, 1, 3, true, false},
    {"FIRST_VALUE", Fn::FirstValue, 1, 1, true, true},
    {"LAST_VALUE", Fn::LastValue, 1, 1, true, true},
    {"SUM", Fn::Aggregate, 1, 1, false, true},
    {"AVG", Fn::Aggregate, 1, 1, false, true},
    {"MIN", Fn::Aggregate, 1, 1, false, true},
    {"MAX", Fn::Aggregate, 1, 1, false, true},
    {"COUNT", Fn::Aggregate, 1, 1, false, true},
    {"COUNT_BIG", Fn::Aggregate, 1, 1, false, true},
    {"STDEV", Fn::Aggregate, 1, 1, false, true},
    {"STDEVP", Fn::Aggregate, 1, 1, false, true},
    {"VAR", Fn::Aggregate, 1, 1, false, true},
    {"VARP", Fn::Aggregate, 1, 1, false, true},
};

std::string Lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

}  // namespace

BExprPtr Binder::BindWindow(const ast::Expr& expr, const std::string& upper, Scope& scope) {
  if (scope.in_window_or_aggregate) ThrowError(4109);
  if (!scope.windows) ThrowError(4108);
  const Kind* kind = nullptr;
  for (const Kind& k : kKinds) {
    if (upper == k.name) kind = &k;
  }
  if (!kind) ThrowError(4113, {expr.text});
  const ast::WindowSpec& over = *expr.over;
  const bool star = expr.star_arg;
  const int nargs = static_cast<int>(expr.args.size());
  if (star ? kind->fn != Fn::Aggregate || (upper != "COUNT" && upper != "COUNT_BIG")
           : nargs < kind->min_args || nargs > kind->max_args) {
    if (kind->min_args == kind->max_args) {
      ThrowError(174, {Lower(upper), std::to_string(kind->min_args)});
    }
    ThrowError(189, {Lower(upper), std::to_string(kind->min_args),
                     std::to_string(kind->max_args)});
  }
  if (kind->needs_order && over.order_by.empty()) ThrowError(4112, {upper});
  if (over.has_frame && !kind->takes_frame) ThrowError(10752, {upper});
  if (expr.distinct) ThrowError(10759);
  if (over.has_frame && !over.rows &&
      (over.start.kind == ast::WindowBound::Kind::Preceding ||
       over.start.kind == ast::WindowBound::Kind::Following ||
       over.end.kind == ast::WindowBound::Kind::Preceding ||
       over.end.kind == ast::WindowBound::Kind::Following)) {
    ThrowError(4194);
  }

  // PERCENTILE_CONT / PERCENTILE_DISC order the rows by their WITHIN GROUP value, one of it,
  // and take only PARTITION BY in OVER.
  const bool percentile = kind->fn == Fn::PercentileCont || kind->fn == Fn::PercentileDisc;
  if (percentile && expr.within_group.size() != 1) ThrowError(102, {"OVER"});
  if (percentile && !over.order_by.empty()) ThrowError(102, {"ORDER"});
  const std::vector<ast::OrderItem>& order_by = percentile ? expr.within_group : over.order_by;

  auto def = std::make_unique<WindowDef>();
  def->fn = kind->fn;
  if (kind->fn == Fn::Aggregate) def->aggregate = upper;
  // The parts are bound in this scope (aggregates of a grouped query may appear in them), but
  // another window function may not.
  const bool saved = scope.in_window_or_aggregate;
  scope.in_window_or_aggregate = true;
  if (!star) {
    for (const auto& a : expr.args) def->args.push_back(BindExpr(*a, scope));
  }
  for (const auto& p : over.partition_by) def->partition.push_back(BindExpr(*p, scope));
  for (const auto& o : order_by) {
    def->order.push_back(BindExpr(*o.expr, scope));
    def->descending.push_back(o.descending);
  }
  if (percentile) def->args.push_back(BindExpr(*order_by[0].expr, scope));
  scope.in_window_or_aggregate = saved;
  if (over.has_frame) {
    def->rows = over.rows;
    def->start = over.start;
    def->end = over.end;
  }

  auto e = std::make_unique<BExpr>();
  e->kind = BKind::Window;
  e->name = upper;
  switch (kind->fn) {
    case Fn::RowNumber:
    case Fn::Rank:
    case Fn::DenseRank:
    case Fn::Ntile:
      e->type = SqlType::BigInt();
      e->nullable = false;
      if (kind->fn == Fn::Ntile) {
        def->args[0] = MakeConvert(std::move(def->args[0]), SqlType::BigInt());
      }
      break;
    case Fn::PercentRank:
    case Fn::CumeDist:
      e->type = SqlType::Float();
      e->nullable = false;
      break;
    case Fn::PercentileCont:
    case Fn::PercentileDisc:
      // The fraction as float; CONT interpolates in float, DISC gives a value as it is.
      e->type = kind->fn == Fn::PercentileCont ? SqlType::Float() : def->args[1]->type;
      def->args[0] = MakeConvert(std::move(def->args[0]), SqlType::Float());
      if (kind->fn == Fn::PercentileCont) {
        def->args[1] = MakeConvert(std::move(def->args[1]), SqlType::Float());
      }
      break;
    case Fn::Lag:
    case Fn::Lead:
      e->type = def->args[0]->type;
      if (def->args.size() > 1) {
        def->args[1] = MakeConvert(std::move(def->args[1]), SqlType::BigInt());
      }
      if (def->args.size() > 2) def->args[2] = MakeConvert(std::move(def->args[2]), e->type);
      break;
    case Fn::FirstValue:
    case Fn::LastValue:
      e->type = def->args[0]->type;
      break;
    case Fn::Aggregate:
      if (star || upper == "COUNT") {
        e->type = SqlType::Int();
      } else if (upper == "COUNT_BIG") {
        e->type = SqlType::BigInt();
      } else {
        e->type = AggregateType(upper, def->args[0]->type);
      }
      e->nullable = !(upper == "COUNT" || upper == "COUNT_BIG");
      break;
  }
  if (e->type.id == TypeId::Null) e->type = SqlType::Int();
  e->window = std::move(def);
  e->slot = static_cast<int>(scope.windows->size());
  scope.windows->push_back(e.get());
  return e;
}

}  // namespace orv::tsql
