// The recording provider: which batches count as look-ups (only those reach the real data
// source when an operation is only shown), and that a recording records, forwards and answers
// as told.
#include <gtest/gtest.h>

#include "ado/connection.h"
#include "ado/recording_provider.h"
#include "ado/scripted_provider.h"

namespace orv::ado {
namespace {

TEST(RecordingProviderTest, OnlyPlainSelectsAreLookups) {
  struct Case {
    const char* batch;
    bool lookup;
  };
  const Case cases[] = {
      {"Select FStartDate,FEndDate From t_PeriodDate Where FYear=2025 and FPeriod=3", true},
      {" SELECT FValue FROM dbo.t_SystemProfile WHERE FCategory='IC' ", true},
      {"-- period\r\nSelect Top 1 * From t_PeriodDate\r\nOrder by FYear Desc;", true},
      {"select a from t where b in (select b from u)", true},
      {"select 'drop table t; insert' as text", true},  // words inside a literal do not count
      {"SELECT * INTO t2 FROM t", false},
      {"select * from #Data order by FPeriod\r\ndrop table #data", false},
      {"select 1; drop table t", false},
      {"select 1 select 2", true},
      {"Set Nocount ON select 1", false},
      {"insert into t select 1", false},
      {"UPDATE t SET a = 1", false},
      {"select a from t /* ; */ where 1=1", true},
      {"exec sp_who", false},
      {"", false},
      {"-- only a comment", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsLookupBatch(c.batch), c.lookup) << c.batch;
}

TEST(RecordingProviderTest, RecordsForwardsLookupsAndAnswersTheRest) {
  InstallScriptedProvider();
  auto script = ScriptFor("recording-test");
  script->Reset();
  script->AnswerRows({{"FValue", "varchar(10)"}}, {{automation::Variant("12")}});
  auto recording =
      StartRecording("Provider=Scripted;Data Source=recording-test", Recording::Mode::kQueriesOnly);
  recording->Answer("select answer", {});
  auto connection = Connection::Open(recording->connection_text());

  auto lookup = connection->Execute("select FValue from t_SystemProfile");
  ASSERT_FALSE(lookup->EOF());
  EXPECT_EQ(automation::CStr(lookup->Fields(0).Value()), "12");
  // A batch that writes is kept, not sent, and looks as if it returned a row.
  auto kept = connection->Execute("insert into t values (1)");
  EXPECT_FALSE(kept->BOF());
  connection->Execute("select answer");

  EXPECT_EQ(script->Received(), std::vector<std::string>{"select FValue from t_SystemProfile"});
  EXPECT_EQ(recording->Batches(),
            (std::vector<std::string>{"select FValue from t_SystemProfile",
                                      "insert into t values (1)", "select answer"}));
}

}  // namespace
}  // namespace orv::ado
