#include "tsql/types/datetime.h"

#include <cctype>
#include <algorithm>
#include <cstdio>
#include <cstdint>

#include "tsql/types/sql_error.h"
#include "tsql/types/value_ops.h"

namespace orv::tsql {
namespace dt {

DateSettings& CurrentDateSettings() {
  thread_local DateSettings settings;
  return settings;
}

std::string_view MonthName(int month, Language language) {
  static constexpr const char* kEnglish[12] = {"January", "February", "March",     "April",
                                               "May",     "June",     "July",      "August",
                                               "September", "October", "November", "December"};
  static constexpr const char* kGerman[12] = {"Januar", "Februar", "März",      "April",
                                              "Mai",    "Juni",    "Juli",      "August",
                                              "September", "Oktober", "November", "Dezember"};
  return (language == Language::kDeutsch ? kGerman : kEnglish)[month - 1];
}

std::string_view WeekdayName(int weekday, Language language) {
  static constexpr const char* kEnglish[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                              "Thursday", "Friday", "Saturday"};
  static constexpr const char* kGerman[7] = {"Sonntag",    "Montag",  "Dienstag", "Mittwoch",
                                             "Donnerstag", "Freitag", "Samstag"};
  return (language == Language::kDeutsch ? kGerman : kEnglish)[weekday];
}

const int64_t kMaxUnits = (DaysFromCivil(9999, 12, 31) + kDaysTo1900 + 1) * kUnitsPerDay - 1;

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
  int hour = 0, minute = 0, second = 0;
  int64_t frac = 0;  // 100 ns units
};

// "hh:mi[:ss[.fff|:fff]][ ][AM|PM]" or "hh[ ]AM|PM"; up to `digits` digits after the point.
bool ParseTime(std::string_view s, Parts& p, int digits) {
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
        if (!number(colon ? 3 : digits, frac)) return false;
        if (colon) {
          p.frac = int64_t{ToInt(frac)} * 10000;
        } else {
          int64_t f = 0;
          for (char c : frac) f = f * 10 + (c - '0');
          for (size_t k = frac.size(); k < 7; ++k) f *= 10;
          p.frac = f;
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

// `classic`: the rules of datetime and smalldatetime, where a date that starts with a four-digit
// year still follows the date order in one case: under dmy it is read as year, day, month
// ('2024-01-05' is 1 May). date and datetime2 read it as year, month, day.
bool ParseNumericDate(std::string_view s, DateOrder order, bool classic, Parts& p) {
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
  if (f[0].size() == 4 && order != DateOrder::kYdm) {
    order = classic && order == DateOrder::kDmy ? DateOrder::kYdm : DateOrder::kYmd;
  }
  // Where the year, month and day stand in this order.
  int yi = 2, mi = 0, di = 1;
  switch (order) {
    case DateOrder::kMdy: yi = 2, mi = 0, di = 1; break;
    case DateOrder::kDmy: yi = 2, mi = 1, di = 0; break;
    case DateOrder::kYmd: yi = 0, mi = 1, di = 2; break;
    case DateOrder::kYdm: yi = 0, mi = 2, di = 1; break;
    case DateOrder::kMyd: yi = 1, mi = 0, di = 2; break;
    case DateOrder::kDym: yi = 1, mi = 2, di = 0; break;
  }
  if (f[mi].size() > 2 || f[di].size() > 2) return false;
  p.year = ExpandYear(f[yi]);
  p.month = ToInt(f[mi]);
  p.day = ToInt(f[di]);
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

namespace {

// Reads date and time text into parts: `digits` fraction digits at most, and years from
// `min_year`. The date part may be missing (1900-01-01), and so may the time (midnight).
ParseResult ParseParts(std::string_view s, DateOrder order, int digits, int min_year, Parts& p,
                       bool& has_date, bool& has_time, bool classic) {
  std::string_view date, time;
  SplitDateAndTime(s, date, time);
  // ISO 8601 with its T reads the same way under any date order.
  if (s.size() > 10 && (s[10] == 'T' || s[10] == 't')) classic = false;
  has_date = !date.empty();
  has_time = !time.empty();
  if (!date.empty()) {
    bool alpha = false;
    for (char c : date) alpha = alpha || std::isalpha(static_cast<unsigned char>(c));
    bool ok = alpha ? ParseAlphaDate(date, p) : ParseNumericDate(date, order, classic, p);
    if (!ok) return ParseResult::kInvalid;
  }
  if (!time.empty() && !ParseTime(time, p, digits)) return ParseResult::kInvalid;
  if (p.month < 1 || p.month > 12 || p.day < 1 || p.day > DaysInMonth(p.year, p.month) ||
      p.year < min_year || p.year > 9999)
    return ParseResult::kOutOfRange;
  return ParseResult::kOk;
}

// A trailing time zone offset: "+hh:mm", "-hh:mm" or "Z"; removed from s when found.
bool TakeOffset(std::string_view& s, int& minutes, bool& bad) {
  bad = false;
  if (!s.empty() && (s.back() == 'Z' || s.back() == 'z') && s.size() > 1 &&
      std::isdigit(static_cast<unsigned char>(s[s.size() - 2]))) {
    s.remove_suffix(1);
    minutes = 0;
    return true;
  }
  if (s.size() < 6) return false;
  std::string_view tail = s.substr(s.size() - 6);
  if ((tail[0] != '+' && tail[0] != '-') || tail[3] != ':') return false;
  // "2024-01-05" ends in "-01-05": an offset only follows a time or a blank.
  std::string_view before = Trim(s.substr(0, s.size() - 6));
  if (before.find(':') == std::string_view::npos && s[s.size() - 7] != ' ') return false;
  for (int i : {1, 2, 4, 5}) {
    if (!std::isdigit(static_cast<unsigned char>(tail[i]))) return false;
  }
  int h = ToInt(tail.substr(1, 2)), m = ToInt(tail.substr(4, 2));
  if (h > 14 || m > 59 || h * 60 + m > 840) bad = true;
  minutes = (h * 60 + m) * (tail[0] == '-' ? -1 : 1);
  s = Trim(s.substr(0, s.size() - 6));
  return true;
}

}  // namespace

ParseResult Parse(std::string_view text, DateOrder order, int64_t& ticks) {
  std::string_view s = Trim(text);
  Parts p;
  if (s.empty()) {
    ticks = 0;
    return ParseResult::kOk;
  }
  bool has_date, has_time;
  ParseResult r = ParseParts(s, order, 3, 1753, p, has_date, has_time, /*classic=*/true);
  if (r != ParseResult::kOk) return r;
  ticks = MakeDateTime(p.year, p.month, p.day, p.hour, p.minute, p.second,
                       static_cast<int>(p.frac / 10000));
  return InRange(ticks) ? ParseResult::kOk : ParseResult::kOutOfRange;
}

ParseResult ParsePrecise(std::string_view text, DateOrder order, Stamp& out) {
  std::string_view s = Trim(text);
  out = Stamp{};
  bool bad_offset = false;
  out.has_offset = TakeOffset(s, out.offset, bad_offset);
  if (bad_offset) return ParseResult::kInvalid;
  Parts p;
  if (!s.empty()) {
    ParseResult r = ParseParts(s, order, 7, 1, p, out.has_date, out.has_time, /*classic=*/false);
    if (r != ParseResult::kOk) return r;
  }
  out.units = (DaysFromCivil(p.year, p.month, p.day) + kDaysTo1900) * kUnitsPerDay +
              (int64_t{p.hour} * 3600 + p.minute * 60 + p.second) * kUnitsPerSecond + p.frac;
  return ParseResult::kOk;
}

int64_t RoundUnits(int64_t units, int scale) {
  if (scale >= 7) return units;
  int64_t step = 1;
  for (int i = scale; i < 7; ++i) step *= 10;
  return FloorDiv(units + step / 2, step) * step;
}

int64_t UnitsFromTicks(int64_t ticks) {
  int64_t days = FloorDiv(ticks, kTicksPerDay);
  int64_t rest = ticks - days * kTicksPerDay;
  return (days + kDaysTo1900) * kUnitsPerDay + (rest * 100'000 + 1) / 3;
}

int64_t TicksFromUnits(int64_t units) {
  int64_t days = FloorDiv(units, kUnitsPerDay);
  int64_t rest = units - days * kUnitsPerDay;
  // To the nearest 1/300 s, as datetime rounds (.xx0, .xx3, .xx7).
  int64_t ms = (rest + 5000) / 10000;
  int64_t secs = ms / 1000;
  return (days - kDaysTo1900) * kTicksPerDay + secs * kTicksPerSecond +
         MillisToTicks(ms - secs * 1000);
}

namespace {

// hh:mi:ss and `scale` fraction digits of a time of day in 100 ns units.
std::string TimeText(int64_t rest, int scale) {
  int64_t secs = rest / kUnitsPerSecond;
  int64_t frac = rest - secs * kUnitsPerSecond;
  char buf[40];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", static_cast<int>(secs / 3600),
                static_cast<int>(secs / 60 % 60), static_cast<int>(secs % 60));
  std::string out = buf;
  if (scale > 0) {
    std::snprintf(buf, sizeof buf, "%07lld", static_cast<long long>(frac));
    out += '.';
    out.append(buf, static_cast<size_t>(scale));
  }
  return out;
}

std::string OffsetText(int offset) {
  char buf[16];
  int a = offset < 0 ? -offset : offset;
  std::snprintf(buf, sizeof buf, "%c%02d:%02d", offset < 0 ? '-' : '+', a / 60, a % 60);
  return buf;
}

}  // namespace

bool FormatPrecise(int64_t units, int offset, TypeId id, int scale, int style, std::string& out) {
  int64_t days = FloorDiv(units, kUnitsPerDay);
  int64_t rest = units - days * kUnitsPerDay;
  int y, mo, d;
  CivilFromDays(days - kDaysTo1900, y, mo, d);
  char date[16];
  std::snprintf(date, sizeof date, "%04d-%02d-%02d", y, mo, d);
  const bool time_only = id == TypeId::Time;
  const std::string zone = id == TypeId::DateTimeOffset ? " " + OffsetText(offset) : "";
  switch (style) {
    case 0:
    case 20:
    case 21:
    case 25:
    case 120:
    case 121:
      if (time_only) {
        out += TimeText(rest, style == 20 || style == 120 ? 0 : scale);
      } else if (style == 0 && id == TypeId::Date) {
        out += date;
      } else {
        out += std::string(date) + " " + TimeText(rest, style == 20 || style == 120 ? 0 : scale);
        if (style == 0) out += zone;
      }
      return true;
    case 126:
    case 127: {
      std::string t = TimeText(rest, scale);
      while (t.size() > 8 && t.back() == '0') t.pop_back();
      if (t.back() == '.') t.pop_back();
      out += time_only ? t : std::string(date) + "T" + t;
      if (id == TypeId::DateTimeOffset) out += offset == 0 && style == 127 ? "Z" : OffsetText(offset);
      return true;
    }
    case 8:
    case 108:
    case 24:
      out += TimeText(rest, 0);
      return true;
    case 14:
    case 114:
      out += TimeText(rest, 0) + ":" + TimeText(rest, 3).substr(9);
      return true;
    default: {
      // The other styles show at most milliseconds: they are the datetime forms.
      int64_t ticks = (days - kDaysTo1900) * kTicksPerDay +
                      (rest / kUnitsPerSecond) * kTicksPerSecond +
                      MillisToTicks(rest % kUnitsPerSecond / 10000);
      if (time_only) ticks = (rest / kUnitsPerSecond) * kTicksPerSecond;
      return Format(ticks, style, id == TypeId::Date, out);
    }
  }
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
    case 0:
      return CurrentDateSettings().order;
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
      {"ms", DatePart::kMillisecond},  {"microsecond", DatePart::kMicrosecond},
      {"mcs", DatePart::kMicrosecond}, {"nanosecond", DatePart::kNanosecond},
      {"ns", DatePart::kNanosecond},   {"tzoffset", DatePart::kTzOffset},
      {"tz", DatePart::kTzOffset},     {"iso_week", DatePart::kIsoWeek},
      {"isowk", DatePart::kIsoWeek},   {"isoww", DatePart::kIsoWeek},
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
    default:
      return PartUnits(part, UnitsFromTicks(ticks));
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
    default:
      return DiffUnits(part, UnitsFromTicks(start), UnitsFromTicks(end));
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
    default: {
      auto units = AddUnits(part, n, UnitsFromTicks(ticks));
      if (!units) return std::nullopt;
      result = TicksFromUnits(*units);
      break;
    }
  }
  if (!InRange(result)) return std::nullopt;
  return result;
}

namespace {

// ISO 8601 week: weeks start on Monday; week 1 holds the year's first Thursday.
int64_t IsoWeek(int64_t days) {  // days since 1900-01-01 (a Monday)
  int64_t weekday = days - FloorDiv(days, 7) * 7;  // 0 = Monday
  int64_t thursday = days - weekday + 3;
  int y, m, d;
  CivilFromDays(thursday, y, m, d);
  return (thursday - DaysFromCivil(y, 1, 1)) / 7 + 1;
}

}  // namespace

int64_t PartUnits(DatePart part, int64_t units) {
  int64_t days = FloorDiv(units, kUnitsPerDay);
  int64_t rest = units - days * kUnitsPerDay;
  switch (part) {
    case DatePart::kHour:
      return rest / (3600 * kUnitsPerSecond);
    case DatePart::kMinute:
      return rest / (60 * kUnitsPerSecond) % 60;
    case DatePart::kSecond:
      return rest / kUnitsPerSecond % 60;
    case DatePart::kMillisecond:
      return rest % kUnitsPerSecond / 10000;
    case DatePart::kMicrosecond:
      return rest % kUnitsPerSecond / 10;
    case DatePart::kNanosecond:
      return rest % kUnitsPerSecond * 100;
    case DatePart::kTzOffset:
      return 0;
    case DatePart::kIsoWeek:
      return IsoWeek(days - kDaysTo1900);
    default:
      // The calendar parts: whole days in datetime ticks give the same answer.
      return Part(part, (days - kDaysTo1900) * kTicksPerDay);
  }
}

int64_t DiffUnits(DatePart part, int64_t start, int64_t end) {
  auto per = [&](int64_t unit) { return FloorDiv(end, unit) - FloorDiv(start, unit); };
  switch (part) {
    case DatePart::kHour:
      return per(3600 * kUnitsPerSecond);
    case DatePart::kMinute:
      return per(60 * kUnitsPerSecond);
    case DatePart::kSecond:
      return per(kUnitsPerSecond);
    case DatePart::kMillisecond:
      return per(10000);
    case DatePart::kMicrosecond:
      return per(10);
    case DatePart::kNanosecond: {
      int64_t d = end - start;  // nanoseconds overflow int64 past 29 years: let the caller see
      return d > INT64_MAX / 100 || d < INT64_MIN / 100 ? (d > 0 ? INT64_MAX : INT64_MIN)
                                                        : d * 100;
    }
    case DatePart::kTzOffset:
      return 0;
    case DatePart::kIsoWeek:
      return FloorDiv(FloorDiv(end, kUnitsPerDay) + 1, 7) -
             FloorDiv(FloorDiv(start, kUnitsPerDay) + 1, 7);
    default:
      return Diff(part, (FloorDiv(start, kUnitsPerDay) - kDaysTo1900) * kTicksPerDay,
                  (FloorDiv(end, kUnitsPerDay) - kDaysTo1900) * kTicksPerDay);
  }
}

std::optional<int64_t> AddUnits(DatePart part, int64_t n, int64_t units) {
  constexpr int64_t kLimit = int64_t{1} << 40;
  if (n > kLimit || n < -kLimit) return std::nullopt;
  int64_t days = FloorDiv(units, kUnitsPerDay);
  int64_t rest = units - days * kUnitsPerDay;
  int64_t result = units;
  switch (part) {
    case DatePart::kYear:
    case DatePart::kQuarter:
    case DatePart::kMonth: {
      int64_t months = part == DatePart::kYear ? n * 12 : part == DatePart::kQuarter ? n * 3 : n;
      int y, mo, d;
      CivilFromDays(days - kDaysTo1900, y, mo, d);
      int64_t total = int64_t{y} * 12 + (mo - 1) + months;
      int64_t ny = FloorDiv(total, 12);
      if (ny < 1 || ny > 9999) return std::nullopt;
      int nm = static_cast<int>(total - ny * 12) + 1;
      int nd = std::min(d, DaysInMonth(static_cast<int>(ny), nm));
      result = (DaysFromCivil(static_cast<int>(ny), nm, nd) + kDaysTo1900) * kUnitsPerDay + rest;
      break;
    }
    case DatePart::kDayOfYear:
    case DatePart::kDay:
    case DatePart::kWeekday:
      result = units + n * kUnitsPerDay;
      break;
    case DatePart::kWeek:
    case DatePart::kIsoWeek:
      result = units + n * 7 * kUnitsPerDay;
      break;
    case DatePart::kHour:
      result = units + n * 3600 * kUnitsPerSecond;
      break;
    case DatePart::kMinute:
      result = units + n * 60 * kUnitsPerSecond;
      break;
    case DatePart::kSecond:
      result = units + n * kUnitsPerSecond;
      break;
    case DatePart::kMillisecond:
      result = units + n * 10000;
      break;
    case DatePart::kMicrosecond:
      result = units + n * 10;
      break;
    case DatePart::kNanosecond:
      result = units + n / 100;
      break;
    case DatePart::kTzOffset:
      return std::nullopt;
  }
  if (result < 0 || result > kMaxUnits) return std::nullopt;
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
