// RunControl on the embedded engine: a cancel reaches the batch running on another thread, and
// once cancelled, no further batch of the scope runs at all.
#include "ado/run_control.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "ado/connection.h"
#include "automation/error.h"

namespace orv::ado {
namespace {

std::string Failure(const std::function<void()>& action) {
  try {
    action();
  } catch (const automation::AutomationError& e) {
    return e.description();
  }
  return "no failure";
}

class RunControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    connection_ = Connection::Open("Provider=Embedded;Data Source=:memory:");
    connection_->Execute("create table n (i int)");
    // 200 rows: a five-way cross join of them runs for hours unless stopped.
    std::string insert = "insert into n values (0)";
    for (int i = 1; i < 200; ++i) insert += ",(" + std::to_string(i) + ")";
    connection_->Execute(insert);
  }

  std::shared_ptr<Connection> connection_;
};

TEST_F(RunControlTest, ACancelStopsTheRunningBatchAndEveryLaterOne) {
  auto control = std::make_shared<RunControl>();
  std::thread canceller([control] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    control->Cancel();
  });
  const auto start = std::chrono::steady_clock::now();
  {
    RunScope scope(control);
    EXPECT_EQ(
        Failure([&] {
          connection_->Execute(
              "select count(*) from n a, n b, n c, n d, n e where a.i + b.i > c.i - d.i + e.i");
        }),
        kCancelledText);
    // Later batches of the scope fail before they run: the table is not created.
    EXPECT_EQ(Failure([&] { connection_->Execute("create table later (i int)"); }), kCancelledText);
  }
  canceller.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
  EXPECT_NE(Failure([&] { connection_->Execute("select * from later"); }).find("later"),
            std::string::npos);
  // Outside the scope the connection works as before.
  EXPECT_EQ(connection_->Execute("select count(*) from n")->Fields(size_t{0}).Value().AsLong(),
            200);
}

TEST_F(RunControlTest, ACancelBeforeTheFirstBatchRunsNothing) {
  auto control = std::make_shared<RunControl>();
  control->Cancel();
  RunScope scope(control);
  EXPECT_EQ(Failure([&] { connection_->Execute("insert into n values (1000)"); }), kCancelledText);
  control = std::make_shared<RunControl>();  // a new run of the same thread
  RunScope next(control);
  EXPECT_EQ(connection_->Execute("select count(*) from n")->Fields(size_t{0}).Value().AsLong(),
            200);
}

}  // namespace
}  // namespace orv::ado
