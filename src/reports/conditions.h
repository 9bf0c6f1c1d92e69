// Condition helpers shared by the report text builders: how a report reads one key of the
// caller's Filter dictionary and turns it into a " And ..." fragment of a WHERE clause.
//
// Every helper reads the dictionary exactly the way the reports do (GetValue with a default,
// or Item), so the errors a bad value raises (type mismatch, invalid use of Null) surface from
// the same key and in the same order. Values are quoted with sqltext::Q; dates are formatted
// "YYYY-MM-DD" before quoting.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "automation/collections.h"
#include "automation/variant.h"

namespace orv::reports {

// True when a value counts as given: not Null and not equal to the empty text (Empty counts
// as ""). This is the reports' test `value <> ""`, whose Null outcome does not apply the key.
bool IsGiven(const automation::Variant& value);

// "FNumber" for long numbers, "FShortNumber" for short ones.
const char* NumberColumn(bool long_number);

// CBool(Item("bLongNumber")): an absent key means short numbers.
bool ReadLongNumber(const automation::Dictionary& filter);

// Q(CStr(Item(key))).
std::string QuotedItem(const automation::Dictionary& filter, std::string_view key);

// Q(Format(Item(key), "YYYY-MM-DD")).
std::string QuotedDate(const automation::Dictionary& filter, std::string_view key);

// Tested by GetValue(key, "") <> "": appends prefix + QuotedItem(key) when given.
void AppendIfValue(std::string& out, const automation::Dictionary& filter, std::string_view key,
                   std::string_view prefix);

// Tested by Item(key) <> "": appends prefix + QuotedItem(key) when given.
void AppendIfItem(std::string& out, const automation::Dictionary& filter, std::string_view key,
                  std::string_view prefix);

// No test: always appends prefix + QuotedDate(key).
void AppendDate(std::string& out, const automation::Dictionary& filter, std::string_view key,
                std::string_view prefix);

// Tested by GetValue(key, "") <> "": appends prefix + QuotedDate(key) when given.
void AppendDateIfValue(std::string& out, const automation::Dictionary& filter,
                       std::string_view key, std::string_view prefix);

// Tested by GetValue(key, "") <> "": appends prefix + Q("%" + CStr(Item(key)) + "%"). The
// percent signs are added before the quoting trims, so blanks at the value's ends stay inside
// the pattern.
void AppendLikeIfValue(std::string& out, const automation::Dictionary& filter,
                       std::string_view key, std::string_view prefix);

// A status switch: GetValue(key, 0) compared, in order, with each case's integer (a numeric
// text equals its number; other text raises type mismatch). The first equal case's fragment is
// appended; when none is equal, `otherwise` is appended.
struct StatusCase {
  int value;
  const char* fragment;
};
void AppendStatusSwitch(std::string& out, const automation::Dictionary& filter,
                        std::string_view key, const std::vector<StatusCase>& cases,
                        std::string_view otherwise);

// GetValue(key, 0) = n, as the reports' display switches test it.
bool IntegerKeyEquals(const automation::Dictionary& filter, std::string_view key, int n);

}  // namespace orv::reports
