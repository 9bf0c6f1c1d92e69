// The data source a command works on: the --dsn text as given, a bare file path, or (no --dsn)
// the demo database, created on first use. Also the demo database itself: where it lives and
// how it is written, as a data-source file or as a T-SQL script.
#pragma once

#include <cstdint>
#include <string>

#include "demo/generator.h"

namespace orv::cli {

// $ORVDATA_DEMO_DB, else $XDG_DATA_HOME/orvdata/demo.orvdb, else
// ~/.local/share/orvdata/demo.orvdb.
std::string DemoDatabasePath();

// "Provider=Embedded;Data Source=<path>", the path braced when it holds ';' or braces.
std::string FileDsn(const std::string& path);

// The data-source text for a --dsn value:
// - "" : the demo database (created with size demo when missing, with a note on stderr), and a
//   note on stderr that it is used;
// - a text without '=': a file path;
// - anything else: the text unchanged.
// With `must_exist`, an embedded data source naming a file that does not exist is an error
// (opening it would create an empty database and every query would fail on missing tables).
std::string ResolveDsn(const std::string& dsn, bool must_exist = true);

// Generates the demo company into an in-memory database and saves it as a data-source file at
// `path` (replacing it; the file appears only when complete). Progress on a terminal.
void CreateDemoFile(const std::string& path, const demo::Options& options);

// Writes the same batches as a T-SQL script, each batch followed by a "GO" line.
void WriteDemoScript(const std::string& path, const demo::Options& options);

}  // namespace orv::cli
