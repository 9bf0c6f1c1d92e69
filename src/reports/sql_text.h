// Small text helpers for building T-SQL batches line by line: every line of a batch ends with
// CR LF, and a few pieces are deliberately left without one.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace orv::reports {

inline constexpr std::string_view kCrLf = "\r\n";

// Appends `line` followed by CR LF.
inline void AppendLine(std::string& out, std::string_view line) {
  out.append(line);
  out.append(kCrLf);
}

// Appends each line followed by CR LF.
inline void AppendLines(std::string& out, std::initializer_list<std::string_view> lines) {
  for (std::string_view line : lines) AppendLine(out, line);
}

// Replaces every occurrence of `from` (exact, case-sensitive) by `to`; replaced text is not
// searched again.
std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to);

// ASCII case-insensitive search: true when `needle` occurs in `haystack`.
bool ContainsNoCase(std::string_view haystack, std::string_view needle);

}  // namespace orv::reports
