// Test helpers for comparing generated batches with expected texts line by line.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "automation/collections.h"

namespace orv::reports::testing {

// Each line followed by CR LF.
inline std::string Lines(std::initializer_list<std::string_view> lines) {
  std::string out;
  for (std::string_view line : lines) {
    out.append(line);
    out.append("\r\n");
  }
  return out;
}

// Splits at CR LF; a text that ends with CR LF yields a last empty element, so a missing or
// extra final CR LF shows as a difference.
inline std::vector<std::string> SplitCrLf(std::string_view text) {
  std::vector<std::string> out;
  size_t pos = 0;
  while (true) {
    const size_t hit = text.find("\r\n", pos);
    if (hit == std::string_view::npos) break;
    out.emplace_back(text.substr(pos, hit - pos));
    pos = hit + 2;
  }
  out.emplace_back(text.substr(pos));
  return out;
}

// Compares two texts line by line (reporting the first differing line), then as a whole.
inline void ExpectSameText(std::string_view actual, std::string_view expected) {
  const std::vector<std::string> a = SplitCrLf(actual);
  const std::vector<std::string> e = SplitCrLf(expected);
  for (size_t i = 0; i < a.size() && i < e.size(); ++i) {
    if (a[i] != e[i]) {
      ADD_FAILURE() << "line " << i + 1 << " differs\n  actual:   [" << a[i]
                    << "]\n  expected: [" << e[i] << "]";
      return;
    }
  }
  EXPECT_EQ(a.size(), e.size()) << "different line counts";
  EXPECT_EQ(actual, expected);
}

// The line that follows the first line equal to `marker` (or "<none>").
inline std::string LineAfter(std::string_view text, std::string_view marker) {
  const std::vector<std::string> lines = SplitCrLf(text);
  for (size_t i = 0; i + 1 < lines.size(); ++i)
    if (lines[i] == marker) return lines[i + 1];
  return "<none>";
}

// The first line that starts with `prefix` (or "<none>").
inline std::string LineStartingWith(std::string_view text, std::string_view prefix) {
  for (const std::string& line : SplitCrLf(text))
    if (line.rfind(prefix, 0) == 0) return line;
  return "<none>";
}

using Entry = std::pair<const char*, automation::Variant>;

inline std::shared_ptr<automation::Dictionary> MakeFilter(std::initializer_list<Entry> entries) {
  auto d = automation::NewDictionary();
  for (const Entry& e : entries) d->SetItem(e.first, e.second);
  return d;
}

}  // namespace orv::reports::testing
