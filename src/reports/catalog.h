// The catalogue of the reports as their users see them: per report its number and title, the
// condition keys it reads (typed: caption in Chinese and English, type, default, allowed
// values, the other end of a range), the columns of its result with their captions, and the
// main columns a text table shows. Data only, shared by every front end (command line, HTTP);
// condition_check.h checks given conditions against it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orv::reports::catalog {

enum class KeyType {
  kDate,     // yyyy-mm-dd
  kCode,     // an item, department, employee or bill number: text compared as text
  kText,     // free text
  kInteger,  // a whole number
  kChoice,   // one of the listed values
  kOrderBy,  // sort columns of the result: "COLUMN [ASC|DESC], ..."
};

// Where a key's default comes from. The dates come from the data source (its accounting
// calendar and its own clock), never from constants of the program.
enum class DefaultRule {
  kNone,         // not sent when not given
  kConstant,     // `constant`
  kYearStart,    // the first day of the current accounting year
  kPeriodEnd,    // the last day of the current accounting period
};

// What a code key's values are numbers of, for look-up suggestions (lookups/code_lookups.h).
enum class CodeList { kNone, kItem, kDepartment, kEmployee, kTaskOrder, kSalesOrder };

struct Choice {
  const char* value;
  const char* zh;
  const char* en;
};

struct ConditionKey {
  const char* name;
  const char* zh;
  const char* en;
  KeyType type = KeyType::kText;
  DefaultRule rule = DefaultRule::kNone;
  const char* constant = nullptr;  // the default of kConstant
  std::vector<Choice> choices;     // the allowed values of kChoice
  const char* range_end = nullptr;  // on the first key of a range: the key of its other end
  CodeList codes = CodeList::kNone;  // kCode: what its values are numbers of
};

struct ColumnCaption {
  const char* name;
  const char* zh;
  const char* en;
  bool code = false;  // holds codes (numbers of items, bills...): text even when all digits
};

struct ReportEntry {
  const char* number = "";  // "400"
  const char* zh = "";
  const char* en = "";
  std::vector<ConditionKey> keys;
  bool takes_dsql = false;    // 401 and 499: the client's SQL fragments
  bool takes_period = false;  // 498 and 499: an accounting year and period
  bool takes_alarm_days = false;  // 410: the alarm day count setting
  std::vector<std::string> main_columns;  // what a text table shows unless told otherwise
  std::vector<ColumnCaption> columns;     // every column of the result, in order
};

const std::vector<ReportEntry>& Reports();
const ReportEntry* FindReport(std::string_view number);
// The numbers of every report, for messages: "400, 401, 406, 410, 498 and 499".
std::string ReportNumbers();

// The client SQL keys of 401 and 499 (Select, Groupby, ITEMFILTER, EndSel).
const std::vector<ConditionKey>& DsqlKeys();

// The key of a report by name, any letter case; nullptr when the report has no such key.
const ConditionKey* FindKey(const ReportEntry& report, std::string_view name);
// The caption of a result column; nullptr when the catalogue does not know the column.
const ColumnCaption* FindColumn(const ReportEntry& report, std::string_view name);

// Whether captions should be English for a data source's language ("EN", "en-US"...).
bool IsEnglish(std::string_view language);

// What the defaults are computed from: the data source's accounting calendar and clock, as
// the service reads them (service/source_facts.h). Empty texts and zeros where unknown.
struct SourceFacts {
  std::string today;         // the data source's date, yyyy-mm-dd
  int32_t year = 0;          // the current accounting period
  int32_t period = 0;
  std::string period_start;  // its first and last day
  std::string period_end;
  std::string year_start;    // the first day of its year's first period
  int32_t periods_per_year = 0;
  int32_t alarm_days = 0;    // the alarm day count of report 410
  bool alarm_days_known = false;
};

// The default of a key on a data source; "" when the key has none (or its source is unknown).
std::string DefaultValue(const ConditionKey& key, const SourceFacts& facts);

}  // namespace orv::reports::catalog
