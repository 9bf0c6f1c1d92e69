// Column snapshots: a large stored table's rows kept column by column in a file beside the
// data-source file, so that a later process maps that file and makes rows from its arrays
// (only those its statements read: SnapshotColumns) instead of running every row through
// SQLite and parsing its values (decimals are text there). The snapshots of "a.orvdb" are
// the files of the folder "a.orvdb.columns", one per table.
//
// A snapshot is a copy of one committed state and is used for that state alone: the table's
// version and rowid range, its column definitions, and the stamp of the data-source file and of
// its write-ahead log (inode, size, change time) must all be what they were when its rows were
// read from the file. Every commit, by any program, writes to the file or its log and so changes
// the stamp: after it, the snapshots of that file go unused until a load writes them anew. A
// snapshot that cannot be read or does not match is passed over (the table is read from SQLite);
// one that cannot be written is not written. The data-source file itself is never changed.
// Snapshots and their folder get the file's own permissions: they hold its data.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tsql/storage/sqlite_store.h"

namespace orv::tsql {

// The data-source file and its write-ahead log as they are on disk now: inode, size and change
// time, and SQLite's own counters, which change with every commit whatever the resolution of
// the file system's clock (the file's change counter, bumped by commits without a log; the log
// header's checkpoint sequence and salts, new each time the log starts over — between two such
// starts every commit makes the log longer).
struct FileStamp {
  uint64_t inode = 0;
  int64_t size = 0;
  int64_t changed_ns = 0;
  uint32_t change_counter = 0;
  int64_t log_size = 0;  // 0 when there is no log (an empty log is the same)
  int64_t log_changed_ns = 0;
  uint32_t log_checkpoint = 0;
  uint64_t log_salts = 0;
  bool operator==(const FileStamp&) const = default;
};
// Nothing when the file cannot be looked at. `connection` is an open SQLite connection to the
// file: its header is read through it.
std::optional<FileStamp> StampFile(const std::string& path, sqlite3* connection);

// The state of one table that a snapshot holds.
struct SnapshotKey {
  FileStamp stamp;
  int64_t version = 0;
  int64_t low_rowid = 0;
  int64_t high_rowid = -1;
  bool operator==(const SnapshotKey&) const = default;
};

// The rows of one table as its snapshot holds them: the file mapped and read column by column.
// A table loaded this way makes a row only when something reads it, and a scan reads its
// integer columns from here without making rows at all. The file is checked whole when it is
// opened, so reading it afterwards cannot fail; a snapshot written anew later takes the file's
// name, and this one keeps reading the file it opened.
class SnapshotColumns {
 public:
  ~SnapshotColumns();
  SnapshotColumns(const SnapshotColumns&) = delete;
  SnapshotColumns& operator=(const SnapshotColumns&) = delete;

  size_t rows() const;
  size_t width() const;
  // Row i's values, into `row` (given the table's width).
  void MakeRow(size_t i, std::vector<Value>& row) const;
  // Makes rows[i] for each position i (distinct; every row when `positions` is null) whose
  // made[i] is 0, and sets made[i]; many on several threads. Counts the rows against the
  // running statement's memory (raising 701); the rows made until then stay made. Calls do
  // not overlap (the table's lock).
  void MakeRows(const std::vector<uint32_t>* positions, std::vector<std::vector<Value>>& rows,
                std::vector<uint8_t>& made) const;
  // A column's integers (datetime ticks when `ticks`) and whether each is NULL, one per row;
  // false when the column holds values of another kind.
  bool IntegerColumn(size_t column, bool ticks, std::vector<int64_t>& values, std::vector<uint8_t>& nulls) const;

 private:
  friend class ColumnSnapshots;
  struct Parts;
  explicit SnapshotColumns(std::unique_ptr<Parts> parts);
  std::unique_ptr<Parts> parts_;
};

class ColumnSnapshots {
 public:
  explicit ColumnSnapshots(const std::string& data_source_path);

  // Puts the rows and rowids of table t (whose name and columns are set) from its snapshot;
  // false, leaving t as it was, when there is none of the state `key` and of t's columns.
  // Counts the rows it makes against the running statement's memory (raising 701 as loading
  // from the file does). With `rows_on_demand` it makes no rows: t.snapshot reads them.
  bool Read(const SnapshotKey& key, StoredTable& t, bool rows_on_demand = false) const;
  // Writes the snapshot of t, whose rows were read at `key`. Does nothing when the folder
  // cannot be made or written, or a column holds values of more than one kind.
  void Write(const SnapshotKey& key, const StoredTable& t) const;

  // The file that holds (or would hold) the snapshot of a table.
  std::string FileFor(std::string_view table) const;

 private:
  // The snapshot of table t at `key`, checked whole, and its rowids; null when there is none.
  std::unique_ptr<SnapshotColumns::Parts> Open(const SnapshotKey& key, const StoredTable& t,
                                               std::vector<int64_t>& row_ids) const;

  std::string data_source_;
  std::string folder_;
};

}  // namespace orv::tsql
