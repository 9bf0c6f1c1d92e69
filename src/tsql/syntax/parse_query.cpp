// Queries: SELECT blocks, UNION / EXCEPT / INTERSECT chains, ORDER BY, and the table
// sources of FROM (tables, derived tables, table value constructors, joins and APPLY).
#include "tsql/syntax/parser_impl.h"

namespace orv::tsql::parse {

bool Parser::AtQueryStart() const {
  size_t opened = 0;
  while (IsOpTok(PeekAt(opened), "(")) ++opened;
  if (!IsWord(PeekAt(opened), "SELECT")) return false;
  // "((SELECT 1) = 1)", "((SELECT 1) + 2)": a parenthesized query that an operator follows is an
  // operand, and the parentheses around it hold an expression, not a query. (Whatever follows
  // the first parentheses is for the caller: "(SELECT 1) + 2" starts with a subquery.)
  auto continues_expression = [](const Token& t) {
    if (t.kind == TokenKind::Operator) return t.text != ")" && t.text != ";";
    for (std::string_view word : {"AND", "OR", "IS", "IN", "NOT", "BETWEEN", "LIKE", "COLLATE"}) {
      if (IsWord(t, word)) return true;
    }
    return false;
  };
  size_t depth = opened;
  for (size_t i = opened; depth > 0; ++i) {
    const Token& t = PeekAt(i);
    if (t.kind == TokenKind::End) break;
    if (IsOpTok(t, "(")) {
      ++depth;
    } else if (IsOpTok(t, ")") && --depth < opened) {
      // The first parentheses of level `depth` close here.
      if (depth > 0 && continues_expression(PeekAt(i + 1))) return false;
      opened = depth;
    }
  }
  return true;
}

namespace {

std::unique_ptr<ast::QueryExpr> SetOperation(ast::QueryExpr::SetOp op,
                                             std::unique_ptr<ast::QueryExpr> left) {
  auto set_op = std::make_unique<ast::QueryExpr>();
  set_op->kind = ast::QueryExpr::Kind::Union;
  set_op->set_op = op;
  set_op->pos = left->pos;
  set_op->left = std::move(left);
  return set_op;
}

}  // namespace

// UNION and EXCEPT chains, left to right; INTERSECT binds tighter than both.
std::unique_ptr<ast::QueryExpr> Parser::ParseQuery() {
  DepthGuard guard(*this);
  std::unique_ptr<ast::QueryExpr> query = ParseIntersection();
  while (IsKw("UNION") || IsKw("EXCEPT")) {
    const bool is_union = IsKw("UNION");
    ++at_;
    auto set_op = SetOperation(
        is_union ? ast::QueryExpr::SetOp::Union : ast::QueryExpr::SetOp::Except, std::move(query));
    set_op->union_all = is_union && AcceptKw("ALL");
    set_op->right = ParseIntersection();
    query = std::move(set_op);
  }
  if (IsKw("ORDER")) {
    if (!query->order_by.empty()) Error();
    query->order_by = ParseOrderBy();
    // OFFSET n ROW[S] [FETCH FIRST|NEXT m ROW[S] ONLY], which only an ORDER BY may have.
    if (IsWord(Cur(), "OFFSET")) {
      ++at_;
      query->offset = ParseExpr();
      if (!IsWord(Cur(), "ROW") && !IsWord(Cur(), "ROWS")) Error();
      ++at_;
      if (AcceptKw("FETCH")) {
        if (!IsWord(Cur(), "FIRST") && !IsWord(Cur(), "NEXT")) Error();
        ++at_;
        query->fetch = ParseExpr();
        if (!IsWord(Cur(), "ROW") && !IsWord(Cur(), "ROWS")) Error();
        ++at_;
        if (!IsWord(Cur(), "ONLY")) Error();
        ++at_;
      }
    }
  }
  if (IsKw("FOR") && IsWord(PeekAt(1), "XML")) query->for_clause = ParseForXml();
  if (IsKw("FOR") && IsWord(PeekAt(1), "JSON")) query->for_clause = ParseForJson();
  return query;
}

// ORDER BY e [ASC | DESC], ...
std::vector<ast::OrderItem> Parser::ParseOrderBy() {
  ExpectKw("ORDER");
  ExpectKw("BY");
  std::vector<ast::OrderItem> items;
  do {
    ast::OrderItem item;
    item.expr = ParseExpr();
    if (AcceptKw("DESC")) {
      item.descending = true;
    } else {
      AcceptKw("ASC");
    }
    items.push_back(std::move(item));
  } while (AcceptOp(","));
  return items;
}

std::unique_ptr<ast::QueryExpr> Parser::ParseIntersection() {
  std::unique_ptr<ast::QueryExpr> query = ParseQueryTerm();
  while (AcceptKw("INTERSECT")) {
    auto set_op = SetOperation(ast::QueryExpr::SetOp::Intersect, std::move(query));
    set_op->right = ParseQueryTerm();
    query = std::move(set_op);
  }
  return query;
}

std::unique_ptr<ast::QueryExpr> Parser::ParseQueryTerm() {
  if (IsOp("(")) {
    ++at_;
    auto inner = ParseQuery();
    ExpectOp(")");
    return inner;
  }
  const size_t start = at_;
  auto query = std::make_unique<ast::QueryExpr>();
  query->kind = ast::QueryExpr::Kind::Spec;
  query->pos = Cur().pos;
  query->spec = ParseQuerySpec();
  if (last_grouping_) {
    const GroupingClause clause = std::move(*last_grouping_);
    last_grouping_.reset();
    return ExpandGroupingSets(start, clause);
  }
  return query;
}

std::unique_ptr<ast::QuerySpec> Parser::ParseQuerySpec() {
  ExpectKw("SELECT");
  auto spec = std::make_unique<ast::QuerySpec>();
  if (AcceptKw("DISTINCT")) {
    spec->distinct = true;
  } else {
    AcceptKw("ALL");
  }
  if (IsKw("TOP")) ParseTop(spec->top, &spec->top_percent, &spec->with_ties);
  do {
    spec->items.push_back(ParseSelectItem());
  } while (AcceptOp(","));
  if (AcceptKw("INTO")) spec->into = ParseMultiPartName(3);
  if (AcceptKw("FROM")) spec->from = ParseFromList();
  if (AcceptKw("WHERE")) spec->where = ParseExpr();
  std::optional<GroupingClause> grouping;
  if (IsKw("GROUP")) {
    ++at_;
    ExpectKw("BY");
    const size_t list_start = at_;
    grouping = ParseGroupingClause();
    if (!grouping) {
      at_ = list_start;
      do {
        spec->group_by.push_back(ParseExpr());
      } while (AcceptOp(","));
    }
  }
  if (AcceptKw("HAVING")) spec->having = ParseExpr();
  if (!grouping && !spec->group_by.empty()) {
    // GROUPING(c) of a plain GROUP BY is 0.
    std::vector<const ast::Expr*> present;
    for (const auto& g : spec->group_by) present.push_back(g.get());
    ApplyGroupingSet(*spec, present, {});
  }
  last_grouping_ = std::move(grouping);
  return spec;
}

// TOP (expr) or TOP n; without parentheses only a number or a variable may follow.
void Parser::ParseTop(ast::ExprPtr& top, bool* percent, bool* with_ties) {
  ExpectKw("TOP");
  if (IsOp("(")) {
    ++at_;
    top = ParseExpr();
    ExpectOp(")");
  } else {
    TokenKind k = Cur().kind;
    if (k != TokenKind::Integer && k != TokenKind::Decimal && k != TokenKind::Float &&
        k != TokenKind::Variable) {
      Error();
    }
    top = ParsePrimary();  // one token: "TOP 10 * FROM" must not read "10 * FROM"
  }
  if (percent != nullptr && AcceptKw("PERCENT")) *percent = true;
  if (with_ties != nullptr && IsKw("WITH") && IsWord(PeekAt(1), "TIES")) {
    at_ += 2;
    *with_ties = true;
  }
}

ast::SelectItem Parser::ParseSelectItem() {
  ast::SelectItem item;
  item.pos = Cur().pos;
  if (IsOp("*")) {
    item.expr = std::make_unique<ast::Expr>();
    item.expr->kind = ast::ExprKind::Star;
    item.expr->pos = Cur().pos;
    ++at_;
    return item;
  }
  // qualifier.* : name ( '.' name )* '.' '*'
  if (IsNameToken(Cur())) {
    size_t i = 0;
    while (IsNameToken(PeekAt(i)) && IsOpTok(PeekAt(i + 1), ".")) {
      if (IsOpTok(PeekAt(i + 2), "*")) {
        item.expr = std::make_unique<ast::Expr>();
        item.expr->kind = ast::ExprKind::Star;
        item.expr->pos = Cur().pos;
        for (size_t j = 0; j <= i; j += 2) item.expr->name.push_back(PeekAt(j).text);
        at_ += i + 3;
        return item;
      }
      i += 2;
    }
  }
  // @v = expr (or @v += expr ...): an assignment, not a column
  if (AtAssignment()) {
    item.variable = Cur().text.substr(1);
    item.expr = ParseAssignedValue();
    return item;
  }
  // alias = expr
  if ((IsNameToken(Cur()) || Cur().kind == TokenKind::String) && IsOpTok(PeekAt(1), "=")) {
    item.alias = Cur().text;
    at_ += 2;
    item.expr = ParseExpr();
    return item;
  }
  item.expr = ParseExpr();
  if (AcceptKw("AS")) {
    if (Cur().kind == TokenKind::String) {
      item.alias = Cur().text;
      ++at_;
    } else {
      item.alias = ExpectName();
    }
  } else if (IsNameToken(Cur()) || Cur().kind == TokenKind::String) {
    item.alias = Cur().text;
    ++at_;
  }
  return item;
}

std::vector<ast::TableRefPtr> Parser::ParseFromList() {
  std::vector<ast::TableRefPtr> sources;
  do {
    sources.push_back(ParseTableSource());
  } while (AcceptOp(","));
  return sources;
}

ast::TableRefPtr Parser::ParseTableSource() {
  ast::TableRefPtr left = ParseTablePrimary();
  for (;;) {
    ast::JoinType type;
    if (AcceptKw("JOIN")) {
      type = ast::JoinType::Inner;
    } else if (IsKw("INNER")) {
      ++at_;
      ExpectKw("JOIN");
      type = ast::JoinType::Inner;
    } else if (IsKw("LEFT") || IsKw("RIGHT") || IsKw("FULL")) {
      type = IsKw("LEFT")    ? ast::JoinType::Left
             : IsKw("RIGHT") ? ast::JoinType::Right
                             : ast::JoinType::Full;
      ++at_;
      AcceptKw("OUTER");
      ExpectKw("JOIN");
    } else if (IsKw("CROSS") && IsWord(PeekAt(1), "APPLY")) {
      at_ += 2;
      type = ast::JoinType::CrossApply;
    } else if (IsKw("OUTER") && IsWord(PeekAt(1), "APPLY")) {
      at_ += 2;
      type = ast::JoinType::OuterApply;
    } else if (IsKw("CROSS")) {
      ++at_;
      ExpectKw("JOIN");
      type = ast::JoinType::Cross;
    } else {
      return left;
    }
    auto join = std::make_unique<ast::TableRef>();
    join->kind = ast::TableRef::Kind::Join;
    join->pos = left->pos;
    join->join_type = type;
    join->left = std::move(left);
    join->right = ParseTablePrimary();
    if (type != ast::JoinType::Cross && type != ast::JoinType::CrossApply &&
        type != ast::JoinType::OuterApply) {
      ExpectKw("ON");
      join->on = ParseExpr();
    }
    left = std::move(join);
  }
}

ast::TableRefPtr Parser::ParseTablePrimary() {
  ast::TableRefPtr ref = ParseTableOperand();
  for (;;) {
    if (IsKw("PIVOT")) {
      ref = ParsePivot(std::move(ref));
    } else if (IsKw("UNPIVOT")) {
      ref = ParseUnpivot(std::move(ref));
    } else {
      return ref;
    }
  }
}

ast::TableRefPtr Parser::ParseTableOperand() {
  DepthGuard guard(*this);
  auto ref = std::make_unique<ast::TableRef>();
  ref->pos = Cur().pos;
  if (IsOp("(") && IsWord(PeekAt(1), "VALUES")) {
    at_ += 2;
    ref->kind = ast::TableRef::Kind::Values;
    do {
      ExpectOp("(");
      std::vector<ast::ExprPtr> row;
      do {
        row.push_back(ParseExpr());
      } while (AcceptOp(","));
      ExpectOp(")");
      ref->values.push_back(std::move(row));
    } while (AcceptOp(","));
    ExpectOp(")");
    ref->alias = ParseOptionalAlias();
    if (ref->alias.empty()) Error();  // a table value constructor needs a name
    if (IsOp("(")) ref->column_aliases = ParseNameList();
    return ref;
  }
  if ((IsKw("STRING_SPLIT") || IsKw("OPENJSON")) && IsOpTok(PeekAt(1), "(")) {
    const bool openjson = IsKw("OPENJSON");
    at_ += 2;
    ref->kind = ast::TableRef::Kind::Values;
    ref->string_split = !openjson;
    ref->openjson = openjson;
    std::vector<ast::ExprPtr> args;
    do {
      args.push_back(ParseExpr());
    } while (AcceptOp(","));
    ExpectOp(")");
    ref->values.push_back(std::move(args));
    ref->alias = ParseOptionalAlias();
    if (ref->alias.empty()) ref->alias = openjson ? "OPENJSON" : "STRING_SPLIT";
    if (IsOp("(")) ref->column_aliases = ParseNameList();
    return ref;
  }
  if (IsOp("(")) {
    if (!AtQueryStart()) {  // a parenthesized join
      ++at_;
      ast::TableRefPtr inner = ParseTableSource();
      ExpectOp(")");
      return inner;
    }
    ++at_;
    ref->kind = ast::TableRef::Kind::Derived;
    ref->derived = ParseQuery();
    ExpectOp(")");
    ref->alias = ParseOptionalAlias();
    if (ref->alias.empty()) Error();  // a derived table needs a name
    if (IsOp("(")) ref->column_aliases = ParseNameList();
    return ref;
  }
  ref->kind = ast::TableRef::Kind::Named;
  ref->name = ParseMultiPartName(3);
  ref->alias = ParseOptionalAlias();
  // Table hints such as WITH (NOLOCK) are accepted and ignored.
  if (IsKw("WITH") && IsOpTok(PeekAt(1), "(")) {
    at_ += 2;
    do {
      ExpectName();
    } while (AcceptOp(","));
    ExpectOp(")");
  }
  return ref;
}

std::string Parser::ParseOptionalAlias() {
  if (AcceptKw("AS")) return ExpectName();
  if (IsNameToken(Cur())) return tokens_[at_++].text;
  return "";
}

}  // namespace orv::tsql::parse
