// Which data source a command works on: --dsn when given, else the ORVDATA_DSN environment
// variable, else the default named in the user's sources file. Each of them may be a file path,
// a connection text, or "@NAME" for a source listed in the sources file. Nothing configured at
// all gives no selection; what the caller does then (an error, or the demo database on a
// terminal) is its own business.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "sources/named_sources.h"

namespace orv::sources {

enum class Origin { kOption, kEnvironment, kNamedDefault };

struct Selection {
  std::string text;   // the connection text handed to the service
  std::string label;  // how to name it to a person: "@NAME", the file path, or the connection
                      // text with passwords hidden
  Origin origin = Origin::kOption;
  std::string file;  // the data-source file of an embedded source; "" for other providers
};

// "--dsn", "ORVDATA_DSN", or "the default of <sources file>".
std::string DescribeOrigin(Origin origin, const NamedSources& named);

// One text read as a source: "@NAME" looked up in `named`, a connection text, or a file path.
// Raises SourceError for an unknown name, an empty text, or an embedded connection text that
// names no file.
Selection Interpret(std::string_view text, Origin origin, const NamedSources& named);

// The source chosen by `option` (the --dsn value, "" when not given), then `environment` (the
// value of ORVDATA_DSN), then the default of the sources file at `sources_path`; nullopt when
// none of them names one.
std::optional<Selection> Select(const std::string& option, const std::string& environment,
                                const std::string& sources_path);

// Select with ORVDATA_DSN and NamedSourcesPath() from the environment.
std::optional<Selection> SelectFromEnvironment(const std::string& option);

}  // namespace orv::sources
