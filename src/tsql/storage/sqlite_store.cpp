#include "tsql/storage/sqlite_store.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <thread>

#include "tsql/storage/column_snapshot.h"
#include "tsql/storage/memory_limit.h"
#include "tsql/storage/stored_values.h"
#include "tsql/types/sql_error.h"
#include "tsql/types/value_ops.h"

namespace orv::tsql {
namespace {

// SQL Server's number for a physical file that cannot be opened; the text names our file.
constexpr int32_t kFileError = 5120;
// How long a read or a commit waits for another connection's short-lived lock.
constexpr int kBusyWaitMs = 10000;

[[noreturn]] void FileError(const std::string& path, const std::string& what,
                            int32_t number = kFileError) {
  SqlError e;
  e.number = number;
  e.severity = 16;
  e.message = "Cannot use the data source file '" + path + "': " + what;
  throw SqlException(std::move(e));
}

std::string QuoteIdent(std::string_view name) {
  std::string out = "\"";
  for (char c : name) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

std::string Describe(const std::string& what, sqlite3* db) {
  const std::string message = sqlite3_errmsg(db);
  if (message == "file is not a database") return "it is not a data source file";
  if (message.find("locked") != std::string::npos) return "the file is locked by another program";
  return what.empty() ? message : what + ": " + message;
}

class Statement {
 public:
  Statement(sqlite3* db, const std::string& sql, const std::string& path) : db_(db), path_(path) {
    if (sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &stmt_, nullptr) != SQLITE_OK) {
      FileError(path, Describe("", db));
    }
  }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  sqlite3_stmt* get() { return stmt_; }
  // One step of a query: true for a row, false at the end.
  bool Row() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc != SQLITE_DONE) FileError(path_, Describe("", db_));
    return false;
  }
  // Runs a statement that returns no rows, then readies it for the next bindings.
  void Run() {
    if (sqlite3_step(stmt_) != SQLITE_DONE) FileError(path_, Describe("", db_));
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
  }
  void Text(int index, std::string_view text) {
    sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  }
  void Int(int index, int64_t v) { sqlite3_bind_int64(stmt_, index, v); }
  std::string TextAt(int col) {
    const unsigned char* t = sqlite3_column_text(stmt_, col);
    return t ? reinterpret_cast<const char*>(t) : "";
  }
  int64_t IntAt(int col) { return sqlite3_column_int64(stmt_, col); }

 private:
  sqlite3_stmt* stmt_ = nullptr;
  sqlite3* db_;
  const std::string& path_;
};

// The columns of a stored SQLite table, in order.
std::vector<std::string> SqliteColumns(sqlite3* db, const std::string& table, const std::string& path) {
  std::vector<std::string> names;
  Statement info(db, "PRAGMA table_info(" + QuoteIdent(table) + ")", path);
  while (info.Row()) names.push_back(info.TextAt(1));
  return names;
}

// A name for the rowid that no column of the table hides.
std::string RowidName(const std::vector<std::string>& columns) {
  for (const char* alias : {"rowid", "_rowid_", "oid"}) {
    bool taken = false;
    for (const std::string& c : columns) taken = taken || SameName(c, alias);
    if (!taken) return alias;
  }
  return "rowid";
}

struct TypeParameters {
  bool present = false;
  bool max = false;
  int64_t a = -1, b = -1;
};

// Digits of a type parameter, at most nine of them (so that no value overflows).
bool ReadNumber(const std::string& text, size_t& i, int64_t& out) {
  size_t start = i;
  out = 0;
  while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) && i - start < 9) {
    out = out * 10 + (text[i++] - '0');
  }
  return i > start && !(i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])));
}

// A key's column positions from their stored list ("0,2"), each one of the table's columns.
void ReadKeyColumns(const std::string& path, const StoredTable& t, const std::string& list, StoredKey& key) {
  size_t i = 0;
  int64_t column = 0;
  bool valid = !list.empty();
  while (valid && i < list.size()) {
    valid = ReadNumber(list, i, column) && column >= 0 && static_cast<size_t>(column) < t.columns.size() &&
            (i == list.size() || list[i++] == ',');
    key.columns.push_back(static_cast<int>(column));
  }
  if (!valid) FileError(path, "table '" + t.name + "', key '" + key.name + "' names columns it does not have");
}

}  // namespace

std::optional<SqlType> ParseTypeText(const std::string& text) {
  std::string name;
  size_t i = 0;
  // A type name is letters, digits and underscores ("datetime2"), up to its parameters.
  while (i < text.size() && (std::isalnum(static_cast<unsigned char>(text[i])) || text[i] == '_')) {
    name.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(text[i++]))));
  }
  TypeParameters p;
  if (i < text.size() && text[i] == '(') {
    p.present = true;
    ++i;
    if (text.compare(i, 3, "max") == 0) {
      p.max = true;
      i += 3;
    } else {
      if (!ReadNumber(text, i, p.a)) return std::nullopt;
      if (i < text.size() && text[i] == ',') {
        ++i;
        if (!ReadNumber(text, i, p.b)) return std::nullopt;
      }
    }
    if (i >= text.size() || text[i] != ')') return std::nullopt;
    ++i;
  }
  // A column's own collation follows its type: "varchar(10) COLLATE Chinese_PRC_CS_AS".
  Collation collation = Collation::kCiAs;
  if (text.compare(i, 9, " COLLATE ") == 0) {
    collation = CollationFromName(text.substr(i + 9));
    i = text.size();
  }
  if (i != text.size()) return std::nullopt;
  auto plain = [&](SqlType t) -> std::optional<SqlType> {
    if (p.present) return std::nullopt;
    return t;
  };
  auto string_type = [&](SqlType (*make)(int32_t), int64_t limit, bool allow_max) -> std::optional<SqlType> {
    std::optional<SqlType> t;
    if (!p.present) {
      t = make(1);
    } else if (p.max) {
      if (allow_max) t = make(SqlType::kMaxLength);
    } else if (p.b < 0 && p.a >= 1 && p.a <= limit) {
      t = make(static_cast<int32_t>(p.a));
    }
    if (t) t->collation = collation;
    return t;
  };
  // time(n), datetime2(n), datetimeoffset(n): n from 0 to 7, 7 when not given.
  auto precise_time = [&](SqlType (*make)(int)) -> std::optional<SqlType> {
    if (!p.present) return make(7);
    if (p.max || p.b >= 0 || p.a < 0 || p.a > 7) return std::nullopt;
    return make(static_cast<int>(p.a));
  };
  if (name == "int") return plain(SqlType::Int());
  if (name == "smallint") return plain(SqlType::SmallInt());
  if (name == "tinyint") return plain(SqlType::TinyInt());
  if (name == "bigint") return plain(SqlType::BigInt());
  if (name == "bit") return plain(SqlType::Bit());
  if (name == "money") return plain(SqlType::Money());
  if (name == "float") return plain(SqlType::Float());
  if (name == "real") return plain(SqlType::Real());
  if (name == "datetime") return plain(SqlType::DateTime());
  if (name == "smalldatetime") return plain(SqlType::SmallDateTime());
  if (name == "date") return plain(SqlType::Date());
  if (name == "text") return plain(SqlType{TypeId::Text, 0, 0, SqlType::kMaxLength});
  if (name == "ntext") return plain(SqlType{TypeId::NText, 0, 0, SqlType::kMaxLength});
  if (name == "null") return plain(SqlType::Null());
  if (name == "decimal" || name == "numeric") {
    if (!p.present) return SqlType::Decimal(18, 0);
    if (p.max) return std::nullopt;
    const int64_t precision = p.a, scale = p.b < 0 ? 0 : p.b;
    if (precision < 1 || precision > 38 || scale > precision) return std::nullopt;
    return SqlType::Decimal(static_cast<int>(precision), static_cast<int>(scale));
  }
  if (name == "varchar") return string_type(SqlType::VarChar, 8000, true);
  if (name == "char") return string_type(SqlType::Char, 8000, false);
  if (name == "nvarchar") return string_type(SqlType::NVarChar, 4000, true);
  if (name == "nchar") return string_type(SqlType::NChar, 4000, false);
  if (name == "binary") return string_type(SqlType::Binary, 8000, false);
  if (name == "varbinary") return string_type(SqlType::VarBinary, 8000, true);
  if (name == "time") return precise_time(SqlType::Time);
  if (name == "datetime2") return precise_time(SqlType::DateTime2);
  if (name == "datetimeoffset") return precise_time(SqlType::DateTimeOffset);
  if (name == "uniqueidentifier") return plain(SqlType::UniqueIdentifier());
  if (name == "sql_variant") return plain(SqlType::SqlVariant());
  return std::nullopt;
}

std::unique_ptr<SqliteStore> SqliteStore::Open(const std::string& path, Mode mode) {
  const size_t slash = path.find_last_of('/');
  struct stat st {};
  if (slash != std::string::npos && slash > 0) {
    const std::string dir = path.substr(0, slash);
    if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) FileError(path, "the folder '" + dir + "' does not exist");
  }
  const bool exists = stat(path.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode)) FileError(path, "it is not a file");
  // An empty file is refused even when a file may be made: it is more likely one that lost its
  // contents than a data source still to come.
  if (exists && st.st_size == 0) FileError(path, "the file is empty (0 bytes), not a data source file");
  if (mode == Mode::kExisting && !exists) FileError(path, "the file does not exist");
  sqlite3* db = nullptr;
  const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (mode == Mode::kCreate ? SQLITE_OPEN_CREATE : 0);
  if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
    const std::string message = db ? sqlite3_errmsg(db) : "out of memory";
    sqlite3_close(db);
    FileError(path, message);
  }
  std::unique_ptr<SqliteStore> store(new SqliteStore(path, db));
  sqlite3_busy_timeout(db, kBusyWaitMs);
  // A file that is not a SQLite database fails here; one that is SQLite but not ours is refused.
  int user_tables = 0;
  bool ours = false;
  {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT name FROM sqlite_master WHERE type='table'", -1, &stmt, nullptr) != SQLITE_OK) {
      const std::string what = Describe("", db);
      sqlite3_finalize(stmt);
      FileError(path, what);
    }
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
      ++user_tables;
      const unsigned char* name = sqlite3_column_text(stmt, 0);
      if (name && std::strcmp(reinterpret_cast<const char*>(name), "orv_tables") == 0) ours = true;
    }
    const std::string what = Describe("", db);
    sqlite3_finalize(stmt);
    if (rc != SQLITE_DONE) FileError(path, what);
  }
  if (user_tables > 0 && !ours) FileError(path, "it is a SQLite file but not a data source file of this program");
  if (!ours) {
    if (exists) FileError(path, "it is an empty SQLite file, not a data source file");
    store->CreateCatalog();
  }
  store->CheckCatalog();
  if (const char* setting = std::getenv("ORVDATA_COLUMN_SNAPSHOTS"); !setting || std::string_view(setting) != "off") {
    store->snapshots_ = std::make_unique<ColumnSnapshots>(path);
  }
  return store;
}

SqliteStore::SqliteStore(std::string path, sqlite3* db) : path_(std::move(path)), db_(db) {}

SqliteStore::~SqliteStore() {
  if (in_write_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(second_);
  sqlite3_close(db_);
}

template <class Fn>
auto SqliteStore::Read(Fn&& fn) {
  if (in_write_) return fn();
  Exec("BEGIN");
  try {
    auto result = fn();
    Exec("COMMIT");
    return result;
  } catch (...) {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
}

void SqliteStore::Exec(const std::string& sql) {
  char* error = nullptr;
  if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    std::string message = error ? error : "unknown error";
    sqlite3_free(error);
    if (message.find("locked") != std::string::npos) message = "the file is locked by another program";
    FileError(path_, message);
  }
}

// PRIMARY KEY and UNIQUE constraints and unique indexes of the tables: is_primary is 1 for a
// primary key, 0 for a UNIQUE constraint and 2 for a unique index; columns holds the positions
// of the key's columns, separated by commas.
constexpr const char* kCreateKeys =
    "CREATE TABLE IF NOT EXISTS orv_keys(table_name TEXT NOT NULL COLLATE NOCASE, name TEXT NOT NULL,"
    " is_primary INTEGER NOT NULL, columns TEXT NOT NULL)";
// CHECK constraints of the tables, each condition as T-SQL text; state 1 when disabled, plus 2
// when not trusted.
constexpr const char* kCreateChecks =
    "CREATE TABLE IF NOT EXISTS orv_checks(table_name TEXT NOT NULL COLLATE NOCASE, name TEXT NOT NULL,"
    " column_name TEXT NOT NULL, condition TEXT NOT NULL, state INTEGER NOT NULL DEFAULT 0)";

// Indexes that are not unique, and filtered ones (kept apart from orv_keys, where a program
// that knows only unique keys would take them for UNIQUE constraints): `position` is the
// index's place among the table's keys, columns as in orv_keys, the filter's condition as
// T-SQL text ("" for none).
constexpr const char* kCreateIndexes =
    "CREATE TABLE IF NOT EXISTS orv_indexes(table_name TEXT NOT NULL COLLATE NOCASE, name TEXT NOT NULL,"
    " position INTEGER NOT NULL, is_unique INTEGER NOT NULL, columns TEXT NOT NULL, filter TEXT NOT NULL)";

// The names of the DEFAULT constraints of columns that have a default.
constexpr const char* kCreateDefaults =
    "CREATE TABLE IF NOT EXISTS orv_defaults(table_name TEXT NOT NULL COLLATE NOCASE,"
    " column_name TEXT NOT NULL, name TEXT NOT NULL)";

// The expressions of computed columns, as T-SQL text.
constexpr const char* kCreateComputed =
    "CREATE TABLE IF NOT EXISTS orv_computed(table_name TEXT NOT NULL COLLATE NOCASE,"
    " column_name TEXT NOT NULL, expression TEXT NOT NULL)";

void SqliteStore::CreateCatalog() {
  // A new file keeps a write-ahead log: readers never wait for a writer, and a commit is one
  // append to the log.
  Exec("PRAGMA journal_mode=WAL");
  Exec(
      "BEGIN IMMEDIATE;"
      "CREATE TABLE IF NOT EXISTS orv_tables(name TEXT PRIMARY KEY COLLATE NOCASE, identity_next INTEGER NOT NULL,"
      " version INTEGER NOT NULL DEFAULT 0);"
      "CREATE TABLE IF NOT EXISTS orv_columns(table_name TEXT NOT NULL COLLATE NOCASE, ordinal INTEGER NOT NULL,"
      " name TEXT NOT NULL, type TEXT NOT NULL, nullable INTEGER NOT NULL, default_sql TEXT NOT NULL,"
      " identity INTEGER NOT NULL, seed INTEGER NOT NULL, increment INTEGER NOT NULL, PRIMARY KEY(table_name, ordinal));"
      "CREATE TABLE IF NOT EXISTS orv_views(name TEXT PRIMARY KEY COLLATE NOCASE, definition TEXT NOT NULL);"
      "CREATE TABLE IF NOT EXISTS orv_meta(key TEXT PRIMARY KEY, value INTEGER NOT NULL);"
      "COMMIT;");
  Exec(kCreateKeys);
  Exec(kCreateChecks);
  Exec(kCreateComputed);
  Exec(kCreateIndexes);
  Exec(kCreateDefaults);
}

void SqliteStore::CheckCatalog() {
  Read([&] {
    ReadCatalog();
    return 0;
  });
}

void SqliteStore::FindCatalogParts() {
  has_versions_ = false;
  for (const std::string& column : SqliteColumns(db_, "orv_tables", path_)) {
    has_versions_ = has_versions_ || column == "version";
  }
  has_keys_ = !SqliteColumns(db_, "orv_keys", path_).empty();
  has_checks_ = false;
  has_check_state_ = false;
  for (const std::string& column : SqliteColumns(db_, "orv_checks", path_)) {
    has_checks_ = true;
    has_check_state_ = has_check_state_ || column == "state";
  }
  has_computed_ = !SqliteColumns(db_, "orv_computed", path_).empty();
  has_indexes_ = !SqliteColumns(db_, "orv_indexes", path_).empty();
  has_defaults_ = !SqliteColumns(db_, "orv_defaults", path_).empty();
}

void SqliteStore::ReadCatalog() {
  {
    FindCatalogParts();
    Statement types(db_, "SELECT table_name, name, type FROM orv_columns ORDER BY table_name, ordinal", path_);
    while (types.Row()) {
      const std::string type = types.TextAt(2);
      if (!ParseTypeText(type)) {
        FileError(path_, "table '" + types.TextAt(0) + "', column '" + types.TextAt(1) + "' has the type '" + type +
                             "', which is not a valid column type");
      }
    }
  }
}

// A file written by an older version gets the catalog tables and columns it lacks with its
// first write.
void SqliteStore::UpgradeCatalog() {
  // A table of the catalog that the file does not have yet.
  auto add_table = [&](bool& has, const char* create) {
    if (has) return;
    Exec(create);
    upgraded_in_write_ = true;
    has = true;
  };
  // A column that an older version's table lacks (CREATE TABLE IF NOT EXISTS left it as it was).
  auto add_column = [&](bool& has, const char* table, const char* column, const std::string& alter) {
    if (has) return;
    bool there = false;
    for (const std::string& c : SqliteColumns(db_, table, path_)) there = there || c == column;
    if (!there) {
      Exec(alter);
      upgraded_in_write_ = true;
    }
    has = true;
  };
  add_column(has_versions_, "orv_tables", "version", "ALTER TABLE orv_tables ADD COLUMN version INTEGER NOT NULL DEFAULT 0");
  Exec("CREATE TABLE IF NOT EXISTS orv_meta(key TEXT PRIMARY KEY, value INTEGER NOT NULL)");
  add_table(has_keys_, kCreateKeys);
  add_table(has_checks_, kCreateChecks);
  add_column(has_check_state_, "orv_checks", "state", "ALTER TABLE orv_checks ADD COLUMN state INTEGER NOT NULL DEFAULT 0");
  add_table(has_computed_, kCreateComputed);
  add_table(has_indexes_, kCreateIndexes);
  add_table(has_defaults_, kCreateDefaults);
}

int64_t SqliteStore::DataVersion() {
  Statement pragma(db_, "PRAGMA data_version", path_);
  return pragma.Row() ? pragma.IntAt(0) : 0;
}

std::vector<std::string> SqliteStore::TableNames() {
  return Read([&] {
    std::vector<std::string> names;
    Statement list(db_, "SELECT name FROM orv_tables ORDER BY rowid", path_);
    while (list.Row()) names.push_back(list.TextAt(0));
    return names;
  });
}

std::vector<TableVersion> SqliteStore::TableVersions() {
  return Read([&] {
    // Another process may have given the catalog its version column since this one looked.
    ReadCatalog();
    std::vector<TableVersion> versions;
    Statement list(db_, has_versions_ ? "SELECT name, version FROM orv_tables" : "SELECT name, 0 FROM orv_tables",
                   path_);
    while (list.Row()) versions.push_back({list.TextAt(0), list.IntAt(1)});
    return versions;
  });
}

std::vector<StoredView> SqliteStore::LoadViews() {
  return Read([&] {
    std::vector<StoredView> views;
    Statement list(db_, "SELECT name, definition FROM orv_views ORDER BY rowid", path_);
    while (list.Row()) views.push_back({list.TextAt(0), list.TextAt(1)});
    return views;
  });
}

std::vector<StoredTable> SqliteStore::LoadTables() {
  std::vector<StoredTable> tables;
  for (const std::string& name : TableNames()) {
    if (std::optional<StoredTable> t = LoadTable(name)) tables.push_back(std::move(*t));
  }
  return tables;
}

std::optional<StoredTable> SqliteStore::LoadTable(const std::string& name, bool rows_on_demand) {
  if (!snapshots_ || in_write_) {
    bool from_snapshot = false;
    SnapshotKey key;
    return LoadTableOnce(name, nullptr, from_snapshot, key);
  }
  // The read transaction sees the state of some moment after `before` is taken; when the stamp
  // is the same after the read, no commit came between, so that state is the one `before`
  // stamps. Only then are a snapshot's rows taken, and only then are rows read from SQLite
  // given a snapshot.
  const std::optional<FileStamp> before = Stamp();
  bool from_snapshot = false;
  SnapshotKey key;
  std::optional<StoredTable> t = LoadTableOnce(name, before ? &*before : nullptr, from_snapshot, key, rows_on_demand);
  const std::optional<FileStamp> after = Stamp();
  const bool unchanged = before && after && *before == *after;
  if (from_snapshot && !unchanged) return LoadTableOnce(name, nullptr, from_snapshot, key);
  if (t && !from_snapshot && unchanged) snapshots_->Write(key, *t);
  return t;
}

bool SqliteStore::MakesSnapshots() const { return snapshots_ != nullptr; }

std::optional<FileStamp> SqliteStore::Stamp() { return StampFile(path_, db_); }

bool SqliteStore::ReadDefinition(sqlite3* db, const std::string& name, StoredTable& t) {
  {
    Statement meta(db,
                   has_versions_ ? "SELECT name, identity_next, version FROM orv_tables WHERE name = ?"
                                 : "SELECT name, identity_next, 0 FROM orv_tables WHERE name = ?",
                   path_);
    meta.Text(1, name);
    if (!meta.Row()) return false;
    t.name = meta.TextAt(0);
    t.identity_next = meta.IntAt(1);
    t.version = meta.IntAt(2);
  }
  Statement cols(db,
                 "SELECT name, type, nullable, default_sql, identity, seed, increment FROM orv_columns "
                 "WHERE table_name = ? ORDER BY ordinal",
                 path_);
  cols.Text(1, t.name);
  while (cols.Row()) {
    StoredColumn c;
    c.name = cols.TextAt(0);
    const std::string type_text = cols.TextAt(1);
    const std::optional<SqlType> type = ParseTypeText(type_text);
    if (!type) {
      FileError(path_, "table '" + t.name + "', column '" + c.name + "' has the type '" + type_text +
                           "', which is not a valid column type");
    }
    c.type = *type;
    c.nullable = cols.IntAt(2) != 0;
    c.default_sql = cols.TextAt(3);
    c.identity = cols.IntAt(4) != 0;
    c.identity_seed = cols.IntAt(5);
    c.identity_increment = cols.IntAt(6);
    t.columns.push_back(std::move(c));
  }
  if (has_keys_) {
    Statement keys(db, "SELECT name, is_primary, columns FROM orv_keys WHERE table_name = ? ORDER BY rowid", path_);
    keys.Text(1, t.name);
    while (keys.Row()) {
      StoredKey key;
      key.name = keys.TextAt(0);
      key.primary = keys.IntAt(1) == 1;
      key.index = keys.IntAt(1) == 2;
      ReadKeyColumns(path_, t, keys.TextAt(2), key);
      t.keys.push_back(std::move(key));
    }
  }
  if (has_indexes_) {
    Statement indexes(db,
                      "SELECT name, position, is_unique, columns, filter FROM orv_indexes WHERE table_name = ?"
                      " ORDER BY position",
                      path_);
    indexes.Text(1, t.name);
    while (indexes.Row()) {
      StoredKey key;
      key.name = indexes.TextAt(0);
      key.index = true;
      key.unique = indexes.IntAt(2) != 0;
      ReadKeyColumns(path_, t, indexes.TextAt(3), key);
      key.filter_sql = indexes.TextAt(4);
      const auto at = static_cast<size_t>(std::clamp<int64_t>(indexes.IntAt(1), 0, static_cast<int64_t>(t.keys.size())));
      t.keys.insert(t.keys.begin() + static_cast<std::ptrdiff_t>(at), std::move(key));
    }
  }
  if (has_checks_) {
    const std::string state = has_check_state_ ? "state" : "0";
    Statement checks(db,
                     "SELECT name, column_name, condition, " + state +
                         " FROM orv_checks WHERE table_name = ? ORDER BY rowid",
                     path_);
    checks.Text(1, t.name);
    while (checks.Row()) {
      const int64_t state = checks.IntAt(3);
      t.checks.push_back({checks.TextAt(0), checks.TextAt(1), checks.TextAt(2), (state & 1) != 0, (state & 2) != 0});
    }
  }
  // Facts of some columns kept in a table of their own: the column's name and a text.
  auto read_column_texts = [&](const char* select, const char* what, std::string StoredColumn::*field) {
    Statement rows(db, select, path_);
    rows.Text(1, t.name);
    while (rows.Row()) {
      const std::string column = rows.TextAt(0);
      auto it = std::find_if(t.columns.begin(), t.columns.end(),
                             [&](const StoredColumn& c) { return c.name == column; });
      if (it == t.columns.end()) FileError(path_, "table '" + t.name + "' has no " + what + " '" + column + "'");
      (*it).*field = rows.TextAt(1);
    }
  };
  if (has_defaults_) {
    read_column_texts("SELECT column_name, name FROM orv_defaults WHERE table_name = ?", "column",
                      &StoredColumn::default_name);
  }
  if (has_computed_) {
    read_column_texts("SELECT column_name, expression FROM orv_computed WHERE table_name = ?", "computed column",
                      &StoredColumn::computed_sql);
  }
  return true;
}

std::optional<StoredTable> SqliteStore::DescribeTable(const std::string& name) {
  return Read([&]() -> std::optional<StoredTable> {
    StoredTable t;
    if (!ReadDefinition(db_, name, t)) return std::nullopt;
    return t;
  });
}

std::optional<StoredTable> SqliteStore::LoadTableOnce(const std::string& name, const FileStamp* snapshot_stamp,
                                                      bool& from_snapshot, SnapshotKey& key,
                                                      bool rows_on_demand) {
  from_snapshot = false;
  return Read([&]() -> std::optional<StoredTable> {
    StoredTable t;
    if (!ReadDefinition(db_, name, t)) return std::nullopt;
    const std::vector<std::string> stored = SqliteColumns(db_, t.name, path_);
    if (stored.size() != t.columns.size()) {
      FileError(path_, "table '" + t.name + "' has " + std::to_string(stored.size()) + " columns but its definition " +
                           std::to_string(t.columns.size()));
    }
    const std::string rowid = RowidName(stored);
    std::vector<StoredValueReader> readers;
    for (const StoredColumn& c : t.columns) readers.emplace_back(c.type, c.nullable);
    const std::string select = "SELECT " + rowid + ", * FROM " + QuoteIdent(t.name) + " WHERE " + rowid +
                               " BETWEEN ? AND ? ORDER BY " + rowid;
    int64_t low = 0, high = -1;
    {
      // Two subqueries: SQLite finds a lone min() or max() of the rowid at an end of the table,
      // but both in one select make it scan every row.
      const std::string from = " FROM " + QuoteIdent(t.name) + ")";
      Statement range(db_, "SELECT (SELECT min(" + rowid + ")" + from + ", (SELECT max(" + rowid + ")" + from, path_);
      if (range.Row() && sqlite3_column_type(range.get(), 0) != SQLITE_NULL) {
        low = range.IntAt(0);
        high = range.IntAt(1);
      }
    }
    key.version = t.version;
    key.low_rowid = low;
    key.high_rowid = high;
    if (snapshot_stamp) {
      key.stamp = *snapshot_stamp;
      if (snapshots_->Read(key, t, rows_on_demand)) {
        from_snapshot = true;
        return t;
      }
    }
    // A large table is read as two halves of its rowids at once, the second on a second
    // connection. Both halves are of the same committed state when both connections see the
    // same version of the table (every commit that changes it gives it a new one).
    constexpr int64_t kSplitFrom = 100000;
    // Not while this connection's write holds a catalog upgrade that the second connection, which
    // sees only what is committed, cannot see yet.
    if (high - low >= kSplitFrom && std::thread::hardware_concurrency() > 1 && !upgraded_in_write_ &&
        OpenSecondReader()) {
      const int64_t middle = low + (high - low) / 2;
      RowRange second;
      StatementMemory* memory = StatementMemory::Current();
      std::thread helper([&] {
        StatementMemory::Scope counted(memory);
        try {
          ReadSecondHalf(t.name, select, middle + 1, high, readers, second);
        } catch (...) {
          second.error = std::current_exception();
        }
      });
      RowRange first;
      try {
        ReadRows(db_, select, low, middle, t, readers, first);
      } catch (...) {
        helper.join();
        throw;
      }
      helper.join();
      if (second.error) std::rethrow_exception(second.error);
      if (second.version == t.version) {
        t.rows = std::move(first.rows);
        t.row_ids = std::move(first.ids);
        t.rows.reserve(t.rows.size() + second.rows.size());
        for (auto& row : second.rows) t.rows.push_back(std::move(row));
        t.row_ids.insert(t.row_ids.end(), second.ids.begin(), second.ids.end());
        return t;
      }
      // Another process changed the table between the two reads: read the rest here.
      ReadRows(db_, select, middle + 1, high, t, readers, first);
      t.rows = std::move(first.rows);
      t.row_ids = std::move(first.ids);
      return t;
    }
    RowRange all;
    ReadRows(db_, select, low, high, t, readers, all);
    t.rows = std::move(all.rows);
    t.row_ids = std::move(all.ids);
    return t;
  });
}

void SqliteStore::ReadRows(sqlite3* db, const std::string& select, int64_t low, int64_t high,
                           const StoredTable& t, const std::vector<StoredValueReader>& readers, RowRange& out) {
  Statement rows(db, select, path_);
  rows.Int(1, low);
  rows.Int(2, high);
  const size_t row_bytes = sizeof(std::vector<Value>) + readers.size() * sizeof(Value) + sizeof(int64_t);
  while (rows.Row()) {
    std::vector<Value> row;
    if (auto bad = ReadStoredRow(rows.get(), 1, readers, row)) [[unlikely]] {
      const StoredColumn& c = t.columns[bad->first];
      FileError(path_,
                "table '" + t.name + "', column '" + c.name + "', row " + std::to_string(rows.IntAt(0)) +
                    " (type " + c.type.ToString() + "): " + bad->second.message,
                bad->second.number);
    }
    out.ids.push_back(rows.IntAt(0));
    out.rows.push_back(std::move(row));
    ChargeRows(out.rows.size(), row_bytes);
  }
}

bool SqliteStore::OpenSecondReader() {
  if (second_) return true;
  if (sqlite3_open_v2(path_.c_str(), &second_, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
    sqlite3_close(second_);
    second_ = nullptr;
    return false;
  }
  sqlite3_busy_timeout(second_, kBusyWaitMs);
  return true;
}

void SqliteStore::ReadSecondHalf(const std::string& name, const std::string& select, int64_t low, int64_t high,
                                 const std::vector<StoredValueReader>& readers, RowRange& out) {
  auto exec = [&](const char* sql) {
    if (sqlite3_exec(second_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) FileError(path_, Describe("", second_));
  };
  exec("BEGIN");
  try {
    StoredTable t;  // its columns are named in the message about a value that does not fit
    if (!ReadDefinition(second_, name, t)) {
      exec("COMMIT");
      out.version = -1;
      return;
    }
    out.version = t.version;
    ReadRows(second_, select, low, high, t, readers, out);
    exec("COMMIT");
  } catch (...) {
    sqlite3_exec(second_, "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
}

bool SqliteStore::TryBeginWrite() {
  if (in_write_) return true;
  // A file from before write-ahead logging gets it with its first write (when no other
  // connection has it open; otherwise it keeps its rollback journal, which is as safe).
  sqlite3_busy_timeout(db_, 0);
  sqlite3_exec(db_, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
  const int rc = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  sqlite3_busy_timeout(db_, kBusyWaitMs);
  if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) return false;
  if (rc != SQLITE_OK) FileError(path_, Describe("cannot start a write", db_));
  in_write_ = true;
  upgraded_in_write_ = false;
  write_version_ = 0;
  try {
    UpgradeCatalog();
  } catch (...) {
    Rollback();
    throw;
  }
  return true;
}

int64_t SqliteStore::WriteVersion() {
  if (write_version_ == 0) {
    int64_t last = 0;
    {
      Statement get(db_, "SELECT value FROM orv_meta WHERE key = 'commit_seq'", path_);
      if (get.Row()) last = get.IntAt(0);
    }
    // Older files start their sequence above every version already stored.
    Statement top(db_, "SELECT coalesce(max(version), 0) FROM orv_tables", path_);
    if (top.Row() && top.IntAt(0) > last) last = top.IntAt(0);
    write_version_ = last + 1;
    Statement put(db_, "INSERT OR REPLACE INTO orv_meta(key, value) VALUES ('commit_seq', ?)", path_);
    put.Int(1, write_version_);
    put.Run();
  }
  return write_version_;
}

void SqliteStore::CreateTable(const std::string& name, const std::vector<StoredColumn>& columns,
                              const std::vector<StoredKey>& keys, const std::vector<StoredCheck>& checks) {
  std::string create = "CREATE TABLE " + QuoteIdent(name) + "(";
  for (size_t i = 0; i < columns.size(); ++i) {
    if (i) create += ",";
    create += QuoteIdent(columns[i].name);
  }
  Exec(create + ")");
  Statement meta(db_, "INSERT INTO orv_tables(name, identity_next, version) VALUES (?, 1, 0)", path_);
  meta.Text(1, name);
  meta.Run();
  WriteDefinition(name, columns, keys, checks);
}

void SqliteStore::RedefineTable(const std::string& name, const std::vector<StoredColumn>& columns,
                                const std::vector<StoredKey>& keys, const std::vector<StoredCheck>& checks) {
  DeleteDefinition(name);
  WriteDefinition(name, columns, keys, checks);
}

void SqliteStore::WriteDefinition(const std::string& name, const std::vector<StoredColumn>& columns,
                                  const std::vector<StoredKey>& keys, const std::vector<StoredCheck>& checks) {
  Statement col(db_,
                "INSERT INTO orv_columns(table_name, ordinal, name, type, nullable, default_sql, identity, seed,"
                " increment) VALUES (?,?,?,?,?,?,?,?,?)",
                path_);
  for (size_t i = 0; i < columns.size(); ++i) {
    const StoredColumn& c = columns[i];
    col.Text(1, name);
    col.Int(2, static_cast<int64_t>(i));
    col.Text(3, c.name);
    col.Text(4, c.type.ToString());
    col.Int(5, c.nullable ? 1 : 0);
    col.Text(6, c.default_sql);
    col.Int(7, c.identity ? 1 : 0);
    col.Int(8, c.identity_seed);
    col.Int(9, c.identity_increment);
    col.Run();
  }
  for (const StoredColumn& c : columns) {
    if (c.default_sql.empty() || c.default_name.empty()) continue;
    Statement named(db_, "INSERT INTO orv_defaults(table_name, column_name, name) VALUES (?,?,?)", path_);
    named.Text(1, name);
    named.Text(2, c.name);
    named.Text(3, c.default_name);
    named.Run();
  }
  for (const StoredColumn& c : columns) {
    if (c.computed_sql.empty()) continue;
    Statement computed(db_, "INSERT INTO orv_computed(table_name, column_name, expression) VALUES (?,?,?)", path_);
    computed.Text(1, name);
    computed.Text(2, c.name);
    computed.Text(3, c.computed_sql);
    computed.Run();
  }
  if (!checks.empty()) {
    Statement check_row(db_,
                        "INSERT INTO orv_checks(table_name, name, column_name, condition, state) VALUES (?,?,?,?,?)",
                        path_);
    for (const StoredCheck& c : checks) {
      check_row.Text(1, name);
      check_row.Text(2, c.name);
      check_row.Text(3, c.column);
      check_row.Text(4, c.condition);
      check_row.Int(5, (c.disabled ? 1 : 0) + (c.not_trusted ? 2 : 0));
      check_row.Run();
    }
  }
  if (keys.empty()) return;
  Statement key_row(db_, "INSERT INTO orv_keys(table_name, name, is_primary, columns) VALUES (?,?,?,?)", path_);
  Statement index_row(db_,
                      "INSERT INTO orv_indexes(table_name, name, position, is_unique, columns, filter)"
                      " VALUES (?,?,?,?,?,?)",
                      path_);
  for (size_t k = 0; k < keys.size(); ++k) {
    const StoredKey& key = keys[k];
    std::string list;
    for (int c : key.columns) list += (list.empty() ? "" : ",") + std::to_string(c);
    if (key.index && (!key.unique || !key.filter_sql.empty())) {
      index_row.Text(1, name);
      index_row.Text(2, key.name);
      index_row.Int(3, static_cast<int64_t>(k));
      index_row.Int(4, key.unique ? 1 : 0);
      index_row.Text(5, list);
      index_row.Text(6, key.filter_sql);
      index_row.Run();
      continue;
    }
    key_row.Text(1, name);
    key_row.Text(2, key.name);
    key_row.Int(3, key.index ? 2 : key.primary ? 1 : 0);
    key_row.Text(4, list);
    key_row.Run();
  }
}

void SqliteStore::DropTable(const std::string& name) {
  Exec("DROP TABLE IF EXISTS " + QuoteIdent(name));
  Statement del(db_, "DELETE FROM orv_tables WHERE name = ?", path_);
  del.Text(1, name);
  del.Run();
  DeleteDefinition(name);
}

void SqliteStore::DeleteDefinition(const std::string& name) {
  for (const char* sql : {"DELETE FROM orv_columns WHERE table_name = ?", "DELETE FROM orv_keys WHERE table_name = ?",
                          "DELETE FROM orv_checks WHERE table_name = ?", "DELETE FROM orv_computed WHERE table_name = ?",
                          "DELETE FROM orv_indexes WHERE table_name = ?", "DELETE FROM orv_defaults WHERE table_name = ?"}) {
    Statement del(db_, sql, path_);
    del.Text(1, name);
    del.Run();
  }
}

void SqliteStore::SetTableInfo(const std::string& name, int64_t identity_next, int64_t version) {
  Statement meta(db_, "UPDATE orv_tables SET identity_next = ?, version = ? WHERE name = ?", path_);
  meta.Int(1, identity_next);
  meta.Int(2, version);
  meta.Text(3, name);
  meta.Run();
}

void SqliteStore::DeleteAllRows(const std::string& name) { Exec("DELETE FROM " + QuoteIdent(name)); }

void SqliteStore::DeleteRows(const std::string& name, const std::vector<int64_t>& row_ids) {
  if (row_ids.empty()) return;
  const std::string rowid = RowidName(SqliteColumns(db_, name, path_));
  Statement del(db_, "DELETE FROM " + QuoteIdent(name) + " WHERE " + rowid + " = ?", path_);
  for (const int64_t id : row_ids) {
    del.Int(1, id);
    del.Run();
  }
}

void SqliteStore::InsertRows(const std::string& name, const std::vector<SqlType>& types,
                             const std::vector<StoredRow>& rows) {
  if (rows.empty()) return;
  const size_t width = types.size();
  const std::vector<std::string> columns = SqliteColumns(db_, name, path_);
  std::string sql = "INSERT INTO " + QuoteIdent(name) + "(" + RowidName(columns);
  for (const std::string& c : columns) sql += "," + QuoteIdent(c);
  sql += ") VALUES (?";
  for (size_t i = 0; i < width; ++i) sql += ",?";
  Statement ins(db_, sql + ")", path_);
  for (const auto& [id, values] : rows) {
    ins.Int(1, id);
    for (size_t i = 0; i < width; ++i) BindStoredValue(ins.get(), static_cast<int>(i) + 2, (*values)[i], types[i]);
    ins.Run();
  }
}

void SqliteStore::UpdateRows(const std::string& name, const std::vector<SqlType>& types,
                             const std::vector<StoredRow>& rows) {
  if (rows.empty()) return;
  const size_t width = types.size();
  const std::vector<std::string> columns = SqliteColumns(db_, name, path_);
  std::string sql = "UPDATE " + QuoteIdent(name) + " SET ";
  for (size_t i = 0; i < columns.size(); ++i) sql += (i ? "," : "") + QuoteIdent(columns[i]) + "=?";
  sql += " WHERE " + RowidName(columns) + "=?";
  Statement upd(db_, sql, path_);
  for (const auto& [id, values] : rows) {
    for (size_t i = 0; i < width; ++i) BindStoredValue(upd.get(), static_cast<int>(i) + 1, (*values)[i], types[i]);
    upd.Int(static_cast<int>(width) + 1, id);
    upd.Run();
  }
}

void SqliteStore::PutView(const StoredView& view) {
  Statement ins(db_, "INSERT OR REPLACE INTO orv_views(name, definition) VALUES (?, ?)", path_);
  ins.Text(1, view.name);
  ins.Text(2, view.definition);
  ins.Run();
}

void SqliteStore::DeleteView(const std::string& name) {
  Statement del(db_, "DELETE FROM orv_views WHERE name = ?", path_);
  del.Text(1, name);
  del.Run();
}

void SqliteStore::Commit() {
  if (!in_write_) return;
  // SQLite ends a transaction by itself on some errors: the changes written since BEGIN are
  // gone then, and a COMMIT would only report that no transaction is active. Say so plainly
  // rather than let the caller think its rows are stored.
  if (sqlite3_get_autocommit(db_)) {
    in_write_ = false;
    write_version_ = 0;
    FileError(path_,
              "the write transaction was rolled back before its commit; nothing was written");
  }
  if (sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
    const std::string what = Describe("the changes could not be written", db_);
    Rollback();
    FileError(path_, what);
  }
  in_write_ = false;
  upgraded_in_write_ = false;
  write_version_ = 0;
}

void SqliteStore::Rollback() {
  if (!in_write_) return;
  sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  in_write_ = false;
  upgraded_in_write_ = false;
  write_version_ = 0;
  // What UpgradeCatalog added in the write went with it: the next write adds it again.
  FindCatalogParts();
}

}  // namespace orv::tsql
