// Procedural statements: WHILE, RETURN, BEGIN TRY ... END CATCH, RAISERROR, THROW, EXEC[UTE]
// of a procedure or of a string, and CREATE/ALTER PROCEDURE.
#include "tsql/syntax/parser_impl.h"
#include "tsql/types/sql_error.h"

namespace orv::tsql::parse {
bool Parser::AtValueStart() const {
  const Token& t = Cur();
  switch (t.kind) {
    case TokenKind::Variable:
    case TokenKind::Integer:
    case TokenKind::Decimal:
    case TokenKind::Float:
    case TokenKind::Money:
    case TokenKind::String:
    case TokenKind::NString:
    case TokenKind::Binary:
    case TokenKind::Quoted:
      return true;
    case TokenKind::Identifier:
      return !IsReservedKeyword(t.text) || IsKw("NULL") || IsKw("CASE") || IsKw("CAST") ||
             IsKw("CONVERT") || IsKw("COALESCE") || IsKw("NULLIF");
    case TokenKind::Operator:
      return IsOp("-") || IsOp("+") || IsOp("~") || (IsOp("(") && !AtQueryStart());
    default:
      return false;
  }
}

std::vector<ast::StmtPtr> Parser::ParseStatementsUntilEnd() {
  std::vector<ast::StmtPtr> statements;
  bool terminated = true;
  while (!IsKw("END")) {
    if (AtEnd()) Error();
    if (AcceptOp(";")) {
      terminated = true;
      continue;
    }
    CheckWithAfterTerminator(terminated);
    statements.push_back(ParseStatement());
    for (auto& extra : pending_) statements.push_back(std::move(extra));
    pending_.clear();
    terminated = AcceptOp(";");
  }
  ++at_;  // END
  return statements;
}

ast::StmtPtr Parser::ParseWhile() {
  auto stmt = NewStmt<ast::WhileStmt>(Cur().pos);
  ExpectKw("WHILE");
  stmt->condition = ParseExpr();
  if (AtEnd()) Error();
  stmt->body = ParseStatement();
  return stmt;
}

ast::StmtPtr Parser::ParseReturn() {
  auto stmt = NewStmt<ast::ReturnStmt>(Cur().pos);
  ExpectKw("RETURN");
  if (AtValueStart()) stmt->value = ParseExpr();
  return stmt;
}

// BEGIN TRY statements END TRY BEGIN CATCH statements END CATCH
ast::StmtPtr Parser::ParseTry() {
  auto stmt = NewStmt<ast::TryStmt>(Cur().pos);
  ExpectKw("BEGIN");
  ExpectKw("TRY");
  stmt->try_statements = ParseStatementsUntilEnd();
  ExpectKw("TRY");
  AcceptOp(";");
  ExpectKw("BEGIN");
  ExpectKw("CATCH");
  stmt->catch_statements = ParseStatementsUntilEnd();
  ExpectKw("CATCH");
  return stmt;
}

ast::StmtPtr Parser::ParseRaiseError() {
  auto stmt = NewStmt<ast::RaiseErrorStmt>(Cur().pos);
  ExpectKw("RAISERROR");
  ExpectOp("(");
  do {
    stmt->args.push_back(ParseExpr());
  } while (AcceptOp(","));
  ExpectOp(")");
  if (stmt->args.size() < 3) Error();
  if (AcceptKw("WITH")) {
    do {
      if (AcceptKw("SETERROR")) {
        stmt->seterror = true;
      } else if (!AcceptKw("NOWAIT") && !AcceptKw("LOG")) {
        Error();
      }
    } while (AcceptOp(","));
  }
  return stmt;
}

ast::StmtPtr Parser::ParseThrow() {
  auto stmt = NewStmt<ast::ThrowStmt>(Cur().pos);
  ExpectKw("THROW");
  if (!AtValueStart()) return stmt;
  stmt->number = ParseExpr();
  ExpectOp(",");
  stmt->message = ParseExpr();
  ExpectOp(",");
  stmt->state = ParseExpr();
  return stmt;
}

// EXEC[UTE] [@rc =] procedure [[@p =] value [OUTPUT] | DEFAULT, ...], or EXEC[UTE] (string
// [+ string ...]).
ast::StmtPtr Parser::ParseExec() {
  auto stmt = NewStmt<ast::ExecStmt>(Cur().pos);
  ++at_;  // EXEC / EXECUTE
  if (AcceptOp("(")) {
    do {
      stmt->dynamic.push_back(ParseExpr());
    } while (AcceptOp("+"));
    ExpectOp(")");
    return stmt;
  }
  if (Cur().kind == TokenKind::Variable && IsOpTok(PeekAt(1), "=")) {
    stmt->return_variable = Cur().text.substr(1);
    at_ += 2;
  }
  stmt->procedure = ParseMultiPartName(3);
  if (!AtValueStart() && !IsKw("DEFAULT")) return stmt;
  do {
    ast::ExecArg arg;
    arg.pos = Cur().pos;
    if (Cur().kind == TokenKind::Variable && IsOpTok(PeekAt(1), "=")) {
      arg.parameter = Cur().text.substr(1);
      at_ += 2;
    }
    if (AcceptKw("DEFAULT")) {
      // no value: the parameter's default
    } else if (Cur().kind == TokenKind::Identifier && !IsReservedKeyword(Cur().text) &&
               !IsOpTok(PeekAt(1), "(") && !IsOpTok(PeekAt(1), ".")) {
      // A bare word is a string: EXEC sp_help t_ICItem.
      arg.value = std::make_unique<ast::Expr>();
      arg.value->kind = ast::ExprKind::Literal;
      arg.value->literal_kind = ast::LiteralKind::NString;
      arg.value->text = Cur().text;
      arg.value->pos = Cur().pos;
      ++at_;
    } else {
      arg.value = ParseExpr();
    }
    if (AcceptKw("OUTPUT") || AcceptKw("OUT")) arg.output = true;
    stmt->args.push_back(std::move(arg));
  } while (AcceptOp(","));
  return stmt;
}

ast::StmtPtr Parser::ParseCreateProc(bool alter, bool or_alter, uint32_t start) {
  auto stmt = NewStmt<ast::CreateProcStmt>(Cur().pos);
  stmt->alter = alter;
  stmt->or_alter = or_alter;
  stmt->name = ParseMultiPartName(3);
  const bool parenthesized = AcceptOp("(");
  if (Cur().kind == TokenKind::Variable) {
    do {
      if (Cur().kind != TokenKind::Variable) Error();
      ast::ProcParam param;
      param.pos = Cur().pos;
      param.name = Cur().text.substr(1);
      ++at_;
      AcceptKw("AS");
      param.type = ParseType();
      if (AcceptOp("=")) param.default_value = ParseExpr();
      for (;;) {
        if (AcceptKw("OUTPUT") || AcceptKw("OUT")) {
          param.output = true;
        } else if (!AcceptKw("READONLY")) {
          break;
        }
      }
      stmt->params.push_back(std::move(param));
    } while (AcceptOp(","));
  }
  if (parenthesized) ExpectOp(")");
  if (AcceptKw("WITH")) {
    // WITH RECOMPILE, ENCRYPTION, EXECUTE AS ...: accepted, they change nothing here.
    while (!AtEnd() && !IsKw("AS")) ++at_;
  }
  ExpectKw("AS");
  bool terminated = true;
  while (!AtEnd()) {
    if (AcceptOp(";")) {
      terminated = true;
      continue;
    }
    CheckWithAfterTerminator(terminated);
    stmt->body.push_back(ParseStatement());
    for (auto& extra : pending_) stmt->body.push_back(std::move(extra));
    pending_.clear();
    terminated = AcceptOp(";");
  }
  stmt->text = std::string(text_.substr(start));
  return stmt;
}

}  // namespace orv::tsql::parse
