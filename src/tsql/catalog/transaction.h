// The transactions of a session: statements as units of work (a failing statement leaves no
// change behind), autocommit, BEGIN/COMMIT/ROLLBACK/SAVE TRANSACTION, and the locks and the
// data-source file's write lock that go with them.
//
// A statement runs as BeginStatement, LockForWrite (statements that change permanent tables,
// before they are bound), reads through SessionState::OpenTable, CheckReads once it is bound,
// and EndStatement. Outside an explicit transaction EndStatement commits: the changes go to the
// file row by row and every lock is released.
#pragma once

#include <string>
#include <vector>

#include "tsql/catalog/session_state.h"

namespace orv::tsql {

// Raised by CheckReads when a table the statement bound was changed by another process while
// the statement was being bound; the statement is bound again (it has changed nothing yet).
struct StatementRetry {};

// Starts a statement: follows the data-source file (tables another process changed are read
// again when used). Returns the change log mark to undo to if the statement fails.
size_t BeginStatement(SessionState& session);
// Takes what a statement that changes the named permanent tables (or views) needs before it
// is bound: the data-source file's write lock (kept to the end of the transaction) and
// exclusive locks on the names. Raises 1222 (lock timeout) or 1205 (deadlock victim).
void LockForWrite(SessionState& session, const std::vector<std::string>& names);
// Checks that every table the statement reads is of one committed state of the file; raises
// StatementRetry when one is not.
void CheckReads(SessionState& session);
// Ends a statement: on failure its changes are undone. Outside an explicit transaction the
// statement's changes are then committed (or the failed statement's locks let go). A commit
// that cannot be written undoes the changes and raises the error.
void EndStatement(SessionState& session, bool succeeded, size_t mark);

// BEGIN TRAN [name], COMMIT, ROLLBACK [name], SAVE TRAN name with SQL Server's errors:
// 3902 and 3903 without a transaction, 628 SAVE outside one, 6401 for an unknown name.
void BeginTransaction(SessionState& session, const std::string& name);
void CommitTransaction(SessionState& session);
void RollbackTransaction(SessionState& session);
void RollbackTransactionNamed(SessionState& session, const std::string& name);
void SaveTransaction(SessionState& session, const std::string& name);

}  // namespace orv::tsql
