// Catalog: name folding, table columns and the Database's table/view maps and hooks.
#include "tsql/catalog/catalog.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <thread>

#include "tsql/storage/column_snapshot.h"
#include "tsql/storage/heap_policy.h"
#include "tsql/storage/memory_limit.h"

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

std::string TempdbName(std::string_view name, int32_t object_id) {
  char digits[16];
  if (!name.empty() && name[0] == '@') {
    std::snprintf(digits, sizeof digits, "%08X", static_cast<uint32_t>(object_id));
    return "#" + std::string(digits);
  }
  if (name.size() >= 2 && name[1] == '#') return std::string(name);
  static std::atomic<uint64_t> created{0};
  std::snprintf(
      digits, sizeof digits, "%012llX",
      static_cast<unsigned long long>(created.fetch_add(1, std::memory_order_relaxed) + 1));
  std::string stored(name);
  if (stored.size() < kMaxTempTableName) stored.append(kMaxTempTableName - stored.size(), '_');
  return stored + digits;
}

Table::~Table() {
  if (!RowsKeptUntilExit() || !rows_ || rows_->empty()) return;
  // Held from statics that are never destroyed (tables go during the exit too), so that the
  // rows stay reachable: a leak checker sees no leak.
  static auto* mutex = new std::mutex;
  static auto* kept = new std::vector<std::shared_ptr<std::vector<Row>>>;
  std::lock_guard lock(*mutex);
  kept->push_back(std::move(rows_));
}

std::vector<Row>& Table::mutable_rows() {
  // The caller changes the rows: the arrays made of their columns go.
  ForgetColumnArrays();
  return OwnRows();
}

std::vector<Row>& Table::mutable_rows(const std::vector<int>& changed_columns) {
  ForgetColumnArrays(changed_columns);
  return OwnRows();
}

std::vector<Row>& Table::rows_to_append() {
  DropColumnArrays();
  return OwnRows();
}

Table::KeyIndex& Table::key_index(size_t k) const {
  if (key_indexes_.size() < keys.size()) key_indexes_.resize(keys.size());
  if (!key_indexes_[k]) key_indexes_[k] = std::make_unique<KeyIndex>();
  return *key_indexes_[k];
}

std::vector<Row>& Table::OwnRows() {
  rows();
  ForgetSnapshot();
  if (rows_.use_count() > 1) {
    DropColumnArrays();  // made of the rows shared, not of the copy (which has the same values)
    rows_ = std::make_shared<std::vector<Row>>(*rows_);
  }
  return *rows_;
}

size_t Table::PositionOf(int64_t row_id) const {
  auto it = std::lower_bound(row_ids_.begin(), row_ids_.end(), row_id);
  if (it == row_ids_.end() || *it != row_id) return npos;
  return static_cast<size_t>(it - row_ids_.begin());
}

void Table::ShareRowsOf(const Table& other) {
  other.rows();  // every row made
  rows_ = other.rows_;
  row_ids_ = other.row_ids_;
  next_row_id_ = other.next_row_id_;
  keeps_row_ids_ = other.keeps_row_ids_;
  version = other.version;
  checked_at = other.checked_at;
}

void Table::SetStoredRows(std::vector<Row> rows, std::vector<int64_t> row_ids) {
  ForgetColumnArrays();
  {
    std::lock_guard lock(unmade_->mutex);
    unmade_->snapshot.reset();
    std::vector<uint8_t>().swap(unmade_->made);
    unmade_->any_made = false;
  }
  all_made_.store(true, std::memory_order_release);
  rows_ = std::make_shared<std::vector<Row>>(std::move(rows));
  row_ids_ = std::move(row_ids);
  next_row_id_ = row_ids_.empty() ? 1 : row_ids_.back() + 1;
}

void Table::SetSnapshotRows(std::shared_ptr<const SnapshotColumns> snapshot, std::vector<int64_t> row_ids) {
  const size_t n = snapshot->rows();
  ChargeMemory(static_cast<int64_t>(n * (sizeof(Row) + 1)));
  SetStoredRows(std::vector<Row>(n), std::move(row_ids));
  if (n == 0) return;
  std::lock_guard lock(unmade_->mutex);
  unmade_->snapshot = std::move(snapshot);
  unmade_->made.assign(n, 0);
  all_made_.store(false, std::memory_order_release);
}

void Table::MakeRows(const std::vector<uint32_t>& positions) const {
  if (AllRowsMade()) return;
  std::lock_guard lock(unmade_->mutex);
  if (unmade_->snapshot && !unmade_->made.empty()) {
    unmade_->snapshot->MakeRows(&positions, *rows_, unmade_->made);
    unmade_->any_made = unmade_->any_made || !positions.empty();
  }
}

void Table::MakeAllRows() const {
  std::lock_guard lock(unmade_->mutex);
  if (unmade_->snapshot && !unmade_->made.empty()) {
    unmade_->snapshot->MakeRows(nullptr, *rows_, unmade_->made);
    std::vector<uint8_t>().swap(unmade_->made);
    unmade_->any_made = true;
  }
  all_made_.store(true, std::memory_order_release);
}

void Table::ForgetSnapshot() {
  std::lock_guard lock(unmade_->mutex);
  unmade_->snapshot.reset();
  std::vector<uint8_t>().swap(unmade_->made);
  unmade_->any_made = false;
}

void Table::LetMadeRowsGo() const {
  std::lock_guard lock(unmade_->mutex);
  if (!unmade_->snapshot || rows_.use_count() > 1) return;
  std::vector<Row>& rows = *rows_;
  std::vector<uint8_t>& made = unmade_->made;
  if (all_made_.load(std::memory_order_acquire)) made.assign(rows.size(), 1);
  for (size_t i = 0; i < rows.size(); ++i) {
    if (!made[i]) continue;
    Row().swap(rows[i]);
    made[i] = 0;
  }
  all_made_.store(false, std::memory_order_release);
  unmade_->any_made = false;
}

bool Table::HoldsMadeSnapshotRows() const {
  std::lock_guard lock(unmade_->mutex);
  return unmade_->snapshot && unmade_->any_made && rows_.use_count() == 1;
}

void Table::DropColumnArrays() {
  std::lock_guard lock(arrays_->mutex);
  arrays_->arrays.clear();
}

void Table::ForgetColumnArrays() {
  DropColumnArrays();
  key_indexes_.clear();
}

void Table::ForgetColumnArrays(const std::vector<int>& columns) {
  {
    std::lock_guard lock(arrays_->mutex);
    for (int c : columns) arrays_->arrays.erase(c);
  }
  for (size_t k = 0; k < key_indexes_.size() && k < keys.size(); ++k) {
    // A change to any column may bring a row into a filtered index or take it out.
    if (keys[k].filter) key_indexes_[k].reset();
    for (int c : keys[k].columns) {
      if (std::find(columns.begin(), columns.end(), c) != columns.end()) key_indexes_[k].reset();
    }
  }
}

std::shared_ptr<const Table::ColumnArray> Table::ColumnAsArray(int column) const {
  if (column < 0 || static_cast<size_t>(column) >= columns.size()) return nullptr;
  const SqlType& type = columns[static_cast<size_t>(column)].type;
  const bool ticks = type.id == TypeId::DateTime || type.id == TypeId::SmallDateTime;
  if (!type.IsInteger() && !ticks) return nullptr;
  const std::vector<Row>& rows = *rows_;
  std::shared_ptr<const SnapshotColumns> snapshot;
  if (!AllRowsMade()) {
    std::lock_guard lock(unmade_->mutex);
    snapshot = unmade_->snapshot;
  }
  std::lock_guard lock(arrays_->mutex);
  auto& slot = arrays_->arrays[column];
  if (slot && slot->rows == &rows && slot->count == rows.size()) return slot->usable ? slot : nullptr;
  auto array = std::make_shared<ColumnArray>();
  array->rows = &rows;
  array->count = rows.size();
  if (snapshot) {
    // Rows not made yet: the column is read from the snapshot.
    array->usable = snapshot->IntegerColumn(static_cast<size_t>(column), ticks, array->values, array->nulls);
    if (!array->usable) {
      array->values.clear();
      array->nulls.clear();
    }
    slot = array;
    return array->usable ? array : nullptr;
  }
  array->values.resize(rows.size());
  array->nulls.resize(rows.size());
  const auto c = static_cast<size_t>(column);
  const Value::Kind kind = ticks ? Value::Kind::DateTime : Value::Kind::Int;
  // Reads rows [begin, end); false at a value of another kind.
  auto read = [&](size_t begin, size_t end) {
    for (size_t i = begin; i < end; ++i) {
      if (i + 8 < end) __builtin_prefetch(rows[i + 8].data() + c);
      const Value& v = rows[i][c];
      if (v.is_null()) {
        array->nulls[i] = 1;
      } else if (v.kind() == kind) {
        array->values[i] = ticks ? v.datetime_ticks() : v.int_value();
      } else {
        return false;
      }
    }
    return true;
  };
  // A large table's rows are read a half on each of two threads: each row is a cache miss.
  constexpr size_t kTwoThreadsFrom = size_t{1} << 16;
  bool usable = true;
  if (rows.size() >= kTwoThreadsFrom && std::thread::hardware_concurrency() > 1) {
    const size_t half = rows.size() / 2;
    bool second = true;
    std::thread helper([&] { second = read(half, rows.size()); });
    usable = read(0, half);
    helper.join();
    usable = usable && second;
  } else {
    usable = read(0, rows.size());
  }
  if (!usable) {
    // A value of another kind: the rows are read as they are, and this is remembered.
    array->values.clear();
    array->nulls.clear();
    array->usable = false;
    slot = array;
    return nullptr;
  }
  slot = array;
  return array;
}

void Table::KeepRowIds() {
  if (!temporary) return;  // a permanent table's rows have their ids always
  keeps_row_ids_ = true;
  NumberRows();
}

void Table::StopKeepingRowIds() {
  if (!temporary) return;
  keeps_row_ids_ = false;
  row_ids_.clear();
}

void Table::NumberRows() {
  if (!KeepsRowIds() || row_ids_.size() == rows_->size()) return;
  row_ids_.resize(rows_->size());
  for (size_t i = 0; i < row_ids_.size(); ++i) row_ids_[i] = static_cast<int64_t>(i) + 1;
  next_row_id_ = static_cast<int64_t>(row_ids_.size()) + 1;
}

int FindColumnIn(const std::vector<ColumnDef>& columns, std::string_view column) {
  for (size_t i = 0; i < columns.size(); ++i) {
    if (NamesEqual(columns[i].name, column)) return static_cast<int>(i);
  }
  return -1;
}

int Table::FindColumn(std::string_view column) const { return FindColumnIn(columns, column); }

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
  return file_ != nullptr;
}

std::shared_ptr<Table> Database::FindOrLoad(std::string_view name, bool preloading) {
  const std::string key = FoldName(name);
  {
    std::unique_lock lock(catalog_mutex_);
    if (preloading && loading_.count(key)) return nullptr;
    loaded_.wait(lock, [&] { return loading_.count(key) == 0; });
    auto it = tables_.find(key);
    if (it != tables_.end()) return it->second;
    // A table dropped since the last commit is still in the file but no longer exists.
    if (views_.count(key) || !file_ || dropped_.count(key)) return nullptr;
    loading_.insert(key);
  }
  std::shared_ptr<Table> table;
  auto finish = [&] {
    std::lock_guard lock(catalog_mutex_);
    loading_.erase(key);
    if (table) {
      if (table->object_id == 0) table->object_id = NewObjectId();
      table->object_id = stored_ids_.emplace(key, table->object_id).first->second;
      KeepConstraintIds(key, table->columns, table->keys, table->checks);
      table = tables_.emplace(key, table).first->second;
    }
    loaded_.notify_all();
  };
  try {
    table = file_->LoadTable(name);
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

namespace {

Database::TableDescription Describe(const Table& t) {
  return {t.name, t.object_id, t.columns, t.keys, t.checks};
}

}  // namespace

std::optional<Database::TableDescription> Database::DescribeTable(std::string_view name) {
  const std::string key = FoldName(name);
  DataFile* file = nullptr;
  {
    std::lock_guard lock(catalog_mutex_);
    auto it = tables_.find(key);
    if (it != tables_.end()) return Describe(*it->second);
    if (views_.count(key) || !file_ || dropped_.count(key)) return std::nullopt;
    file = file_.get();
  }
  auto stored = file->StoredDefinition(name);
  if (!stored) return std::nullopt;
  std::lock_guard lock(catalog_mutex_);
  auto it = tables_.find(key);  // loaded meanwhile
  if (it != tables_.end()) return Describe(*it->second);
  const int32_t id = stored_ids_.emplace(key, NewObjectId()).first->second;
  KeepConstraintIds(key, stored->columns, stored->keys, stored->checks);
  return TableDescription{std::move(stored->name), id, std::move(stored->columns), std::move(stored->keys),
                          std::move(stored->checks)};
}

void Database::KeepConstraintIds(const std::string& table_key, std::vector<ColumnDef>& columns,
                                 std::vector<TableKey>& keys, std::vector<TableCheck>& checks) {
  auto keep = [&](const std::string& name, int32_t& object_id) {
    const int32_t id = object_id != 0 ? object_id : NewObjectId();
    object_id = stored_ids_.emplace(table_key + '\x1f' + FoldName(name), id).first->second;
  };
  for (TableKey& k : keys) keep(k.name, k.object_id);
  for (TableCheck& c : checks) keep(c.name, c.object_id);
  for (ColumnDef& c : columns) {
    if (!c.default_name.empty()) keep(c.default_name, c.default_object_id);
  }
}

std::optional<int32_t> Database::ObjectId(std::string_view name) {
  {
    // A table in memory: no columns to copy.
    std::lock_guard lock(catalog_mutex_);
    if (auto it = tables_.find(FoldName(name)); it != tables_.end()) return it->second->object_id;
  }
  if (auto table = DescribeTable(name)) return table->object_id;
  if (auto view = FindView(name)) return view->object_id;
  if (auto procedure = FindProcedure(name)) return procedure->object_id;
  return std::nullopt;
}

bool Database::AddTable(std::shared_ptr<Table> table) {
  std::lock_guard lock(catalog_mutex_);
  std::string key = FoldName(table->name);
  if (tables_.count(key) || views_.count(key) || procedures_.count(key)) return false;
  table->NumberRows();
  tables_.emplace(key, std::move(table));
  return true;
}

bool Database::AddView(std::shared_ptr<View> view) {
  std::lock_guard lock(catalog_mutex_);
  std::string key = FoldName(view->name);
  if (tables_.count(key) || views_.count(key) || procedures_.count(key)) return false;
  views_.emplace(key, std::move(view));
  return true;
}

std::shared_ptr<Table> Database::DetachTable(std::string_view name) {
  // A stored table that no statement has used yet is only in the file: read it, so that its
  // drop can be undone like any other.
  if (!FindTable(name)) return nullptr;
  std::lock_guard lock(catalog_mutex_);
  const std::string key = FoldName(name);
  auto it = tables_.find(key);
  if (it == tables_.end()) return nullptr;
  std::shared_ptr<Table> table = std::move(it->second);
  tables_.erase(it);
  if (file_) dropped_.insert(key);
  return table;
}

std::shared_ptr<View> Database::DetachView(std::string_view name) {
  std::lock_guard lock(catalog_mutex_);
  auto it = views_.find(FoldName(name));
  if (it == views_.end()) return nullptr;
  std::shared_ptr<View> view = std::move(it->second);
  views_.erase(it);
  return view;
}

void Database::RestoreTable(std::shared_ptr<Table> table) {
  std::lock_guard lock(catalog_mutex_);
  const std::string key = FoldName(table->name);
  dropped_.erase(key);
  tables_[key] = std::move(table);
}

void Database::RestoreView(std::shared_ptr<View> view) {
  std::lock_guard lock(catalog_mutex_);
  views_[FoldName(view->name)] = std::move(view);
}

void Database::RemoveTable(const std::shared_ptr<Table>& table) {
  std::lock_guard lock(catalog_mutex_);
  auto it = tables_.find(FoldName(table->name));
  if (it != tables_.end() && it->second == table) tables_.erase(it);
}

void Database::RemoveView(const std::shared_ptr<View>& view) {
  std::lock_guard lock(catalog_mutex_);
  auto it = views_.find(FoldName(view->name));
  if (it != views_.end() && it->second == view) views_.erase(it);
}

void Database::ForgetDropped(const std::vector<std::string>& names) {
  std::lock_guard lock(catalog_mutex_);
  for (const std::string& name : names) {
    const std::string key = FoldName(name);
    dropped_.erase(key);
    // The table's id, and its keys' ("NAME\x1f..."), which sort right after it.
    stored_ids_.erase(stored_ids_.lower_bound(key), stored_ids_.lower_bound(key + '\x20'));
  }
}

void Database::AttachFile(std::unique_ptr<DataFile> file) {
  std::lock_guard lock(catalog_mutex_);
  file_ = std::move(file);
}

void Database::AddLoadedTable(std::shared_ptr<Table> table) {
  std::lock_guard lock(catalog_mutex_);
  if (table->object_id == 0) table->object_id = NewObjectId();
  table->object_id = stored_ids_.emplace(FoldName(table->name), table->object_id).first->second;
  KeepConstraintIds(FoldName(table->name), table->columns, table->keys, table->checks);
  table->NumberRows();
  tables_[FoldName(table->name)] = std::move(table);
}

void Database::EvictTable(std::string_view name) {
  std::lock_guard lock(catalog_mutex_);
  tables_.erase(FoldName(name));
}

void Database::ForEachTable(const std::function<void(const std::shared_ptr<Table>&)>& fn) {
  std::vector<std::shared_ptr<Table>> all;
  {
    std::lock_guard lock(catalog_mutex_);
    for (auto& [key, table] : tables_) all.push_back(table);
  }
  for (auto& table : all) fn(table);
}

void Database::ForEachView(const std::function<void(const std::shared_ptr<View>&)>& fn) {
  std::vector<std::shared_ptr<View>> views;
  {
    std::lock_guard lock(catalog_mutex_);
    for (auto& [key, view] : views_) views.push_back(view);
  }
  for (auto& view : views) fn(view);
}

void Database::AddLoadedView(std::shared_ptr<View> view) {
  std::lock_guard lock(catalog_mutex_);
  if (view->object_id == 0) view->object_id = NewObjectId();
  views_[FoldName(view->name)] = std::move(view);
}

std::vector<std::string> Database::TableNames() {
  std::map<std::string, std::string> names;  // folded -> as created
  DataFile* file = nullptr;
  std::set<std::string> dropped;
  {
    std::lock_guard lock(catalog_mutex_);
    for (auto& [key, table] : tables_) {
      if (!table->temporary) names.emplace(key, table->name);
    }
    file = file_.get();
    dropped = dropped_;
  }
  if (file) {
    for (std::string& name : file->StoredTableNames()) {
      std::string key = FoldName(name);
      if (!dropped.count(key)) names.emplace(std::move(key), std::move(name));
    }
  }
  std::vector<std::string> out;
  out.reserve(names.size());
  for (auto& [key, name] : names) out.push_back(std::move(name));
  return out;
}

void Database::SetDemoClock(std::optional<int64_t> ticks) {
  std::lock_guard lock(catalog_mutex_);
  demo_clock_ = ticks;
}

std::optional<int64_t> Database::demo_clock() const {
  std::lock_guard lock(catalog_mutex_);
  return demo_clock_;
}

std::string ViewDefinition(const View& v) {
  std::string text = "CREATE VIEW " + v.name;
  if (!v.column_names.empty()) {
    text += " (";
    for (size_t i = 0; i < v.column_names.size(); ++i) text += (i ? "," : "") + v.column_names[i];
    text += ")";
  }
  return text + " AS\n" + v.query_text;
}

}  // namespace orv::tsql
