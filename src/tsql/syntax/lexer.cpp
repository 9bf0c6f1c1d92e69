#include "tsql/syntax/lexer.h"

#include <cctype>

#include "tsql/types/sql_error.h"

namespace orv::tsql {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsNonAscii(char c) { return static_cast<unsigned char>(c) >= 0x80; }

// Letters of any script (every byte of a multi-byte UTF-8 character counts), '_', '@', '#'.
bool IsIdentStart(char c) {
  return IsAsciiLetter(c) || IsNonAscii(c) || c == '_' || c == '@' || c == '#';
}
bool IsIdentPart(char c) { return IsIdentStart(c) || IsDigit(c) || c == '$'; }
bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

[[noreturn]] void Fail(SqlError error, int32_t line) {
  error.line = line;
  throw SqlException(std::move(error));
}

class Lexer {
 public:
  explicit Lexer(std::string_view text) : text_(text) {}

  std::vector<Token> Run() {
    std::vector<Token> tokens;
    for (;;) {
      SkipSpaceAndComments();
      Token token;
      token.pos = Pos();
      if (at_ >= text_.size()) {
        token.kind = TokenKind::End;
        token.end_offset = at_;
        tokens.push_back(std::move(token));
        return tokens;
      }
      Scan(token);
      token.end_offset = at_;
      tokens.push_back(std::move(token));
    }
  }

 private:
  char Peek(size_t ahead = 0) const {
    return at_ + ahead < text_.size() ? text_[at_ + ahead] : '\0';
  }

  ast::SourcePos Pos() const {
    ast::SourcePos pos;
    pos.line = line_;
    pos.column = static_cast<int32_t>(at_ - line_start_) + 1;
    pos.offset = static_cast<uint32_t>(at_);
    return pos;
  }

  void Advance() {
    if (text_[at_] == '\n') {
      ++line_;
      line_start_ = at_ + 1;
    }
    ++at_;
  }

  void SkipSpaceAndComments() {
    while (at_ < text_.size()) {
      char c = text_[at_];
      if (IsSpace(c)) {
        Advance();
      } else if (c == '-' && Peek(1) == '-') {
        while (at_ < text_.size() && text_[at_] != '\n') Advance();
      } else if (c == '/' && Peek(1) == '*') {
        SkipBlockComment();
      } else {
        return;
      }
    }
  }

  // Block comments nest: "/* a /* b */ c */" is one comment.
  void SkipBlockComment() {
    int32_t start_line = line_;
    int depth = 0;
    while (at_ < text_.size()) {
      if (text_[at_] == '/' && Peek(1) == '*') {
        ++depth;
        Advance();
        Advance();
      } else if (text_[at_] == '*' && Peek(1) == '/') {
        Advance();
        Advance();
        if (--depth == 0) return;
      } else {
        Advance();
      }
    }
    SqlError error;
    error.number = 113;
    error.severity = 15;
    error.message = "Missing end comment mark '*/'.";
    Fail(std::move(error), start_line);
  }

  void Scan(Token& token) {
    char c = text_[at_];
    if ((c == 'N' || c == 'n') && Peek(1) == '\'') {
      Advance();
      token.kind = TokenKind::NString;
      token.text = ScanDelimited('\'', '\'');
    } else if (c == '\'') {
      token.kind = TokenKind::String;
      token.text = ScanDelimited('\'', '\'');
    } else if (c == '[') {
      token.kind = TokenKind::Quoted;
      token.text = ScanDelimited('[', ']');
    } else if (c == '"') {
      token.kind = TokenKind::Quoted;
      token.text = ScanDelimited('"', '"');
    } else if (c == '0' && (Peek(1) == 'x' || Peek(1) == 'X')) {
      // A binary constant: every hex digit after 0x belongs to it, never to an alias.
      size_t start = at_;
      Advance();
      Advance();
      while (at_ < text_.size() && std::isxdigit(static_cast<unsigned char>(text_[at_]))) Advance();
      token.kind = TokenKind::Binary;
      token.text = std::string(text_.substr(start, at_ - start));
    } else if (IsDigit(c) || (c == '.' && IsDigit(Peek(1)))) {
      ScanNumber(token);
    } else if (c == '$' && (IsDigit(Peek(1)) || (Peek(1) == '.' && IsDigit(Peek(2))))) {
      Advance();
      ScanNumber(token);
      token.kind = TokenKind::Money;
    } else if (IsIdentStart(c) || (c == '$' && IsAsciiLetter(Peek(1)))) {  // also $action
      size_t start = at_;
      while (at_ < text_.size() && IsIdentPart(text_[at_])) Advance();
      token.text = std::string(text_.substr(start, at_ - start));
      token.kind = c == '@' ? TokenKind::Variable : TokenKind::Identifier;
    } else {
      ScanOperator(token);
    }
  }

  // Reads a delimited string or identifier; a doubled closing delimiter stands for itself.
  std::string ScanDelimited(char open, char close) {
    int32_t start_line = line_;
    (void)open;
    Advance();  // the opening delimiter
    std::string out;
    while (at_ < text_.size()) {
      char c = text_[at_];
      if (c == close) {
        if (Peek(1) == close) {
          out.push_back(close);
          Advance();
          Advance();
          continue;
        }
        Advance();
        return out;
      }
      out.push_back(c);
      Advance();
    }
    Fail(MakeError(105, {out}), start_line);
  }

  void ScanNumber(Token& token) {
    size_t start = at_;
    token.kind = TokenKind::Integer;
    while (IsDigit(Peek())) Advance();
    if (Peek() == '.') {
      token.kind = TokenKind::Decimal;
      Advance();
      while (IsDigit(Peek())) Advance();
    }
    // An exponent only when digits follow: "1e3" is a float, "102From" is 102 then From.
    if ((Peek() == 'e' || Peek() == 'E') &&
        (IsDigit(Peek(1)) || ((Peek(1) == '+' || Peek(1) == '-') && IsDigit(Peek(2))))) {
      token.kind = TokenKind::Float;
      Advance();
      if (Peek() == '+' || Peek() == '-') Advance();
      while (IsDigit(Peek())) Advance();
    }
    token.text = std::string(text_.substr(start, at_ - start));
  }

  void ScanOperator(Token& token) {
    token.kind = TokenKind::Operator;
    char c = text_[at_];
    char n = Peek(1);
    auto take = [&](size_t len) {
      token.text = std::string(text_.substr(at_, len));
      for (size_t i = 0; i < len; ++i) Advance();
    };
    if ((c == '<' && (n == '>' || n == '=')) || (c == '>' && n == '=') ||
        (c == '!' && (n == '=' || n == '<' || n == '>'))) {
      take(2);
      return;
    }
    switch (c) {
      case '=':
      case '<':
      case '>':
      case '+':
      case '-':
      case '*':
      case '/':
      case '%':
      case '&':
      case '|':
      case '^':
      case '~':
      case '(':
      case ')':
      case ',':
      case '.':
      case ';':
      case ':':
        take(1);
        return;
      default:
        break;
    }
    Fail(MakeError(102, {std::string(1, c)}), line_);
  }

  std::string_view text_;
  size_t at_ = 0;
  int32_t line_ = 1;
  size_t line_start_ = 0;
};

}  // namespace

bool IsIdentifierPart(char c) { return IsIdentPart(c); }

std::vector<Token> Tokenize(std::string_view text) { return Lexer(text).Run(); }

}  // namespace orv::tsql
