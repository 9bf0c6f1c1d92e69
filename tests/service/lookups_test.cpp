// The look-up operations against scripted answers: the exact texts sent, defaults, Null
// handling and the unit-conversion branches.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "automation/collections.h"
#include "automation/factory.h"
#include "lookups/system_profile.h"
#include "service_fixture.h"

namespace orv::service::testing {
namespace {

using automation::AutomationError;
using automation::DateValue;
using automation::Variant;

Variant L(int32_t v) { return Variant(v); }

class PeriodLookupTest : public ServiceTest {};

TEST_F(PeriodLookupTest, LastPeriodSendsTheKeyQueryAndReadsTheRow) {
  script_->Answer({Rows({"FYear", "FPeriod", "FStartDate"}, {{L(2023), L(12), Variant("x")}})});
  int32_t year = 0, period = 0;
  EXPECT_TRUE(data_->GetLastPeriod(dsn_, 2024, 1, year, period));
  EXPECT_EQ(year, 2023);
  EXPECT_EQ(period, 12);
  EXPECT_EQ(Received(), std::vector<std::string>{
                            "Select Top 1 * From t_PeriodDate\r\n"
                            "Where RTrim(cast(Fyear as varchar(5)))+ right('0' + cast(FPeriod as "
                            "varchar(5)),2) <'202401'\r\n"
                            "Order by FYear Desc,FPeriod Desc"});
  EXPECT_EQ(Journal(), BindJournal("LookupConnection"));
}

TEST_F(PeriodLookupTest, LastPeriodKeyTakesTheLastTwoDigitsOfThePeriod) {
  int32_t year = 0, period = 0;
  script_->Answer({Rows({"FYear", "FPeriod"}, {})});
  script_->Answer({Rows({"FYear", "FPeriod"}, {})});
  data_->GetLastPeriod(dsn_, 2024, 12, year, period);
  data_->GetLastPeriod(dsn_, 2024, 123, year, period);
  const std::vector<std::string> sent = Received();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_NE(sent[0].find("<'202412'"), std::string::npos);
  EXPECT_NE(sent[1].find("<'202423'"), std::string::npos);
}

TEST_F(PeriodLookupTest, NoEarlierPeriodLeavesOutputsUntouched) {
  script_->Answer({Rows({"FYear", "FPeriod"}, {})});
  int32_t year = 7, period = 8;
  EXPECT_FALSE(data_->GetLastPeriod(dsn_, 2020, 1, year, period));
  EXPECT_EQ(year, 7);
  EXPECT_EQ(period, 8);
}

TEST_F(PeriodLookupTest, NullYearOrPeriodIsTheUnderlyingError) {
  const std::vector<Variant> rows[] = {{Variant::Null(), L(3)}, {L(2024), Variant::Null()}};
  for (const std::vector<Variant>& row : rows) {
    script_->Answer({Rows({"FYear", "FPeriod"}, {row})});
    int32_t year = 0, period = 0;
    try {
      data_->GetLastPeriod(dsn_, 2024, 4, year, period);
      ADD_FAILURE() << "no error";
    } catch (const AutomationError& e) {
      EXPECT_EQ(e.number(), automation::err::kInvalidUseOfNull);
      EXPECT_EQ(e.description(), automation::StandardDescription(94));
    }
  }
}

TEST_F(PeriodLookupTest, CurDateFormatsBothDatesWhateverTheirType) {
  script_->Answer({Rows({"FStartDate", "FEndDate"},
                        {{Variant(DateValue::FromParts(2024, 2, 1)),
                          Variant(DateValue::FromParts(2024, 2, 29, 23, 59, 59))}})});
  script_->Answer({Rows({"FStartDate", "FEndDate"},
                        {{Variant("2024-03-01 00:00:00"), Variant("2024-03-31")}})});
  std::string start = "s", end = "e";
  EXPECT_TRUE(data_->GetCurDate(dsn_, 2024, 2, start, end));
  EXPECT_EQ(start, "2024-02-01");
  EXPECT_EQ(end, "2024-02-29");
  EXPECT_TRUE(data_->GetCurDate(dsn_, 2024, 3, start, end));
  EXPECT_EQ(start, "2024-03-01");
  EXPECT_EQ(end, "2024-03-31");
  EXPECT_EQ(Received()[0],
            "Select FStartDate,FEndDate From t_PeriodDate Where FYear=2024 and FPeriod=2");
}

TEST_F(PeriodLookupTest, CurDateOfAnUnknownPeriodIsFalseAndUntouched) {
  script_->Answer({Rows({"FStartDate", "FEndDate"}, {})});
  std::string start = "s", end = "e";
  EXPECT_FALSE(data_->GetCurDate(dsn_, 2099, -1, start, end));
  EXPECT_EQ(start, "s");
  EXPECT_EQ(end, "e");
  EXPECT_EQ(Received()[0],
            "Select FStartDate,FEndDate From t_PeriodDate Where FYear=2099 and FPeriod=-1");
}

TEST_F(PeriodLookupTest, MaxPeriodReadsTheProfileOrGivesZero) {
  script_->Answer({Rows({"FValue"}, {{Variant("12")}})});
  EXPECT_EQ(data_->GetMaxPeriod(dsn_), 12);
  EXPECT_EQ(Received()[0],
            "Select FValue From t_SystemProfile Where FCategory='GL' And FKey='PeriodCount'");
  script_->Answer({Rows({"FValue"}, {})});
  EXPECT_EQ(data_->GetMaxPeriod(dsn_), 0);  // profile absent
  script_->Answer({Rows({"FValue"}, {{Variant("twelve")}})});
  EXPECT_EQ(data_->GetMaxPeriod(dsn_), 0);  // not numeric
  automation::UnregisterClass(lookups::kSystemProfileProgId);
  EXPECT_EQ(data_->GetMaxPeriod(dsn_), 0);  // no reader
  RegisterServiceClasses();
  EXPECT_TRUE(Journal().empty());
}

class ItemLookupTest : public ServiceTest {};

TEST_F(ItemLookupTest, CurrencyScaleReadsTheBaseCurrencyOrDefaultsToTwo) {
  script_->Answer({Rows({"FScale"}, {{L(4)}})});
  EXPECT_EQ(data_->GetCurrencyScale(dsn_), 4);
  script_->Answer({Rows({"FScale"}, {})});
  EXPECT_EQ(data_->GetCurrencyScale(dsn_), 2);
  EXPECT_EQ(Received()[0],
            "Select FScale\r\nFrom t_Currency\r\nwhere FCurrencyID=(Select top 1 FValue from "
            "t_Systemprofile Where FCategory='GL' And FKey='FBWB')\r\n");
  script_->Answer({Rows({"FScale"}, {{Variant::Null()}})});
  try {
    data_->GetCurrencyScale(dsn_);
    ADD_FAILURE() << "no error";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), automation::err::kInvalidUseOfNull);  // unchanged, not -7000
  }
}

TEST_F(ItemLookupTest, ItemMaxLevelReplacesZeroByOne) {
  struct Case {
    Variant value;
    int32_t expected;
  };
  // The value goes through its text and the text's leading number: Null and Empty give 0, a
  // text with trailing letters still counts, halves go to the even neighbour.
  const Case cases[] = {
      {Variant::Null(), 1},
      {Variant(), 1},
      {L(0), 1},
      {L(3), 3},
      {L(-1), -1},
      {Variant(2.5), 2},
      {Variant(3.5), 4},
      {Variant(automation::DecimalValue{-25, 1}), -2},
      {Variant("7"), 7},
      {Variant(" 4 levels"), 4},
      {Variant("deep"), 1},
      {Variant(true), 1},  // "True" has no leading number
  };
  for (const Case& c : cases) {
    script_->Answer({Rows({""}, {{c.value}})});
    EXPECT_EQ(data_->GetItemMaxLevel(dsn_, 4), c.expected)
        << automation::CStr(automation::NullToDefault(c.value, Variant("Null")));
  }
  // Beyond the Long range: the conversion fails inside the frame.
  script_->Answer({Rows({""}, {{Variant("3000000000")}})});
  try {
    data_->GetItemMaxLevel(dsn_, 4);
    ADD_FAILURE() << "no error";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), -7000);
    EXPECT_EQ(e.description(), automation::StandardDescription(automation::err::kOverflow));
  }
  script_->Reset();
  script_->Answer({Rows({""}, {{L(2)}})});
  data_->GetItemMaxLevel(dsn_, -8);
  EXPECT_EQ(Received()[0], "Select Max(FLevel)-1 From t_Item Where FItemClassID=-8");
}

TEST_F(ItemLookupTest, ItemPropDescTextUsesDefaultFilterAndContextLanguage) {
  const std::string tail =
      " And FPageName in ('1.基本资料','2.物流资料','9.自定义') Order By  FItemClassID,FPropID\r\n";
  script_->Answer({Rows({"FItemClassID"}, {})});
  data_->GetItemPropDesc(dsn_);
  EXPECT_EQ(Received().back(),
            " Select FItemClassID,FPropID,FName As FName ,FSQLColumnName,FSrcTable,FSrcField,"
            "FDisplayField  From t_ItemPropDesc Where FDataType<>11 And  FItemClassID IN (4,8) " +
                tail);
  // The language is read from a fresh context before the connection is taken.
  EXPECT_EQ(Journal(), (std::vector<std::string>{"MarkComplete", "ConnectionBroker",
                                                 "OpenDataSource(" + dsn_ + ")", "GetContext",
                                                 "GetContext", "Connection"}));

  const std::pair<const char*, const char*> languages[] = {
      {";Language=cht", "FName_CHT"}, {";Language=En", "FName_EN"}, {";Language=EN-US", "FName"}};
  for (const auto& [suffix, column] : languages) {
    script_->Answer({Rows({"FItemClassID"}, {})});
    data_->GetItemPropDesc(dsn_ + suffix, std::string(""));
    EXPECT_EQ(Received().back(), " Select FItemClassID,FPropID," + std::string(column) +
                                     " As FName ,FSQLColumnName,FSrcTable,FSrcField,FDisplayField "
                                     " From t_ItemPropDesc Where FDataType<>11 And " +
                                     tail);
  }
}

TEST_F(ItemLookupTest, ItemPropDescPackagesSevenKeysPerRow) {
  const std::vector<std::string> columns = {"FItemClassID",   "FPropID",   "FName",
                                            "FSQLColumnName", "FSrcTable", "FSrcField",
                                            "FDisplayField",  "FExtra"};
  script_->Answer({Rows(columns, {{L(4), L(1), Variant("代码"), Variant("FNumber"), Variant::Null(),
                                   Variant(""), Variant("FName"), Variant("x")},
                                  {L(8), L(2), Variant("名称"), Variant("FName"), Variant("t_Item"),
                                   Variant("FItemID"), Variant("FName"), Variant("y")}})});
  auto properties = data_->GetItemPropDesc(dsn_);
  ASSERT_TRUE(properties);
  ASSERT_EQ(properties->Count(), 2u);
  auto second = automation::As<automation::Dictionary>(properties->Item(1).AsObject());
  EXPECT_EQ(second->Keys(), std::vector<std::string>(columns.begin(), columns.end() - 1));
  EXPECT_EQ(automation::CLng(second->Item("FItemClassID")), 8);
  EXPECT_EQ(automation::CStr(second->Item("FSrcTable")), "t_Item");
  auto first = automation::As<automation::Dictionary>(properties->Item(0).AsObject());
  EXPECT_TRUE(first->Item("FSrcTable").IsNull());  // values are stored as the row holds them

  script_->Answer({Rows(columns, {})});
  auto none = data_->GetItemPropDesc(dsn_);
  ASSERT_TRUE(none);
  EXPECT_EQ(none->Count(), 0u);
}

TEST_F(ItemLookupTest, DecimalQuotesTheNumberAndDefaultsNullsToTwo) {
  script_->Answer({Rows({"FPriceDecimal", "FQtyDecimal"}, {{L(4), Variant::Null()}})});
  int32_t qty = -5, price = -5;
  data_->GetDecimal(dsn_, "  A'01 ", qty, price);
  EXPECT_EQ(price, 4);
  EXPECT_EQ(qty, 2);
  EXPECT_EQ(Received()[0], "select FPriceDecimal,FQtyDecimal from t_ICItem where FNumber='A''01'");
  EXPECT_EQ(Journal(), BindJournal("LookupConnection"));

  script_->Answer({Rows({"FPriceDecimal", "FQtyDecimal"}, {})});
  data_->GetDecimal(dsn_, "none", qty, price);
  EXPECT_EQ(price, 2);
  EXPECT_EQ(qty, 2);

  // A conversion failure while reading the row leaves the defaults written so far.
  script_->Answer({Rows({"FPriceDecimal", "FQtyDecimal"}, {{Variant("x"), L(3)}})});
  qty = price = -5;
  EXPECT_THROW(data_->GetDecimal(dsn_, "bad", qty, price), AutomationError);
  EXPECT_EQ(price, 2);
  EXPECT_EQ(qty, 2);

  // A rejected query leaves them untouched.
  script_->AnswerError(208, "Invalid object name 't_ICItem'.");
  qty = price = -5;
  EXPECT_THROW(data_->GetDecimal(dsn_, "bad", qty, price), AutomationError);
  EXPECT_EQ(price, -5);
  EXPECT_EQ(qty, -5);
}

class UnitConversionTest : public ServiceTest {};

TEST_F(UnitConversionTest, Branches) {
  struct Case {
    const char* name;
    std::vector<ado::ProviderResult> answers;
    double expected;
    size_t statements;
  };
  const std::vector<std::string> col = {"FCoefficient"};
  const std::vector<Case> cases = {
      {"dozen to piece", {Rows(col, {{Variant(1.0)}}), Rows(col, {{Variant(12.0)}})}, 12, 2},
      {"piece to dozen", {Rows(col, {{Variant(12.0)}}), Rows(col, {{Variant(1.0)}})}, 1.0 / 12, 2},
      {"to-unit missing", {Rows(col, {})}, -1, 1},
      {"to-unit zero", {Rows(col, {{Variant(0.0)}})}, -1, 1},
      {"to-unit negative", {Rows(col, {{Variant(-3.0)}})}, -1, 1},
      {"from-unit missing", {Rows(col, {{Variant(1000.0)}}), Rows(col, {})}, 1000, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    script_->Reset();
    for (const ado::ProviderResult& answer : c.answers) script_->Answer({answer});
    ConnectionRef cn;
    EXPECT_DOUBLE_EQ(data_->ChangeUnitCoeffcient(cn, 5, 7, dsn_), c.expected);
    const std::vector<std::string> sent = Received();
    ASSERT_EQ(sent.size(), c.statements);
    EXPECT_EQ(sent[0], "Select FCoefficient  From t_MeasureUnit Where FMeasureUnitID=7");
    if (c.statements > 1) {
      EXPECT_EQ(sent[1], "Select FCoefficient From t_MeasureUnit Where FMeasureUnitID=5");
    }
  }
}

TEST_F(UnitConversionTest, NothingConnectionIsFilledAndReusedWithoutBinding) {
  const std::vector<std::string> col = {"FCoefficient"};
  script_->Answer({Rows(col, {{Variant(2.0)}})});
  script_->Answer({Rows(col, {{Variant(6.0)}})});
  ConnectionRef cn;
  EXPECT_DOUBLE_EQ(data_->ChangeUnitCoeffcient(cn, 1, 2, dsn_), 3);
  ASSERT_TRUE(cn);
  EXPECT_EQ(cn, broker().LookupConnection());
  broker().ClearJournal();
  script_->Answer({Rows(col, {{Variant(2.0)}})});
  script_->Answer({Rows(col, {{Variant(1.0)}})});
  EXPECT_DOUBLE_EQ(data_->ChangeUnitCoeffcient(cn, 1, 2), 0.5);
  EXPECT_TRUE(Journal().empty());
}

TEST_F(UnitConversionTest, FailuresRaiseMinusOneWithTheNumberAsSource) {
  script_->Answer({Rows({"FCoefficient"}, {{Variant::Null()}})});
  ConnectionRef cn;
  try {
    data_->ChangeUnitCoeffcient(cn, 1, 2, dsn_);
    ADD_FAILURE() << "no error";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), -1);
    EXPECT_EQ(e.source(), "94");
    EXPECT_EQ(e.description(), automation::StandardDescription(94));
  }
  EXPECT_TRUE(cn);  // the connection was stored before the failure

  // No data source at all: the broker is asked to open the empty text and refuses it.
  broker().ClearJournal();
  ConnectionRef none;
  try {
    data_->ChangeUnitCoeffcient(none, 1, 2);
    ADD_FAILURE() << "no error";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), -1);
    EXPECT_EQ(e.source(), "5");
    EXPECT_NE(e.description().find("empty"), std::string::npos);
  }
  EXPECT_FALSE(none);
  EXPECT_EQ(Journal(), (std::vector<std::string>{"ConnectionBroker", "OpenDataSource()"}));
}

}  // namespace
}  // namespace orv::service::testing
