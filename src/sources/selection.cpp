#include "sources/selection.h"

#include <cstdlib>

#include "sources/source_error.h"
#include "sources/source_text.h"

namespace orv::sources {

std::string DescribeOrigin(Origin origin, const NamedSources& named) {
  switch (origin) {
    case Origin::kOption:
      return "--dsn";
    case Origin::kEnvironment:
      return "ORVDATA_DSN";
    case Origin::kNamedDefault:
      return "the default of " + named.path;
  }
  return "--dsn";
}

Selection Interpret(std::string_view text, Origin origin, const NamedSources& named) {
  if (text.empty()) {
    throw SourceError(DescribeOrigin(origin, named) +
                      " is empty: give a file path, a connection text or @NAME");
  }
  Selection selection;
  selection.origin = origin;
  if (text.front() == '@') {
    const std::string name(text.substr(1));
    const std::optional<std::string> listed = named.Find(name);
    if (!listed) {
      const std::string file = named.path.empty() ? NamedSourcesPath() : named.path;
      throw SourceError("no data source named '" + name + "' in " + file +
                        " (add a line \"" + name + " = <connection text or file>\")");
    }
    if (!listed->empty() && listed->front() == '@') {
      throw SourceError("the source '" + name + "' in " + named.path +
                        " names another source; give it a connection text or a file path");
    }
    Selection inner = Interpret(*listed, origin, named);
    inner.label = "@" + name;
    return inner;
  }
  if (IsConnectionText(text)) {
    selection.text = std::string(text);
    selection.label = HidePasswords(text);
    selection.file = EmbeddedFile(text);
  } else {
    selection.text = FileConnectionText(text);
    selection.label = std::string(text);
    selection.file = std::string(text);
  }
  return selection;
}

std::optional<Selection> Select(const std::string& option, const std::string& environment,
                                const std::string& sources_path) {
  // The sources file is read only when it is needed: a file path or connection text given
  // directly does not depend on it.
  auto named_for = [&](const std::string& text) {
    return !text.empty() && text.front() == '@' ? ReadNamedSources(sources_path) : NamedSources{};
  };
  if (!option.empty()) return Interpret(option, Origin::kOption, named_for(option));
  if (!environment.empty()) {
    return Interpret(environment, Origin::kEnvironment, named_for(environment));
  }
  const NamedSources named = ReadNamedSources(sources_path);
  if (!named.default_name.empty()) {
    return Interpret("@" + named.default_name, Origin::kNamedDefault, named);
  }
  return std::nullopt;
}

std::optional<Selection> SelectFromEnvironment(const std::string& option) {
  const char* environment = std::getenv("ORVDATA_DSN");
  return Select(option, environment == nullptr ? std::string() : std::string(environment),
                NamedSourcesPath());
}

}  // namespace orv::sources
