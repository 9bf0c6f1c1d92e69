// GetData (detached recordsets) and the packaging of rows into dictionaries.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "automation/collections.h"
#include "automation/factory.h"
#include "service_fixture.h"

namespace orv::service::testing {
namespace {

using automation::AutomationError;
using automation::Variant;

std::string Text(const automation::Dictionary& row, const char* key) {
  return automation::CStr(row.Item(key));
}

class QueryTest : public ServiceTest {
 protected:
  RecordsetRef Three() {
    script_->Answer({Rows({"FNo", "FName"}, {{Variant(int32_t{1}), Variant("a")},
                                             {Variant(int32_t{2}), Variant("b")},
                                             {Variant(int32_t{3}), Variant("c")}})});
    return data_->GetData(dsn_, "select FNo, FName from t");
  }
};

TEST_F(QueryTest, GetDataRunsTheTextUnchangedAndDetaches) {
  RecordsetRef rs = Three();
  ASSERT_TRUE(rs);
  EXPECT_EQ(Received(), std::vector<std::string>{"select FNo, FName from t"});
  EXPECT_EQ(rs->ActiveConnection(), nullptr);
  EXPECT_EQ(rs->CursorLocation(), ado::adUseClient);
  EXPECT_EQ(rs->CursorType(), ado::adOpenForwardOnly);
  EXPECT_EQ(rs->LockType(), ado::adLockReadOnly);
  EXPECT_EQ(rs->RecordCount(), 3);  // every row is in memory
  std::vector<std::string> expected = BindJournal("Connection");
  expected.insert(expected.begin(), "MarkComplete");
  EXPECT_EQ(Journal(), expected);

  // Still readable once the object and every connection are gone.
  data_.reset();
  broker().CloseAll();
  std::vector<std::string> names;
  for (; !rs->EOF(); rs->MoveNext()) names.push_back(automation::CStr(rs->Fields("FName").Value()));
  EXPECT_EQ(names, (std::vector<std::string>{"a", "b", "c"}));
}

TEST_F(QueryTest, GetDataWithoutRowsIsAnEmptyRecordsetNotNothing) {
  script_->Answer({Rows({"FNo"}, {})});
  RecordsetRef rs = data_->GetData(dsn_, "select FNo from t where 1=0");
  ASSERT_TRUE(rs);
  EXPECT_TRUE(rs->EOF());
  EXPECT_EQ(rs->ActiveConnection(), nullptr);
}

TEST_F(QueryTest, PackageRecordTrimsTextsAndTurnsNullIntoEmpty) {
  script_->Answer({Rows({"FNull", "FText", "FNumber", "FDecimal"},
                        {{Variant::Null(), Variant("  two and one "), Variant(12.5),
                          Variant(automation::DecimalValue{1250, 2})}})});
  RecordsetRef rs = data_->GetData(dsn_, "select");
  DictionaryRef row = data_->PackageRecord(rs);
  ASSERT_TRUE(row);
  EXPECT_EQ(row->Keys(), (std::vector<std::string>{"FNull", "FText", "FNumber", "FDecimal"}));
  EXPECT_EQ(Text(*row, "FNull"), "");
  EXPECT_EQ(Text(*row, "FText"), "two and one");
  EXPECT_EQ(Text(*row, "FNumber"), "12.5");
  EXPECT_EQ(Text(*row, "FDecimal"), "12.50");
  EXPECT_EQ(row->Item("FNumber").type(), automation::VarType::String);
  EXPECT_FALSE(rs->EOF());  // the recordset did not move

  rs->MoveNext();
  EXPECT_EQ(data_->PackageRecord(rs), nullptr);  // at the end: nothing, no failure
}

TEST_F(QueryTest, PackageRecordTextFormsOfEachValueType) {
  using automation::DateValue;
  using automation::DecimalValue;
  struct Case {
    const char* name;
    Variant value;
    const char* text;
  };
  const Case cases[] = {
      {"Empty", Variant(), ""},
      {"Boolean", Variant(true), "True"},
      {"Integer", Variant(int16_t{-12}), "-12"},
      {"Long", Variant(int32_t{2147483647}), "2147483647"},
      {"Double", Variant(-0.25), "-0.25"},
      {"WholeDouble", Variant(3.0), "3"},
      {"Decimal", Variant(DecimalValue{-5, 1}), "-0.5"},
      {"Midnight", Variant(DateValue::FromParts(2024, 2, 29)), "2024-02-29"},
      {"DateTime", Variant(DateValue::FromParts(2024, 2, 29, 8, 5, 9)), "2024-02-29 08:05:09"},
      {"Tabs", Variant("\t x \t"), "\t x \t"},  // only spaces are trimmed
      {"Blanks", Variant("   "), ""},
  };
  std::vector<std::string> names;
  std::vector<Variant> values;
  for (const Case& c : cases) {
    names.push_back(c.name);
    values.push_back(c.value);
  }
  script_->Answer({Rows(names, {values})});
  RecordsetRef rs = data_->GetData(dsn_, "select");
  DictionaryRef row = data_->PackageRecord(rs);
  ASSERT_TRUE(row);
  for (const Case& c : cases) {
    EXPECT_EQ(row->Item(c.name).type(), automation::VarType::String) << c.name;
    EXPECT_EQ(Text(*row, c.name), c.text) << c.name;
  }
}

TEST_F(QueryTest, PackageRecordsetFailingMidwayStopsOnTheFailingRow) {
  // A value with no text form (an object) on the second row.
  script_->Answer(
      {Rows({"FNo", "FValue"},
            {{Variant(int32_t{1}), Variant("a")},
             {Variant(int32_t{2}), Variant(automation::ObjectRef(automation::NewDictionary()))},
             {Variant(int32_t{3}), Variant("c")}})});
  RecordsetRef rs = data_->GetData(dsn_, "select");
  try {
    data_->PackageRecordset(rs);
    ADD_FAILURE() << "no error";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), automation::err::kTypeMismatch);
  }
  ASSERT_FALSE(rs->EOF());
  EXPECT_EQ(automation::CLng(rs->Fields("FNo").Value()), 2);
}

TEST_F(QueryTest, PackageRecordsetStartsAtTheCurrentRow) {
  RecordsetRef rs = Three();
  rs->MoveNext();
  rs->MoveNext();
  auto rows = data_->PackageRecordset(rs);
  ASSERT_TRUE(rows);
  ASSERT_EQ(rows->Count(), 1u);
  EXPECT_EQ(Text(*automation::As<automation::Dictionary>(rows->Item(0).AsObject()), "FNo"), "3");
  EXPECT_TRUE(rs->EOF());

  RecordsetRef again = Three();
  rows = data_->PackageRecordset(again);
  ASSERT_EQ(rows->Count(), 3u);
  EXPECT_EQ(Text(*automation::As<automation::Dictionary>(rows->Item(1).AsObject()), "FName"), "b");

  auto empty = data_->PackageRecordset(again);  // already at its end
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->Count(), 0u);
}

TEST_F(QueryTest, PackagingErrorsReachTheCallerUnchanged) {
  RecordsetRef rs = Three();
  rs->Close();
  try {
    data_->PackageRecordset(rs);
    ADD_FAILURE() << "no error";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), ado::adoerr::kObjectClosed);
  }
  RecordsetRef nothing;
  try {
    data_->PackageRecord(nothing);
    ADD_FAILURE() << "no error";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), automation::err::kObjectNotSet);
  }
}

}  // namespace
}  // namespace orv::service::testing
