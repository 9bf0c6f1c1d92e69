// The stored procedures of a Database: look-up, creation, replacement and drop, and reading a
// procedure back from its stored definition text.
#include "tsql/catalog/catalog.h"
#include "tsql/syntax/parser.h"

namespace orv::tsql {

std::shared_ptr<Procedure> ProcedureFromText(const std::string& text) {
  ast::Batch batch = ParseBatch(text);
  for (auto& stmt : batch.statements) {
    if (stmt->kind != ast::StmtKind::CreateProc) continue;
    auto definition = std::shared_ptr<ast::CreateProcStmt>(
        static_cast<ast::CreateProcStmt*>(stmt.release()));
    auto procedure = std::make_shared<Procedure>();
    procedure->name = definition->name.back();
    procedure->text = text;
    procedure->definition = std::move(definition);
    procedure->object_id = NewObjectId();
    return procedure;
  }
  return nullptr;
}

std::shared_ptr<Procedure> Database::FindProcedure(std::string_view name) {
  std::lock_guard lock(catalog_mutex_);
  auto it = procedures_.find(FoldName(name));
  return it == procedures_.end() ? nullptr : it->second;
}

std::shared_ptr<Procedure> Database::PutProcedure(std::shared_ptr<Procedure> procedure) {
  std::lock_guard lock(catalog_mutex_);
  std::shared_ptr<Procedure>& slot = procedures_[FoldName(procedure->name)];
  std::shared_ptr<Procedure> before = std::move(slot);
  slot = std::move(procedure);
  return before;
}

std::shared_ptr<Procedure> Database::DetachProcedure(std::string_view name) {
  std::lock_guard lock(catalog_mutex_);
  auto it = procedures_.find(FoldName(name));
  if (it == procedures_.end()) return nullptr;
  std::shared_ptr<Procedure> procedure = std::move(it->second);
  procedures_.erase(it);
  return procedure;
}

void Database::RestoreProcedure(std::string_view name, std::shared_ptr<Procedure> procedure) {
  std::lock_guard lock(catalog_mutex_);
  if (procedure) {
    procedures_[FoldName(name)] = std::move(procedure);
  } else {
    procedures_.erase(FoldName(name));
  }
}

void Database::ForEachProcedure(const std::function<void(const std::shared_ptr<Procedure>&)>& fn) {
  std::vector<std::shared_ptr<Procedure>> procedures;
  {
    std::lock_guard lock(catalog_mutex_);
    for (auto& [key, procedure] : procedures_) procedures.push_back(procedure);
  }
  for (auto& procedure : procedures) fn(procedure);
}

}  // namespace orv::tsql
