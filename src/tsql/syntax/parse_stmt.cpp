// Statements: queries, INSERT/UPDATE/DELETE/MERGE (each with common table expressions before
// it and OPTION hints after it), CREATE/DROP of tables, views and indexes, TRUNCATE, IF/ELSE,
// BEGIN/END, SET (options and variables), PRINT, DECLARE, and the transaction statements
// (BEGIN TRAN, COMMIT, ROLLBACK, SAVE TRAN).
#include <cstdint>

#include "tsql/syntax/parser_impl.h"
#include "tsql/types/sql_error.h"

namespace orv::tsql::parse {
ast::StmtPtr Parser::ParseStatement() {
  DepthGuard guard(*this);
  ast::SourcePos pos = Cur().pos;
  const bool batch_start = at_batch_start_;
  at_batch_start_ = false;
  ast::StmtPtr stmt;
  if (Cur().kind == TokenKind::Identifier && IsOpTok(PeekAt(1), ":") &&
      !IsReservedKeyword(Cur().text)) {
    auto label = NewStmt<ast::LabelStmt>(pos);
    label->label = Cur().text;
    at_ += 2;
    stmt = std::move(label);
  } else if (IsKw("SELECT") || (IsOp("(") && AtQueryStart()))
    stmt = ParseSelectStmt();
  else if (IsKw("WITH"))
    stmt = ParseWithStatement();
  else if (IsKw("INSERT"))
    stmt = ParseInsert();
  else if (IsKw("UPDATE"))
    stmt = ParseUpdate();
  else if (IsKw("DELETE"))
    stmt = ParseDelete();
  else if (IsKw("MERGE"))
    stmt = ParseMerge();
  else if (IsKw("CREATE") || IsKw("ALTER")) {
    at_batch_start_ = batch_start;
    stmt = ParseCreate();
  }
  else if (IsKw("DROP"))
    stmt = ParseDrop();
  else if (IsKw("TRUNCATE"))
    stmt = ParseTruncate();
  else if (IsKw("IF"))
    stmt = ParseIf();
  else if (IsKw("BEGIN") && (IsWord(PeekAt(1), "TRAN") || IsWord(PeekAt(1), "TRANSACTION")))
    stmt = ParseTransaction();
  else if (IsKw("BEGIN") && IsWord(PeekAt(1), "TRY"))
    stmt = ParseTry();
  else if (IsKw("BEGIN"))
    stmt = ParseBlock();
  else if (IsKw("COMMIT") || IsKw("ROLLBACK") || IsKw("SAVE"))
    stmt = ParseTransaction();
  else if (IsKw("SET"))
    stmt = ParseSet();
  else if (IsKw("PRINT"))
    stmt = ParsePrint();
  else if (IsKw("DECLARE"))
    stmt = ParseDeclare();
  else if (IsKw("WHILE"))
    stmt = ParseWhile();
  else if (IsKw("BREAK")) {
    stmt = NewStmt<ast::BreakStmt>(pos);
    ++at_;
  } else if (IsKw("CONTINUE")) {
    stmt = NewStmt<ast::ContinueStmt>(pos);
    ++at_;
  } else if (IsKw("RETURN"))
    stmt = ParseReturn();
  else if (IsKw("GOTO")) {
    ++at_;
    auto jump = NewStmt<ast::GotoStmt>(pos);
    jump->label = ExpectName();
    stmt = std::move(jump);
  } else if (IsKw("RAISERROR"))
    stmt = ParseRaiseError();
  else if (IsKw("THROW"))
    stmt = ParseThrow();
  else if (IsKw("EXEC") || IsKw("EXECUTE"))
    stmt = ParseExec();
  else if (IsKw("OPEN") || IsKw("FETCH") || IsKw("CLOSE") || IsKw("DEALLOCATE"))
    stmt = ParseCursorStatement();
  else
    Error();
  stmt->pos = pos;
  stmt->end_offset = PrevEnd();
  return stmt;
}

ast::StmtPtr Parser::ParseSelectStmt() {
  auto stmt = NewStmt<ast::SelectStmt>(Cur().pos);
  stmt->query = ParseQuery();
  ParseQueryOptions(stmt->options);
  return stmt;
}

// WITH name [(columns)] AS (query) [, ...] before a SELECT, INSERT, UPDATE or DELETE.
ast::WithClause Parser::ParseWithClause() {
  ExpectKw("WITH");
  ast::WithClause ctes;
  do {
    ast::CommonTableExpr cte;
    cte.pos = Cur().pos;
    cte.name = ExpectName();
    if (IsOp("(")) cte.columns = ParseNameList();
    ExpectKw("AS");
    ExpectOp("(");
    if (!AtQueryStart()) Error();
    cte.query = ParseQuery();
    ExpectOp(")");
    ctes.push_back(std::move(cte));
  } while (AcceptOp(","));
  return ctes;
}

ast::StmtPtr Parser::ParseWithStatement() {
  ast::WithClause ctes = ParseWithClause();
  if (IsKw("SELECT") || (IsOp("(") && AtQueryStart())) {
    ast::StmtPtr stmt = ParseSelectStmt();
    stmt->As<ast::SelectStmt>().query->with = std::move(ctes);
    return stmt;
  }
  ast::StmtPtr stmt;
  if (IsKw("INSERT")) {
    stmt = ParseInsert();
    stmt->As<ast::InsertStmt>().with = std::move(ctes);
  } else if (IsKw("UPDATE")) {
    stmt = ParseUpdate();
    stmt->As<ast::UpdateStmt>().with = std::move(ctes);
  } else if (IsKw("DELETE")) {
    stmt = ParseDelete();
    stmt->As<ast::DeleteStmt>().with = std::move(ctes);
  } else if (IsKw("MERGE")) {
    stmt = ParseMerge();
    stmt->As<ast::MergeStmt>().with = std::move(ctes);
  } else {
    Error();
  }
  return stmt;
}

// OUTPUT items INTO target [(columns)] and/or OUTPUT items (to the client), in that order.
std::vector<ast::OutputClause> Parser::ParseOutput() {
  std::vector<ast::OutputClause> clauses;
  while (IsWord(Cur(), "OUTPUT") && clauses.size() < 2) {
    if (!clauses.empty() && clauses.back().into.empty()) Error();  // the client's comes last
    ast::OutputClause clause;
    clause.pos = Cur().pos;
    ++at_;
    do {
      clause.items.push_back(ParseSelectItem());
    } while (AcceptOp(","));
    if (AcceptKw("INTO")) {
      if (Cur().kind == TokenKind::Variable) {
        clause.into.push_back(Cur().text);
        ++at_;
      } else {
        clause.into = ParseMultiPartName(3);
      }
      if (IsOp("(")) clause.into_columns = ParseNameList();
    }
    clauses.push_back(std::move(clause));
  }
  return clauses;
}

// OPTION (hint, ...) at the end of a statement. MAXRECURSION n is kept (Msg 310 above 32767);
// the other hints only steer a plan and are skipped.
void Parser::ParseQueryOptions(ast::QueryOptions& options) {
  if (!IsKw("OPTION") || !IsOpTok(PeekAt(1), "(")) return;
  at_ += 2;
  do {
    if (AcceptKw("MAXRECURSION")) {
      if (Cur().kind != TokenKind::Integer) Error();
      const Token& n = Cur();
      int64_t value = 0;
      try {
        value = std::stoll(n.text);
      } catch (const std::exception&) {
        value = INT64_MAX;
      }
      if (value > 32767) {
        SqlError error = MakeError(310, {n.text, "32767"});
        error.line = n.pos.line;
        throw SqlException(std::move(error));
      }
      options.max_recursion = static_cast<int32_t>(value);
      ++at_;
      continue;
    }
    if (IsOp(")") || IsOp(",")) Error();
    int depth = 0;
    while (!AtEnd() && (depth > 0 || (!IsOp(",") && !IsOp(")")))) {
      if (IsOp("(")) ++depth;
      if (IsOp(")")) --depth;
      ++at_;
    }
  } while (AcceptOp(","));
  ExpectOp(")");
}

ast::StmtPtr Parser::ParseInsert() {
  auto stmt = NewStmt<ast::InsertStmt>(Cur().pos);
  ExpectKw("INSERT");
  AcceptKw("INTO");
  stmt->target = ParseMultiPartName(3);
  if (IsOp("(") && !AtQueryStart()) stmt->columns = ParseNameList();
  stmt->output = ParseOutput();
  if (AcceptKw("VALUES")) {
    do {
      ExpectOp("(");
      std::vector<ast::ExprPtr> row;
      do {
        if (IsKw("DEFAULT")) {
          auto e = std::make_unique<ast::Expr>();
          e->kind = ast::ExprKind::Default;
          e->pos = Cur().pos;
          ++at_;
          row.push_back(std::move(e));
        } else {
          row.push_back(ParseExpr());
        }
      } while (AcceptOp(","));
      ExpectOp(")");
      stmt->values.push_back(std::move(row));
    } while (AcceptOp(","));
  } else if (IsKw("DEFAULT") && IsWord(PeekAt(1), "VALUES")) {
    at_ += 2;
    stmt->default_values = true;
  } else if (AtQueryStart()) {
    stmt->select = ParseQuery();
  } else {
    Error();
  }
  ParseQueryOptions(stmt->options);
  return stmt;
}

ast::StmtPtr Parser::ParseUpdate() {
  auto stmt = NewStmt<ast::UpdateStmt>(Cur().pos);
  ExpectKw("UPDATE");
  if (IsKw("TOP")) ParseTop(stmt->top, nullptr, nullptr);
  stmt->target = ParseMultiPartName(3);
  ParseSetList(stmt->sets);
  stmt->output = ParseOutput();
  if (AcceptKw("FROM")) stmt->from = ParseFromList();
  if (AcceptKw("WHERE") && !ParseCurrentOf(stmt->current_of)) stmt->where = ParseExpr();
  ParseQueryOptions(stmt->options);
  return stmt;
}

// SET column = value | DEFAULT, ...
void Parser::ParseSetList(std::vector<ast::SetClause>& sets) {
  ExpectKw("SET");
  do {
    ast::SetClause clause;
    clause.column = ParseMultiPartName(4);
    ExpectOp("=");
    if (IsKw("DEFAULT")) {
      clause.value = std::make_unique<ast::Expr>();
      clause.value->kind = ast::ExprKind::Default;
      clause.value->pos = Cur().pos;
      ++at_;
    } else {
      clause.value = ParseExpr();
    }
    sets.push_back(std::move(clause));
  } while (AcceptOp(","));
}

// MERGE [TOP (n) [PERCENT]] [INTO] target [[AS] alias] USING source ON condition WHEN ...
// [OUTPUT ...] [OPTION (...)]; the statement must end with a semicolon (Msg 10713).
ast::StmtPtr Parser::ParseMerge() {
  auto stmt = NewStmt<ast::MergeStmt>(Cur().pos);
  ExpectKw("MERGE");
  if (IsKw("TOP")) ParseTop(stmt->top, &stmt->top_percent, nullptr);
  AcceptKw("INTO");
  stmt->target = ParseMultiPartName(3);
  if (AcceptKw("AS")) {
    stmt->target_alias = ExpectName();
  } else if (IsNameToken(Cur()) && !IsWord(Cur(), "USING")) {
    stmt->target_alias = ExpectName();
  }
  if (!IsWord(Cur(), "USING")) Error();
  ++at_;
  stmt->source = ParseTableSource();
  ExpectKw("ON");
  stmt->on = ParseExpr();
  using When = ast::MergeClause::When;
  while (IsKw("WHEN")) {
    ast::MergeClause clause;
    clause.pos = Cur().pos;
    ++at_;
    if (AcceptKw("NOT")) {
      if (!IsWord(Cur(), "MATCHED")) Error();
      ++at_;
      clause.when = When::NotMatchedByTarget;
      if (AcceptKw("BY")) {
        if (IsWord(Cur(), "SOURCE")) {
          clause.when = When::NotMatchedBySource;
        } else if (!IsWord(Cur(), "TARGET")) {
          Error();
        }
        ++at_;
      }
    } else {
      if (!IsWord(Cur(), "MATCHED")) Error();
      ++at_;
    }
    if (AcceptKw("AND")) clause.condition = ParseExpr();
    ExpectKw("THEN");
    if (clause.when == When::NotMatchedByTarget) {
      ExpectKw("INSERT");
      clause.action = ast::MergeClause::Action::Insert;
      if (IsOp("(")) clause.columns = ParseNameList();
      if (IsKw("DEFAULT") && IsWord(PeekAt(1), "VALUES")) {
        at_ += 2;
      } else {
        ExpectKw("VALUES");
        ExpectOp("(");
        do {
          clause.values.push_back(ParseExpr());
        } while (AcceptOp(","));
        ExpectOp(")");
      }
    } else if (AcceptKw("DELETE")) {
      clause.action = ast::MergeClause::Action::Delete;
    } else {
      ExpectKw("UPDATE");
      clause.action = ast::MergeClause::Action::Update;
      ParseSetList(clause.sets);
    }
    stmt->clauses.push_back(std::move(clause));
  }
  if (stmt->clauses.empty()) Error();
  stmt->output = ParseOutput();
  ParseQueryOptions(stmt->options);
  if (!IsOp(";")) {
    SqlError error = MakeError(10713);
    error.line = Cur().pos.line;
    throw SqlException(std::move(error));
  }
  return stmt;
}

ast::StmtPtr Parser::ParseDelete() {
  auto stmt = NewStmt<ast::DeleteStmt>(Cur().pos);
  ExpectKw("DELETE");
  if (IsKw("TOP")) ParseTop(stmt->top, nullptr, nullptr);
  AcceptKw("FROM");
  stmt->target = ParseMultiPartName(3);
  stmt->output = ParseOutput();
  if (AcceptKw("FROM")) stmt->from = ParseFromList();
  if (AcceptKw("WHERE") && !ParseCurrentOf(stmt->current_of)) stmt->where = ParseExpr();
  ParseQueryOptions(stmt->options);
  return stmt;
}

ast::StmtPtr Parser::ParseCreate() {
  const uint32_t start = Cur().pos.offset;
  const bool batch_start = at_batch_start_;
  at_batch_start_ = false;
  auto proc_word = [&] { return AcceptKw("PROC") || AcceptKw("PROCEDURE"); };
  auto create_proc = [&](bool alter, bool or_alter) {
    // The body runs to the end of the batch, so a procedure must be the batch's only statement.
    if (!batch_start) ThrowError(111);
    return ParseCreateProc(alter, or_alter, start);
  };
  if (AcceptKw("ALTER")) {
    if (AcceptKw("TABLE")) return ParseAlterTable();
    if (!proc_word()) Error();
    return create_proc(true, false);
  }
  ExpectKw("CREATE");
  if (IsKw("OR") && IsWord(PeekAt(1), "ALTER")) {
    at_ += 2;
    if (!proc_word()) Error();
    return create_proc(false, true);
  }
  if (proc_word()) return create_proc(false, false);
  if (AcceptKw("TABLE")) return ParseCreateTable();
  if (AcceptKw("VIEW")) return ParseCreateView();
  bool unique = AcceptKw("UNIQUE");
  if (!AcceptKw("CLUSTERED")) AcceptKw("NONCLUSTERED");
  if (AcceptKw("INDEX")) return ParseCreateIndex(unique);
  Error();
}

ast::StmtPtr Parser::ParseCreateTable() {
  auto stmt = NewStmt<ast::CreateTableStmt>(Cur().pos);
  stmt->name = ParseMultiPartName(3);
  ParseTableBody(*stmt);
  SkipStorageOptions();
  return stmt;
}

// Where and how SQL Server stores a table or an index, as scripts written by its tools give
// them: WITH (option = value, ...), WITH FILLFACTOR = n, ON filegroup [(column)],
// TEXTIMAGE_ON / FILESTREAM_ON filegroup. They change nothing here and are passed over.
void Parser::SkipStorageOptions() {
  auto name_like = [](const Token& t) { return t.kind == TokenKind::Identifier || t.kind == TokenKind::Quoted; };
  for (;;) {
    if (IsKw("WITH") && IsOpTok(PeekAt(1), "(")) {
      ++at_;
      SkipParenthesized();
    } else if (IsKw("WITH") && IsWord(PeekAt(1), "FILLFACTOR")) {
      at_ += 2;
      ExpectOp("=");
      if (Cur().kind != TokenKind::Integer) Error();
      ++at_;
    } else if ((IsKw("ON") || IsKw("TEXTIMAGE_ON") || IsKw("FILESTREAM_ON")) && name_like(PeekAt(1))) {
      at_ += 2;
      if (IsOp("(")) SkipParenthesized();
    } else {
      return;
    }
  }
}

void Parser::SkipParenthesized() {
  ExpectOp("(");
  for (int depth = 1; depth > 0; ++at_) {
    if (AtEnd()) Error();
    if (IsOp("(")) ++depth;
    if (IsOp(")")) --depth;
  }
}

void Parser::ParseTableBody(ast::CreateTableStmt& table) {
  auto* stmt = &table;
  ExpectOp("(");
  for (;;) {
    if (IsKw("CONSTRAINT") || IsKw("PRIMARY") || IsKw("UNIQUE") || IsKw("CHECK")) {
      ParseTableConstraint(*stmt);
    } else {
      ParseColumnDef(*stmt);
    }
    if (!AcceptOp(",")) break;
    if (IsOp(")")) break;  // a trailing comma before ')' is accepted
  }
  ExpectOp(")");
}

void Parser::ParseColumnDef(ast::CreateTableStmt& table) {
  ast::ColumnDef column;
  column.pos = Cur().pos;
  column.name = ExpectName();
  if (AcceptKw("AS")) {
    const uint32_t start = Cur().pos.offset;
    column.computed = ParseExpr();
    column.computed_text = std::string(text_.substr(start, PrevEnd() - start));
    AcceptKw("PERSISTED");
  } else {
    column.type = ParseType();
  }
  std::string constraint_name;
  for (;;) {
    if (AcceptKw("NULL")) {
      column.nullable = true;
    } else if (IsKw("NOT") && IsWord(PeekAt(1), "NULL")) {
      at_ += 2;
      column.nullable = false;
    } else if (AcceptKw("DEFAULT")) {
      column.default_value = ParseExpr();
      column.default_name = std::move(constraint_name);
      constraint_name.clear();
    } else if (AcceptKw("IDENTITY")) {
      column.identity = true;
      if (AcceptOp("(")) {
        auto signed_int = [&]() -> int64_t {
          bool negative = AcceptOp("-");
          if (!negative) AcceptOp("+");
          if (Cur().kind != TokenKind::Integer) Error();
          int64_t v = 0;
          try {
            v = std::stoll(Cur().text);
          } catch (const std::exception&) {
            Error();
          }
          ++at_;
          return negative ? -v : v;
        };
        column.identity_seed = signed_int();
        ExpectOp(",");
        column.identity_increment = signed_int();
        ExpectOp(")");
      }
    } else if (IsKw("PRIMARY")) {
      ++at_;
      ExpectKw("KEY");
      if (!AcceptKw("CLUSTERED")) AcceptKw("NONCLUSTERED");
      column.primary_key = true;
      column.key_name = std::move(constraint_name);
    } else if (AcceptKw("UNIQUE")) {
      if (!AcceptKw("CLUSTERED")) AcceptKw("NONCLUSTERED");
      column.unique = true;
      column.key_name = std::move(constraint_name);
    } else if (AcceptKw("CHECK")) {
      ParseCheck(table, std::move(constraint_name), column.name);
      constraint_name.clear();
    } else if (AcceptKw("CONSTRAINT")) {
      constraint_name = ExpectName();  // the constraint itself follows
    } else if (AcceptKw("COLLATE")) {
      column.type.collation = ExpectName();
    } else {
      break;
    }
  }
  table.columns.push_back(std::move(column));
}

void Parser::ParseCheck(ast::CreateTableStmt& table, std::string name, const std::string& column) {
  ast::CheckDef check;
  check.name = std::move(name);
  check.column = column;
  ExpectOp("(");
  const uint32_t start = Cur().pos.offset;
  check.condition = ParseExpr();
  check.text = std::string(text_.substr(start, PrevEnd() - start));
  ExpectOp(")");
  table.checks.push_back(std::move(check));
}

void Parser::ParseTableConstraint(ast::CreateTableStmt& table) {
  ast::KeyDef key;
  if (AcceptKw("CONSTRAINT")) key.name = ExpectName();
  if (AcceptKw("CHECK")) {
    ParseCheck(table, std::move(key.name), "");
    return;
  }
  if (IsKw("PRIMARY")) {
    ++at_;
    ExpectKw("KEY");
    key.primary = true;
  } else {
    ExpectKw("UNIQUE");
  }
  if (!AcceptKw("CLUSTERED")) AcceptKw("NONCLUSTERED");
  ExpectOp("(");
  do {
    key.columns.push_back(ExpectName());
    if (!AcceptKw("ASC")) AcceptKw("DESC");
  } while (AcceptOp(","));
  ExpectOp(")");
  SkipStorageOptions();
  table.keys.push_back(std::move(key));
}

ast::StmtPtr Parser::ParseAlterTable() {
  using Action = ast::AlterTableStmt::Action;
  auto stmt = NewStmt<ast::AlterTableStmt>(Prev().pos);
  // A table variable's definition cannot change: its name is no table name here.
  if (Cur().kind == TokenKind::Variable) Error();
  stmt->table = ParseMultiPartName(3);
  auto constraint = [&](std::string clause) {
    stmt->action = Action::Constraint;
    stmt->constraint_clause = std::move(clause);
    // The rest of the clause is passed over up to the next statement (the statement is refused
    // when it runs): its parenthesized parts whole, and its words up to one that starts a
    // statement (DELETE and UPDATE after ON belong to a foreign key).
    static constexpr std::string_view kStatementWords[] = {
        "SELECT", "INSERT", "UPDATE", "DELETE", "MERGE",    "CREATE", "ALTER",  "DROP",
        "EXEC",   "EXECUTE", "DECLARE", "SET",  "IF",       "WHILE",  "BEGIN",  "END",
        "PRINT",  "RETURN", "TRUNCATE", "COMMIT", "ROLLBACK", "SAVE", "RAISERROR", "THROW",
        "OPEN",   "FETCH",  "CLOSE",  "DEALLOCATE", "WITH",  "GOTO",   "BREAK", "CONTINUE"};
    if (!AtEnd()) ++at_;  // the clause's first word (which may be WITH)
    for (int depth = 0; !AtEnd(); ++at_) {
      if (IsOp("(")) {
        ++depth;
      } else if (IsOp(")")) {
        if (depth == 0) break;
        --depth;
      } else if (depth == 0 && IsOp(";")) {
        break;
      } else if (depth == 0 && Cur().kind == TokenKind::Identifier && !IsWord(Prev(), "ON")) {
        bool starts = false;
        for (std::string_view w : kStatementWords) starts = starts || IsKw(w);
        if (starts) break;
      }
    }
    return std::move(stmt);
  };
  // WITH CHECK | NOCHECK: whether the rows there are tested against the constraints added.
  if (IsKw("WITH") && (IsWord(PeekAt(1), "CHECK") || IsWord(PeekAt(1), "NOCHECK"))) {
    stmt->nocheck = IsWord(PeekAt(1), "NOCHECK");
    stmt->with_check = !stmt->nocheck;
    at_ += 2;
    if (!IsKw("ADD") && !(IsKw("CHECK") && IsWord(PeekAt(1), "CONSTRAINT"))) {
      at_ -= 2;
      return constraint("ADD CONSTRAINT");
    }
  }
  if ((IsKw("CHECK") || IsKw("NOCHECK")) && IsWord(PeekAt(1), "CONSTRAINT")) {
    // CHECK | NOCHECK CONSTRAINT name, ... | ALL: enables or disables constraints.
    stmt->action = IsKw("CHECK") ? Action::EnableConstraints : Action::DisableConstraints;
    at_ += 2;
    if (!AcceptKw("ALL")) {
      do {
        stmt->drops.push_back({ExpectName(), false});
      } while (AcceptOp(","));
    }
    return stmt;
  }
  if (AcceptKw("ADD")) {
    const auto at_word = [&](std::string_view word) {
      return IsWord(PeekAt(IsKw("CONSTRAINT") ? 2 : 0), word);
    };
    if (at_word("CHECK")) {
      stmt->action = Action::AddChecks;
      ast::CreateTableStmt checks;
      do {
        if (!at_word("CHECK")) Error();
        ParseTableConstraint(checks);
      } while (AcceptOp(","));
      stmt->checks = std::move(checks.checks);
      return stmt;
    }
    if (at_word("DEFAULT")) {
      // [CONSTRAINT name] DEFAULT expr FOR column.
      if (AcceptKw("CONSTRAINT")) stmt->default_name = ExpectName();
      ExpectKw("DEFAULT");
      stmt->action = Action::AddDefault;
      const uint32_t start = Cur().pos.offset;
      stmt->default_value = ParseExpr();
      stmt->default_text = std::string(text_.substr(start, PrevEnd() - start));
      ExpectKw("FOR");
      stmt->default_column = ExpectName();
      return stmt;
    }
    // [CONSTRAINT name] PRIMARY KEY | UNIQUE (columns), one or more.
    auto at_key = [&] {
      const size_t k = IsKw("CONSTRAINT") ? 2 : 0;
      return IsWord(PeekAt(k), "PRIMARY") || IsWord(PeekAt(k), "UNIQUE");
    };
    if (at_key()) {
      stmt->action = Action::AddKeys;
      ast::CreateTableStmt keys;
      do {
        if (!at_key()) Error();
        ParseTableConstraint(keys);
      } while (AcceptOp(","));
      stmt->keys = std::move(keys.keys);
      return stmt;
    }
    if (IsKw("CONSTRAINT") || IsKw("PRIMARY") || IsKw("UNIQUE") || IsKw("CHECK") || IsKw("FOREIGN") ||
        IsKw("DEFAULT")) {
      return constraint("ADD CONSTRAINT");
    }
    stmt->action = Action::AddColumns;
    ast::CreateTableStmt columns;
    do {
      ParseColumnDef(columns);
      bool with_values = false;
      if (IsKw("WITH") && IsWord(PeekAt(1), "VALUES")) {
        at_ += 2;
        with_values = true;
      }
      stmt->with_values.push_back(with_values);
    } while (AcceptOp(","));
    stmt->columns = std::move(columns.columns);
    if (!columns.checks.empty()) {
      stmt->action = Action::Constraint;  // refused when the statement runs
      stmt->constraint_clause = "ADD CHECK";
    }
    return stmt;
  }
  if (AcceptKw("ALTER")) {
    ExpectKw("COLUMN");
    stmt->action = Action::AlterColumn;
    ast::ColumnDef column;
    column.pos = Cur().pos;
    column.name = ExpectName();
    column.type = ParseType();
    if (AcceptKw("COLLATE")) column.type.collation = ExpectName();
    if (AcceptKw("NULL")) {
      column.nullable = true;
    } else if (IsKw("NOT") && IsWord(PeekAt(1), "NULL")) {
      at_ += 2;
      column.nullable = false;
    }
    stmt->columns.push_back(std::move(column));
    return stmt;
  }
  ExpectKw("DROP");
  if (IsKw("CONSTRAINT")) {
    // DROP CONSTRAINT [IF EXISTS] name, ...
    stmt->action = Action::DropConstraints;
    do {
      AcceptKw("CONSTRAINT");
      bool if_exists = false;
      if (IsKw("IF") && IsWord(PeekAt(1), "EXISTS")) {
        at_ += 2;
        if_exists = true;
      }
      stmt->drops.push_back({ExpectName(), if_exists});
    } while (AcceptOp(","));
    return stmt;
  }
  if (!IsKw("COLUMN")) return constraint("DROP CONSTRAINT");
  stmt->action = Action::DropColumns;
  bool if_exists = false;
  do {
    if (AcceptKw("COLUMN")) {
      if_exists = false;
      if (IsKw("IF") && IsWord(PeekAt(1), "EXISTS")) {
        at_ += 2;
        if_exists = true;
      }
    } else if (IsKw("CONSTRAINT")) {
      return constraint("DROP CONSTRAINT");
    }
    stmt->drops.push_back({ExpectName(), if_exists});
  } while (AcceptOp(","));
  return stmt;
}

ast::StmtPtr Parser::ParseCreateView() {
  auto stmt = NewStmt<ast::CreateViewStmt>(Cur().pos);
  stmt->name = ParseMultiPartName(3);
  if (IsOp("(")) stmt->columns = ParseNameList();
  ExpectKw("AS");
  uint32_t start = Cur().pos.offset;
  ast::WithClause ctes;
  if (IsKw("WITH")) ctes = ParseWithClause();
  if (!AtQueryStart()) Error();
  stmt->query = ParseQuery();
  stmt->query->with = std::move(ctes);
  stmt->query_text = std::string(text_.substr(start, PrevEnd() - start));
  return stmt;
}

ast::StmtPtr Parser::ParseCreateIndex(bool unique) {
  auto stmt = NewStmt<ast::CreateIndexStmt>(Cur().pos);
  stmt->unique = unique;
  stmt->index_name = ExpectName();
  ExpectKw("ON");
  stmt->table = ParseMultiPartName(3);
  ExpectOp("(");
  do {
    stmt->columns.push_back(ExpectName());
    if (!AcceptKw("ASC")) AcceptKw("DESC");
  } while (AcceptOp(","));
  ExpectOp(")");
  // INCLUDE (columns) changes nothing here.
  if (AcceptKw("INCLUDE")) ParseNameList();
  if (AcceptKw("WHERE")) {
    const uint32_t start = Cur().pos.offset;
    stmt->filter = ParseExpr();
    stmt->filter_text = std::string(text_.substr(start, PrevEnd() - start));
  }
  // Of the options, only DROP_EXISTING = ON changes what the statement does.
  const size_t options = at_;
  SkipStorageOptions();
  const size_t end = at_;
  for (at_ = options; at_ + 2 < end; ++at_) {
    if (IsKw("DROP_EXISTING") && IsOpTok(PeekAt(1), "=") && IsWord(PeekAt(2), "ON")) stmt->drop_existing = true;
  }
  at_ = end;
  return stmt;
}

std::vector<ast::Name> Parser::ParseDropNames(bool* if_exists) {
  if (IsKw("IF") && IsWord(PeekAt(1), "EXISTS")) {
    at_ += 2;
    *if_exists = true;
  }
  std::vector<ast::Name> names;
  do {
    names.push_back(ParseMultiPartName(3));
  } while (AcceptOp(","));
  return names;
}

ast::StmtPtr Parser::ParseDrop() {
  ExpectKw("DROP");
  if (AcceptKw("TABLE")) {
    auto stmt = NewStmt<ast::DropTableStmt>(Cur().pos);
    stmt->names = ParseDropNames(&stmt->if_exists);
    return stmt;
  }
  if (AcceptKw("VIEW")) {
    auto stmt = NewStmt<ast::DropViewStmt>(Cur().pos);
    stmt->names = ParseDropNames(&stmt->if_exists);
    return stmt;
  }
  if (AcceptKw("PROC") || AcceptKw("PROCEDURE")) {
    auto stmt = NewStmt<ast::DropProcStmt>(Cur().pos);
    stmt->names = ParseDropNames(&stmt->if_exists);
    return stmt;
  }
  if (AcceptKw("INDEX")) {
    // DROP INDEX table.index or DROP INDEX index ON table
    auto stmt = NewStmt<ast::DropIndexStmt>(Cur().pos);
    ast::Name name = ParseMultiPartName(4);
    if (AcceptKw("ON")) {
      if (name.size() != 1) Error();
      stmt->index_name = name[0];
      stmt->table = ParseMultiPartName(3);
    } else {
      if (name.size() < 2 || name.back().empty()) Error();
      stmt->index_name = name.back();
      name.pop_back();
      stmt->table = std::move(name);
    }
    return stmt;
  }
  Error();
}

ast::StmtPtr Parser::ParseTruncate() {
  auto stmt = NewStmt<ast::TruncateStmt>(Cur().pos);
  ExpectKw("TRUNCATE");
  ExpectKw("TABLE");
  stmt->table = ParseMultiPartName(3);
  return stmt;
}

ast::StmtPtr Parser::ParseIf() {
  auto stmt = NewStmt<ast::IfStmt>(Cur().pos);
  ExpectKw("IF");
  stmt->condition = ParseExpr();
  if (AtEnd()) Error();
  stmt->then_branch = ParseStatement();
  // "IF c stmt; ELSE stmt": the branch's own terminator may stand before ELSE.
  if (IsOp(";") && IsWord(PeekAt(1), "ELSE")) ++at_;
  if (AcceptKw("ELSE")) stmt->else_branch = ParseStatement();
  return stmt;
}

ast::StmtPtr Parser::ParseBlock() {
  auto stmt = NewStmt<ast::BlockStmt>(Cur().pos);
  ExpectKw("BEGIN");
  bool terminated = true;
  while (!IsKw("END")) {
    if (AtEnd()) Error();
    if (IsOp(";")) {
      auto empty = NewStmt<ast::EmptyStmt>(Cur().pos);
      empty->end_offset = Cur().end_offset;
      ++at_;
      stmt->statements.push_back(std::move(empty));
      terminated = true;
      continue;
    }
    CheckWithAfterTerminator(terminated);
    stmt->statements.push_back(ParseStatement());
    for (auto& extra : pending_) stmt->statements.push_back(std::move(extra));
    pending_.clear();
    terminated = AcceptOp(";");
  }
  ++at_;  // END
  return stmt;
}

ast::StmtPtr Parser::ParseTransaction() {
  auto stmt = NewStmt<ast::TransactionStmt>(Cur().pos);
  using Action = ast::TransactionStmt::Action;
  bool needs_tran = false;
  if (AcceptKw("BEGIN")) {
    stmt->action = Action::kBegin;
    needs_tran = true;
  } else if (AcceptKw("COMMIT")) {
    stmt->action = Action::kCommit;
  } else if (AcceptKw("ROLLBACK")) {
    stmt->action = Action::kRollback;
  } else {
    ExpectKw("SAVE");
    stmt->action = Action::kSave;
    needs_tran = true;
  }
  const bool tran = AcceptKw("TRAN") || AcceptKw("TRANSACTION");
  if (needs_tran && !tran) Error();
  // COMMIT WORK and ROLLBACK WORK take no name.
  if (!tran && stmt->action != Action::kBegin && stmt->action != Action::kSave && AcceptKw("WORK")) return stmt;
  if (!tran) return stmt;  // COMMIT / ROLLBACK alone
  if (Cur().kind == TokenKind::Variable) {
    stmt->name = Cur().text.substr(1);
    stmt->name_is_variable = true;
    ++at_;
  } else if (IsNameToken(Cur())) {
    stmt->name = tokens_[at_++].text;
  }
  if (stmt->action == Action::kSave && stmt->name.empty()) Error();
  return stmt;
}

namespace {

// The operators of compound assignments ("@v += 1"): the operator token directly followed by
// '='.
struct CompoundOp {
  const char* text;
  ast::Op op;
};
constexpr CompoundOp kCompoundOps[] = {
    {"+", ast::Op::Add}, {"-", ast::Op::Sub},    {"*", ast::Op::Mul},   {"/", ast::Op::Div},
    {"%", ast::Op::Mod}, {"&", ast::Op::BitAnd}, {"|", ast::Op::BitOr}, {"^", ast::Op::BitXor},
};

// The operator of a compound assignment written as the tokens op, eq; None when they are not one.
ast::Op CompoundAssignOp(const Token& op, const Token& eq) {
  if (!Parser::IsOpTok(eq, "=") || eq.pos.offset != op.end_offset) return ast::Op::None;
  for (const CompoundOp& c : kCompoundOps) {
    if (Parser::IsOpTok(op, c.text)) return c.op;
  }
  return ast::Op::None;
}

}  // namespace

bool Parser::AtAssignment() const {
  if (Cur().kind != TokenKind::Variable) return false;
  return IsOpTok(PeekAt(1), "=") || CompoundAssignOp(PeekAt(1), PeekAt(2)) != ast::Op::None;
}

ast::ExprPtr Parser::ParseAssignedValue() {
  if (Cur().kind != TokenKind::Variable) Error();
  const Token& variable = Cur();
  ++at_;
  if (AcceptOp("=")) return ParseExpr();
  const ast::Op op = CompoundAssignOp(Cur(), PeekAt(1));
  if (op == ast::Op::None) Error();
  at_ += 2;  // the operator and '='
  auto current = std::make_unique<ast::Expr>();
  current->kind = ast::ExprKind::Variable;
  current->pos = variable.pos;
  current->text = variable.text;
  current->name.push_back(variable.text.substr(1));
  auto value = std::make_unique<ast::Expr>();
  value->kind = ast::ExprKind::Binary;
  value->pos = variable.pos;
  value->op = op;
  value->args.push_back(std::move(current));
  value->args.push_back(ParseExpr());
  return value;
}

ast::StmtPtr Parser::ParseSetVariable() {
  auto stmt = NewStmt<ast::SetVariableStmt>(Cur().pos);
  stmt->variable = Cur().text.substr(1);
  stmt->value = ParseAssignedValue();
  return stmt;
}

ast::StmtPtr Parser::ParseSet() {
  ast::SourcePos pos = Cur().pos;
  ExpectKw("SET");
  if (Cur().kind == TokenKind::Variable && IsOpTok(PeekAt(1), "=") && IsWord(PeekAt(2), "CURSOR")) {
    std::string variable = Cur().text.substr(1);
    at_ += 2;
    return ParseSetCursor(pos, std::move(variable));
  }
  if (Cur().kind == TokenKind::Variable) return ParseSetVariable();
  // Option names may be reserved words (ROWCOUNT, TRANSACTION, ...).
  auto option_word = [&]() {
    if (Cur().kind != TokenKind::Identifier) Error();
    return ToUpper(tokens_[at_++].text);
  };
  std::vector<std::string> options{option_word()};
  if (options[0] == "TRANSACTION") {
    ExpectKw("ISOLATION");
    ExpectKw("LEVEL");
    std::string level;
    if (AcceptKw("READ")) {
      if (!IsKw("UNCOMMITTED") && !IsKw("COMMITTED")) Error();
      level = "READ " + option_word();
    } else if (AcceptKw("REPEATABLE")) {
      ExpectKw("READ");
      level = "REPEATABLE READ";
    } else if (IsKw("SNAPSHOT") || IsKw("SERIALIZABLE")) {
      level = option_word();
    } else {
      Error();
    }
    auto stmt = NewStmt<ast::SetStmt>(pos);
    stmt->option = "TRANSACTION ISOLATION LEVEL";
    stmt->value = level;
    return stmt;
  }
  if (options[0] == "IDENTITY_INSERT") {
    auto stmt = NewStmt<ast::SetStmt>(pos);
    stmt->option = options[0];
    stmt->table = ParseMultiPartName(3);
    if (!IsKw("ON") && !IsKw("OFF")) Error();
    stmt->value = ToUpper(tokens_[at_++].text);
    return stmt;
  }
  if (options[0] == "STATISTICS") {
    // SET STATISTICS IO, TIME ON: one option per word.
    options[0] = "STATISTICS " + option_word();
    while (AcceptOp(",")) options.push_back("STATISTICS " + option_word());
  }
  while (AcceptOp(",")) options.push_back(option_word());  // SET ANSI_NULLS, ANSI_PADDING ON
  std::string value;
  const Token& v = Cur();
  if (IsKw("ON") || IsKw("OFF")) {
    value = ToUpper(v.text);
    ++at_;
  } else if (v.kind == TokenKind::Identifier || v.kind == TokenKind::Quoted ||
             v.kind == TokenKind::Integer || v.kind == TokenKind::String ||
             v.kind == TokenKind::NString || v.kind == TokenKind::Variable) {
    if (v.kind == TokenKind::Identifier && IsReservedKeyword(v.text)) Error();
    value = v.text;
    ++at_;
  } else if (IsOp("-") && PeekAt(1).kind == TokenKind::Integer) {
    value = "-" + PeekAt(1).text;
    at_ += 2;
  } else {
    Error();
  }
  for (size_t i = 1; i < options.size(); ++i) {
    auto extra = NewStmt<ast::SetStmt>(pos);
    extra->option = options[i];
    extra->value = value;
    extra->end_offset = PrevEnd();
    pending_.push_back(std::move(extra));
  }
  auto stmt = NewStmt<ast::SetStmt>(pos);
  stmt->option = options[0];
  stmt->value = value;
  return stmt;
}

ast::StmtPtr Parser::ParsePrint() {
  auto stmt = NewStmt<ast::PrintStmt>(Cur().pos);
  ExpectKw("PRINT");
  stmt->value = ParseExpr();
  return stmt;
}

ast::StmtPtr Parser::ParseDeclare() {
  const ast::SourcePos pos = Cur().pos;
  ExpectKw("DECLARE");
  if ((Cur().kind == TokenKind::Identifier || Cur().kind == TokenKind::Quoted) &&
      (IsWord(PeekAt(1), "CURSOR") || IsWord(PeekAt(1), "INSENSITIVE") ||
       IsWord(PeekAt(1), "SCROLL"))) {
    return ParseDeclareCursor(pos);
  }
  std::vector<std::unique_ptr<ast::DeclareStmt>> decls;
  do {
    if (Cur().kind != TokenKind::Variable) Error();
    auto decl = NewStmt<ast::DeclareStmt>(Cur().pos);
    decl->variable = Cur().text.substr(1);
    ++at_;
    AcceptKw("AS");
    if (AcceptKw("TABLE")) {
      decl->table = std::make_unique<ast::CreateTableStmt>();
      decl->table->pos = decl->pos;
      decl->table->name = {"@" + decl->variable};
      ParseTableBody(*decl->table);
      decl->end_offset = PrevEnd();
      decls.push_back(std::move(decl));
      continue;
    }
    if (AcceptKw("CURSOR")) {
      decl->cursor = true;
      decl->end_offset = PrevEnd();
      decls.push_back(std::move(decl));
      continue;
    }
    decl->type = ParseType();
    if (AcceptOp("=")) decl->initial = ParseExpr();
    decl->end_offset = PrevEnd();
    decls.push_back(std::move(decl));
  } while (AcceptOp(","));
  for (size_t i = 1; i < decls.size(); ++i) pending_.push_back(std::move(decls[i]));
  return std::move(decls[0]);
}

}  // namespace orv::tsql::parse
