// GROUP BY ROLLUP(...), CUBE(...), GROUPING SETS(...) and the legacy WITH ROLLUP / WITH CUBE,
// parsed into the query they stand for: one block per grouping set, joined by UNION ALL
// (UNION for SELECT DISTINCT), each grouped by its set's columns. In a set's block the columns
// the set leaves out read NULL outside aggregates, and GROUPING(c) / GROUPING_ID(c, ...) become
// the constants they have there. A block is parsed again from its tokens for every set, so each
// gets a tree of its own.
#include <algorithm>
#include <cctype>

#include "tsql/syntax/parser_impl.h"
#include "tsql/types/sql_error.h"

namespace orv::tsql::parse {
namespace {

using ast::Expr;
using ast::ExprKind;
using ast::ExprPtr;
using Sets = std::vector<std::vector<size_t>>;

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) ==
                  std::toupper(static_cast<unsigned char>(y));
         });
}

// Whether two grouping expressions are the same column or expression; "t.a" and "a" are.
bool SameGroupingExpr(const Expr& a, const Expr& b) {
  if (a.kind != b.kind) return false;
  if (a.kind == ExprKind::ColumnRef) {
    const size_t n = std::min(a.name.size(), b.name.size());
    for (size_t i = 1; i <= n; ++i) {
      if (!SameText(a.name[a.name.size() - i], b.name[b.name.size() - i])) return false;
    }
    return true;
  }
  if (a.kind == ExprKind::Literal && a.literal_kind != b.literal_kind) return false;
  if (a.op != b.op || a.negated != b.negated || a.distinct != b.distinct ||
      a.star_arg != b.star_arg || a.is_convert != b.is_convert || a.subquery || b.subquery ||
      a.over || b.over || !SameText(a.text, b.text) || a.name.size() != b.name.size() ||
      a.args.size() != b.args.size()) {
    return false;
  }
  for (size_t i = 0; i < a.name.size(); ++i) {
    if (!SameText(a.name[i], b.name[i])) return false;
  }
  for (size_t i = 0; i < a.args.size(); ++i) {
    if ((a.args[i] == nullptr) != (b.args[i] == nullptr)) return false;
    if (a.args[i] && !SameGroupingExpr(*a.args[i], *b.args[i])) return false;
  }
  for (auto part : {&Expr::case_operand, &Expr::case_else}) {
    if (((a.*part) == nullptr) != ((b.*part) == nullptr)) return false;
    if ((a.*part) && !SameGroupingExpr(*(a.*part), *(b.*part))) return false;
  }
  return true;
}

bool IsAggregateName(std::string_view name) {
  for (std::string_view agg : {"COUNT", "COUNT_BIG", "SUM", "AVG", "MIN", "MAX", "STRING_AGG",
                               "STDEV", "STDEVP", "VAR", "VARP", "CHECKSUM_AGG"}) {
    if (SameText(name, agg)) return true;
  }
  return false;
}

ExprPtr IntLiteral(int64_t value, const ast::SourcePos& pos) {
  auto e = std::make_unique<Expr>();
  e->kind = ExprKind::Literal;
  e->literal_kind = ast::LiteralKind::Integer;
  e->text = std::to_string(value);
  e->pos = pos;
  return e;
}

// The last parts of the column names an expression reads.
void CollectColumnNames(const Expr& e, std::vector<std::string>& names) {
  if (e.kind == ExprKind::ColumnRef && !e.name.empty()) names.push_back(e.name.back());
  for (const auto& a : e.args) {
    if (a) CollectColumnNames(*a, names);
  }
  if (e.case_operand) CollectColumnNames(*e.case_operand, names);
  if (e.case_else) CollectColumnNames(*e.case_else, names);
}

bool Names(const Expr& e, const std::vector<std::string>& names);
bool Names(const ast::QueryExpr& q, const std::vector<std::string>& names);

bool Names(const ast::TableRef& t, const std::vector<std::string>& names) {
  if (t.on && Names(*t.on, names)) return true;
  if (t.derived && Names(*t.derived, names)) return true;
  for (const auto& row : t.values) {
    for (const auto& v : row) {
      if (v && Names(*v, names)) return true;
    }
  }
  return (t.left && Names(*t.left, names)) || (t.right && Names(*t.right, names));
}

bool Names(const ast::QueryExpr& q, const std::vector<std::string>& names) {
  if (q.left && Names(*q.left, names)) return true;
  if (q.right && Names(*q.right, names)) return true;
  for (const auto& o : q.order_by) {
    if (Names(*o.expr, names)) return true;
  }
  if (!q.spec) return false;
  const ast::QuerySpec& spec = *q.spec;
  for (const auto& item : spec.items) {
    if (item.expr && Names(*item.expr, names)) return true;
  }
  for (const auto& t : spec.from) {
    if (Names(*t, names)) return true;
  }
  for (const auto& g : spec.group_by) {
    if (Names(*g, names)) return true;
  }
  return (spec.where && Names(*spec.where, names)) || (spec.having && Names(*spec.having, names));
}

// Whether an expression, its subqueries included, reads a column by one of these names.
bool Names(const Expr& e, const std::vector<std::string>& names) {
  if (e.kind == ExprKind::ColumnRef && !e.name.empty()) {
    for (const auto& n : names) {
      if (SameText(e.name.back(), n)) return true;
    }
  }
  for (const auto& a : e.args) {
    if (a && Names(*a, names)) return true;
  }
  for (const auto* part : {&e.case_operand, &e.case_else}) {
    if (*part && Names(**part, names)) return true;
  }
  return e.subquery && Names(*e.subquery, names);
}

struct GroupingSetView {
  const std::vector<const Expr*>& present;
  const std::vector<const Expr*>& absent;

  // 0 when `e` is a column of the set, 1 when the set leaves it out; -1 when it is no grouping
  // column at all.
  int Bit(const Expr& e) const {
    for (const Expr* p : present) {
      if (SameGroupingExpr(e, *p)) return 0;
    }
    for (const Expr* a : absent) {
      if (SameGroupingExpr(e, *a)) return 1;
    }
    return -1;
  }

  void Apply(ExprPtr& e) const {
    if (!e) return;
    if (e->kind == ExprKind::Function && !e->over &&
        (SameText(e->text, "GROUPING") || SameText(e->text, "GROUPING_ID")) && !e->args.empty()) {
      const bool single = SameText(e->text, "GROUPING");
      if (single && e->args.size() != 1) return;  // left for the binder to reject
      int64_t value = 0;
      for (const auto& arg : e->args) {
        const int bit = Bit(*arg);
        if (bit < 0) return;  // not a grouping column: the binder rejects the call
        value = value * 2 + bit;
      }
      e = IntLiteral(value, e->pos);
      return;
    }
    if (e->kind == ExprKind::Function && !e->over && IsAggregateName(e->text)) return;
    if (e->subquery && !absent.empty()) {
      // A subquery reads the block's row as it was before grouping, where a left-out column
      // still has its value: refused rather than answered wrong.
      std::vector<std::string> names;
      for (const Expr* a : absent) CollectColumnNames(*a, names);
      if (Names(*e->subquery, names)) {
        ThrowError(40517, {"a subquery on a column that ROLLUP, CUBE or GROUPING SETS leaves out"});
      }
    }
    if (!absent.empty()) {
      for (const Expr* a : absent) {
        if (!SameGroupingExpr(*e, *a)) continue;
        // A left-out column: NULL, unless the set also groups by the same expression.
        if (Bit(*e) == 1) {
          auto null = std::make_unique<Expr>();
          null->kind = ExprKind::Literal;
          null->literal_kind = ast::LiteralKind::Null;
          null->pos = e->pos;
          e = std::move(null);
          return;
        }
      }
    }
    for (auto& arg : e->args) Apply(arg);
    Apply(e->case_operand);
    Apply(e->case_else);
  }
};

// The sets of the cross product of two lists of sets: each of `a` joined with each of `b`.
Sets CrossSets(const Sets& a, const Sets& b) {
  Sets out;
  for (const auto& x : a) {
    for (const auto& y : b) {
      std::vector<size_t> set = x;
      for (size_t c : y) {
        if (std::find(set.begin(), set.end(), c) == set.end()) set.push_back(c);
      }
      out.push_back(std::move(set));
    }
  }
  return out;
}

// ROLLUP over composite elements: all of them, then all but the last, ..., then none.
Sets Rollup(const std::vector<std::vector<size_t>>& elements) {
  Sets out;
  for (size_t n = elements.size() + 1; n-- > 0;) {
    std::vector<size_t> set;
    for (size_t i = 0; i < n; ++i) set.insert(set.end(), elements[i].begin(), elements[i].end());
    out.push_back(std::move(set));
  }
  return out;
}

// CUBE over composite elements: every subset of them.
Sets Cube(const std::vector<std::vector<size_t>>& elements) {
  Sets out;
  const size_t n = elements.size();
  for (size_t mask = (size_t{1} << n); mask-- > 0;) {
    std::vector<size_t> set;
    for (size_t i = 0; i < n; ++i) {
      if (mask & (size_t{1} << (n - 1 - i))) {
        set.insert(set.end(), elements[i].begin(), elements[i].end());
      }
    }
    out.push_back(std::move(set));
  }
  return out;
}

}  // namespace

void Parser::ApplyGroupingSet(ast::QuerySpec& spec, const std::vector<const ast::Expr*>& present,
                              const std::vector<const ast::Expr*>& absent) {
  GroupingSetView view{present, absent};
  for (auto& item : spec.items) view.Apply(item.expr);
  view.Apply(spec.having);
}

std::optional<Parser::GroupingClause> Parser::ParseGroupingClause() {
  GroupingClause clause;
  bool special = false;
  // One grouping expression: its column's index in clause.columns.
  auto column = [&]() -> size_t {
    const size_t start = at_;
    ParseExpr();
    std::string key;
    for (size_t i = start; i < at_; ++i) key += ToUpper(tokens_[i].text) + '\x1f';
    for (size_t c = 0; c < clause.columns.size(); ++c) {
      if (clause.columns[c].key == key) return c;
    }
    clause.columns.push_back({start, std::move(key)});
    return clause.columns.size() - 1;
  };
  // An element of ROLLUP or CUBE, or a set of GROUPING SETS: an expression, "(a, b)" or "()".
  auto composite = [&]() -> std::vector<size_t> {
    if (IsOp("(")) {
      const size_t saved = at_;
      const size_t known = clause.columns.size();
      ++at_;
      std::vector<size_t> cols;
      if (AcceptOp(")")) return cols;
      do {
        cols.push_back(column());
      } while (AcceptOp(","));
      if (AcceptOp(")") && (IsOp(",") || IsOp(")"))) return cols;
      // "(a) + b": an expression that starts with a parenthesis; the columns read on the way
      // were no grouping columns.
      at_ = saved;
      clause.columns.resize(known);
    }
    return {column()};
  };
  auto element_list = [&]() {
    std::vector<std::vector<size_t>> elements;
    ExpectOp("(");
    do {
      elements.push_back(composite());
    } while (AcceptOp(","));
    ExpectOp(")");
    return elements;
  };
  auto rollup_or_cube = [&]() -> std::optional<Sets> {
    if (!IsOpTok(PeekAt(1), "(")) return std::nullopt;
    if (IsKw("ROLLUP")) {
      ++at_;
      return Rollup(element_list());
    }
    if (IsKw("CUBE")) {
      ++at_;
      return Cube(element_list());
    }
    return std::nullopt;
  };

  Sets sets{{}};
  do {
    if (auto rc = rollup_or_cube()) {
      special = true;
      sets = CrossSets(sets, *rc);
    } else if (IsKw("GROUPING") && IsWord(PeekAt(1), "SETS")) {
      special = true;
      at_ += 2;
      ExpectOp("(");
      Sets listed;
      do {
        if (auto inner = rollup_or_cube()) {
          listed.insert(listed.end(), inner->begin(), inner->end());
        } else {
          listed.push_back(composite());
        }
      } while (AcceptOp(","));
      ExpectOp(")");
      sets = CrossSets(sets, listed);
    } else if (IsOp("(") && IsOpTok(PeekAt(1), ")")) {
      special = true;  // GROUP BY (): one group of every row
      at_ += 2;
    } else {
      sets = CrossSets(sets, {{column()}});
    }
  } while (AcceptOp(","));
  if (IsKw("WITH") && (IsWord(PeekAt(1), "ROLLUP") || IsWord(PeekAt(1), "CUBE"))) {
    if (special) ErrorAt(at_ + 1);
    const bool cube = IsWord(PeekAt(1), "CUBE");
    at_ += 2;
    std::vector<std::vector<size_t>> elements;
    for (size_t c = 0; c < clause.columns.size(); ++c) elements.push_back({c});
    sets = cube ? Cube(elements) : Rollup(elements);
    special = true;
  }
  if (!special) return std::nullopt;
  clause.sets = std::move(sets);
  return clause;
}

std::unique_ptr<ast::QueryExpr> Parser::ExpandGroupingSets(size_t spec_start,
                                                           const GroupingClause& clause) {
  const size_t end = at_;
  auto parse_at = [&](size_t start) {
    at_ = start;
    return ParseExpr();
  };
  std::vector<ExprPtr> columns;  // one tree per column, to compare the block's expressions with
  for (const auto& c : clause.columns) columns.push_back(parse_at(c.start));

  std::unique_ptr<ast::QueryExpr> result;
  ExprPtr top;
  bool top_percent = false, with_ties = false;
  ast::Name into;
  for (size_t s = 0; s < clause.sets.size(); ++s) {
    const std::vector<size_t>& set = clause.sets[s];
    at_ = spec_start;
    auto block = std::make_unique<ast::QueryExpr>();
    block->kind = ast::QueryExpr::Kind::Spec;
    block->pos = Cur().pos;
    block->spec = ParseQuerySpec();
    last_grouping_.reset();
    ast::QuerySpec& spec = *block->spec;
    // TOP and INTO belong to the whole result: kept from the first block for the query around
    // the sets' blocks.
    if (s == 0) {
      top = std::move(spec.top);
      top_percent = spec.top_percent;
      with_ties = spec.with_ties;
      into = std::move(spec.into);
    }
    spec.top.reset();
    spec.into.clear();
    spec.grouping_set = true;
    std::vector<const Expr*> present, absent;
    for (size_t c = 0; c < columns.size(); ++c) {
      if (std::find(set.begin(), set.end(), c) != set.end()) {
        present.push_back(columns[c].get());
        spec.group_by.push_back(parse_at(clause.columns[c].start));
      } else {
        absent.push_back(columns[c].get());
      }
    }
    ApplyGroupingSet(spec, present, absent);
    if (!result) {
      result = std::move(block);
      continue;
    }
    auto set_op = std::make_unique<ast::QueryExpr>();
    set_op->kind = ast::QueryExpr::Kind::Union;
    set_op->set_op = ast::QueryExpr::SetOp::Union;
    set_op->pos = result->pos;
    set_op->union_all = !spec.distinct;
    set_op->left = std::move(result);
    set_op->right = std::move(block);
    result = std::move(set_op);
  }
  at_ = end;
  if (!top && into.empty()) return result;
  if (!top && result->kind == ast::QueryExpr::Kind::Spec) {
    result->spec->into = std::move(into);
    return result;
  }
  // SELECT TOP n * [INTO t] FROM (the sets' blocks) AS [$grouping]: the ORDER BY that follows
  // is this query's, so TOP takes the rows it orders first.
  auto outer = std::make_unique<ast::QuerySpec>();
  outer->top = std::move(top);
  outer->top_percent = top_percent;
  outer->with_ties = with_ties;
  outer->into = std::move(into);
  ast::SelectItem star;
  star.pos = result->pos;
  star.expr = std::make_unique<Expr>();
  star.expr->kind = ExprKind::Star;
  star.expr->pos = result->pos;
  outer->items.push_back(std::move(star));
  auto derived = std::make_unique<ast::TableRef>();
  derived->kind = ast::TableRef::Kind::Derived;
  derived->pos = result->pos;
  derived->alias = "$grouping";
  derived->derived = std::move(result);
  outer->from.push_back(std::move(derived));
  auto query = std::make_unique<ast::QueryExpr>();
  query->kind = ast::QueryExpr::Kind::Spec;
  query->pos = outer->from[0]->pos;
  query->spec = std::move(outer);
  return query;
}

}  // namespace orv::tsql::parse
