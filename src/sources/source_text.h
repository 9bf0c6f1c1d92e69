// How a data-source text is read: a connection text ("Key=Value;..." whose first key is one of
// the keys connection texts use) or a file path, the connection text of a file, and the form
// of a connection text that may be shown (passwords hidden).
#pragma once

#include <string>
#include <string_view>

namespace orv::sources {

// Whether `text` is a connection text rather than a path: it follows the Key=Value; grammar
// and its first key is a connection key (Provider, Data Source, Driver, Server, DSN, ...).
// "dir/a=b.orvdb" and "x=1.orvdb" are paths.
bool IsConnectionText(std::string_view text);

// "Provider=Embedded;Data Source=<path>", the path braced when it holds ';', '=' or braces.
std::string FileConnectionText(std::string_view path);

// The text with the values of Password, PWD and similar keys replaced by "***"; a text that is
// not a connection text comes back unchanged.
std::string HidePasswords(std::string_view text);

// The data-source file an embedded connection text names ("" for other providers, among them
// SQL Server's: "Provider=SQLOLEDB;...", "Driver={FreeTDS};...", "DSN=..."). Raises
// SourceError when an embedded text names no file ("Data Source=" empty or missing); ":memory:"
// is returned as it is.
std::string EmbeddedFile(std::string_view connection_text);

}  // namespace orv::sources
