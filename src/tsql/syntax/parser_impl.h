// The recursive-descent parser's internal class, shared by the parse_*.cpp files: token
// cursor, error reporting and one method per grammar rule.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tsql/syntax/ast.h"
#include "tsql/syntax/lexer.h"

namespace orv::tsql::parse {

// A new statement of kind T that starts at `pos`.
template <class T>
std::unique_ptr<T> NewStmt(const ast::SourcePos& pos) {
  auto stmt = std::make_unique<T>();
  stmt->pos = pos;
  return stmt;
}

class Parser {
 public:
  Parser(std::string_view text, std::vector<Token> tokens)
      : text_(text), tokens_(std::move(tokens)) {}

  ast::Batch ParseBatch();

  // --- token cursor (parser_core.cpp) ---
  const Token& Cur() const { return tokens_[at_]; }
  const Token& PeekAt(size_t ahead) const;
  bool AtEnd() const { return Cur().kind == TokenKind::End; }
  // True when the token is the unquoted word (any letter case).
  static bool IsWord(const Token& t, std::string_view word);
  bool IsKw(std::string_view word) const { return IsWord(Cur(), word); }
  bool IsOp(std::string_view op) const;
  static bool IsOpTok(const Token& t, std::string_view op);
  bool AcceptKw(std::string_view word);
  bool AcceptOp(std::string_view op);
  void ExpectKw(std::string_view word);
  void ExpectOp(std::string_view op);
  // An identifier that may name an object or column: a quoted one, or a regular one that is
  // not reserved.
  static bool IsNameToken(const Token& t);
  std::string ExpectName();
  // Incorrect syntax near the current token (the last real token at the end of the batch).
  [[noreturn]] void Error() const;
  [[noreturn]] void ErrorAt(size_t index) const;
  const Token& Prev() const { return tokens_[at_ - 1]; }
  uint32_t PrevEnd() const { return at_ == 0 ? 0 : tokens_[at_ - 1].end_offset; }

  // --- names and types (parser_core.cpp) ---
  // name ( '.' [name] )*: "a.b", "tempdb..#t". Up to max_parts parts.
  ast::Name ParseMultiPartName(size_t max_parts);
  ast::TypeName ParseType();
  std::vector<std::string> ParseNameList();  // '(' a, b ')'

  // --- expressions (parse_expr.cpp) ---
  ast::ExprPtr ParseExpr();

  // --- queries (parse_query.cpp) ---
  bool AtQueryStart() const;  // SELECT, or '(' leading (through more '(') to SELECT
  // With UNION / EXCEPT / INTERSECT chains and ORDER BY.
  std::unique_ptr<ast::QueryExpr> ParseQuery();
  std::vector<ast::TableRefPtr> ParseFromList();
  std::vector<ast::OrderItem> ParseOrderBy();

  // --- statements (parse_stmt.cpp) ---
  ast::StmtPtr ParseStatement();

 private:
  // expressions
  ast::ExprPtr ParseOr();
  ast::ExprPtr ParseAnd();
  ast::ExprPtr ParseNot();
  ast::ExprPtr ParsePredicate();
  ast::ExprPtr ParseAdditive();
  ast::ExprPtr ParseMultiplicative();
  ast::ExprPtr ParseUnary();
  ast::ExprPtr ParsePrimary();
  ast::ExprPtr ParseCollated();
  ast::ExprPtr ParseCase(const ast::SourcePos& pos);
  ast::ExprPtr ParseCast(const ast::SourcePos& pos, bool is_convert);
  ast::ExprPtr ParseFunction(ast::Name name, const ast::SourcePos& pos);
  ast::ExprPtr ParseFunctionCall(ast::Name name, const ast::SourcePos& pos);
  std::unique_ptr<ast::WindowSpec> ParseOver();
  ast::WindowBound ParseWindowBound();
  ast::ExprPtr ParseExistsBody(const ast::SourcePos& pos, bool negated);
  ast::ExprPtr ParseInTail(ast::ExprPtr left, bool negated);
  ast::ExprPtr ParseSubqueryInParens();
  // Variable assignment (parse_stmt.cpp): whether the cursor is at "@v =" or "@v op=", and
  // reading one from "@v" on, giving the value assigned ("@v += e" gives "@v + (e)").
  bool AtAssignment() const;
  ast::ExprPtr ParseAssignedValue();

  // queries
  std::unique_ptr<ast::QueryExpr> ParseIntersection();
  std::unique_ptr<ast::QueryExpr> ParseQueryTerm();
  std::unique_ptr<ast::QuerySpec> ParseQuerySpec();

  // GROUP BY with ROLLUP, CUBE or GROUPING SETS (parse_grouping.cpp). The grouping clause is
  // read into the sets it stands for, each a list of grouping columns; a block grouped so is
  // then parsed once per set, and the blocks are joined by UNION ALL.
  struct GroupingColumn {
    size_t start = 0;  // the token the column's expression starts at
    std::string key;   // its tokens, for telling the same column written twice
  };
  struct GroupingClause {
    std::vector<GroupingColumn> columns;
    std::vector<std::vector<size_t>> sets;  // indexes into columns
  };
  // Reads the list after GROUP BY; empty when it is a plain list of expressions.
  std::optional<GroupingClause> ParseGroupingClause();
  std::unique_ptr<ast::QueryExpr> ExpandGroupingSets(size_t spec_start,
                                                     const GroupingClause& clause);
  // GROUPING(c) and GROUPING_ID(c, ...) in the select list and HAVING of a block grouped by
  // `present`, and the columns of `absent` (outside aggregates) as NULL.
  static void ApplyGroupingSet(ast::QuerySpec& spec, const std::vector<const ast::Expr*>& present,
                               const std::vector<const ast::Expr*>& absent);
  void ParseTop(ast::ExprPtr& top, bool* percent, bool* with_ties);
  ast::SelectItem ParseSelectItem();
  ast::TableRefPtr ParseTableSource();
  ast::TableRefPtr ParseTablePrimary();
  ast::TableRefPtr ParseTableOperand();
  // FOR XML ... after a query, and xml.value('path', 'type') after an expression (parse_xml.cpp).
  std::shared_ptr<const ast::ForClause> ParseForXml();
  // A name in parentheses, as a string (PATH('row'), ROOT('list')), into `out`; nothing when
  // no parenthesis follows.
  void ParseStringInParens(std::string& out);
  // FOR JSON ... after a query (parse_for_json.cpp).
  std::shared_ptr<const ast::ForClause> ParseForJson();
  ast::ExprPtr ParseXmlValue(ast::ExprPtr subject);
  // source PIVOT (...) alias, source UNPIVOT (...) alias: derived tables (parse_pivot.cpp).
  ast::TableRefPtr ParsePivot(ast::TableRefPtr source);
  ast::TableRefPtr ParseUnpivot(ast::TableRefPtr source);
  std::string ParseOptionalAlias();

  // statements
  ast::StmtPtr ParseWithStatement();
  // A statement that starts with WITH must follow a semicolon (or start the batch or block):
  // Msg 319 otherwise.
  void CheckWithAfterTerminator(bool terminated) const;
  ast::WithClause ParseWithClause();
  void ParseQueryOptions(ast::QueryOptions& options);
  std::vector<ast::OutputClause> ParseOutput();
  ast::StmtPtr ParseSelectStmt();
  ast::StmtPtr ParseInsert();
  ast::StmtPtr ParseUpdate();
  ast::StmtPtr ParseDelete();
  ast::StmtPtr ParseMerge();
  void ParseSetList(std::vector<ast::SetClause>& sets);
  ast::StmtPtr ParseCreate();
  ast::StmtPtr ParseCreateTable();
  ast::StmtPtr ParseAlterTable();  // after ALTER TABLE
  ast::StmtPtr ParseCreateView();
  ast::StmtPtr ParseCreateIndex(bool unique);
  ast::StmtPtr ParseDrop();
  ast::StmtPtr ParseTruncate();
  ast::StmtPtr ParseIf();
  ast::StmtPtr ParseBlock();
  ast::StmtPtr ParseTransaction();
  ast::StmtPtr ParseSet();
  ast::StmtPtr ParseSetVariable();
  ast::StmtPtr ParsePrint();
  ast::StmtPtr ParseDeclare();
  // cursors (parse_cursor.cpp)
  ast::StmtPtr ParseDeclareCursor(const ast::SourcePos& pos);
  ast::StmtPtr ParseSetCursor(const ast::SourcePos& pos, std::string variable);
  void ParseCursorBody(ast::DeclareCursorStmt& stmt, bool iso);
  ast::StmtPtr ParseCursorStatement();
  void ParseCursorName(std::string& cursor, bool& global);
  bool ParseCurrentOf(std::optional<ast::CurrentOf>& current_of);
  // procedural statements (parse_proc.cpp)
  ast::StmtPtr ParseWhile();
  ast::StmtPtr ParseReturn();
  ast::StmtPtr ParseTry();
  ast::StmtPtr ParseRaiseError();
  ast::StmtPtr ParseThrow();
  ast::StmtPtr ParseExec();
  ast::StmtPtr ParseCreateProc(bool alter, bool or_alter, uint32_t start);
  void ParseTableBody(ast::CreateTableStmt& table);  // '(' columns and constraints ')'
  // Whether the cursor is at the start of a value (an expression operand), not of a statement.
  bool AtValueStart() const;
  // The statements up to END keyword (consumed): "BEGIN TRY ... END TRY" and the like.
  std::vector<ast::StmtPtr> ParseStatementsUntilEnd();
  void ParseColumnDef(ast::CreateTableStmt& table);
  void ParseTableConstraint(ast::CreateTableStmt& table);
  void SkipStorageOptions();
  void SkipParenthesized();  // from "(" to its ")"
  // CHECK's parenthesized condition (after the CHECK keyword), added to table.checks.
  void ParseCheck(ast::CreateTableStmt& table, std::string name, const std::string& column);
  std::vector<ast::Name> ParseDropNames(bool* if_exists);

  // Bounds the recursion so that deeply nested input fails cleanly (Msg 191) instead of
  // exhausting the stack.
  class DepthGuard {
   public:
    explicit DepthGuard(Parser& parser);
    ~DepthGuard() { --parser_.depth_; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;

   private:
    Parser& parser_;
  };

  std::string_view text_;
  std::vector<Token> tokens_;
  size_t at_ = 0;
  int depth_ = 0;
  // Whether a CREATE PROCEDURE may start here: only as the first statement of the batch.
  bool at_batch_start_ = true;
  // DECLARE a, b: extra statements produced by one DECLARE, emitted after it.
  std::vector<ast::StmtPtr> pending_;
  // The grouping sets of the query block ParseQuerySpec last read, for ParseQueryTerm.
  std::optional<GroupingClause> last_grouping_;

  friend class StatementParserAccess;
};

std::string ToUpper(std::string_view s);
std::string ToLower(std::string_view s);

}  // namespace orv::tsql::parse
