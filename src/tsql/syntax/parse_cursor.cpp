// Cursors: DECLARE name CURSOR ... FOR query (T-SQL and ISO forms), SET @v = CURSOR ...,
// OPEN, FETCH, CLOSE, DEALLOCATE, and the WHERE CURRENT OF of UPDATE and DELETE.
#include "tsql/syntax/parser_impl.h"

namespace orv::tsql::parse {

// The cursor a statement names: [GLOBAL] name, or @variable.
void Parser::ParseCursorName(std::string& cursor, bool& global) {
  if (Cur().kind == TokenKind::Variable) {
    cursor = tokens_[at_++].text;
    return;
  }
  // GLOBAL is a cursor's name when nothing follows it.
  if (IsKw("GLOBAL") && IsNameToken(PeekAt(1))) {
    ++at_;
    global = true;
  }
  if (!IsNameToken(Cur())) Error();
  cursor = tokens_[at_++].text;
}

// The options between CURSOR and FOR, each kind given once at most: [LOCAL | GLOBAL]
// [FORWARD_ONLY | SCROLL] [STATIC | KEYSET | DYNAMIC | FAST_FORWARD]
// [READ_ONLY | SCROLL_LOCKS | OPTIMISTIC] [TYPE_WARNING]. Then FOR query
// [FOR READ ONLY | FOR UPDATE [OF columns]].
void Parser::ParseCursorBody(ast::DeclareCursorStmt& stmt, bool iso) {
  using Options = ast::CursorOptions;
  Options& o = stmt.options;
  bool scrolling_given = false, type_warning = false;
  while (!IsKw("FOR")) {
    if (iso || AtEnd()) Error();
    auto once = [&](auto& field, auto value) {
      if (field != decltype(value){}) Error();
      field = value;
      ++at_;
    };
    if (IsKw("LOCAL")) {
      once(o.scope, Options::Scope::Local);
    } else if (IsKw("GLOBAL")) {
      once(o.scope, Options::Scope::Global);
    } else if (IsKw("FORWARD_ONLY") || IsKw("SCROLL")) {
      if (scrolling_given) Error();
      scrolling_given = true;
      (IsKw("SCROLL") ? o.scroll : o.forward_only) = true;
      ++at_;
    } else if (IsKw("STATIC")) {
      once(o.kind, Options::Kind::Static);
    } else if (IsKw("KEYSET")) {
      once(o.kind, Options::Kind::Keyset);
    } else if (IsKw("DYNAMIC")) {
      once(o.kind, Options::Kind::Dynamic);
    } else if (IsKw("FAST_FORWARD")) {
      once(o.kind, Options::Kind::FastForward);
    } else if (IsKw("READ_ONLY")) {
      once(o.concurrency, Options::Concurrency::ReadOnly);
    } else if (IsKw("SCROLL_LOCKS")) {
      once(o.concurrency, Options::Concurrency::ScrollLocks);
    } else if (IsKw("OPTIMISTIC")) {
      once(o.concurrency, Options::Concurrency::Optimistic);
    } else if (IsKw("TYPE_WARNING") && !type_warning) {
      type_warning = true;
      ++at_;
    } else {
      Error();
    }
  }
  ExpectKw("FOR");
  if (!AtQueryStart()) Error();
  stmt.query = ParseQuery();
  if (!IsKw("FOR")) return;
  ++at_;
  if (AcceptKw("READ")) {
    if (!IsKw("ONLY")) Error();
    ++at_;
    o.for_read_only = true;
  } else {
    ExpectKw("UPDATE");
    o.for_update = true;
    if (AcceptKw("OF")) {
      do {
        o.update_columns.push_back(ExpectName());
      } while (AcceptOp(","));
    }
  }
}

// DECLARE name [INSENSITIVE] [SCROLL] CURSOR ... (at the name).
ast::StmtPtr Parser::ParseDeclareCursor(const ast::SourcePos& pos) {
  auto stmt = NewStmt<ast::DeclareCursorStmt>(pos);
  stmt->name = tokens_[at_++].text;
  bool iso = false;
  if (IsKw("INSENSITIVE")) {
    ++at_;
    stmt->options.insensitive = iso = true;
  }
  if (IsKw("SCROLL")) {
    ++at_;
    stmt->options.scroll = iso = true;
  }
  ExpectKw("CURSOR");
  ParseCursorBody(*stmt, iso);
  return stmt;
}

// SET @v = CURSOR ... (at CURSOR).
ast::StmtPtr Parser::ParseSetCursor(const ast::SourcePos& pos, std::string variable) {
  auto stmt = NewStmt<ast::DeclareCursorStmt>(pos);
  stmt->name = std::move(variable);
  stmt->variable = true;
  ExpectKw("CURSOR");
  ParseCursorBody(*stmt, false);
  return stmt;
}

// OPEN, CLOSE, DEALLOCATE cursor; FETCH [[orientation] FROM] cursor [INTO @v, ...].
ast::StmtPtr Parser::ParseCursorStatement() {
  using Action = ast::CursorStmt::Action;
  using Fetch = ast::CursorStmt::Fetch;
  auto stmt = NewStmt<ast::CursorStmt>(Cur().pos);
  if (AcceptKw("OPEN")) {
    stmt->action = Action::Open;
  } else if (AcceptKw("CLOSE")) {
    stmt->action = Action::Close;
  } else if (AcceptKw("DEALLOCATE")) {
    stmt->action = Action::Deallocate;
  } else {
    ExpectKw("FETCH");
    stmt->action = Action::Fetch;
    // An orientation word is one when FROM or a cursor follows it (else it names the cursor).
    auto cursor_follows = [&](size_t ahead) {
      const Token& t = PeekAt(ahead);
      return IsWord(t, "FROM") || t.kind == TokenKind::Variable || IsNameToken(t) ||
             IsWord(t, "GLOBAL");
    };
    struct Word {
      const char* text;
      Fetch fetch;
    };
    static constexpr Word kWords[] = {{"NEXT", Fetch::Next},         {"PRIOR", Fetch::Prior},
                                      {"FIRST", Fetch::First},       {"LAST", Fetch::Last},
                                      {"ABSOLUTE", Fetch::Absolute}, {"RELATIVE", Fetch::Relative}};
    for (const Word& w : kWords) {
      if (!IsKw(w.text)) continue;
      const bool offset = w.fetch == Fetch::Absolute || w.fetch == Fetch::Relative;
      if (!offset && !cursor_follows(1)) break;
      if (offset) {
        const Token& next = PeekAt(1);
        if (next.kind != TokenKind::Integer && next.kind != TokenKind::Variable &&
            !IsOpTok(next, "-") && !IsOpTok(next, "+")) {
          break;
        }
      }
      ++at_;
      stmt->fetch = w.fetch;
      if (offset) stmt->offset = ParseExpr();
      if (!IsKw("FROM") && offset) Error();
      break;
    }
    AcceptKw("FROM");
  }
  ParseCursorName(stmt->cursor, stmt->global);
  if (stmt->action == Action::Fetch && AcceptKw("INTO")) {
    do {
      if (Cur().kind != TokenKind::Variable) Error();
      stmt->into.push_back(tokens_[at_++].text.substr(1));
    } while (AcceptOp(","));
  }
  return stmt;
}

// CURRENT OF [GLOBAL] cursor, after WHERE; false (nothing read) when the WHERE is a condition.
bool Parser::ParseCurrentOf(std::optional<ast::CurrentOf>& current_of) {
  if (!IsKw("CURRENT") || !IsWord(PeekAt(1), "OF")) return false;
  ast::CurrentOf c;
  c.pos = Cur().pos;
  at_ += 2;
  ParseCursorName(c.cursor, c.global);
  current_of = std::move(c);
  return true;
}

}  // namespace orv::tsql::parse
