#include "tsql/storage/sqlite_store.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "tsql/types/decimal.h"
#include "tsql/types/sql_error.h"
#include "tsql/types/value_ops.h"

namespace orv::tsql {
namespace {

// SQL Server's number for a physical file that cannot be opened; the text names our file.
constexpr int32_t kFileError = 5120;

[[noreturn]] void FileError(const std::string& path, const std::string& what) {
  SqlError e;
  e.number = kFileError;
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

Value ParseDecimalText(std::string_view text, int target_scale) {
  bool negative = false;
  size_t i = 0;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  unsigned __int128 magnitude = 0;
  int scale = 0;
  bool after_point = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '.') {
      after_point = true;
      continue;
    }
    if (c < '0' || c > '9') break;
    magnitude = magnitude * 10 + static_cast<unsigned>(c - '0');
    if (after_point) ++scale;
  }
  while (scale < target_scale) {
    magnitude *= 10;
    ++scale;
  }
  const Int128 value = negative ? -static_cast<Int128>(magnitude) : static_cast<Int128>(magnitude);
  return Value::Decimal(value, scale);
}

class Statement {
 public:
  Statement(sqlite3* db, const std::string& sql, const std::string& path) {
    if (sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &stmt_, nullptr) != SQLITE_OK) {
      FileError(path, sqlite3_errmsg(db));
    }
  }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  sqlite3_stmt* get() { return stmt_; }
  int Step() { return sqlite3_step(stmt_); }
  void Reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
  }
  std::string Text(int col) {
    const unsigned char* t = sqlite3_column_text(stmt_, col);
    return t ? reinterpret_cast<const char*>(t) : "";
  }

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

void BindValue(sqlite3_stmt* stmt, int index, const Value& v, const SqlType& type) {
  if (type.IsBinary() || type.id == TypeId::UniqueIdentifier) {
    // Bytes as a blob.
    if (v.kind() == Value::Kind::String) {
      const std::string_view s = v.string_value();
      sqlite3_bind_blob(stmt, index, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
      return;
    }
  }
  switch (v.kind()) {
    case Value::Kind::Null: sqlite3_bind_null(stmt, index); break;
    case Value::Kind::Int: sqlite3_bind_int64(stmt, index, v.int_value()); break;
    case Value::Kind::Float: sqlite3_bind_double(stmt, index, v.float_value()); break;
    case Value::Kind::DateTime: sqlite3_bind_int64(stmt, index, v.datetime_ticks()); break;
    case Value::Kind::DateTime2:
      // time and datetime2 as their 100 ns units; datetimeoffset as "units offset" text.
      if (v.datetime2_offset() == 0) {
        sqlite3_bind_int64(stmt, index, v.datetime2_units());
      } else {
        const std::string text =
            std::to_string(v.datetime2_units()) + " " + std::to_string(v.datetime2_offset());
        sqlite3_bind_text(stmt, index, text.c_str(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
      }
      break;
    case Value::Kind::Decimal: {
      const std::string text = dec::ToString(v.decimal_unscaled(), v.decimal_scale());
      sqlite3_bind_text(stmt, index, text.c_str(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
      break;
    }
    case Value::Kind::String: {
      const std::string_view s = v.string_value();
      sqlite3_bind_text(stmt, index, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
      break;
    }
  }
}

Value ReadValue(sqlite3_stmt* stmt, int col, const SqlType& type) {
  if (sqlite3_column_type(stmt, col) == SQLITE_NULL) return Value::Null();
  if (type.IsInteger()) return Value::Int(sqlite3_column_int64(stmt, col));
  if (type.id == TypeId::Decimal || type.id == TypeId::Money) {
    const unsigned char* t = sqlite3_column_text(stmt, col);
    const int n = sqlite3_column_bytes(stmt, col);
    return ParseDecimalText(
        std::string_view(reinterpret_cast<const char*>(t), static_cast<size_t>(n)), type.scale);
  }
  if (type.id == TypeId::Float || type.id == TypeId::Real) return Value::Float(sqlite3_column_double(stmt, col));
  if (type.IsPreciseTime()) {
    if (sqlite3_column_type(stmt, col) == SQLITE_TEXT) {
      long long units = 0;
      int offset = 0;
      std::sscanf(reinterpret_cast<const char*>(sqlite3_column_text(stmt, col)), "%lld %d", &units,
                  &offset);
      return Value::DateTime2(units, offset);
    }
    return Value::DateTime2(sqlite3_column_int64(stmt, col));
  }
  if (type.IsDateTime()) return Value::DateTime(sqlite3_column_int64(stmt, col));
  if (type.IsBinary() || type.id == TypeId::UniqueIdentifier) {
    const void* b = sqlite3_column_blob(stmt, col);
    const int n = sqlite3_column_bytes(stmt, col);
    return Value::String(std::string_view(static_cast<const char*>(b), static_cast<size_t>(n)));
  }
  const unsigned char* t = sqlite3_column_text(stmt, col);
  const int n = sqlite3_column_bytes(stmt, col);
  return Value::String(std::string_view(reinterpret_cast<const char*>(t), static_cast<size_t>(n)));
}

}  // namespace

std::optional<SqlType> ParseTypeText(const std::string& text) {
  std::string name;
  size_t i = 0;
  while (i < text.size() && (std::isalpha(static_cast<unsigned char>(text[i])) || text[i] == '_')) {
    name.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(text[i++]))));
  }
  int32_t a = -1, b = -1;
  bool max = false;
  if (i < text.size() && text[i] == '(') {
    ++i;
    if (text.compare(i, 3, "max") == 0) {
      max = true;
      i += 3;
    } else {
      a = 0;
      while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) a = a * 10 + (text[i++] - '0');
      if (i < text.size() && text[i] == ',') {
        ++i;
        b = 0;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) b = b * 10 + (text[i++] - '0');
      }
    }
  }
  const int32_t length = max ? SqlType::kMaxLength : (a < 0 ? 1 : a);
  if (name == "int") return SqlType::Int();
  if (name == "smallint") return SqlType::SmallInt();
  if (name == "tinyint") return SqlType::TinyInt();
  if (name == "bigint") return SqlType::BigInt();
  if (name == "bit") return SqlType::Bit();
  if (name == "decimal" || name == "numeric") return SqlType::Decimal(a < 0 ? 18 : a, b < 0 ? 0 : b);
  if (name == "money") return SqlType::Money();
  if (name == "float") return SqlType::Float();
  if (name == "real") return SqlType::Real();
  if (name == "datetime") return SqlType::DateTime();
  if (name == "smalldatetime") return SqlType::SmallDateTime();
  if (name == "date") return SqlType::Date();
  if (name == "time") return SqlType::Time(a < 0 ? 7 : a);
  if (name == "datetime2") return SqlType::DateTime2(a < 0 ? 7 : a);
  if (name == "datetimeoffset") return SqlType::DateTimeOffset(a < 0 ? 7 : a);
  if (name == "binary") return SqlType::Binary(length);
  if (name == "varbinary") return SqlType::VarBinary(length);
  if (name == "uniqueidentifier") return SqlType::UniqueIdentifier();
  if (name == "sql_variant") return SqlType::SqlVariant();
  // A column's own collation follows its type: "varchar(10) COLLATE Chinese_PRC_CS_AS".
  Collation collation = Collation::kCiAs;
  if (size_t at = text.find(" COLLATE "); at != std::string::npos) {
    collation = CollationFromName(text.substr(at + 9));
  }
  auto with_collation = [&](SqlType t) {
    t.collation = collation;
    return t;
  };
  if (name == "varchar") return with_collation(SqlType::VarChar(length));
  if (name == "char") return with_collation(SqlType::Char(length));
  if (name == "nvarchar") return with_collation(SqlType::NVarChar(length));
  if (name == "nchar") return with_collation(SqlType::NChar(length));
  if (name == "char") return SqlType::Char(length);
  if (name == "nvarchar") return SqlType::NVarChar(length);
  if (name == "nchar") return SqlType::NChar(length);
  if (name == "text") return SqlType{TypeId::Text, 0, 0, SqlType::kMaxLength};
  if (name == "ntext") return SqlType{TypeId::NText, 0, 0, SqlType::kMaxLength};
  if (name == "null") return SqlType::Null();
  return std::nullopt;
}

std::unique_ptr<SqliteStore> SqliteStore::Open(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash != std::string::npos && slash > 0) {
    struct stat st {};
    const std::string dir = path.substr(0, slash);
    if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) FileError(path, "the folder '" + dir + "' does not exist");
  }
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr) !=
      SQLITE_OK) {
    const std::string message = db ? sqlite3_errmsg(db) : "out of memory";
    sqlite3_close(db);
    FileError(path, message);
  }
  sqlite3_busy_timeout(db, 2000);
  std::unique_ptr<SqliteStore> store(new SqliteStore(path, db));
  // A file that is not a SQLite database fails here; one that is SQLite but not ours is refused.
  int user_tables = 0;
  bool ours = false;
  {
    sqlite3_stmt* stmt = nullptr;
    const char* sql = "SELECT name FROM sqlite_master WHERE type='table'";
    if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) != SQLITE_OK) {
      const std::string message = sqlite3_errmsg(db);
      sqlite3_finalize(stmt);
      FileError(path, message == "file is not a database" ? "it is not a data source file" : message);
    }
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
      ++user_tables;
      const unsigned char* name = sqlite3_column_text(stmt, 0);
      if (name && std::strcmp(reinterpret_cast<const char*>(name), "orv_tables") == 0) ours = true;
    }
    const std::string message = sqlite3_errmsg(db);
    sqlite3_finalize(stmt);
    if (rc != SQLITE_DONE) {
      if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) FileError(path, "the file is locked by another program");
      FileError(path, message == "file is not a database" ? "it is not a data source file" : message);
    }
  }
  if (user_tables > 0 && !ours) FileError(path, "it is a SQLite file but not a data source file of this program");
  if (!ours) {
    store->Exec(
        "BEGIN;"
        "CREATE TABLE orv_tables(name TEXT PRIMARY KEY COLLATE NOCASE, identity_next INTEGER NOT NULL);"
        "CREATE TABLE orv_columns(table_name TEXT NOT NULL COLLATE NOCASE, ordinal INTEGER NOT NULL, name TEXT NOT NULL,"
        " type TEXT NOT NULL, nullable INTEGER NOT NULL, default_sql TEXT NOT NULL, identity INTEGER NOT NULL,"
        " seed INTEGER NOT NULL, increment INTEGER NOT NULL, PRIMARY KEY(table_name, ordinal));"
        "CREATE TABLE orv_views(name TEXT PRIMARY KEY COLLATE NOCASE, definition TEXT NOT NULL);"
        "COMMIT;");
  }
  return store;
}

SqliteStore::SqliteStore(std::string path, sqlite3* db) : path_(std::move(path)), db_(db) {}

SqliteStore::~SqliteStore() { sqlite3_close(db_); }

void SqliteStore::Exec(const std::string& sql) {
  char* error = nullptr;
  if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    std::string message = error ? error : "unknown error";
    sqlite3_free(error);
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    if (message.find("locked") != std::string::npos) message = "the file is locked by another program";
    FileError(path_, message);
  }
}

std::vector<std::string> SqliteStore::TableNames() {
  std::vector<std::string> names;
  Statement list(db_, "SELECT name FROM orv_tables ORDER BY rowid", path_);
  while (list.Step() == SQLITE_ROW) names.push_back(list.Text(0));
  return names;
}

std::vector<StoredTable> SqliteStore::LoadTables() {
  std::vector<StoredTable> tables;
  for (const std::string& name : TableNames()) {
    if (std::optional<StoredTable> t = LoadTable(name)) tables.push_back(std::move(*t));
  }
  return tables;
}

std::optional<StoredTable> SqliteStore::LoadTable(const std::string& name) {
  StoredTable t;
  {
    Statement meta(db_, "SELECT name, identity_next FROM orv_tables WHERE name = ?", path_);
    sqlite3_bind_text(meta.get(), 1, name.c_str(), -1, SQLITE_TRANSIENT);
    if (meta.Step() != SQLITE_ROW) return std::nullopt;
    t.name = meta.Text(0);
    t.identity_next = sqlite3_column_int64(meta.get(), 1);
  }
  Statement cols(db_,
                 "SELECT name, type, nullable, default_sql, identity, seed, increment FROM orv_columns "
                 "WHERE table_name = ? ORDER BY ordinal",
                 path_);
  {
    sqlite3_bind_text(cols.get(), 1, t.name.c_str(), -1, SQLITE_TRANSIENT);
    while (cols.Step() == SQLITE_ROW) {
      StoredColumn c;
      c.name = cols.Text(0);
      const std::string type_text = cols.Text(1);
      const std::optional<SqlType> type = ParseTypeText(type_text);
      if (!type) FileError(path_, "unknown column type '" + type_text + "' in table " + t.name);
      c.type = *type;
      c.nullable = sqlite3_column_int(cols.get(), 2) != 0;
      c.default_sql = cols.Text(3);
      c.identity = sqlite3_column_int(cols.get(), 4) != 0;
      c.identity_seed = sqlite3_column_int64(cols.get(), 5);
      c.identity_increment = sqlite3_column_int64(cols.get(), 6);
      t.columns.push_back(std::move(c));
    }
    cols.Reset();
    Statement rows(db_, "SELECT * FROM " + QuoteIdent(t.name) + " ORDER BY rowid", path_);
    const int n = static_cast<int>(t.columns.size());
    while (rows.Step() == SQLITE_ROW) {
      std::vector<Value> row;
      row.reserve(static_cast<size_t>(n));
      for (int i = 0; i < n; ++i) row.push_back(ReadValue(rows.get(), i, t.columns[static_cast<size_t>(i)].type));
      t.rows.push_back(std::move(row));
    }
  }
  return t;
}

std::vector<StoredView> SqliteStore::LoadViews() {
  std::vector<StoredView> views;
  Statement list(db_, "SELECT name, definition FROM orv_views ORDER BY rowid", path_);
  while (list.Step() == SQLITE_ROW) views.push_back({list.Text(0), list.Text(1)});
  return views;
}

void SqliteStore::Save(const std::vector<TableChange>& changed, const std::vector<std::string>& dropped_tables,
                       const std::vector<StoredView>& created_views, const std::vector<std::string>& dropped_views) {
  if (changed.empty() && dropped_tables.empty() && created_views.empty() && dropped_views.empty()) return;
  Exec("BEGIN IMMEDIATE");
  try {
    for (const std::string& name : dropped_tables) {
      Exec("DROP TABLE IF EXISTS " + QuoteIdent(name));
      Statement del(db_, "DELETE FROM orv_tables WHERE name = ?", path_);
      sqlite3_bind_text(del.get(), 1, name.c_str(), -1, SQLITE_TRANSIENT);
      del.Step();
      Statement delc(db_, "DELETE FROM orv_columns WHERE table_name = ?", path_);
      sqlite3_bind_text(delc.get(), 1, name.c_str(), -1, SQLITE_TRANSIENT);
      delc.Step();
    }
    for (const std::string& name : dropped_views) {
      Statement del(db_, "DELETE FROM orv_views WHERE name = ?", path_);
      sqlite3_bind_text(del.get(), 1, name.c_str(), -1, SQLITE_TRANSIENT);
      del.Step();
    }
    for (const StoredView& v : created_views) {
      Statement ins(db_, "INSERT OR REPLACE INTO orv_views(name, definition) VALUES (?, ?)", path_);
      sqlite3_bind_text(ins.get(), 1, v.name.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(ins.get(), 2, v.definition.c_str(), -1, SQLITE_TRANSIENT);
      if (ins.Step() != SQLITE_DONE) FileError(path_, sqlite3_errmsg(db_));
    }
    for (const TableChange& t : changed) {
      const TableChange& change = t;
      const std::vector<std::vector<Value>>& rows = *t.rows;
      const std::string table = QuoteIdent(t.name);
      size_t first = change.first_new_row;
      if (change.rewrite) {
        first = 0;
        Exec("DROP TABLE IF EXISTS " + table);
        std::string create = "CREATE TABLE " + table + "(";
        for (size_t i = 0; i < t.columns.size(); ++i) {
          if (i) create += ",";
          create += QuoteIdent(t.columns[i].name);
        }
        Exec(create + ")");
        {
          Statement del(db_, "DELETE FROM orv_columns WHERE table_name = ?", path_);
          sqlite3_bind_text(del.get(), 1, t.name.c_str(), -1, SQLITE_TRANSIENT);
          del.Step();
        }
        Statement col(db_,
                      "INSERT INTO orv_columns(table_name, ordinal, name, type, nullable, default_sql, identity, seed,"
                      " increment) VALUES (?,?,?,?,?,?,?,?,?)",
                      path_);
        for (size_t i = 0; i < t.columns.size(); ++i) {
          const StoredColumn& c = t.columns[i];
          const std::string type = c.type.ToString();
          sqlite3_bind_text(col.get(), 1, t.name.c_str(), -1, SQLITE_TRANSIENT);
          sqlite3_bind_int64(col.get(), 2, static_cast<int64_t>(i));
          sqlite3_bind_text(col.get(), 3, c.name.c_str(), -1, SQLITE_TRANSIENT);
          sqlite3_bind_text(col.get(), 4, type.c_str(), -1, SQLITE_TRANSIENT);
          sqlite3_bind_int(col.get(), 5, c.nullable ? 1 : 0);
          sqlite3_bind_text(col.get(), 6, c.default_sql.c_str(), -1, SQLITE_TRANSIENT);
          sqlite3_bind_int(col.get(), 7, c.identity ? 1 : 0);
          sqlite3_bind_int64(col.get(), 8, c.identity_seed);
          sqlite3_bind_int64(col.get(), 9, c.identity_increment);
          if (col.Step() != SQLITE_DONE) FileError(path_, sqlite3_errmsg(db_));
          col.Reset();
        }
      }
      {
        Statement meta(db_, "INSERT OR REPLACE INTO orv_tables(name, identity_next) VALUES (?, ?)", path_);
        sqlite3_bind_text(meta.get(), 1, t.name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int64(meta.get(), 2, t.identity_next);
        if (meta.Step() != SQLITE_DONE) FileError(path_, sqlite3_errmsg(db_));
      }
      if (first >= rows.size()) continue;
      std::string insert = "INSERT INTO " + table + " VALUES (";
      for (size_t i = 0; i < t.columns.size(); ++i) insert += i ? ",?" : "?";
      Statement ins(db_, insert + ")", path_);
      for (size_t r = first; r < rows.size(); ++r) {
        const std::vector<Value>& row = rows[r];
        for (size_t i = 0; i < row.size(); ++i) {
          BindValue(ins.get(), static_cast<int>(i) + 1, row[i], t.columns[i].type);
        }
        if (ins.Step() != SQLITE_DONE) FileError(path_, sqlite3_errmsg(db_));
        ins.Reset();
      }
    }
    Exec("COMMIT");
  } catch (...) {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
}

}  // namespace orv::tsql
