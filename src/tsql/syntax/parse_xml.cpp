// FOR XML after a query, and the xml value() method: enough of both for the idioms that build
// lists and texts out of rows, such as
//   STUFF((SELECT ',' + name FROM t FOR XML PATH('')), 1, 1, '')
//   (SELECT ... FOR XML PATH(''), TYPE).value('.', 'nvarchar(max)')
#include "tsql/syntax/parser_impl.h"

namespace orv::tsql::parse {

void Parser::ParseStringInParens(std::string& out) {
  if (!AcceptOp("(")) return;
  if (Cur().kind != TokenKind::String && Cur().kind != TokenKind::NString) Error();
  out = Cur().text;
  ++at_;
  ExpectOp(")");
}

std::shared_ptr<const ast::ForClause> Parser::ParseForXml() {
  ExpectKw("FOR");
  ExpectKw("XML");
  auto options = std::make_shared<ast::ForClause>();
  if (AcceptKw("RAW")) {
    options->raw = true;
  } else if (!IsWord(Cur(), "PATH")) {
    Error();  // AUTO and EXPLICIT are not supported
  } else {
    ++at_;
  }
  ParseStringInParens(options->element);
  while (AcceptOp(",")) {
    if (IsWord(Cur(), "TYPE")) {
      ++at_;  // the text is the value either way
    } else if (IsWord(Cur(), "ROOT")) {
      ++at_;
      std::string root = "root";
      ParseStringInParens(root);
      options->root = root;
    } else if (IsWord(Cur(), "ELEMENTS")) {
      ++at_;
      options->elements = true;
    } else {
      Error();
    }
  }
  return options;
}

ast::ExprPtr Parser::ParseXmlValue(ast::ExprPtr subject) {
  const ast::SourcePos pos = Cur().pos;
  ExpectOp(".");
  ++at_;  // value
  ExpectOp("(");
  auto string_argument = [&] {
    if (Cur().kind != TokenKind::String && Cur().kind != TokenKind::NString) Error();
    std::string text = Cur().text;
    ++at_;
    return text;
  };
  auto path = std::make_unique<ast::Expr>();
  path->kind = ast::ExprKind::Literal;
  path->pos = Cur().pos;
  path->literal_kind = ast::LiteralKind::NString;
  path->text = string_argument();
  ExpectOp(",");
  const std::string type_text = string_argument();
  ExpectOp(")");
  // The SQL type is written as a string: read it as a type name of its own.
  Parser type_parser(type_text, Tokenize(type_text));
  ast::TypeName type = type_parser.ParseType();
  if (!type_parser.AtEnd()) Error();

  auto text = std::make_unique<ast::Expr>();
  text->kind = ast::ExprKind::Function;
  text->pos = pos;
  text->text = "$XML_VALUE";
  text->args.push_back(std::move(subject));
  text->args.push_back(std::move(path));
  auto cast = std::make_unique<ast::Expr>();
  cast->kind = ast::ExprKind::Cast;
  cast->pos = pos;
  cast->type = std::move(type);
  cast->args.push_back(std::move(text));
  return cast;
}

}  // namespace orv::tsql::parse
