// Splitting a script into batches at GO lines, as the command-line tools do.
#include <cstdlib>

#include "tsql/syntax/parser.h"

namespace orv::tsql {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

// When the line [begin, end) is a GO line, returns its repeat count (1 without a count);
// otherwise 0.
int GoLineCount(std::string_view line) {
  size_t i = 0;
  while (i < line.size() && IsBlank(line[i])) ++i;
  if (i + 2 > line.size() || (line[i] != 'G' && line[i] != 'g') ||
      (line[i + 1] != 'O' && line[i + 1] != 'o')) {
    return 0;
  }
  i += 2;
  size_t after_go = i;
  while (i < line.size() && IsBlank(line[i])) ++i;
  int count = 1;
  if (i < line.size() && line[i] >= '0' && line[i] <= '9') {
    if (i == after_go) return 0;  // "GO5" is not a GO line
    long n = 0;
    while (i < line.size() && line[i] >= '0' && line[i] <= '9') {
      n = n * 10 + (line[i] - '0');
      if (n > 100000) return 0;
      ++i;
    }
    count = static_cast<int>(n);
    while (i < line.size() && IsBlank(line[i])) ++i;
  }
  if (i == line.size()) return count;
  // "GO -- comment"
  if (i + 1 < line.size() && line[i] == '-' && line[i + 1] == '-') return count;
  return 0;
}

bool IsAllBlank(std::string_view text) {
  for (char c : text) {
    if (!IsBlank(c) && c != '\n') return false;
  }
  return true;
}

}  // namespace

std::vector<std::string> SplitScriptOnGo(std::string_view script) {
  std::vector<std::string> batches;
  auto emit = [&](size_t begin, size_t end, int times) {
    std::string_view batch = script.substr(begin, end - begin);
    if (IsAllBlank(batch)) return;
    for (int i = 0; i < times; ++i) batches.emplace_back(batch);
  };
  enum class State { Code, String, Bracket, DoubleQuote, Block };
  State state = State::Code;
  int depth = 0;
  size_t batch_start = 0;
  size_t i = 0;
  bool at_line_start = true;
  while (i < script.size()) {
    if (at_line_start && state == State::Code) {
      size_t eol = script.find('\n', i);
      size_t line_end = eol == std::string_view::npos ? script.size() : eol;
      int count = GoLineCount(script.substr(i, line_end - i));
      if (count > 0) {
        emit(batch_start, i, count);
        i = eol == std::string_view::npos ? script.size() : eol + 1;
        batch_start = i;
        continue;
      }
    }
    at_line_start = false;
    char c = script[i];
    char n = i + 1 < script.size() ? script[i + 1] : '\0';
    switch (state) {
      case State::Code:
        if (c == '\'')
          state = State::String;
        else if (c == '[')
          state = State::Bracket;
        else if (c == '"')
          state = State::DoubleQuote;
        else if (c == '/' && n == '*') {
          state = State::Block;
          depth = 1;
          ++i;
        } else if (c == '-' && n == '-') {
          size_t eol = script.find('\n', i);
          i = eol == std::string_view::npos ? script.size() : eol;
          continue;  // the newline itself is handled as code
        }
        break;
      case State::String:
        if (c == '\'') state = State::Code;  // a doubled '' re-enters at once
        break;
      case State::Bracket:
        if (c == ']') state = State::Code;
        break;
      case State::DoubleQuote:
        if (c == '"') state = State::Code;
        break;
      case State::Block:
        if (c == '/' && n == '*') {
          ++depth;
          ++i;
        } else if (c == '*' && n == '/') {
          ++i;
          if (--depth == 0) state = State::Code;
        }
        break;
    }
    if (c == '\n') at_line_start = true;
    ++i;
  }
  emit(batch_start, script.size(), 1);
  return batches;
}

}  // namespace orv::tsql
