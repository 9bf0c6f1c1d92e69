#include <cctype>

#include "tsql/syntax/parser.h"
#include "tsql/syntax/jump_check.h"
#include "tsql/syntax/parser_impl.h"
#include "tsql/types/sql_error.h"

namespace orv::tsql {
namespace parse {

std::string ToUpper(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

std::string ToLower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

const Token& Parser::PeekAt(size_t ahead) const {
  size_t i = at_ + ahead;
  return i < tokens_.size() ? tokens_[i] : tokens_.back();
}

bool Parser::IsWord(const Token& t, std::string_view word) {
  if (t.kind != TokenKind::Identifier || t.text.size() != word.size()) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    char c = t.text[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != word[i]) return false;
  }
  return true;
}

bool Parser::IsOpTok(const Token& t, std::string_view op) {
  return t.kind == TokenKind::Operator && t.text == op;
}

bool Parser::IsOp(std::string_view op) const { return IsOpTok(Cur(), op); }

bool Parser::AcceptKw(std::string_view word) {
  if (!IsKw(word)) return false;
  ++at_;
  return true;
}

bool Parser::AcceptOp(std::string_view op) {
  if (!IsOp(op)) return false;
  ++at_;
  return true;
}

void Parser::ExpectKw(std::string_view word) {
  if (!AcceptKw(word)) Error();
}

void Parser::ExpectOp(std::string_view op) {
  if (!AcceptOp(op)) Error();
}

bool Parser::IsNameToken(const Token& t) {
  return t.kind == TokenKind::Quoted ||
         (t.kind == TokenKind::Identifier && !IsReservedKeyword(t.text));
}

std::string Parser::ExpectName() {
  if (!IsNameToken(Cur())) Error();
  return tokens_[at_++].text;
}

void Parser::Error() const { ErrorAt(at_); }

Parser::DepthGuard::DepthGuard(Parser& parser) : parser_(parser) {
  constexpr int kMaxDepth = 400;
  if (++parser_.depth_ > kMaxDepth) {
    --parser_.depth_;
    SqlError error;
    error.number = 191;
    error.severity = 15;
    error.line = parser_.Cur().pos.line;
    error.message =
        "Some part of your SQL statement is nested too deeply. Rewrite the query or break it "
        "up into smaller queries.";
    throw SqlException(std::move(error));
  }
}

void Parser::ErrorAt(size_t index) const {
  // At the end of the batch the complaint names the last real token.
  if (index >= tokens_.size()) index = tokens_.size() - 1;
  if (tokens_[index].kind == TokenKind::End && index > 0) --index;
  const Token& t = tokens_[index];
  SqlError error;
  if (t.kind == TokenKind::Identifier && IsReservedKeyword(t.text)) {
    error = MakeError(156, {t.text});
  } else if (t.kind == TokenKind::Money) {
    error = MakeError(102, {"$" + t.text});
  } else {
    error = MakeError(102, {t.text});
  }
  error.line = t.pos.line;
  throw SqlException(std::move(error));
}

ast::Name Parser::ParseMultiPartName(size_t max_parts) {
  ast::Name name;
  // A table variable: "@t" names it on its own.
  if (Cur().kind == TokenKind::Variable && Cur().text.size() > 1 && Cur().text[1] != '@') {
    name.push_back(Cur().text);
    ++at_;
    return name;
  }
  name.push_back(ExpectName());
  while (IsOp(".")) {
    if (name.size() >= max_parts) Error();
    ++at_;
    if (IsOp(".")) {  // "tempdb..#t": the omitted part stays empty
      name.emplace_back();
      continue;
    }
    name.push_back(ExpectName());
  }
  return name;
}

ast::TypeName Parser::ParseType() {
  ast::TypeName type;
  ast::Name name = ParseMultiPartName(2);  // "dbo.MyType" is allowed by the grammar
  type.name = ToLower(name.back());
  if (AcceptOp("(")) {
    if (IsWord(Cur(), "MAX")) {
      ++at_;
      type.max = true;
    } else {
      if (Cur().kind != TokenKind::Integer) Error();
      try {
        type.precision = std::stoi(Cur().text);
      } catch (const std::exception&) {
        Error();
      }
      ++at_;
      if (AcceptOp(",")) {
        if (Cur().kind != TokenKind::Integer) Error();
        try {
          type.scale = std::stoi(Cur().text);
        } catch (const std::exception&) {
          Error();
        }
        ++at_;
      }
    }
    ExpectOp(")");
  }
  return type;
}

std::vector<std::string> Parser::ParseNameList() {
  std::vector<std::string> names;
  ExpectOp("(");
  do {
    names.push_back(ParseMultiPartName(4).back());
  } while (AcceptOp(","));
  ExpectOp(")");
  return names;
}

void Parser::CheckWithAfterTerminator(bool terminated) const {
  if (terminated || !IsKw("WITH")) return;
  SqlError error = MakeError(319);
  error.line = Cur().pos.line;
  throw SqlException(std::move(error));
}

ast::Batch Parser::ParseBatch() {
  ast::Batch batch;
  bool terminated = true;
  while (!AtEnd()) {
    if (IsOp(";")) {
      auto empty = std::make_unique<ast::EmptyStmt>();
      empty->pos = Cur().pos;
      empty->end_offset = Cur().end_offset;
      ++at_;
      batch.statements.push_back(std::move(empty));
      terminated = true;
      continue;
    }
    CheckWithAfterTerminator(terminated);
    batch.statements.push_back(ParseStatement());
    for (auto& extra : pending_) batch.statements.push_back(std::move(extra));
    pending_.clear();
    terminated = AcceptOp(";");  // the statement's own terminator
  }
  return batch;
}

}  // namespace parse

ast::Batch ParseBatch(std::string_view text) {
  parse::Parser parser(text, Tokenize(text));
  ast::Batch batch = parser.ParseBatch();
  CheckJumps(batch);
  return batch;
}

}  // namespace orv::tsql
