// Shared set-up of the service tests: the scripted provider, the service classes, a data
// source of its own per test, a fresh Data object and an empty broker journal.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ado/provider.h"
#include "ado/scripted_provider.h"
#include "automation/error.h"
#include "automation/variant.h"
#include "service/connection_broker.h"
#include "service/data.h"
#include "service/load_message.h"

namespace orv::service::testing {

// One rowset result with untyped columns.
inline ado::ProviderResult Rows(const std::vector<std::string>& names,
                                std::vector<std::vector<automation::Variant>> rows) {
  ado::ProviderResult result;
  result.kind = ado::ProviderResult::Kind::Rows;
  for (const std::string& name : names) result.columns.push_back({name, "sql_variant"});
  result.rows = std::move(rows);
  return result;
}

inline ado::ProviderResult RowCount(int64_t count = 0) {
  ado::ProviderResult result;
  result.kind = ado::ProviderResult::Kind::RowCount;
  result.count = count;
  return result;
}

class ServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ado::InstallScriptedProvider();
    RegisterServiceClasses();
    ResetMessageLoader();
    automation::Err().Clear();
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    source_name_ = std::string(info->test_suite_name()) + "." + info->name();
    dsn_ = "Provider=Scripted;Data Source=" + source_name_;
    script_ = ado::ScriptFor(source_name_);
    script_->Reset();
    broker().CloseAll();
    data_ = std::make_shared<Data>();
    broker().ClearJournal();
  }
  void TearDown() override {
    data_.reset();
    broker().CloseAll();
    automation::Err().Clear();
  }

  static ConnectionBroker& broker() { return *OrvGlobal::ForThread().broker(); }
  static std::vector<std::string> Journal() { return broker().Journal(); }
  std::vector<std::string> BindJournal(const char* connection) const {
    return {"ConnectionBroker", "OpenDataSource(" + dsn_ + ")", "GetContext", connection};
  }
  std::vector<std::string> Received() const { return script_->Received(); }

  std::string source_name_;
  std::string dsn_;
  std::shared_ptr<ado::Script> script_;
  std::shared_ptr<Data> data_;
};

}  // namespace orv::service::testing
