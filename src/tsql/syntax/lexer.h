// The lexer of the T-SQL front end: turns a batch text into tokens (identifiers, literals,
// operators) with their positions, dropping white space and comments.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tsql/syntax/ast.h"

namespace orv::tsql {

enum class TokenKind {
  End,         // end of the batch (always the last token)
  Identifier,  // regular identifier or keyword; also #temp, ##global
  Quoted,      // [bracketed] or "double-quoted" identifier: never a keyword
  Variable,    // @name or @@name
  Integer,     // 12
  Decimal,     // 12.5, .5, 12.
  Float,       // 1e3, 1.5E-2
  Money,       // $12.5
  String,      // 'text'
  NString,     // N'text'
  Binary,      // 0x0AFF (text as written, with its 0x)
  Operator,    // = <> != < > <= >= !< !> + - * / % & | ^ ~ ( ) , . ;
};

struct Token {
  TokenKind kind = TokenKind::End;
  // Identifier: as written; Quoted: without the delimiters (doubled closers undone);
  // Variable: as written with its '@'s; numbers: as written ('$' dropped for Money);
  // String/NString: contents with '' undone; Operator: the operator.
  std::string text;
  ast::SourcePos pos;
  uint32_t end_offset = 0;  // byte offset just past the token in the batch
};

// Splits the batch into tokens, ending with one End token. Raises SqlException 105 for an
// unclosed string or quoted identifier, 113 for an unclosed /* comment and 102 for a
// character that starts no token.
std::vector<Token> Tokenize(std::string_view text);

// Whether the character can be part of a regular identifier: a letter of any script (every
// byte of a multi-byte UTF-8 character), a digit, '_', '@', '#' or '$'.
bool IsIdentifierPart(char c);

// True for the words T-SQL reserves; they cannot serve as regular identifiers or aliases.
bool IsReservedKeyword(std::string_view word);

}  // namespace orv::tsql
