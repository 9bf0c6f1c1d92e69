// Expressions, loosest first: OR, AND, NOT, predicates (comparisons, IS NULL, BETWEEN, LIKE,
// IN), binary + - & | ^, * / %, unary ~ - +, primaries; function calls with their OVER clause.
#include "tsql/syntax/parser_impl.h"

namespace orv::tsql::parse {
namespace {

using ast::Expr;
using ast::ExprKind;
using ast::ExprPtr;
using ast::Op;

ExprPtr NewExpr(ExprKind kind, const ast::SourcePos& pos) {
  auto e = std::make_unique<Expr>();
  e->kind = kind;
  e->pos = pos;
  return e;
}

ExprPtr Binary(Op op, ExprPtr left, ExprPtr right) {
  auto e = NewExpr(ExprKind::Binary, left->pos);
  e->op = op;
  e->args.push_back(std::move(left));
  e->args.push_back(std::move(right));
  return e;
}

Op ComparisonOp(const Token& t) {
  if (t.kind != TokenKind::Operator) return Op::None;
  const std::string& s = t.text;
  if (s == "=") return Op::Eq;
  if (s == "<>" || s == "!=") return Op::Ne;
  if (s == "<") return Op::Lt;
  if (s == "<=") return Op::Le;
  if (s == ">") return Op::Gt;
  if (s == ">=") return Op::Ge;
  if (s == "!<") return Op::NotLt;
  if (s == "!>") return Op::NotGt;
  return Op::None;
}

// DATEDIFF(DAY, a, b) and its kin take a datepart keyword as their first argument.
bool TakesDatePart(std::string_view name) {
  std::string upper = ToUpper(name);
  return upper == "DATEDIFF" || upper == "DATEADD" || upper == "DATEPART" || upper == "DATENAME" ||
         upper == "DATEDIFF_BIG" || upper == "DATETRUNC";
}

// Reserved words that are still function names when "(" follows.
bool IsKeywordFunction(const Token& t) {
  return Parser::IsWord(t, "LEFT") || Parser::IsWord(t, "RIGHT") || Parser::IsWord(t, "COALESCE") ||
         Parser::IsWord(t, "NULLIF");
}

}  // namespace

ExprPtr Parser::ParseExpr() {
  DepthGuard guard(*this);
  return ParseOr();
}

ExprPtr Parser::ParseOr() {
  ExprPtr first = ParseAnd();
  if (!IsKw("OR")) return first;
  auto e = NewExpr(ExprKind::Or, first->pos);
  e->args.push_back(std::move(first));
  while (AcceptKw("OR")) e->args.push_back(ParseAnd());
  return e;
}

ExprPtr Parser::ParseAnd() {
  ExprPtr first = ParseNot();
  if (!IsKw("AND")) return first;
  auto e = NewExpr(ExprKind::And, first->pos);
  e->args.push_back(std::move(first));
  while (AcceptKw("AND")) e->args.push_back(ParseNot());
  return e;
}

ExprPtr Parser::ParseNot() {
  if (!IsKw("NOT")) return ParsePredicate();
  DepthGuard guard(*this);
  ast::SourcePos pos = Cur().pos;
  ++at_;
  if (IsKw("EXISTS")) {
    ++at_;
    return ParseExistsBody(pos, true);
  }
  auto e = NewExpr(ExprKind::Not, pos);
  e->args.push_back(ParseNot());
  return e;
}

ExprPtr Parser::ParsePredicate() {
  ExprPtr left = ParseAdditive();
  Op op = ComparisonOp(Cur());
  if (op != Op::None) {
    ++at_;
    return Binary(op, std::move(left), ParseAdditive());
  }
  if (IsKw("IS")) {
    ++at_;
    auto e = NewExpr(ExprKind::IsNull, left->pos);
    e->negated = AcceptKw("NOT");
    ExpectKw("NULL");
    e->args.push_back(std::move(left));
    return e;
  }
  bool negated = false;
  if (IsKw("NOT") &&
      (IsWord(PeekAt(1), "BETWEEN") || IsWord(PeekAt(1), "LIKE") || IsWord(PeekAt(1), "IN"))) {
    ++at_;
    negated = true;
  }
  if (AcceptKw("BETWEEN")) {
    auto e = NewExpr(ExprKind::Between, left->pos);
    e->negated = negated;
    e->args.push_back(std::move(left));
    e->args.push_back(ParseAdditive());
    ExpectKw("AND");
    e->args.push_back(ParseAdditive());
    return e;
  }
  if (AcceptKw("LIKE")) {
    auto e = NewExpr(ExprKind::Like, left->pos);
    e->negated = negated;
    e->args.push_back(std::move(left));
    e->args.push_back(ParseAdditive());
    if (AcceptKw("ESCAPE")) e->args.push_back(ParseAdditive());
    return e;
  }
  if (AcceptKw("IN")) return ParseInTail(std::move(left), negated);
  return left;
}

ExprPtr Parser::ParseInTail(ExprPtr left, bool negated) {
  const bool subquery = IsOp("(") && AtQueryStart();  // not "IN ((SELECT 1), 2)"
  ExpectOp("(");
  if (subquery) {
    auto e = NewExpr(ExprKind::InSubquery, left->pos);
    e->negated = negated;
    e->args.push_back(std::move(left));
    e->subquery = ParseQuery();
    ExpectOp(")");
    return e;
  }
  auto e = NewExpr(ExprKind::InList, left->pos);
  e->negated = negated;
  e->args.push_back(std::move(left));
  do {
    e->args.push_back(ParseExpr());
  } while (AcceptOp(","));
  ExpectOp(")");
  return e;
}

ExprPtr Parser::ParseAdditive() {
  ExprPtr left = ParseMultiplicative();
  for (;;) {
    Op op = Op::None;
    if (IsOp("+"))
      op = Op::Add;
    else if (IsOp("-"))
      op = Op::Sub;
    else if (IsOp("&"))
      op = Op::BitAnd;
    else if (IsOp("|"))
      op = Op::BitOr;
    else if (IsOp("^"))
      op = Op::BitXor;
    else
      return left;
    ++at_;
    left = Binary(op, std::move(left), ParseMultiplicative());
  }
}

ExprPtr Parser::ParseMultiplicative() {
  ExprPtr left = ParseUnary();
  for (;;) {
    Op op = Op::None;
    if (IsOp("*"))
      op = Op::Mul;
    else if (IsOp("/"))
      op = Op::Div;
    else if (IsOp("%"))
      op = Op::Mod;
    else
      return left;
    ++at_;
    left = Binary(op, std::move(left), ParseUnary());
  }
}

ExprPtr Parser::ParseUnary() {
  Op op = Op::None;
  if (IsOp("-"))
    op = Op::Neg;
  else if (IsOp("+"))
    op = Op::Pos;
  else if (IsOp("~"))
    op = Op::BitNot;
  else
    return ParseCollated();
  DepthGuard guard(*this);
  auto e = NewExpr(ExprKind::Unary, Cur().pos);
  ++at_;
  e->op = op;
  e->args.push_back(ParseUnary());
  return e;
}

// A primary expression and an optional COLLATE clause after it.
ExprPtr Parser::ParseCollated() {
  ExprPtr e = ParsePrimary();
  while (IsOp(".") && IsWord(PeekAt(1), "VALUE") && IsOpTok(PeekAt(2), "(")) {
    e = ParseXmlValue(std::move(e));
  }
  if (!IsKw("COLLATE")) return e;
  auto c = NewExpr(ExprKind::Collate, Cur().pos);
  ++at_;
  c->text = ExpectName();
  c->args.push_back(std::move(e));
  return c;
}

ExprPtr Parser::ParseSubqueryInParens() {
  auto e = NewExpr(ExprKind::ScalarSubquery, Cur().pos);
  ExpectOp("(");
  e->subquery = ParseQuery();
  ExpectOp(")");
  return e;
}

ExprPtr Parser::ParsePrimary() {
  const Token& t = Cur();
  ast::SourcePos pos = t.pos;
  auto literal = [&](ast::LiteralKind kind) {
    auto e = NewExpr(ExprKind::Literal, pos);
    e->literal_kind = kind;
    e->text = t.text;
    ++at_;
    return e;
  };
  switch (t.kind) {
    case TokenKind::Integer:
      return literal(ast::LiteralKind::Integer);
    case TokenKind::Decimal:
      return literal(ast::LiteralKind::Decimal);
    case TokenKind::Float:
      return literal(ast::LiteralKind::Float);
    case TokenKind::Money:
      return literal(ast::LiteralKind::Money);
    case TokenKind::String:
      return literal(ast::LiteralKind::String);
    case TokenKind::NString:
      return literal(ast::LiteralKind::NString);
    case TokenKind::Binary:
      return literal(ast::LiteralKind::Binary);
    case TokenKind::Variable: {
      auto e = NewExpr(ExprKind::Variable, pos);
      e->text = t.text;
      e->name.push_back(t.text.substr(1));
      ++at_;
      return e;
    }
    case TokenKind::Operator:
      if (t.text == "(") {
        if (AtQueryStart()) return ParseSubqueryInParens();
        ++at_;
        ExprPtr inner = ParseExpr();
        ExpectOp(")");
        return inner;
      }
      Error();
    case TokenKind::End:
      Error();
    case TokenKind::Identifier:
    case TokenKind::Quoted:
      break;
  }

  if (t.kind == TokenKind::Identifier) {
    if (IsKw("NULL")) return literal(ast::LiteralKind::Null);
    if (IsKw("CASE")) {
      ++at_;
      return ParseCase(pos);
    }
    if (IsKw("CONVERT") && IsOpTok(PeekAt(1), "(")) {
      ++at_;
      return ParseCast(pos, true);
    }
    if (IsKw("CAST") && IsOpTok(PeekAt(1), "(")) {
      ++at_;
      return ParseCast(pos, false);
    }
    if ((IsWord(t, "TRY_CAST") || IsWord(t, "TRY_CONVERT")) && IsOpTok(PeekAt(1), "(")) {
      bool is_convert = IsWord(t, "TRY_CONVERT");
      ++at_;
      ExprPtr e = ParseCast(pos, is_convert);
      e->is_try = true;
      return e;
    }
    if (IsWord(t, "IIF") && IsOpTok(PeekAt(1), "(")) {
      // IIF(condition, a, b) is CASE WHEN condition THEN a ELSE b END.
      at_ += 2;
      auto e = NewExpr(ExprKind::Case, pos);
      e->args.push_back(ParseExpr());
      ExpectOp(",");
      e->args.push_back(ParseExpr());
      ExpectOp(",");
      e->case_else = ParseExpr();
      ExpectOp(")");
      return e;
    }
    if (IsKw("EXISTS")) {
      ++at_;
      return ParseExistsBody(pos, false);
    }
    if (IsKw("CURRENT_TIMESTAMP")) {
      ++at_;
      auto e = NewExpr(ExprKind::Function, pos);
      e->text = "GETDATE";
      e->name.push_back("GETDATE");
      return e;
    }
    // The user names written without parentheses, as the standard has them.
    for (std::string_view word : {"CURRENT_USER", "SESSION_USER", "SYSTEM_USER", "USER"}) {
      if (IsKw(word) && !IsOpTok(PeekAt(1), "(")) {
        ++at_;
        auto e = NewExpr(ExprKind::Function, pos);
        e->text = std::string(word);
        e->name.push_back(e->text);
        return e;
      }
    }
    if (IsKeywordFunction(t) && IsOpTok(PeekAt(1), "(")) {
      ast::Name name{t.text};
      ++at_;
      return ParseFunction(std::move(name), pos);
    }
  }
  if (!IsNameToken(t)) Error();

  // A column reference or a function call: name ( '.' [name] )* [ '(' args ')' ].
  ast::Name name;
  name.push_back(t.text);
  ++at_;
  while (IsOp(".")) {
    if (name.size() >= 4) Error();
    ++at_;
    if (IsOp(".")) {
      name.emplace_back();
      continue;
    }
    name.push_back(ExpectName());
  }
  if (IsOp("(") && t.kind == TokenKind::Identifier) return ParseFunction(std::move(name), pos);
  auto e = NewExpr(ExprKind::ColumnRef, pos);
  e->name = std::move(name);
  return e;
}

ExprPtr Parser::ParseFunction(ast::Name name, const ast::SourcePos& pos) {
  ExprPtr e = ParseFunctionCall(std::move(name), pos);
  if (IsWord(Cur(), "WITHIN") && IsWord(PeekAt(1), "GROUP") && PeekAt(2).text == "(") {
    at_ += 3;
    e->within_group = ParseOrderBy();
    ExpectOp(")");
  }
  if (IsKw("OVER")) e->over = ParseOver();
  return e;
}

// OVER ([PARTITION BY e, ...] [ORDER BY e [ASC|DESC], ... [ROWS|RANGE frame]]); a frame
// without an ORDER BY is a syntax error.
std::unique_ptr<ast::WindowSpec> Parser::ParseOver() {
  ExpectKw("OVER");
  ExpectOp("(");
  auto over = std::make_unique<ast::WindowSpec>();
  if (IsWord(Cur(), "PARTITION")) {
    ++at_;
    ExpectKw("BY");
    do {
      over->partition_by.push_back(ParseExpr());
    } while (AcceptOp(","));
  }
  if (IsKw("ORDER")) {
    over->order_by = ParseOrderBy();
    if (IsWord(Cur(), "ROWS") || IsWord(Cur(), "RANGE")) {
      over->has_frame = true;
      over->rows = IsWord(Cur(), "ROWS");
      ++at_;
      if (AcceptKw("BETWEEN")) {
        over->start = ParseWindowBound();
        if (over->start.kind == ast::WindowBound::Kind::UnboundedFollowing) Error();
        ExpectKw("AND");
        over->end = ParseWindowBound();
        if (over->end.kind == ast::WindowBound::Kind::UnboundedPreceding) Error();
      } else {
        // "ROWS 5 PRECEDING" is "ROWS BETWEEN 5 PRECEDING AND CURRENT ROW".
        over->start = ParseWindowBound();
        if (over->start.kind == ast::WindowBound::Kind::Following ||
            over->start.kind == ast::WindowBound::Kind::UnboundedFollowing) {
          Error();
        }
        over->end = ast::WindowBound{};
      }
    }
  }
  ExpectOp(")");
  return over;
}

// CURRENT ROW, or UNBOUNDED / n followed by PRECEDING / FOLLOWING.
ast::WindowBound Parser::ParseWindowBound() {
  using Kind = ast::WindowBound::Kind;
  ast::WindowBound bound;
  if (IsKw("CURRENT")) {
    ++at_;
    if (!IsWord(Cur(), "ROW")) Error();
    ++at_;
    return bound;
  }
  const bool unbounded = IsWord(Cur(), "UNBOUNDED");
  if (!unbounded) {
    if (Cur().kind != TokenKind::Integer) Error();
    try {
      bound.offset = std::stoll(Cur().text);
    } catch (const std::exception&) {
      Error();
    }
  }
  ++at_;
  const bool preceding = IsWord(Cur(), "PRECEDING");
  if (!preceding && !IsWord(Cur(), "FOLLOWING")) Error();
  ++at_;
  bound.kind = unbounded ? (preceding ? Kind::UnboundedPreceding : Kind::UnboundedFollowing)
                         : (preceding ? Kind::Preceding : Kind::Following);
  return bound;
}

ExprPtr Parser::ParseFunctionCall(ast::Name name, const ast::SourcePos& pos) {
  auto e = NewExpr(ExprKind::Function, pos);
  e->text = name.back();
  e->name = std::move(name);
  ExpectOp("(");
  if (AcceptOp(")")) return e;
  if (IsOp("*") && IsOpTok(PeekAt(1), ")")) {  // COUNT(*)
    auto star = NewExpr(ExprKind::Star, Cur().pos);
    at_ += 2;
    e->star_arg = true;
    e->args.push_back(std::move(star));
    return e;
  }
  if (AcceptKw("DISTINCT")) {
    e->distinct = true;
  } else {
    AcceptKw("ALL");
  }
  if (IsWord(Cur(), "LEADING") || IsWord(Cur(), "TRAILING") || IsWord(Cur(), "BOTH") ||
      IsKw("FROM")) {
    if (ToUpper(e->text) != "TRIM") Error();
  }
  if (ToUpper(e->text) == "TRIM") {
    // TRIM([LEADING | TRAILING | BOTH] [characters FROM] text): LTRIM / RTRIM / TRIM of
    // (text, characters).
    if (IsWord(Cur(), "LEADING")) {
      e->text = "LTRIM";
      ++at_;
    } else if (IsWord(Cur(), "TRAILING")) {
      e->text = "RTRIM";
      ++at_;
    } else if (IsWord(Cur(), "BOTH")) {
      ++at_;
    }
    ExprPtr characters;
    if (!AcceptKw("FROM")) {
      characters = ParseExpr();
      if (!AcceptKw("FROM")) {
        e->args.push_back(std::move(characters));
        ExpectOp(")");
        return e;
      }
    }
    e->args.push_back(ParseExpr());
    if (characters) e->args.push_back(std::move(characters));
    ExpectOp(")");
    return e;
  }
  if (TakesDatePart(e->text) && Cur().kind == TokenKind::Identifier && IsOpTok(PeekAt(1), ",")) {
    auto part = NewExpr(ExprKind::DatePart, Cur().pos);
    part->text = ToUpper(Cur().text);
    ++at_;
    e->args.push_back(std::move(part));
    ExpectOp(",");
  }
  do {
    e->args.push_back(ParseExpr());
  } while (AcceptOp(","));
  ExpectOp(")");
  return e;
}

ExprPtr Parser::ParseCase(const ast::SourcePos& pos) {
  auto e = NewExpr(ExprKind::Case, pos);
  if (!IsKw("WHEN")) e->case_operand = ParseExpr();
  if (!IsKw("WHEN")) Error();
  while (AcceptKw("WHEN")) {
    e->args.push_back(ParseExpr());
    ExpectKw("THEN");
    e->args.push_back(ParseExpr());
  }
  if (AcceptKw("ELSE")) e->case_else = ParseExpr();
  ExpectKw("END");
  return e;
}

ExprPtr Parser::ParseCast(const ast::SourcePos& pos, bool is_convert) {
  auto e = NewExpr(ExprKind::Cast, pos);
  e->is_convert = is_convert;
  ExpectOp("(");
  if (is_convert) {
    e->type = ParseType();
    ExpectOp(",");
    e->args.push_back(ParseExpr());
    if (AcceptOp(",")) e->args.push_back(ParseExpr());
  } else {
    e->args.push_back(ParseExpr());
    ExpectKw("AS");
    e->type = ParseType();
  }
  ExpectOp(")");
  return e;
}

ExprPtr Parser::ParseExistsBody(const ast::SourcePos& pos, bool negated) {
  auto e = NewExpr(ExprKind::Exists, pos);
  e->negated = negated;
  ExpectOp("(");
  if (!AtQueryStart()) Error();
  e->subquery = ParseQuery();
  ExpectOp(")");
  return e;
}

}  // namespace orv::tsql::parse
