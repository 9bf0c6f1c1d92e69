// Date serials, date texts and date patterns.
#include "automation/date_text.h"

#include <cctype>
#include <cmath>
#include <cstdint>
#include <vector>

#include "automation/ascii.h"
#include "automation/error.h"
#include "fmt/format.h"

namespace orv::automation {

namespace {

constexpr int64_t kMsPerDay = 86'400'000;

// Days from 1970-01-01 to a proleptic Gregorian date (month 1..12).
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

const int64_t kEpochDays = DaysFromCivil(1899, 12, 30);

struct SplitDate {
  int64_t days;       // calendar days since 1899-12-30
  int64_t ms_of_day;  // time of day, rounded to the unit asked for
};

// The platform's serial: the integer part counts days (negative before the epoch), the
// fraction's magnitude is the time of day in both directions.
SplitDate Split(double serial, int64_t unit_ms) {
  if (!std::isfinite(serial) || std::fabs(serial) > 1e9) Raise(err::kOverflow);
  double whole = std::trunc(serial);
  double fraction = std::fabs(serial - whole);
  auto units = static_cast<int64_t>(std::llround(fraction * kMsPerDay / unit_ms));
  SplitDate split{static_cast<int64_t>(whole), units * unit_ms};
  if (split.ms_of_day >= kMsPerDay) {
    split.ms_of_day -= kMsPerDay;
    ++split.days;
  }
  return split;
}

}  // namespace

DateValue DateValue::FromParts(int year, int month, int day, int hour, int minute, int second,
                               int millisecond) {
  // Months and days outside their range carry over, as the platform's date serial does.
  int64_t month_index = static_cast<int64_t>(year) * 12 + (month - 1);
  int64_t y = month_index >= 0 ? month_index / 12 : (month_index - 11) / 12;
  int64_t m = month_index - y * 12 + 1;
  int64_t days = DaysFromCivil(y, m, 1) + (day - 1) - kEpochDays;
  int64_t ms = ((static_cast<int64_t>(hour) * 60 + minute) * 60 + second) * 1000 + millisecond;
  days += ms >= 0 ? ms / kMsPerDay : (ms - kMsPerDay + 1) / kMsPerDay;
  ms -= (ms >= 0 ? ms / kMsPerDay : (ms - kMsPerDay + 1) / kMsPerDay) * kMsPerDay;
  double time = static_cast<double>(ms) / kMsPerDay;
  return DateValue{days >= 0 ? static_cast<double>(days) + time : static_cast<double>(days) - time};
}

void DateValue::ToParts(int& year, int& month, int& day, int& hour, int& minute, int& second,
                        int& millisecond) const {
  SplitDate split = Split(serial, 1);
  CivilFromDays(split.days + kEpochDays, year, month, day);
  int64_t ms = split.ms_of_day;
  hour = static_cast<int>(ms / 3'600'000);
  minute = static_cast<int>(ms / 60'000 % 60);
  second = static_cast<int>(ms / 1000 % 60);
  millisecond = static_cast<int>(ms % 1000);
}

namespace internal {

namespace {

// Reads min..max digits at pos; nullopt when fewer than min are there.
std::optional<int> ReadNumber(std::string_view text, size_t& pos, size_t min, size_t max) {
  size_t start = pos;
  int value = 0;
  while (pos < text.size() && pos - start < max && IsAsciiDigit(text[pos])) {
    value = value * 10 + (text[pos++] - '0');
  }
  if (pos - start < min) return std::nullopt;
  return value;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

// One piece of a date pattern: a field token or literal text.
struct PatternPiece {
  char field = 0;  // 'y', 'm' (month), 'n' (minute), 'd', 'h', 's'; 0 for a literal
  size_t width = 0;
  std::string literal;
};

std::optional<std::vector<PatternPiece>> ParsePattern(std::string_view pattern) {
  std::vector<PatternPiece> pieces;
  bool have_field = false;
  for (size_t i = 0; i < pattern.size();) {
    char c = static_cast<char>(std::tolower(static_cast<unsigned char>(pattern[i])));
    if (!std::isalpha(static_cast<unsigned char>(c))) {
      if (pieces.empty() || pieces.back().field != 0) pieces.push_back({});
      pieces.back().literal += pattern[i++];
      continue;
    }
    size_t run = 0;
    while (i + run < pattern.size() &&
           std::tolower(static_cast<unsigned char>(pattern[i + run])) == c) {
      ++run;
    }
    i += run;
    switch (c) {
      case 'y':
        if (run != 2 && run != 4) return std::nullopt;
        break;
      case 'm':
      case 'd':
      case 'h':
      case 'n':
      case 's':
        if (run > 2) return std::nullopt;
        break;
      default:
        return std::nullopt;
    }
    if (c == 'm') {
      // "m" right after an hour token (literals between) means minutes.
      for (auto it = pieces.rbegin(); it != pieces.rend(); ++it) {
        if (it->field == 0) continue;
        if (it->field == 'h') c = 'n';
        break;
      }
    }
    pieces.push_back({c, run, {}});
    have_field = true;
  }
  if (!have_field) return std::nullopt;
  return pieces;
}

}  // namespace

std::optional<DateValue> ParseDateText(std::string_view text) {
  size_t begin = text.find_first_not_of(' ');
  if (begin == std::string_view::npos) return std::nullopt;
  text = text.substr(begin, text.find_last_not_of(' ') + 1 - begin);

  size_t pos = 0;
  auto year = ReadNumber(text, pos, 4, 4);
  if (!year || pos >= text.size()) return std::nullopt;
  char separator = text[pos];
  if (separator != '-' && separator != '/' && separator != '.') return std::nullopt;
  ++pos;
  auto month = ReadNumber(text, pos, 1, 2);
  if (!month || pos >= text.size() || text[pos] != separator) return std::nullopt;
  ++pos;
  auto day = ReadNumber(text, pos, 1, 2);
  if (!day) return std::nullopt;
  if (*year < 100 || *month < 1 || *month > 12 || *day < 1 || *day > DaysInMonth(*year, *month)) {
    return std::nullopt;
  }

  int hour = 0, minute = 0, second = 0, millisecond = 0;
  if (pos < text.size()) {
    if (text[pos] == 'T' || text[pos] == 't') {
      ++pos;
    } else if (text[pos] == ' ') {
      while (pos < text.size() && text[pos] == ' ') ++pos;
    } else {
      return std::nullopt;
    }
    auto h = ReadNumber(text, pos, 1, 2);
    if (!h || pos >= text.size() || text[pos] != ':') return std::nullopt;
    ++pos;
    auto mi = ReadNumber(text, pos, 2, 2);
    if (!mi) return std::nullopt;
    hour = *h;
    minute = *mi;
    if (pos < text.size() && text[pos] == ':') {
      ++pos;
      auto s = ReadNumber(text, pos, 2, 2);
      if (!s) return std::nullopt;
      second = *s;
      if (pos < text.size() && text[pos] == '.') {
        ++pos;
        size_t start = pos;
        double fraction = 0, scale = 0.1;
        while (pos < text.size() && IsAsciiDigit(text[pos])) {
          fraction += (text[pos++] - '0') * scale;
          scale /= 10;
        }
        if (pos == start) return std::nullopt;
        millisecond = static_cast<int>(std::lround(fraction * 1000));
      }
    }
    if (pos != text.size() || hour > 23 || minute > 59 || second > 59) return std::nullopt;
  }
  return DateValue::FromParts(*year, *month, *day, hour, minute, second, millisecond);
}

std::string DateToText(const DateValue& date) {
  SplitDate split = Split(date.serial, 1000);
  int year, month, day;
  CivilFromDays(split.days + kEpochDays, year, month, day);
  std::string text = fmt::format("{:04}-{:02}-{:02}", year, month, day);
  if (split.ms_of_day != 0) {
    int64_t seconds = split.ms_of_day / 1000;
    text += fmt::format(" {:02}:{:02}:{:02}", seconds / 3600, seconds / 60 % 60, seconds % 60);
  }
  return text;
}

bool IsDatePattern(std::string_view pattern) { return ParsePattern(pattern).has_value(); }

std::string FormatDate(const DateValue& date, std::string_view pattern) {
  auto pieces = ParsePattern(pattern);
  if (!pieces) Raise(err::kInvalidProcedureCall);
  SplitDate split = Split(date.serial, 1000);
  int year, month, day;
  CivilFromDays(split.days + kEpochDays, year, month, day);
  int64_t seconds = split.ms_of_day / 1000;
  std::string text;
  for (const PatternPiece& piece : *pieces) {
    int64_t value = 0;
    switch (piece.field) {
      case 0:
        text += piece.literal;
        continue;
      case 'y':
        value = piece.width == 2 ? year % 100 : year;
        break;
      case 'm':
        value = month;
        break;
      case 'd':
        value = day;
        break;
      case 'h':
        value = seconds / 3600;
        break;
      case 'n':
        value = seconds / 60 % 60;
        break;
      case 's':
        value = seconds % 60;
        break;
    }
    text += fmt::format("{:0{}}", value, piece.width);
  }
  return text;
}

}  // namespace internal
}  // namespace orv::automation
