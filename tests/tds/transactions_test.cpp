// Transactions over TDS on a real engine session: transaction-manager requests as different
// clients encode them, the ENVCHANGE tokens that tell a client its transaction descriptor
// (for requests of every kind), and the reset-connection bits.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tds/packet.h"
#include "tds/request_handler.h"
#include "tds/text_encoding.h"
#include "tds/transaction_request.h"
#include "request_bytes.h"

namespace orv::tds {
namespace {

namespace tr = transaction_request;
using testing::Batch;
using testing::WithAllHeaders;

struct TransactionChange {
  uint8_t kind;  // 8 begin, 9 commit, 10 rollback
  uint64_t new_descriptor;
  uint64_t old_descriptor;
};

// The reply's tokens as one payload.
struct Reply {
  std::vector<uint8_t> bytes;

  uint64_t Descriptor(size_t at, size_t length) const {
    if (length == 0) return 0;
    uint64_t v = 0;
    for (size_t i = 0; i < 8; ++i) v |= static_cast<uint64_t>(bytes[at + i]) << (8 * i);
    return v;
  }
  // ENVCHANGE tokens of types 8, 9 and 10, recognised by their exact layout.
  std::vector<TransactionChange> Changes() const {
    std::vector<TransactionChange> out;
    for (size_t i = 0; i + 6 <= bytes.size(); ++i) {
      if (bytes[i] != 0xE3) continue;
      const size_t length = bytes[i + 1] | (bytes[i + 2] << 8);
      const uint8_t kind = bytes[i + 3];
      if (kind < 8 || kind > 10 || i + 3 + length > bytes.size()) continue;
      const size_t new_length = bytes[i + 4];
      if (new_length != 0 && new_length != 8) continue;
      const size_t old_at = i + 5 + new_length;
      if (old_at >= bytes.size()) continue;
      const size_t old_length = bytes[old_at];
      if ((old_length != 0 && old_length != 8) || length != 3 + new_length + old_length) continue;
      out.push_back({kind, Descriptor(i + 5, new_length), Descriptor(old_at + 1, old_length)});
    }
    return out;
  }
  // Whether an ERROR token with this number is in the reply.
  bool HasError(int32_t number) const {
    for (size_t i = 0; i + 7 <= bytes.size(); ++i) {
      if (bytes[i] != 0xAA) continue;
      int32_t n = 0;
      for (size_t k = 0; k < 4; ++k) n |= static_cast<int32_t>(bytes[i + 3 + k]) << (8 * k);
      if (n == number) return true;
    }
    return false;
  }
};


// A name as most clients send it (length in bytes) or as some do (length in characters).
void Name(ByteWriter& w, const std::string& name, bool length_in_bytes) {
  const std::u16string text = Utf8ToUtf16(name);
  w.U8(static_cast<uint8_t>(text.size() * (length_in_bytes ? 2 : 1)));
  w.Utf16(text);
}

std::vector<uint8_t> Begin(uint8_t isolation, const std::string& name, bool bytes = true) {
  ByteWriter w;
  w.U16(tr::kBegin);
  w.U8(isolation);
  Name(w, name, bytes);
  return WithAllHeaders(w.bytes());
}

std::vector<uint8_t> End(uint16_t type, const std::string& name, bool begin_new = false,
                         bool bytes = true) {
  ByteWriter w;
  w.U16(type);
  Name(w, name, bytes);
  if (type == tr::kSave) return WithAllHeaders(w.bytes());
  w.U8(begin_new ? 1 : 0);
  if (begin_new) {
    w.U8(0);
    Name(w, "next", bytes);
  }
  return WithAllHeaders(w.bytes());
}


class TdsTransactions : public ::testing::Test {
 protected:
  TdsTransactions() : database_(tsql::OpenDatabase(":memory:")) {
    Run(*main_, packet::kSqlBatch, Batch("create table t (n int)"));
  }

  Reply Run(RequestHandler& handler, uint8_t type, const std::vector<uint8_t>& payload,
            Reset reset = Reset::kNone) {
    Outcome outcome = handler.Execute(type, payload, reset);
    Reply reply;
    ResponseStream stream(
        [&](const std::vector<uint8_t>& framed) {
          for (size_t at = 0; at < framed.size();) {
            const size_t length = (framed[at + 2] << 8) | framed[at + 3];
            reply.bytes.insert(reply.bytes.end(), framed.begin() + static_cast<long>(at) + 8,
                               framed.begin() + static_cast<long>(at + length));
            at += length;
          }
        },
        4096, 1);
    handler.Write(outcome, stream);
    stream.Finish();
    return reply;
  }
  Reply Tm(const std::vector<uint8_t>& payload) { return Run(*main_, packet::kTransaction, payload); }
  Reply Sql(const std::string& sql, Reset reset = Reset::kNone) {
    return Run(*main_, packet::kSqlBatch, Batch(sql), reset);
  }
  // What the batch's last statement prints, run on the handler's own session.
  std::string Printed(RequestHandler& handler, const std::string& batch) {
    Outcome o = handler.Execute(packet::kSqlBatch, Batch(batch), Reset::kNone);
    return o.calls.at(0).results.at(o.calls.at(0).results.size() - 1).error.message;
  }
  std::string TranCount() { return Printed(*main_, "print @@trancount"); }
  // The rows of t as another connection sees them.
  std::string Count() {
    RequestHandler other(database_, kTds74, "test", false);
    return Printed(other, "declare @c int; select @c = count(*) from t; print @c");
  }

  std::shared_ptr<tsql::Database> database_;
  std::unique_ptr<RequestHandler> main_ =
      std::make_unique<RequestHandler>(database_, kTds74, "test", false);
};

TEST_F(TdsTransactions, ManagerRequestsAsClientsEncodeThem) {
  for (const bool bytes : {true, false}) {
    SCOPED_TRACE(bytes ? "name lengths in bytes" : "name lengths in characters");
    Reply begun = Tm(Begin(4, "it's", bytes));
    ASSERT_EQ(begun.Changes().size(), 1u);
    const TransactionChange b = begun.Changes()[0];
    EXPECT_EQ(b.kind, 8);
    EXPECT_NE(b.new_descriptor, 0u);
    EXPECT_EQ(b.old_descriptor, 0u);
    EXPECT_EQ(TranCount(), "1");

    Sql("insert into t values (1)");
    EXPECT_TRUE(Tm(End(tr::kSave, "sp", false, bytes)).Changes().empty());
    Sql("insert into t values (2)");
    EXPECT_TRUE(Tm(End(tr::kRollback, "sp", false, bytes)).Changes().empty());
    EXPECT_EQ(TranCount(), "1");

    // Commit and begin the next at once: both changes, old then new.
    Reply next = Tm(End(tr::kCommit, "it's", true, bytes));
    ASSERT_EQ(next.Changes().size(), 2u);
    EXPECT_EQ(next.Changes()[0].kind, 9);
    EXPECT_EQ(next.Changes()[0].old_descriptor, b.new_descriptor);
    EXPECT_EQ(next.Changes()[1].kind, 8);
    EXPECT_NE(next.Changes()[1].new_descriptor, b.new_descriptor);
    EXPECT_EQ(Count(), "1");
    EXPECT_EQ(TranCount(), "1");

    Sql("insert into t values (3)");
    Reply rolled = Tm(End(tr::kRollback, "next", false, bytes));
    ASSERT_EQ(rolled.Changes().size(), 1u);
    EXPECT_EQ(rolled.Changes()[0].kind, 10);
    EXPECT_EQ(rolled.Changes()[0].old_descriptor, next.Changes()[1].new_descriptor);
    EXPECT_EQ(Count(), "1");
    Sql("delete from t");
  }
}

TEST_F(TdsTransactions, ErrorsAndRefusedRequests) {
  EXPECT_TRUE(Tm(End(tr::kCommit, "")).HasError(3902));
  EXPECT_TRUE(Tm(End(tr::kRollback, "")).HasError(3903));
  EXPECT_TRUE(Tm(End(tr::kSave, "s")).HasError(628));
  Tm(Begin(0, "outer"));
  Reply unknown = Tm(End(tr::kRollback, "nope"));
  EXPECT_TRUE(unknown.HasError(6401));
  EXPECT_TRUE(unknown.Changes().empty());
  ByteWriter dtc;
  dtc.U16(tr::kGetDtcAddress);
  dtc.U16(0);
  EXPECT_TRUE(Tm(WithAllHeaders(dtc.bytes())).HasError(8501));
  EXPECT_EQ(TranCount(), "1");
  for (const std::vector<uint8_t>& bad :
       {WithAllHeaders({0x05, 0x00, 0x09, 0x00}), WithAllHeaders({0x07, 0x00, 0x09, 'x'}),
        WithAllHeaders({0x63, 0x00}), WithAllHeaders({})}) {
    EXPECT_THROW(Tm(bad), ProtocolError);
  }
}

TEST_F(TdsTransactions, BatchesThatBeginOrEndTransactions) {
  struct Step {
    const char* sql;
    std::vector<uint8_t> kinds;  // the ENVCHANGE types the reply carries, in order
  } steps[] = {
      {"begin tran", {8}},
      {"begin tran; insert into t values (1)", {}},
      {"commit", {}},
      {"commit", {9}},
      {"begin tran; commit", {}},
      {"begin tran; insert into t values (2)", {8}},
      {"commit; begin tran", {9, 8}},
      {"rollback", {10}},
      {"set implicit_transactions on; select * from t", {8}},
      {"set xact_abort on; select 1/0", {10}},
      {"set xact_abort off; set implicit_transactions off; commit", {}},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.sql);
    std::vector<uint8_t> kinds;
    for (const TransactionChange& c : Sql(s.sql).Changes()) kinds.push_back(c.kind);
    EXPECT_EQ(kinds, s.kinds);
  }
  EXPECT_EQ(Count(), "2");
}

TEST_F(TdsTransactions, ResetRollsBackUnlessAskedToKeepTheTransaction) {
  Sql("begin tran; insert into t values (1); create table #temp (x int)");
  Reply kept = Sql("print @@trancount", Reset::kKeepTransaction);
  EXPECT_TRUE(kept.Changes().empty());
  EXPECT_EQ(TranCount(), "1");

  Reply reset = Sql("print object_id('tempdb..#temp')", Reset::kSession);
  ASSERT_EQ(reset.Changes().size(), 1u);
  EXPECT_EQ(reset.Changes()[0].kind, 10);
  EXPECT_EQ(TranCount(), "0");
  EXPECT_EQ(Count(), "0");

  // Without a transaction the keep bit resets as well: the temporary table is gone.
  Sql("create table #temp2 (x int)");
  Sql("print 1", Reset::kKeepTransaction);
  EXPECT_EQ(Printed(*main_, "print isnull(object_id('tempdb..#temp2'), 0)"), "0");
}

TEST_F(TdsTransactions, ADroppedConnectionLeavesNothingBehind) {
  Tm(Begin(0, ""));
  Sql("insert into t values (1)");
  main_.reset();
  EXPECT_EQ(Count(), "0");
}

}  // namespace
}  // namespace orv::tds
