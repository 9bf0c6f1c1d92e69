// SQL literal quoting and the localized-column helper shared by every operation that builds
// SQL text from caller values.
#pragma once

#include <string>
#include <string_view>

namespace orv::sqltext {

// QuoteSql(text, quote, trim): optionally trims leading/trailing spaces, doubles every
// apostrophe, and optionally encloses the result in apostrophes. Never throws.
//   QuoteSql("O'Neil ", true, true) == "'O''Neil'";  QuoteSql("", true, true) == "''"
std::string QuoteSql(std::string_view text, bool quote = true, bool trim = true);

// q(x): the form every report uses, QuoteSql(x, true, true).
inline std::string Q(std::string_view text) { return QuoteSql(text, true, true); }

// LanguageSuffix("FName", "cht") == "FName_CHT"; "EN" -> "_EN"; any other code -> name.
std::string LanguageSuffix(std::string_view name, std::string_view language);

}  // namespace orv::sqltext
