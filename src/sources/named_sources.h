// The named data sources of a user: ~/.config/orvdata/sources ($XDG_CONFIG_HOME/orvdata/sources
// when set). One source a line, "NAME = connection text or file path"; the line
// "default = NAME" names the one used when neither --dsn nor ORVDATA_DSN is given; '#' starts a
// comment line. The file may hold passwords, so only its owner may read or write it (mode 0600
// or stricter): a file open to others is refused, not read.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace orv::sources {

struct NamedSources {
  std::string path;  // the file read ("" when there is none)
  std::vector<std::pair<std::string, std::string>> entries;  // name, text; in file order
  std::string default_name;                                  // "" when none is named

  // The text of a name (names compare without regard to case), nullopt when not listed.
  std::optional<std::string> Find(const std::string& name) const;
};

// $XDG_CONFIG_HOME/orvdata/sources, else $HOME/.config/orvdata/sources.
std::string NamedSourcesPath();

// Reads the file at `path`; a missing file gives an empty list. Raises SourceError for a file
// others may read or write, a line that is not "NAME = TEXT", a repeated name, or a default
// that names no listed source.
NamedSources ReadNamedSources(const std::string& path);

}  // namespace orv::sources
