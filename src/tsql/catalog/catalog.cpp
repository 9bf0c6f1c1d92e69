// Catalog: name folding, table columns and the Database's table/view maps and hooks.
#include "tsql/catalog/catalog.h"

#include <filesystem>

namespace orv::tsql {

std::string FoldName(std::string_view name) {
  std::string out(name);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

bool NamesEqual(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

int32_t NewObjectId() {
  static std::atomic<int32_t> next{1000003};
  return next.fetch_add(16, std::memory_order_relaxed);
}

std::vector<Row>& Table::mutable_rows() {
  if (rows_.use_count() > 1) rows_ = std::make_shared<std::vector<Row>>(*rows_);
  return *rows_;
}

void Table::ReplaceRows(std::vector<Row> rows) {
  if (rows_.use_count() > 1) {
    rows_ = std::make_shared<std::vector<Row>>(std::move(rows));
  } else {
    *rows_ = std::move(rows);
  }
}

int Table::FindColumn(std::string_view column) const {
  for (size_t i = 0; i < columns.size(); ++i) {
    if (NamesEqual(columns[i].name, column)) return static_cast<int>(i);
  }
  return -1;
}

Database::Database(std::string path) : path_(std::move(path)) {}

std::string Database::name() const {
  if (path_.empty() || path_ == ":memory:") return "orvdata";
  std::string stem = std::filesystem::path(path_).stem().string();
  return stem.empty() ? "orvdata" : stem;
}

std::shared_ptr<Table> Database::FindTable(std::string_view name) {
  return FindOrLoad(name, /*preloading=*/false);
}

void Database::PreloadTable(std::string_view name) {
  try {
    FindOrLoad(name, /*preloading=*/true);
  } catch (...) {
    // A table that fails to load is left out; the statement that needs it loads it again and
    // reports the error.
  }
}

bool Database::LoadsOnDemand() const {
  std::lock_guard lock(catalog_mutex_);
  return static_cast<bool>(loader_);
}

std::shared_ptr<Table> Database::FindOrLoad(std::string_view name, bool preloading) {
  const std::string key = FoldName(name);
  std::function<std::shared_ptr<Table>(Database&, std::string_view)> loader;
  {
    std::unique_lock lock(catalog_mutex_);
    if (preloading && loading_.count(key)) return nullptr;
    loaded_.wait(lock, [&] { return loading_.count(key) == 0; });
    auto it = tables_.find(key);
    if (it != tables_.end()) return it->second;
    if (views_.count(key) || !loader_) return nullptr;
    // A table dropped since the last save is still in storage but no longer exists.
    for (const std::string& dropped : dropped_tables_) {
      if (NamesEqual(dropped, key)) return nullptr;
    }
    loader = loader_;
    loading_.insert(key);
  }
  std::shared_ptr<Table> table;
  auto finish = [&] {
    std::lock_guard lock(catalog_mutex_);
    loading_.erase(key);
    if (table) table = tables_.emplace(key, table).first->second;
    loaded_.notify_all();
  };
  try {
    table = loader(*this, name);
  } catch (...) {
    table = nullptr;
    finish();
    throw;
  }
  finish();
  return table;
}

std::shared_ptr<View> Database::FindView(std::string_view name) {
  std::lock_guard lock(catalog_mutex_);
  auto it = views_.find(FoldName(name));
  return it == views_.end() ? nullptr : it->second;
}

bool Database::AddTable(std::shared_ptr<Table> table) {
  std::lock_guard lock(catalog_mutex_);
  std::string key = FoldName(table->name);
  if (tables_.count(key) || views_.count(key)) return false;
  table->dirty = true;
  tables_.emplace(key, std::move(table));
  changed_ = true;
  return true;
}

bool Database::AddView(std::shared_ptr<View> view) {
  std::lock_guard lock(catalog_mutex_);
  std::string key = FoldName(view->name);
  if (tables_.count(key) || views_.count(key)) return false;
  views_.emplace(key, std::move(view));
  changed_ = true;
  return true;
}

bool Database::DropTable(std::string_view name) {
  // A stored table that no statement has used yet is only in storage: load it, so that it is
  // found (and its drop saved) like any other.
  if (!FindTable(name)) return false;
  std::lock_guard lock(catalog_mutex_);
  auto it = tables_.find(FoldName(name));
  if (it == tables_.end()) return false;
  dropped_tables_.push_back(it->second->name);
  tables_.erase(it);
  changed_ = true;
  return true;
}

bool Database::DropView(std::string_view name) {
  std::lock_guard lock(catalog_mutex_);
  auto it = views_.find(FoldName(name));
  if (it == views_.end()) return false;
  views_.erase(it);
  changed_ = true;
  return true;
}

std::optional<int32_t> Database::ObjectId(std::string_view name) {
  if (auto table = FindTable(name)) return table->object_id;
  if (auto view = FindView(name)) return view->object_id;
  return std::nullopt;
}

void Database::AddLoadedTable(std::shared_ptr<Table> table) {
  std::lock_guard lock(catalog_mutex_);
  if (table->object_id == 0) table->object_id = NewObjectId();
  tables_[FoldName(table->name)] = std::move(table);
}

void Database::ForEachTable(const std::function<void(Table&)>& fn) {
  std::vector<std::shared_ptr<Table>> all;
  {
    std::lock_guard lock(catalog_mutex_);
    for (auto& [key, table] : tables_) all.push_back(table);
  }
  for (auto& table : all) fn(*table);
}

void Database::ForEachView(const std::function<void(View&)>& fn) {
  std::vector<std::shared_ptr<View>> views;
  {
    std::lock_guard lock(catalog_mutex_);
    for (auto& [key, view] : views_) views.push_back(view);
  }
  for (auto& view : views) fn(*view);
}

void Database::AddLoadedView(std::shared_ptr<View> view) {
  std::lock_guard lock(catalog_mutex_);
  if (view->object_id == 0) view->object_id = NewObjectId();
  views_[FoldName(view->name)] = std::move(view);
}

std::vector<std::string> Database::TableNames() {
  std::function<std::vector<std::string>()> lister;
  std::map<std::string, std::string> names;  // folded -> as created
  {
    std::lock_guard lock(catalog_mutex_);
    lister = stored_table_lister_;
    for (auto& [key, table] : tables_) {
      if (!table->temporary) names.emplace(key, table->name);
    }
  }
  if (lister) {
    for (std::string& name : lister()) {
      std::string key = FoldName(name);
      bool dropped = false;
      for (const std::string& d : dropped_tables_) dropped = dropped || NamesEqual(d, name);
      if (!dropped) names.emplace(key, std::move(name));
    }
  }
  std::vector<std::string> out;
  for (auto& [key, name] : names) out.push_back(name);
  return out;
}

void Database::SetStoredTableLister(std::function<std::vector<std::string>()> lister) {
  std::lock_guard lock(catalog_mutex_);
  stored_table_lister_ = std::move(lister);
}

void Database::SetTableLoader(
    std::function<std::shared_ptr<Table>(Database&, std::string_view)> loader) {
  std::lock_guard lock(catalog_mutex_);
  loader_ = std::move(loader);
}

void Database::SetBatchEndHook(std::function<void(Database&)> hook) {
  std::lock_guard lock(catalog_mutex_);
  batch_end_hook_ = std::move(hook);
}

void Database::RunBatchEndHook() {
  if (!changed_.exchange(false)) return;
  std::function<void(Database&)> hook;
  {
    std::lock_guard lock(catalog_mutex_);
    hook = batch_end_hook_;
  }
  if (hook) {
    std::unique_lock data_lock(data_mutex_);
    hook(*this);
  }
}

void Database::SetDemoClock(std::optional<int64_t> ticks) {
  std::lock_guard lock(catalog_mutex_);
  demo_clock_ = ticks;
}

std::optional<int64_t> Database::demo_clock() const {
  std::lock_guard lock(catalog_mutex_);
  return demo_clock_;
}

}  // namespace orv::tsql
