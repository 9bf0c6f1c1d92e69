// A snapshot of a company database: the tables of the company schema (sql/schema.sql) copied
// from a data source (SQL Server through its provider, or another data-source file) into a new
// data-source file for offline reporting. The target gets the schema's tables, views and column
// types; each table's rows are read as a stream and written in batches. The file appears only
// when complete: it is written under a temporary name beside the target and renamed at the end,
// so a failed import leaves nothing behind.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace orv::importer {

class ImportError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TableRows {
  std::string table;
  int64_t rows = 0;
};

struct ImportOptions {
  std::string from;                 // the source's connection text
  std::string to;                   // the data-source file to write (replaced when it exists)
  std::vector<std::string> tables;  // tables of the schema to copy (any case); empty: all
  size_t batch_rows = 500;          // rows per INSERT batch
  // Called after each batch written: the table and its rows so far.
  std::function<void(const std::string& table, int64_t rows)> progress;
};

// The tables of the company schema, in the schema's order.
std::vector<std::string> SchemaTables();

// Copies the tables and returns the rows copied per table, in the schema's order. A source that
// keeps a fixed clock for GETDATE() (the demo database's t_OrvClock) passes it on. Raises
// ImportError naming the table (and the server's message) for any failure.
std::vector<TableRows> ImportSnapshot(const ImportOptions& options);

}  // namespace orv::importer
