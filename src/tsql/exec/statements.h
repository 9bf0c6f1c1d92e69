// The statement executors: one function per statement kind, each binding its statement
// (names are resolved when the statement is reached) and then running it. StatementContext
// carries what they share: the session, the results of the batch, the point at which binding
// ended (an error before it is a compile error, after it a run-time error), and the change log
// through which every change to a table's rows is made.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tsql/bind/bound.h"
#include "tsql/catalog/session_state.h"
#include "tsql/exec/statement_result.h"
#include "tsql/syntax/ast.h"

namespace orv::tsql {

struct StatementContext {
  SessionState& session;
  std::vector<StatementResult>& results;
  std::string_view batch_text;
  ExecEnv env;
  bool bound = false;  // set once the statement is bound

  // Marks the end of binding (errors from here on are run-time errors) and checks that the
  // tables the statement reads are of one committed state of the data-source file (raises
  // StatementRetry when not).
  void BindDone();
  // A row count result (only while NOCOUNT is OFF) and @@ROWCOUNT.
  void RowCount(int64_t count);
  // Where the statement changes rows and records what it changed (change_log.h).
  ChangeLog& log() { return session.transaction.log; }
};

// SET options: honoured where they change results, accepted otherwise.
void ApplySetOption(SessionState& session, const ast::SetStmt& stmt,
                    std::vector<StatementResult>& results);
// SET IDENTITY_INSERT table ON|OFF.
void ExecSetIdentityInsert(const ast::SetStmt& stmt, StatementContext& cx);
// Whether SET IDENTITY_INSERT is ON for the table: an INSERT then gives its identity column.
bool IdentityInsertIsOn(const SessionState& session, const Table& table);

void ExecSelect(ast::SelectStmt& stmt, StatementContext& cx);
void ExecInsert(ast::InsertStmt& stmt, StatementContext& cx);
void ExecUpdate(ast::UpdateStmt& stmt, StatementContext& cx);
void ExecDelete(ast::DeleteStmt& stmt, StatementContext& cx);
void ExecMerge(ast::MergeStmt& stmt, StatementContext& cx);
void ExecCreateTable(ast::CreateTableStmt& stmt, StatementContext& cx);
void ExecDropTable(ast::DropTableStmt& stmt, StatementContext& cx);
void ExecCreateView(ast::CreateViewStmt& stmt, StatementContext& cx);
void ExecDropView(ast::DropViewStmt& stmt, StatementContext& cx);
// CREATE INDEX: the table and columns must be there, and the name new on the table (1913). A
// unique index is kept and checked as a UNIQUE constraint is (made over the rows there: 1505 on
// a duplicate); other indexes, and unique ones over some rows (a filter), are not kept.
void ExecCreateIndex(ast::CreateIndexStmt& stmt, StatementContext& cx);
// DROP INDEX: a unique index kept goes; a constraint's index goes only with its constraint
// (3723); any other name is of an index not kept, and dropping it changes nothing.
void ExecDropIndex(ast::DropIndexStmt& stmt, StatementContext& cx);
void ExecTruncate(ast::TruncateStmt& stmt, StatementContext& cx);
void ExecAlterTable(ast::AlterTableStmt& stmt, StatementContext& cx);
// sp_rename @objname, @newname, @objtype (its arguments as given, nullopt for NULL): renames a
// table ('t', 'newt') or one of its columns ('t.c', 'newc', 'COLUMN'), with the caution message.
void ExecRename(const std::optional<std::string>& objname, const std::optional<std::string>& newname,
                const std::optional<std::string>& objtype, StatementContext& cx);
void ExecSetVariable(ast::SetVariableStmt& stmt, StatementContext& cx);
void ExecCreateProcedure(ast::CreateProcStmt& stmt, StatementContext& cx);
void ExecDropProcedure(ast::DropProcStmt& stmt, StatementContext& cx);
void ExecDeclareCursor(ast::DeclareCursorStmt& stmt, StatementContext& cx);
void ExecCursor(ast::CursorStmt& stmt, StatementContext& cx);

struct DmlTarget;
struct TupleSet;
// WHERE CURRENT OF of an UPDATE (`sets`: its SET list) or DELETE (null) without FROM: the one tuple
// of the target row the cursor stands on. Raises 16916, 16950, 16917, 16929 (a read-only
// cursor), 16932 (a column outside FOR UPDATE OF), 16933 (the cursor is not over the target
// table) and 16930 (no row there: before the first, after the last, or deleted since).
TupleSet CurrentOfTuple(const ast::CurrentOf& current_of, const DmlTarget& target,
                        const BoundSpec& spec, const std::vector<ast::SetClause>* sets,
                        StatementContext& cx);

// RAISERROR's message: printf-style conversions (%d %i %u %s %x %X %o %%, with flags, width
// and precision, '*' taking them from the arguments) filled from the arguments in turn.
std::string FormatRaiseErrorMessage(std::string_view format,
                                    const std::vector<std::pair<Value, SqlType>>& args);

// Stores a value (of type `from`) into a declared variable (folded name), converted to the
// variable's type as SET does: strings are cut to its length silently, numbers rounded or
// truncated, and a value that does not convert raises the conversion's error.
void AssignVariable(SessionState& session, const std::string& name, const Value& value,
                    const SqlType& from);

// Creates a table of the session (#name) or of the database; Msg 2714 when the name is taken.
void RegisterTable(std::shared_ptr<Table> table, StatementContext& cx);
// A table's column as a definition in CREATE TABLE or ALTER TABLE ADD gives it (NOT NULL by
// default for identity and primary key columns); its DEFAULT is taken out of the definition.
ColumnDef ColumnOfDefinition(ast::ColumnDef& c, bool in_primary_key, StatementContext& cx);
// The text of a DEFAULT expression that starts at `offset` of the batch: up to the ',' or ')'
// that ends its column definition, or a following column constraint keyword.
std::string DefaultText(std::string_view batch, size_t offset);
// "db.dbo.T" / "tempdb.dbo.#T" as Msg 515 names a table.
std::string QualifiedTableName(const Table& table, const SessionState& session);
// The value of a column's DEFAULT (NULL when none), converted to the column's type.
Value DefaultValue(const ColumnDef& column, StatementContext& cx);

// The DEFAULTs of one table's columns for a statement that fills many rows: each is bound on
// first use and reused for the following rows, and one that is a literal is also converted
// once. Gives what DefaultValue gives.
class ColumnDefaults {
 public:
  ColumnDefaults(const Table& table, StatementContext& cx);
  Value Get(size_t column);
  // Whether the column's default (NULL when it has none) is the same for every row; known
  // once Get has been called for the column.
  bool IsConstant(size_t column) const;

 private:
  struct Slot {
    bool bound = false;
    bool constant = false;
    BExprPtr expr;
    Value value;
  };
  const Table& table_;
  StatementContext& cx_;
  std::vector<Slot> slots_;
};

}  // namespace orv::tsql
