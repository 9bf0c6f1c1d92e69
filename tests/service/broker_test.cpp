// The connection broker: one connection pair per data-source text, the context's language,
// refusal of an empty text, and the per-thread global object.
#include <gtest/gtest.h>

#include <thread>

#include "service_fixture.h"

namespace orv::service::testing {
namespace {

using automation::AutomationError;

class BrokerTest : public ServiceTest {};

TEST_F(BrokerTest, CachesOneSeparatePairPerDataSourceText) {
  ConnectionBroker& b = broker();
  b.OpenDataSource(dsn_);
  ConnectionRef main = b.Connection();
  ConnectionRef lookup = b.LookupConnection();
  ASSERT_TRUE(main && lookup);
  EXPECT_NE(main, lookup);
  EXPECT_TRUE(main->IsOpen());

  const std::string other = dsn_ + ";Language=CHT";
  b.OpenDataSource(other);
  EXPECT_NE(b.Connection(), main);
  EXPECT_EQ(b.GetContext()->Language(), "CHT");

  b.OpenDataSource(dsn_);
  EXPECT_EQ(b.Connection(), main);
  EXPECT_EQ(b.LookupConnection(), lookup);
  EXPECT_EQ(b.GetContext()->Language(), "");

  // A connection closed behind the broker's back is opened again.
  main->Close();
  EXPECT_TRUE(b.Connection()->IsOpen());
}

TEST_F(BrokerTest, RefusesAnEmptyDataSourceAndConnectionsBeforeOpening) {
  ConnectionBroker& b = broker();
  try {
    b.Connection();
    ADD_FAILURE() << "no error";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), 3709);
  }
  try {
    b.OpenDataSource("");
    ADD_FAILURE() << "no error";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), automation::err::kInvalidProcedureCall);
    EXPECT_NE(e.description().find("empty"), std::string::npos);
  }
  EXPECT_EQ(Journal(), (std::vector<std::string>{"Connection", "OpenDataSource()"}));
}

TEST_F(BrokerTest, FailNextFailsOnce) {
  broker().FailNext("MarkAbort", {11, "x", "y", {}, 0});
  EXPECT_THROW(broker().MarkAbort(), AutomationError);
  EXPECT_NO_THROW(broker().MarkAbort());
}

TEST_F(BrokerTest, EachThreadHasItsOwnGlobalObject) {
  ConnectionBroker* here = OrvGlobal::ForThread().broker().get();
  ConnectionBroker* there = nullptr;
  std::thread([&] { there = OrvGlobal::ForThread().broker().get(); }).join();
  EXPECT_NE(here, there);
  EXPECT_EQ(OrvGlobal::ForThread().broker().get(), here);
}

}  // namespace
}  // namespace orv::service::testing
