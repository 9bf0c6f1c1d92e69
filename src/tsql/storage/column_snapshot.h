// Column snapshots: a large stored table's rows kept column by column in a file beside the
// data-source file, so that a later process loads the table by copying arrays instead of
// running every row through SQLite and parsing its values (decimals are text there). The
// snapshots of "a.orvdb" are the files of the folder "a.orvdb.columns", one per table.
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
#include <optional>
#include <string>
#include <string_view>

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
// Nothing when the file cannot be looked at.
std::optional<FileStamp> StampFile(const std::string& path);

// The state of one table that a snapshot holds.
struct SnapshotKey {
  FileStamp stamp;
  int64_t version = 0;
  int64_t low_rowid = 0;
  int64_t high_rowid = -1;
  bool operator==(const SnapshotKey&) const = default;
};

class ColumnSnapshots {
 public:
  explicit ColumnSnapshots(const std::string& data_source_path);

  // Puts the rows and rowids of table t (whose name and columns are set) from its snapshot;
  // false, leaving t as it was, when there is none of the state `key` and of t's columns.
  // Counts the rows it makes against the running statement's memory (raising 701 as loading
  // from the file does).
  bool Read(const SnapshotKey& key, StoredTable& t) const;
  // Writes the snapshot of t, whose rows were read at `key`. Does nothing when the folder
  // cannot be made or written, or a column holds values of more than one kind.
  void Write(const SnapshotKey& key, const StoredTable& t) const;

  // The file that holds (or would hold) the snapshot of a table.
  std::string FileFor(std::string_view table) const;

 private:
  std::string data_source_;
  std::string folder_;
};

}  // namespace orv::tsql
