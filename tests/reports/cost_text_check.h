// Comparison of batch texts for the cost report tests: reports the first differing line with
// its number, and also catches a missing or extra CR LF at the end.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace cost_test {

// Splits after every CR LF; the last element is what follows the last CR LF (often "").
inline std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t begin = 0;
  while (true) {
    const size_t pos = text.find("\r\n", begin);
    if (pos == std::string_view::npos) break;
    lines.emplace_back(text.substr(begin, pos - begin));
    begin = pos + 2;
  }
  lines.emplace_back(text.substr(begin));
  return lines;
}

inline ::testing::AssertionResult SameText(std::string_view actual, std::string_view expected) {
  if (actual == expected) return ::testing::AssertionSuccess();
  const auto a = SplitLines(actual);
  const auto e = SplitLines(expected);
  for (size_t i = 0; i < a.size() || i < e.size(); ++i) {
    const std::string got = i < a.size() ? a[i] : "<no line>";
    const std::string want = i < e.size() ? e[i] : "<no line>";
    if (got != want) {
      return ::testing::AssertionFailure()
             << "line " << (i + 1) << " of " << e.size() << " differs\n  actual:   [" << got
             << "]\n  expected: [" << want << "]";
    }
  }
  return ::testing::AssertionFailure() << "texts differ outside line content";
}

}  // namespace cost_test
