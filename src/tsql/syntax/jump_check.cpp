// BREAK/CONTINUE outside loops and GOTO targets, checked over the whole batch before it runs.
#include "tsql/syntax/jump_check.h"

#include <cctype>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tsql/types/sql_error.h"

namespace orv::tsql {
namespace {

// Labels compare as identifiers do: without regard to case.
bool SameLabel(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

[[noreturn]] void Fail(int32_t number, const ast::Statement& at,
                       std::initializer_list<std::string> args = {}) {
  SqlError error = MakeError(number, args);
  error.line = at.pos.line;
  throw SqlException(std::move(error));
}

class JumpChecker {
 public:
  void List(const std::vector<ast::StmtPtr>& statements, bool try_or_catch) {
    path_.push_back({next_list_++, try_or_catch});
    for (const auto& s : statements) {
      if (s) Statement(*s);
    }
    path_.pop_back();
  }

  void Finish() {
    for (const Jump& jump : gotos_) {
      const Place* target = nullptr;
      for (const Place& label : labels_) {
        if (SameLabel(label.name, jump.place.name)) target = &label;
      }
      if (!target) Fail(133, *jump.statement, {jump.place.name});
      // The label's lists that do not also hold the GOTO: entering a TRY or CATCH one is refused.
      for (const Scope& scope : target->path) {
        bool shared = false;
        for (const Scope& own : jump.place.path) shared = shared || own.id == scope.id;
        if (!shared && scope.try_or_catch) Fail(1026, *jump.statement);
      }
    }
  }

 private:
  struct Scope {
    int id;
    bool try_or_catch;
  };
  struct Place {
    std::string name;
    std::vector<Scope> path;
  };
  struct Jump {
    Place place;
    const ast::Statement* statement;
  };

  void Statement(const ast::Statement& s) {
    switch (s.kind) {
      case ast::StmtKind::Block:
        return List(s.As<ast::BlockStmt>().statements, false);
      case ast::StmtKind::If: {
        const auto& i = s.As<ast::IfStmt>();
        if (i.then_branch) Statement(*i.then_branch);
        if (i.else_branch) Statement(*i.else_branch);
        return;
      }
      case ast::StmtKind::While:
        ++loops_;
        if (s.As<ast::WhileStmt>().body) Statement(*s.As<ast::WhileStmt>().body);
        --loops_;
        return;
      case ast::StmtKind::Try: {
        const auto& t = s.As<ast::TryStmt>();
        List(t.try_statements, true);
        List(t.catch_statements, true);
        return;
      }
      case ast::StmtKind::CreateProc: {
        // A procedure's body is a scope of its own: no loop or label of the batch reaches in.
        const int outer_loops = std::exchange(loops_, 0);
        List(s.As<ast::CreateProcStmt>().body, false);
        loops_ = outer_loops;
        return;
      }
      case ast::StmtKind::Break:
        if (loops_ == 0) Fail(135, s);
        return;
      case ast::StmtKind::Continue:
        if (loops_ == 0) Fail(136, s);
        return;
      case ast::StmtKind::Label:
        labels_.push_back({s.As<ast::LabelStmt>().label, path_});
        return;
      case ast::StmtKind::Goto:
        gotos_.push_back({{s.As<ast::GotoStmt>().label, path_}, &s});
        return;
      default:
        return;
    }
  }

  int loops_ = 0;
  int next_list_ = 0;
  std::vector<Scope> path_;
  std::vector<Place> labels_;
  std::vector<Jump> gotos_;
};

}  // namespace

void CheckJumps(const ast::Batch& batch) {
  JumpChecker checker;
  checker.List(batch.statements, false);
  checker.Finish();
}

}  // namespace orv::tsql
