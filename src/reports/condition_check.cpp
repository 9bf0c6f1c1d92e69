#include "reports/condition_check.h"

#include <algorithm>
#include <cctype>

namespace orv::reports::catalog {

namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

size_t EditDistance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

std::string Trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  return std::string(text);
}

std::string KeyList(const std::vector<ConditionKey>& keys) {
  std::string list;
  for (const auto& key : keys) list += (list.empty() ? "" : ", ") + std::string(key.name);
  return list;
}

bool IsWholeNumber(std::string_view text) {
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) text.remove_prefix(1);
  return !text.empty() && text.size() <= 9 &&
         std::all_of(text.begin(), text.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

// The value as the report should read it, or ConditionError naming the key.
automation::Variant CheckValue(const ReportEntry& report, const ConditionKey& key,
                               const automation::Variant& value) {
  if (value.IsNull() || value.IsEmpty()) return value;
  const std::string text = automation::CStr(value);
  const std::string where = "report " + std::string(report.number) + ", " + key.name + "=" + text;
  switch (key.type) {
    case KeyType::kDate:
      if (!IsIsoDate(text)) {
        throw ConditionError(where + ": " + key.name + " (" + key.en +
                             ") must be a date written yyyy-mm-dd, e.g. 2025-06-30");
      }
      return value;
    case KeyType::kInteger:
      if (!IsWholeNumber(Trim(text))) {
        throw ConditionError(where + ": " + key.name + " must be a whole number");
      }
      return automation::Variant(static_cast<int32_t>(std::stol(Trim(text))));
    case KeyType::kChoice: {
      std::string allowed;
      for (const Choice& choice : key.choices) {
        if (Trim(text) == choice.value) return automation::Variant(Trim(text));
        allowed += (allowed.empty() ? "" : ", ") + std::string(choice.value) + " (" + choice.en + ")";
      }
      throw ConditionError(where + ": " + key.name + " (" + key.en + ") must be one of " + allowed);
    }
    case KeyType::kOrderBy:
      return automation::Variant(CheckOrderBy(report, text));
    case KeyType::kCode:
    case KeyType::kText:
      return value;
  }
  return value;
}

}  // namespace

bool IsIsoDate(std::string_view text) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
  for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9}) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
  }
  const int year = std::stoi(std::string(text.substr(0, 4)));
  const int month = std::stoi(std::string(text.substr(5, 2)));
  const int day = std::stoi(std::string(text.substr(8, 2)));
  if (year < 1753 || month < 1 || month > 12 || day < 1) return false;
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

std::string ClosestName(const std::string& name, const std::vector<std::string>& known) {
  const std::string lower = Lower(name);
  std::string best;
  size_t best_distance = std::string::npos;
  for (const std::string& candidate : known) {
    const std::string other = Lower(candidate);
    size_t distance = EditDistance(lower, other);
    // A key given shortened ("BDept" for "BDeptNumber") is as likely as a typing slip.
    if (other.rfind(lower, 0) == 0 || lower.rfind(other, 0) == 0) distance = std::min<size_t>(distance, 2);
    if (distance < best_distance) {
      best_distance = distance;
      best = candidate;
    }
  }
  const size_t limit = std::max<size_t>(2, lower.size() / 3);
  return best_distance <= limit ? best : std::string();
}

std::string CheckOrderBy(const ReportEntry& report, const std::string& text) {
  std::vector<std::string> names;
  for (const auto& column : report.columns) names.emplace_back(column.name);
  std::string normalised;
  size_t start = 0;
  const std::string help = " (Orderby takes result columns of report " + std::string(report.number) +
                           ", each with an optional ASC or DESC, separated by commas)";
  while (start <= text.size()) {
    size_t comma = text.find(',', start);
    if (comma == std::string::npos) comma = text.size();
    const std::string item = Trim(std::string_view(text).substr(start, comma - start));
    start = comma + 1;
    std::vector<std::string> words;
    size_t pos = 0;
    while (pos < item.size()) {
      while (pos < item.size() && item[pos] == ' ') ++pos;
      size_t end = pos;
      while (end < item.size() && item[end] != ' ') ++end;
      if (end > pos) words.push_back(item.substr(pos, end - pos));
      pos = end;
    }
    if (words.empty() || words.size() > 2) {
      throw ConditionError("report " + std::string(report.number) + ": Orderby '" + text +
                           "' is not a list of columns" + help);
    }
    const ColumnCaption* column = FindColumn(report, words[0]);
    if (column == nullptr) {
      const std::string close = ClosestName(words[0], names);
      throw ConditionError("report " + std::string(report.number) + ": Orderby names '" + words[0] +
                           "', which is not a column of the report" +
                           (close.empty() ? help : "; did you mean " + close + "?"));
    }
    std::string part = column->name;
    if (words.size() == 2) {
      const std::string direction = Lower(words[1]);
      if (direction != "asc" && direction != "desc") {
        throw ConditionError("report " + std::string(report.number) + ": Orderby '" + text +
                             "': after " + words[0] + " only ASC or DESC may follow" + help);
      }
      part += " " + direction;
    }
    normalised += (normalised.empty() ? "" : ",") + part;
  }
  return normalised;
}

void CheckPeriod(int32_t year, int32_t period, const SourceFacts& facts) {
  if (year < 1753 || year > 9999) {
    throw ConditionError("--year " + std::to_string(year) + " is not a year like " +
                         std::to_string(facts.year > 0 ? facts.year : 2025));
  }
  const int32_t last = facts.periods_per_year > 0 ? facts.periods_per_year : 12;
  if (period < 1 || period > last) {
    throw ConditionError("--period " + std::to_string(period) + " does not exist: the data source has " +
                         std::to_string(last) + " periods a year (1 to " + std::to_string(last) + ")");
  }
}

std::shared_ptr<automation::Dictionary> BuildFilter(const ReportEntry& report,
                                                    const GivenConditions& given,
                                                    const SourceFacts& facts) {
  std::vector<std::string> names;
  for (const auto& key : report.keys) names.emplace_back(key.name);
  auto filter = automation::NewDictionary();
  for (const auto& [name, value] : given) {
    const ConditionKey* key = FindKey(report, name);
    if (key == nullptr) {
      const std::string close = ClosestName(name, names);
      throw ConditionError("report " + std::string(report.number) + " has no condition " + name +
                           (close.empty() ? "; its conditions are: " + KeyList(report.keys)
                                          : "; did you mean " + close + "?"));
    }
    filter->Remove(key->name);
    filter->SetItem(key->name, CheckValue(report, *key, value));
  }
  // Ranges run forwards: codes and dates compare as text (dates are yyyy-mm-dd).
  for (const auto& key : report.keys) {
    if (key.range_end == nullptr || !filter->Exists(key.name) || !filter->Exists(key.range_end)) {
      continue;
    }
    const automation::Variant from = filter->Item(key.name);
    const automation::Variant to = filter->Item(key.range_end);
    if (from.IsNull() || to.IsNull()) continue;
    const std::string a = automation::CStr(from), b = automation::CStr(to);
    if (!a.empty() && !b.empty() && a > b) {
      throw ConditionError("report " + std::string(report.number) + ": the range " + key.name + "=" +
                           a + " to " + key.range_end + "=" + b +
                           " runs backwards and would select nothing; swap the two values");
    }
  }
  for (const auto& key : report.keys) {
    if (filter->Exists(key.name)) continue;
    const std::string value = DefaultValue(key, facts);
    if (value.empty() && key.rule != DefaultRule::kNone && key.rule != DefaultRule::kConstant) {
      throw ConditionError("report " + std::string(report.number) + ": " + key.name +
                           " takes its default from the data source's current accounting "
                           "period, and the data source has none (t_PeriodDate); give " +
                           key.name + "=yyyy-mm-dd");
    }
    if (!value.empty()) filter->SetItem(key.name, automation::Variant(value));
  }
  // A range whose given end lies before the default of its other end is backwards as well.
  for (const auto& key : report.keys) {
    if (key.range_end == nullptr || !filter->Exists(key.name) || !filter->Exists(key.range_end)) {
      continue;
    }
    const std::string a = automation::CStr(filter->Item(key.name));
    const std::string b = automation::CStr(filter->Item(key.range_end));
    if (key.type == KeyType::kDate && !a.empty() && !b.empty() && a > b) {
      throw ConditionError("report " + std::string(report.number) + ": " + key.name + " is " + a +
                           " but " + key.range_end + " is " + b +
                           " (given or by default), so no date fits; give both ends");
    }
  }
  return filter;
}

std::shared_ptr<automation::Dictionary> BuildDsql(std::shared_ptr<automation::Dictionary> standard,
                                                  const GivenConditions& given) {
  std::vector<std::string> names;
  for (const auto& key : DsqlKeys()) names.emplace_back(key.name);
  for (const auto& [given_name, value] : given) {
    const std::string& name = given_name;  // lambdas capture variables, not bindings (clang 14)
    const auto it = std::find_if(names.begin(), names.end(),
                                 [&](const std::string& known) { return Lower(known) == Lower(name); });
    if (it == names.end()) {
      const std::string close = ClosestName(name, names);
      throw ConditionError("the client SQL has no fragment " + name + "; " +
                           (close.empty() ? "its fragments are Select, Groupby, ITEMFILTER and EndSel"
                                          : "did you mean " + close + "?"));
    }
    standard->Remove(*it);
    standard->SetItem(*it, value);
  }
  return standard;
}

}  // namespace orv::reports::catalog
