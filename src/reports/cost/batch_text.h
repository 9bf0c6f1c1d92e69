// BatchText: the line-by-line text assembler of the cost reports. Every batch of these reports
// is a list of lines, each followed by CR LF, with a few lines that end the batch without one;
// the fixed money scale that the batches place between their stored pieces also lives here.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "reports/sql_text.h"

namespace orv::reports::cost {

// Money columns and money roundings of the cost reports use 10 decimal places; the scale is
// written into the SQL as this text, between the stored pieces ("decimal(28," "10" ").
inline constexpr std::string_view kMoneyScale = "10";

// Collects lines. Each entry of lines() is one appended unit of text: a line with its CR LF, a
// bare CR LF for an empty line, a final line without CR LF, or embedded text.
class BatchText {
 public:
  // Appends the pieces joined with nothing between them, then CR LF.
  template <class... Pieces>
  BatchText& Line(const Pieces&... pieces) {
    std::string line;
    (line.append(std::string_view(pieces)), ...);
    line.append(kCrLf);
    lines_.push_back(std::move(line));
    return *this;
  }

  // Appends the pieces without a CR LF after them (the last line of some batches).
  template <class... Pieces>
  BatchText& Last(const Pieces&... pieces) {
    std::string line;
    (line.append(std::string_view(pieces)), ...);
    lines_.push_back(std::move(line));
    return *this;
  }

  // An empty line: a second CR LF after the previous line.
  BatchText& Blank() {
    lines_.emplace_back(kCrLf);
    return *this;
  }

  // Appends text as it is (for example a nested query text that carries its own CR LF).
  BatchText& Raw(std::string_view text) {
    lines_.emplace_back(text);
    return *this;
  }

  // Appends every unit of another text.
  BatchText& Append(const BatchText& other) {
    lines_.insert(lines_.end(), other.lines_.begin(), other.lines_.end());
    return *this;
  }

  const std::vector<std::string>& lines() const { return lines_; }

  std::string Text() const {
    std::string text;
    for (const auto& line : lines_) text.append(line);
    return text;
  }

 private:
  std::vector<std::string> lines_;
};

}  // namespace orv::reports::cost
