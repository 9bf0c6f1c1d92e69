// Connection-string parsing and provider selection.
#include <gtest/gtest.h>

#include "ado/connection.h"
#include "ado/provider.h"
#include "ado/scripted_provider.h"
#include "automation/error.h"

namespace orv::ado {
namespace {

struct LookupCase {
  const char* text;
  const char* key;
  const char* expected;
};

TEST(ConnectionStringTest, ValuesByKey) {
  const LookupCase cases[] = {
      {"Provider=Scripted;Data Source=x", "Provider", "Scripted"},
      {"Provider=Scripted;Data Source=x", "data source", "x"},
      {"Provider=Scripted;Data Source=x", "DATA SOURCE", "x"},
      {"  Data Source = my file.db ; Clock = 2024-01-02 10:00:00 ", "Data Source", "my file.db"},
      {"  Data Source = my file.db ; Clock = 2024-01-02 10:00:00 ", "clock", "2024-01-02 10:00:00"},
      {"Pwd={a;b}}c};User=u", "pwd", "a;b}c"},
      {"Pwd={a;b}}c};User=u", "User", "u"},
      {"Driver={ODBC Driver 18};Server=h,1433", "driver", "ODBC Driver 18"},
      {"X={ spaced = ; };Y=2", "x", " spaced = ; "},
      {"X = {b} ;Y=2", "y", "2"},
      {"X={}", "x", ""},
      {"A=1;a=2", "A", "2"},
      {";;A=1;;", "a", "1"},
      {"A=x=y", "a", "x=y"},
      {"Flag;B=1", "b", "1"},
  };
  for (const auto& c : cases) {
    ConnectionString cs(c.text);
    EXPECT_TRUE(cs.Has(c.key)) << c.text << " / " << c.key;
    EXPECT_EQ(cs.Get(c.key), c.expected) << c.text << " / " << c.key;
    EXPECT_EQ(cs.text(), c.text);
  }
}

TEST(ConnectionStringTest, AbsentKeysAndDefaults) {
  ConnectionString cs("Provider=Scripted;Flag");
  EXPECT_TRUE(cs.Has("flag"));
  EXPECT_EQ(cs.Get("flag", "d"), "");
  EXPECT_FALSE(cs.Has("Data Source"));
  EXPECT_EQ(cs.Get("Data Source", ":memory:"), ":memory:");
  EXPECT_FALSE(cs.Has("Provide"));
  EXPECT_FALSE(ConnectionString("").Has("Provider"));
}

TEST(ConnectionStringTest, MalformedTextIsRejected) {
  for (const char* text : {"A={abc", "A={x}y;B=1", "=v;B=1", "A=1;B={x}}"}) {
    try {
      ConnectionString cs(text);
      ADD_FAILURE() << "accepted: " << text;
    } catch (const automation::AutomationError& e) {
      EXPECT_EQ(e.number(), adoerr::kInvalidArgument) << text;
      EXPECT_NE(e.description().find(text), std::string::npos) << e.description();
    }
  }
  // The text is shown, its password not.
  const std::pair<const char*, const char*> secret[] = {
      {"Server=h;PWD={se;cret;UID=u", "Server=h;PWD=***"},
      {"Server=h;Password = secret;X={y", "Server=h;Password =***;X={y"},
      {"pwd=secret;A={x}y", "pwd=***;A={x}y"},
  };
  for (const auto& [text, shown] : secret) {
    try {
      ConnectionString cs(text);
      ADD_FAILURE() << "accepted: " << text;
    } catch (const automation::AutomationError& e) {
      EXPECT_NE(e.description().find(shown), std::string::npos) << e.description();
      EXPECT_EQ(e.description().find("cret"), std::string::npos) << e.description();
    }
  }
}

TEST(ProviderRegistryTest, UnknownProviderIsNamed) {
  try {
    Connection::Open("Provider=NoSuchThing;Data Source=x");
    FAIL() << "opened an unknown provider";
  } catch (const automation::AutomationError& e) {
    EXPECT_EQ(e.number(), adoerr::kProviderNotFound);
    EXPECT_NE(e.description().find("'NoSuchThing'"), std::string::npos) << e.description();
  }
}

TEST(ProviderRegistryTest, ProviderNameIgnoresCaseAndPassesProperties) {
  InstallScriptedProvider();
  auto script = ScriptFor("registry-case");
  script->Reset();
  auto connection = Connection::Open("provider=SCRIPTED; data source = registry-case");
  EXPECT_TRUE(connection->IsOpen());
  EXPECT_EQ(connection->Properties().Get("Data Source"), "registry-case");
  connection->Execute("select 1");
  EXPECT_EQ(script->Received(), std::vector<std::string>{"select 1"});
}

}  // namespace
}  // namespace orv::ado
