#include "tsql/types/datetime.h"

#include <cctype>
#include <cstdio>

#include "tsql/types/sql_error.h"
#include "tsql/types/value_ops.h"

namespace orv::tsql {
namespace dt {
namespace {

constexpr const char* kMonthAbbr[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr const char* kMonthFull[12] = {"january",   "february", "march",    "april",
                                        "may",       "june",     "july",     "august",
                                        "september", "october",  "november", "december"};

bool IEquals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

// 1..12 for a month name or its three-letter abbreviation, 0 otherwise.
int MonthFromName(std::string_view word) {
  for (int m = 0; m < 12; ++m) {
    if (IEquals(word, kMonthFull[m]) || IEquals(word, std::string_view(kMonthFull[m], 3)))
      return m + 1;
  }
  return 0;
}

bool AllDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

int ToInt(std::string_view s) {
  int v = 0;
  for (char c : s) v = v * 10 + (c - '0');
  return v;
}

int ExpandYear(std::string_view digits) {
  int y = ToInt(digits);
  if (digits.size() <= 2) y += y < 50 ? 2000 : 1900;
  return y;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

struct Parts {
  int year = 1900, month = 1, day = 1;
  int hour = 0, minute = 0, second = 0, millis = 0;
};

// "hh:mi[:ss[.fff|:fff]][ ][AM|PM]" or "hh[ ]AM|PM".
bool ParseTime(std::string_view s, Parts& p) {
  s = Trim(s);
  int ampm = 0;  // 1 AM, 2 PM
  if (s.size() >= 2) {
    std::string_view tail = s.substr(s.size() - 2);
    if (IEquals(tail, "AM")) ampm = 1;
    if (IEquals(tail, "PM")) ampm = 2;
    if (ampm != 0) s = Trim(s.substr(0, s.size() - 2));
  }
  size_t i = 0;
  auto number = [&](int max_digits, std::string_view& out) {
    size_t start = i;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])) &&
           static_cast<int>(i - start) < max_digits)
      ++i;
    out = s.substr(start, i - start);
    return !out.empty();
  };
  std::string_view h, mi, sec, frac;
  if (!number(2, h)) return false;
  if (i < s.size() && s[i] == ':') {
    ++i;
    if (!number(2, mi)) return false;
    if (i < s.size() && s[i] == ':') {
      ++i;
      if (!number(2, sec)) return false;
      if (i < s.size() && (s[i] == '.' || s[i] == ':')) {
        bool colon = s[i] == ':';
        ++i;
        if (!number(3, frac)) return false;
        if (colon) {
          p.millis = ToInt(frac);
        } else {
          int ms = ToInt(frac);
          for (size_t k = frac.size(); k < 3; ++k) ms *= 10;
          p.millis = ms;
        }
      }
    }
  } else if (ampm == 0) {
    return false;  // a bare number is not a time
  }
  if (i != s.size()) return false;
  p.hour = ToInt(h);
  p.minute = mi.empty() ? 0 : ToInt(mi);
  p.second = sec.empty() ? 0 : ToInt(sec);
  if (ampm != 0) {
    if (p.hour > 12) return false;
    if (p.hour == 12) p.hour = 0;
    if (ampm == 2) p.hour += 12;
  }
  return p.hour < 24 && p.minute < 60 && p.second < 60;
}

// Splits text into its date part and its time part (which starts at the first token with a
// colon or an AM/PM marker).
void SplitDateAndTime(std::string_view s, std::string_view& date, std::string_view& time) {
  // ISO 8601: yyyy-mm-ddThh:mi...
  if (s.size() > 10 && (s[10] == 'T' || s[10] == 't') && s[4] == '-') {
    date = s.substr(0, 10);
    time = s.substr(11);
    return;
  }
  size_t colon = s.find(':');
  if (colon == std::string_view::npos) {
    // Maybe "hh AM" after a date; look for AM/PM at the end.
    date = s;
    time = {};
    if (s.size() >= 2) {
      std::string_view tail = s.substr(s.size() - 2);
      if (IEquals(tail, "AM") || IEquals(tail, "PM")) {
        size_t sp = s.find_last_of(' ', s.size() - 3);
        // "Jan 5 2024 1PM": the time is the last token (with its marker).
        size_t start = sp == std::string_view::npos ? 0 : sp + 1;
        date = Trim(s.substr(0, start));
        time = s.substr(start);
      }
    }
    return;
  }
  // The time token starts after the last blank before the first colon.
  size_t start = s.find_last_of(' ', colon);
  start = start == std::string_view::npos ? 0 : start + 1;
  date = Trim(s.substr(0, start));
  time = s.substr(start);
}

// Alphabetic month forms: "Jan 5 2024", "January 5, 2024", "5 Jan 2024", "Jan 2024".
bool ParseAlphaDate(std::string_view s, Parts& p) {
  std::string_view tokens[4];
  int n = 0;
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && (s[i] == ' ' || s[i] == ',')) ++i;
    if (i >= s.size()) break;
    size_t start = i;
    while (i < s.size() && s[i] != ' ' && s[i] != ',') ++i;
    if (n == 4) return false;
    tokens[n++] = s.substr(start, i - start);
  }
  int month_at = -1;
  for (int k = 0; k < n; ++k) {
    if (!AllDigits(tokens[k])) {
      if (month_at >= 0) return false;
      month_at = k;
      p.month = MonthFromName(tokens[k]);
      if (p.month == 0) return false;
    }
  }
  std::string_view nums[3];
  int m = 0;
  for (int k = 0; k < n; ++k) {
    if (k != month_at) nums[m++] = tokens[k];
  }
  if (m == 2) {
    if (nums[1].size() == 4 || nums[0].size() <= 2) {
      p.day = ToInt(nums[0]);
      p.year = ExpandYear(nums[1]);
    } else {
      p.year = ExpandYear(nums[0]);
      p.day = ToInt(nums[1]);
    }
  } else if (m == 1) {
    if (nums[0].size() != 4) return false;
    p.year = ToInt(nums[0]);
    p.day = 1;
  } else {
    return false;
  }
  return true;
}

bool ParseNumericDate(std::string_view s, DateOrder order, Parts& p) {
  if (AllDigits(s)) {
    if (s.size() == 8) {
      p.year = ToInt(s.substr(0, 4));
      p.month = ToInt(s.substr(4, 2));
      p.day = ToInt(s.substr(6, 2));
      return true;
    }
    if (s.size() == 6) {
      p.year = ExpandYear(s.substr(0, 2));
      p.month = ToInt(s.substr(2, 2));
      p.day = ToInt(s.substr(4, 2));
      return true;
    }
    if (s.size() == 4) {
      p.year = ToInt(s);
      return true;
    }
    return false;
  }
  char sep = 0;
  std::string_view f[3];
  int n = 0;
  size_t start = 0;
  for (size_t i = 0; i <= s.size(); ++i) {
    if (i == s.size() || s[i] == '-' || s[i] == '/' || s[i] == '.') {
      if (i < s.size()) {
        if (sep != 0 && s[i] != sep) return false;
        sep = s[i];
      }
      if (n == 3) return false;
      f[n++] = s.substr(start, i - start);
      start = i + 1;
    }
  }
  if (n != 3) return false;
  for (auto& x : f) {
    if (!AllDigits(x) || x.size() > 4) return false;
  }
  if (f[0].size() == 4 || order == DateOrder::kYmd) {
    p.year = ExpandYear(f[0]);
    p.month = ToInt(f[1]);
    p.day = ToInt(f[2]);
    return f[1].size() <= 2 && f[2].size() <= 2;
  }
  if (f[0].size() > 2 || f[1].size() > 2) return false;
  if (order == DateOrder::kDmy) {
    p.day = ToInt(f[0]);
    p.month = ToInt(f[1]);
  } else {
    p.month = ToInt(f[0]);
    p.day = ToInt(f[1]);
  }
  p.year = ExpandYear(f[2]);
  return true;
}

}  // namespace

const int64_t kMinTicks = DaysFromCivil(1753, 1, 1) * kTicksPerDay;
const int64_t kMaxTicks = DaysFromCivil(9999, 12, 31) * kTicksPerDay + kTicksPerDay - 1;

int64_t FloorDiv(int64_t a, int64_t b) {
  int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

int64_t DaysFromCivil(int year, int month, int day) {
  // Days since 1970-01-01 by the era algorithm, shifted to 1900-01-01.
  int64_t y = year - (month <= 2 ? 1 : 0);
  int64_t era = FloorDiv(y, 400);
  int64_t yoe = y - era * 400;
  int64_t mp = (month + 9) % 12;
  int64_t doy = (153 * mp + 2) / 5 + day - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  int64_t unix_days = era * 146097 + doe - 719468;
  return unix_days + 25567;  // 1900-01-01 is 25567 days before 1970-01-01
}

void CivilFromDays(int64_t days, int& year, int& month, int& day) {
  int64_t z = days - 25567 + 719468;
  int64_t era = FloorDiv(z, 146097);
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t y = yoe + era * 400;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(y + (month <= 2 ? 1 : 0));
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

ParseResult Parse(std::string_view text, DateOrder order, int64_t& ticks) {
  std::string_view s = Trim(text);
  Parts p;
  if (s.empty()) {
    ticks = 0;
    return ParseResult::kOk;
  }
  std::string_view date, time;
  SplitDateAndTime(s, date, time);
  if (!date.empty()) {
    bool alpha = false;
    for (char c : date) alpha = alpha || std::isalpha(static_cast<unsigned char>(c));
    bool ok = alpha ? ParseAlphaDate(date, p) : ParseNumericDate(date, order, p);
    if (!ok) return ParseResult::kInvalid;
  }
  if (!time.empty() && !ParseTime(time, p)) return ParseResult::kInvalid;
  if (p.month < 1 || p.month > 12 || p.day < 1 || p.day > DaysInMonth(p.year, p.month) ||
      p.year < 1753 || p.year > 9999)
    return ParseResult::kOutOfRange;
  ticks = MakeDateTime(p.year, p.month, p.day, p.hour, p.minute, p.second, p.millis);
  return InRange(ticks) ? ParseResult::kOk : ParseResult::kOutOfRange;
}

DateOrder OrderForStyle(int style) {
  switch (style % 100) {
    case 3:
    case 4:
    case 5:
    case 6:
    case 13:
      return DateOrder::kDmy;
    case 2:
    case 11:
    case 12:
      return DateOrder::kYmd;
    default:
      return DateOrder::kMdy;
  }
}

bool Format(int64_t ticks, int style, bool date_only, std::string& out) {
  int y, mo, d, h, mi, s, ms;
  SplitDateTime(ticks, y, mo, d, h, mi, s, ms);
  char buf[64];
  int h12 = h % 12 == 0 ? 12 : h % 12;
  const char* ampm = h < 12 ? "AM" : "PM";
  const char* mon = kMonthAbbr[mo - 1];
  bool century = style >= 100 || style == 0 || style == 9 || style == 13 || style >= 20;
  int yy = century ? y : y % 100;
  const char* yfmt = century ? "%04d" : "%02d";
  char ys[8];
  std::snprintf(ys, sizeof ys, yfmt, yy);
  auto date_ymd = [&](char sep) {
    std::snprintf(buf, sizeof buf, "%s%c%02d%c%02d", ys, sep, mo, sep, d);
  };
  switch (style) {
    case 0:
    case 100:
      if (date_only) {
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, mo, d);
      } else {
        std::snprintf(buf, sizeof buf, "%s %2d %04d %2d:%02d%s", mon, d, y, h12, mi, ampm);
      }
      break;
    case 1:
    case 101:
      std::snprintf(buf, sizeof buf, "%02d/%02d/%s", mo, d, ys);
      break;
    case 2:
    case 102:
      date_ymd('.');
      break;
    case 3:
    case 103:
      std::snprintf(buf, sizeof buf, "%02d/%02d/%s", d, mo, ys);
      break;
    case 4:
    case 104:
      std::snprintf(buf, sizeof buf, "%02d.%02d.%s", d, mo, ys);
      break;
    case 5:
    case 105:
      std::snprintf(buf, sizeof buf, "%02d-%02d-%s", d, mo, ys);
      break;
    case 6:
    case 106:
      std::snprintf(buf, sizeof buf, "%02d %s %s", d, mon, ys);
      break;
    case 7:
    case 107:
      std::snprintf(buf, sizeof buf, "%s %02d, %s", mon, d, ys);
      break;
    case 8:
    case 108:
    case 24:
      std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", h, mi, s);
      break;
    case 9:
    case 109:
      std::snprintf(buf, sizeof buf, "%s %2d %04d %2d:%02d:%02d:%03d%s", mon, d, y, h12, mi, s, ms,
                    ampm);
      break;
    case 10:
    case 110:
      std::snprintf(buf, sizeof buf, "%02d-%02d-%s", mo, d, ys);
      break;
    case 11:
    case 111:
      date_ymd('/');
      break;
    case 12:
    case 112:
      std::snprintf(buf, sizeof buf, "%s%02d%02d", ys, mo, d);
      break;
    case 13:
    case 113:
      std::snprintf(buf, sizeof buf, "%02d %s %04d %02d:%02d:%02d:%03d", d, mon, y, h, mi, s, ms);
      break;
    case 14:
    case 114:
      std::snprintf(buf, sizeof buf, "%02d:%02d:%02d:%03d", h, mi, s, ms);
      break;
    case 20:
    case 120:
      std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", y, mo, d, h, mi, s);
      break;
    case 21:
    case 25:
    case 121:
      std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", y, mo, d, h, mi, s, ms);
      break;
    case 22:
      std::snprintf(buf, sizeof buf, "%02d/%02d/%02d %2d:%02d:%02d %s", mo, d, y % 100, h12, mi, s,
                    ampm);
      break;
    case 23:
      std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, mo, d);
      break;
    case 126:
    case 127:
      if (ms == 0) {
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", y, mo, d, h, mi, s);
      } else {
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", y, mo, d, h, mi, s,
                      ms);
      }
      break;
    default:
      return false;
  }
  out += buf;
  return true;
}

std::optional<DatePart> ParseDatePart(std::string_view name) {
  struct Entry {
    const char* name;
    DatePart part;
  };
  static constexpr Entry kNames[] = {
      {"year", DatePart::kYear},       {"yy", DatePart::kYear},
      {"yyyy", DatePart::kYear},       {"quarter", DatePart::kQuarter},
      {"qq", DatePart::kQuarter},      {"q", DatePart::kQuarter},
      {"month", DatePart::kMonth},     {"mm", DatePart::kMonth},
      {"m", DatePart::kMonth},         {"dayofyear", DatePart::kDayOfYear},
      {"dy", DatePart::kDayOfYear},    {"y", DatePart::kDayOfYear},
      {"day", DatePart::kDay},         {"dd", DatePart::kDay},
      {"d", DatePart::kDay},           {"week", DatePart::kWeek},
      {"wk", DatePart::kWeek},         {"ww", DatePart::kWeek},
      {"weekday", DatePart::kWeekday}, {"dw", DatePart::kWeekday},
      {"w", DatePart::kWeekday},       {"hour", DatePart::kHour},
      {"hh", DatePart::kHour},         {"minute", DatePart::kMinute},
      {"mi", DatePart::kMinute},       {"n", DatePart::kMinute},
      {"second", DatePart::kSecond},   {"ss", DatePart::kSecond},
      {"s", DatePart::kSecond},        {"millisecond", DatePart::kMillisecond},
      {"ms", DatePart::kMillisecond},
  };
  for (const Entry& e : kNames) {
    if (IEquals(name, e.name)) return e.part;
  }
  return std::nullopt;
}

namespace {

int64_t DayNumber(int64_t ticks) { return FloorDiv(ticks, kTicksPerDay); }
// Sunday-based week index: 1899-12-31 (day -1) was a Sunday.
int64_t SundayWeek(int64_t days) { return FloorDiv(days + 1, 7); }
int WeekdaySundayZero(int64_t days) { return static_cast<int>(days + 1 - SundayWeek(days) * 7); }

}  // namespace

int64_t Part(DatePart part, int64_t ticks) {
  int y, mo, d, h, mi, s, ms;
  SplitDateTime(ticks, y, mo, d, h, mi, s, ms);
  int64_t days = DayNumber(ticks);
  switch (part) {
    case DatePart::kYear:
      return y;
    case DatePart::kQuarter:
      return (mo - 1) / 3 + 1;
    case DatePart::kMonth:
      return mo;
    case DatePart::kDayOfYear:
      return days - DaysFromCivil(y, 1, 1) + 1;
    case DatePart::kDay:
      return d;
    case DatePart::kWeek: {
      int64_t jan1 = DaysFromCivil(y, 1, 1);
      return SundayWeek(days) - SundayWeek(jan1) + 1;
    }
    case DatePart::kWeekday:
      return WeekdaySundayZero(days) + 1;
    case DatePart::kHour:
      return h;
    case DatePart::kMinute:
      return mi;
    case DatePart::kSecond:
      return s;
    case DatePart::kMillisecond:
      return ms;
  }
  return 0;
}

int64_t Diff(DatePart part, int64_t start, int64_t end) {
  int y1, m1, d1, h1, mi1, s1, ms1, y2, m2, d2, h2, mi2, s2, ms2;
  SplitDateTime(start, y1, m1, d1, h1, mi1, s1, ms1);
  SplitDateTime(end, y2, m2, d2, h2, mi2, s2, ms2);
  int64_t days1 = DayNumber(start), days2 = DayNumber(end);
  switch (part) {
    case DatePart::kYear:
      return y2 - y1;
    case DatePart::kQuarter:
      return (y2 * 4 + (m2 - 1) / 3) - (y1 * 4 + (m1 - 1) / 3);
    case DatePart::kMonth:
      return (int64_t{y2} * 12 + m2) - (int64_t{y1} * 12 + m1);
    case DatePart::kDayOfYear:
    case DatePart::kDay:
    case DatePart::kWeekday:
      return days2 - days1;
    case DatePart::kWeek:
      return SundayWeek(days2) - SundayWeek(days1);
    case DatePart::kHour:
      return FloorDiv(end, kTicksPerSecond * 3600) - FloorDiv(start, kTicksPerSecond * 3600);
    case DatePart::kMinute:
      return FloorDiv(end, kTicksPerSecond * 60) - FloorDiv(start, kTicksPerSecond * 60);
    case DatePart::kSecond:
      return FloorDiv(end, kTicksPerSecond) - FloorDiv(start, kTicksPerSecond);
    case DatePart::kMillisecond: {
      auto millis = [](int64_t t) {
        int64_t sec = FloorDiv(t, kTicksPerSecond);
        return sec * 1000 + TicksToMillis(t - sec * kTicksPerSecond);
      };
      return millis(end) - millis(start);
    }
  }
  return 0;
}

std::optional<int64_t> Add(DatePart part, int64_t n, int64_t ticks) {
  constexpr int64_t kLimit = int64_t{1} << 40;  // far beyond any valid result
  if (n > kLimit || n < -kLimit) return std::nullopt;
  int64_t result = ticks;
  switch (part) {
    case DatePart::kYear:
    case DatePart::kQuarter:
    case DatePart::kMonth: {
      int64_t months = part == DatePart::kYear ? n * 12 : part == DatePart::kQuarter ? n * 3 : n;
      int y, mo, d;
      int64_t days = DayNumber(ticks);
      int64_t time = ticks - days * kTicksPerDay;
      CivilFromDays(days, y, mo, d);
      int64_t total = int64_t{y} * 12 + (mo - 1) + months;
      int64_t ny = FloorDiv(total, 12);
      if (ny < 1753 || ny > 9999) return std::nullopt;
      int nm = static_cast<int>(total - ny * 12) + 1;
      int nd = d;
      int dim = DaysInMonth(static_cast<int>(ny), nm);
      if (nd > dim) nd = dim;
      result = DaysFromCivil(static_cast<int>(ny), nm, nd) * kTicksPerDay + time;
      break;
    }
    case DatePart::kDayOfYear:
    case DatePart::kDay:
    case DatePart::kWeekday:
      result = ticks + n * kTicksPerDay;
      break;
    case DatePart::kWeek:
      result = ticks + n * 7 * kTicksPerDay;
      break;
    case DatePart::kHour:
      result = ticks + n * 3600 * kTicksPerSecond;
      break;
    case DatePart::kMinute:
      result = ticks + n * 60 * kTicksPerSecond;
      break;
    case DatePart::kSecond:
      result = ticks + n * kTicksPerSecond;
      break;
    case DatePart::kMillisecond:
      result = ticks + (n >= 0 ? MillisToTicks(n) : -MillisToTicks(-n));
      break;
  }
  if (!InRange(result)) return std::nullopt;
  return result;
}

}  // namespace dt

int64_t MakeDateTime(int year, int month, int day, int hour, int minute, int second,
                     int millisecond) {
  return dt::DaysFromCivil(year, month, day) * kTicksPerDay +
         (int64_t{hour} * 3600 + minute * 60 + second) * kTicksPerSecond +
         dt::MillisToTicks(millisecond);
}

void SplitDateTime(int64_t ticks, int& year, int& month, int& day, int& hour, int& minute,
                   int& second, int& millisecond) {
  int64_t days = dt::FloorDiv(ticks, kTicksPerDay);
  int64_t rest = ticks - days * kTicksPerDay;
  dt::CivilFromDays(days, year, month, day);
  int64_t secs = rest / kTicksPerSecond;
  int64_t sub = rest - secs * kTicksPerSecond;
  hour = static_cast<int>(secs / 3600);
  minute = static_cast<int>(secs / 60 % 60);
  second = static_cast<int>(secs % 60);
  millisecond = dt::TicksToMillis(sub);
}

std::optional<int64_t> ParseDateTime(std::string_view text) {
  int64_t ticks = 0;
  switch (dt::Parse(text, dt::DateOrder::kMdy, ticks)) {
    case dt::ParseResult::kOk:
      return ticks;
    case dt::ParseResult::kInvalid:
      return std::nullopt;
    case dt::ParseResult::kOutOfRange:
      ThrowError(242, {"varchar", "datetime"});
  }
  return std::nullopt;
}

}  // namespace orv::tsql
