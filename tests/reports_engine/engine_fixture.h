// Shared set-up of the report-result tests: a company database of its own per test (a data-source
// file built from sql/schema.sql), a set-up connection to fill it with SQL, a Data object that
// runs the reports on it through the embedded engine (or through `orvdata serve` and the SQL
// Server provider in the "odbc." runs, see support/source_under_test.h), and helpers that read a result recordset
// into text so that expected rows can be written as literal tables.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ado/connection.h"
#include "automation/collections.h"
#include "automation/error.h"
#include "automation/variant.h"
#include "service/connection_broker.h"
#include "service/data.h"
#include "service/load_message.h"
#include "support/source_under_test.h"

namespace orv::reports_engine {

using automation::Variant;
using Rows = std::vector<std::vector<std::string>>;

// The loaded service name that opens the Source of every service error (base language).
inline constexpr char kServiceName[] = "生产任务执行情况汇总表中间层服务";

// A result recordset read to the end: column names and values.
struct ResultTable {
  std::vector<std::string> columns;
  std::vector<std::vector<Variant>> rows;

  // Index of a column (names compare exactly); fails the test when absent.
  size_t Column(std::string_view name) const {
    for (size_t i = 0; i < columns.size(); ++i) {
      if (columns[i] == name) return i;
    }
    ADD_FAILURE() << "no column " << name << " in the result";
    return 0;
  }
};

// A value as the tests spell it: "NULL" for Null, else the Variant's text form (Decimal with its
// scale, Date as yyyy-mm-dd at midnight).
inline std::string Text(const Variant& v) { return v.IsNull() ? "NULL" : automation::CStr(v); }

inline ResultTable ReadAll(const std::shared_ptr<ado::Recordset>& rs) {
  ResultTable table;
  if (!rs || rs->State() != ado::adStateOpen) return table;
  for (size_t i = 0; i < rs->FieldCount(); ++i) table.columns.push_back(rs->Fields(i).Name());
  while (!rs->EOF()) {
    std::vector<Variant> row;
    for (size_t i = 0; i < rs->FieldCount(); ++i) row.push_back(rs->Fields(i).Value());
    table.rows.push_back(std::move(row));
    rs->MoveNext();
  }
  return table;
}

// The named columns of every row, as text, in result order.
inline Rows Pick(const ResultTable& table, std::initializer_list<const char*> names) {
  std::vector<size_t> index;
  for (const char* name : names) index.push_back(table.Column(name));
  Rows out;
  for (const auto& row : table.rows) {
    std::vector<std::string> picked;
    for (size_t i : index) picked.push_back(i < row.size() ? Text(row[i]) : "?");
    out.push_back(std::move(picked));
  }
  return out;
}

// One column of one row, as text.
inline std::string Cell(const ResultTable& table, size_t row, const char* name) {
  if (row >= table.rows.size()) {
    ADD_FAILURE() << "no row " << row;
    return "?";
  }
  return Text(table.rows[row][table.Column(name)]);
}

// A Decimal(p,10) value as text: the digits given, padded to ten decimals ("8.33" ->
// "8.3300000000", "-2" -> "-2.0000000000").
inline std::string D10(std::string_view digits) {
  std::string text(digits);
  size_t point = text.find('.');
  size_t decimals = point == std::string::npos ? 0 : text.size() - point - 1;
  if (point == std::string::npos) text += ".";
  text.append(10 - decimals, '0');
  return text;
}

// Rows sorted as text, for comparing rows whose mutual order the report leaves open.
inline Rows Sorted(Rows rows) {
  std::sort(rows.begin(), rows.end());
  return rows;
}

// A filter dictionary from key/value pairs.
inline std::shared_ptr<automation::Dictionary> MakeDictionary(
    std::initializer_list<std::pair<const char*, Variant>> entries) {
  auto dictionary = automation::NewDictionary();
  for (const auto& [key, value] : entries) dictionary->SetItem(key, value);
  return dictionary;
}

// The batches of a script: the text between lines that hold only "GO" (any case, blanks around).
inline std::vector<std::string> SplitBatches(const std::string& script) {
  std::vector<std::string> batches;
  std::string current;
  std::istringstream in(script);
  std::string line;
  while (std::getline(in, line)) {
    std::string trimmed = line;
    while (!trimmed.empty() &&
           (trimmed.back() == '\r' || trimmed.back() == ' ' || trimmed.back() == '\t')) {
      trimmed.pop_back();
    }
    size_t start = trimmed.find_first_not_of(" \t");
    trimmed = start == std::string::npos ? "" : trimmed.substr(start);
    if (trimmed == "GO" || trimmed == "go" || trimmed == "Go" || trimmed == "gO") {
      if (current.find_first_not_of(" \t\r\n") != std::string::npos) batches.push_back(current);
      current.clear();
    } else {
      current += line;
      current += "\n";
    }
  }
  if (current.find_first_not_of(" \t\r\n") != std::string::npos) batches.push_back(current);
  return batches;
}

class EngineReportTest : public ::testing::Test {
 protected:
  // The clock behind GETDATE() on every connection of the test's data source.
  static constexpr char kClock[] = "2025-06-16 09:30:00";

  void SetUp() override {
    service::RegisterServiceClasses();
    service::ResetMessageLoader();
    automation::Err().Clear();
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    path_ = "/tmp/orv_reports_engine_" + std::to_string(getpid()) + "_" + info->test_suite_name() +
            "_" + info->name() + ".orvdb";
    RemoveFiles();
    source_ = std::make_unique<testing::SourceUnderTest>(
        path_, "Provider=Embedded;Data Source=" + path_ + ";Create=yes;Clock=" + kClock);
    dsn_ = source_->Text();
    Broker().CloseAll();
    setup_ = ado::Connection::Open(dsn_);
    std::ifstream schema(std::string(ORV_SOURCE_DIR) + "/sql/schema.sql");
    ASSERT_TRUE(schema) << "cannot read sql/schema.sql";
    std::stringstream text;
    text << schema.rdbuf();
    for (const std::string& batch : SplitBatches(text.str())) Exec(batch);
    data_ = std::make_shared<service::Data>();
  }

  void TearDown() override {
    data_.reset();
    Broker().CloseAll();
    if (setup_) setup_->Close();
    setup_.reset();
    source_.reset();
    automation::Err().Clear();
    RemoveFiles();
  }

  static service::ConnectionBroker& Broker() { return *service::OrvGlobal::ForThread().broker(); }

  // The units every test database holds (FItemID equals FMeasureUnitID, as the cost reports
  // join the item's stock unit on FItemID): pcs 1, box 12, kg 1, t 1000, g 0.001, and pk whose
  // coefficient 5 and scale 1 make six base units.
  void InsertUnits() {
    Exec(
        "Insert Into t_MeasureUnit (FMeasureUnitID,FItemID,FUnitGroupID,FNumber,FName,"
        "FCoefficient,FScale) Values\n"
        "(1,1,1,'PCS','pcs',1,0),(2,2,1,'BOX','box',12,0),(3,3,2,'KG','kg',1,0),\n"
        "(4,4,2,'T','t',1000,0),(5,5,2,'G','g',0.001,0),(6,6,1,'PK','pk',5,1)");
  }

  // Runs a set-up batch on the set-up connection; any error of any statement fails the test.
  void Exec(std::string_view sql) {
    try {
      std::shared_ptr<ado::Recordset> rs = setup_->Execute(sql);
      while (rs) rs = rs->NextRecordset();
    } catch (const automation::AutomationError& e) {
      ADD_FAILURE() << "set-up batch failed: " << e.description() << "\n" << sql;
    }
  }

  // The error a call raises; fails the test when it raises none.
  template <class Call>
  automation::ErrorInfo ErrorOf(Call call) {
    try {
      call();
    } catch (const automation::AutomationError& e) {
      return e.info();
    }
    ADD_FAILURE() << "expected the call to fail";
    return {};
  }

  std::string path_;
  std::unique_ptr<testing::SourceUnderTest> source_;
  std::string dsn_;
  std::shared_ptr<ado::Connection> setup_;
  std::shared_ptr<service::Data> data_;

 private:
  void RemoveFiles() const {
    for (const char* suffix : {"", "-journal", "-wal", "-shm"}) {
      std::remove((path_ + suffix).c_str());
    }
  }
};

}  // namespace orv::reports_engine
