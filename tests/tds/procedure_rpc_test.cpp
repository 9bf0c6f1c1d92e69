// Stored procedures called by name over RPC on a real engine session: arguments by position and
// by name with defaults, OUTPUT parameters back as RETURNVALUE tokens, the procedure's return
// code as RETURNSTATUS, errors of the call and of the procedure's statements.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tds/packet.h"
#include "tds/request_handler.h"
#include "tds/text_encoding.h"
#include "request_bytes.h"

namespace orv::tds {
namespace {

using testing::Batch;

// One RPC parameter: an int, or an nvarchar(40); nullopt values are NULL.
struct ProcArg {
  std::string name;  // "" by position
  bool output = false;
  std::optional<int32_t> number;
  std::optional<std::string> text;
  bool is_text = false;
};

ProcArg Int(std::string name, std::optional<int32_t> v, bool output = false) {
  return ProcArg{std::move(name), output, v, std::nullopt, false};
}
ProcArg Text(std::string name, std::optional<std::string> v, bool output = false) {
  return ProcArg{std::move(name), output, std::nullopt, std::move(v), true};
}

std::vector<uint8_t> RpcMessage(const std::string& procedure, const std::vector<ProcArg>& params) {
  ByteWriter w;
  w.U32(22);  // ALL_HEADERS: the transaction descriptor header only
  w.U32(18);
  w.U16(2);
  w.U64(0);
  w.U32(1);
  w.UsVarChar(Utf8ToUtf16(procedure));
  w.U16(0);  // option flags
  for (const ProcArg& p : params) {
    w.BVarChar(Utf8ToUtf16(p.name));
    w.U8(p.output ? 1 : 0);
    if (p.is_text) {
      w.U8(0xE7);
      w.U16(80);
      w.U32(0x00D00804);
      w.U8(0);
      if (!p.text) {
        w.U16(0xFFFF);
      } else {
        const std::u16string t = Utf8ToUtf16(*p.text);
        w.U16(static_cast<uint16_t>(t.size() * 2));
        w.Utf16(t);
      }
    } else {
      w.U8(0x26);
      w.U8(4);
      w.U8(p.number ? 4 : 0);
      if (p.number) w.U32(static_cast<uint32_t>(*p.number));
    }
  }
  return w.bytes();
}

class ProcedureRpc : public ::testing::Test {
 protected:
  ProcedureRpc() {
    Outcome o = handler_.Execute(packet::kSqlBatch, Batch(R"(
create procedure dbo.add_up @a int, @b int = 10, @sum int output, @note nvarchar(40) = N'n' output
as
begin
  select @a as a;
  if @a = 0 raiserror(N'no zero here', 16, 1);
  set @sum = @a + @b;
  set @note = @note + N'!';
  return @a * 2
end)"), Reset::kNone);
    EXPECT_TRUE(o.calls.at(0).results.empty());
  }
  CallOutcome Call(const std::string& name, const std::vector<ProcArg>& params) {
    Outcome o = handler_.Execute(packet::kRpc, RpcMessage(name, params), Reset::kNone);
    return std::move(o.calls.at(0));
  }
  // The reply's tokens after the procedure's results, as token bytes in order (only for calls
  // whose procedure sends no rows): 0x79 RETURNSTATUS, 0xAC RETURNVALUE, 0xFE DONEPROC, ...
  std::vector<uint8_t> TokenKinds(const std::string& name, const std::vector<ProcArg>& params) {
    Outcome outcome = handler_.Execute(packet::kRpc, RpcMessage(name, params), Reset::kNone);
    std::vector<uint8_t> bytes;
    ResponseStream stream(
        [&](const std::vector<uint8_t>& framed) {
          for (size_t at = 0; at < framed.size();) {
            const size_t length = (framed[at + 2] << 8) | framed[at + 3];
            bytes.insert(bytes.end(), framed.begin() + static_cast<long>(at) + 8,
                         framed.begin() + static_cast<long>(at + length));
            at += length;
          }
        },
        4096, 1);
    handler_.Write(outcome, stream);
    stream.Finish();
    std::vector<uint8_t> kinds;
    for (size_t i = 0; i < bytes.size();) {
      const uint8_t t = bytes[i];
      kinds.push_back(t);
      if (t == 0x79) {
        i += 5;
      } else if (t == 0xFD || t == 0xFE || t == 0xFF) {
        i += 13;
      } else if (t == 0xAA || t == 0xAB || t == 0xE3) {
        i += 3 + static_cast<size_t>(bytes[i + 1] | (bytes[i + 2] << 8));
      } else if (t == 0xAC) {
        // ordinal, name, status, user type, flags, TYPE_INFO of an intN, value
        size_t at = i + 3;
        at += 1 + 2 * static_cast<size_t>(bytes[at]);
        at += 1 + 4 + 2;
        EXPECT_EQ(bytes[at], 0x26);
        at += 2;
        at += 1 + bytes[at];
        i = at;
      } else {
        ADD_FAILURE() << "unexpected token " << int(t);
        break;
      }
    }
    return kinds;
  }

  RequestHandler handler_{tsql::OpenDatabase(":memory:"), kTds74, "test", false};
};

TEST_F(ProcedureRpc, ArgumentsOutputsAndReturnCode) {
  struct Case {
    const char* name;
    std::vector<ProcArg> params;
    int32_t a, sum, status;
    std::string note;
    std::vector<uint16_t> ordinals;  // of the RETURNVALUEs: the arguments' places
  };
  const Case cases[] = {
      {"by position", {Int("", 3), Int("", 4), Int("", std::nullopt, true), Text("", "x", true)},
       3, 7, 6, "x!", {2, 3}},
      {"by name, in another order, default @b",
       {Text("@note", "it's'); drop table t; --", true), Int("@sum", 0, true), Int("@a", 5)},
       5, 15, 10, "it's'); drop table t; --!", {0, 1}},
      {"position then name, default @note", {Int("", 1), Int("@sum", std::nullopt, true), Int("@b", 1)},
       1, 2, 2, "", {1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CallOutcome out = Call("[dbo].[add_up]", c.params);
    ASSERT_FALSE(out.error.has_value());
    ASSERT_EQ(out.results.size(), 1u);
    EXPECT_EQ(out.results[0].at(0, 0).int_value(), c.a);
    EXPECT_EQ(out.return_status, c.status);
    ASSERT_EQ(out.return_values.size(), c.ordinals.size());
    for (size_t i = 0; i < c.ordinals.size(); ++i) {
      EXPECT_EQ(out.return_values[i].ordinal, c.ordinals[i]);
    }
    for (const ReturnValue& rv : out.return_values) {
      if (rv.name == "@sum") {
        EXPECT_EQ(rv.value.integer, c.sum);
      } else {
        EXPECT_EQ(rv.name, "@note");
        EXPECT_EQ(rv.value.bytes, c.note);
      }
    }
  }
}

TEST_F(ProcedureRpc, ErrorsOfTheCallAndOfTheProcedure) {
  struct Case {
    const char* name;
    std::string procedure;
    std::vector<ProcArg> params;
    int32_t error;
    std::optional<int32_t> status;  // none: the procedure did not run to its end
  };
  const Case cases[] = {
      {"no such procedure", "nope", {}, 2812, std::nullopt},
      {"unknown parameter", "add_up", {Int("@a", 1), Int("@zz", 1)}, 8145, std::nullopt},
      {"too many arguments", "add_up", {Int("", 1), Int("", 1), Int("", 1), Text("", "x"), Int("", 1)}, 8144, std::nullopt},
      {"missing parameter", "add_up", {Int("@b", 1)}, 201, std::nullopt},
      {"OUTPUT asked of an input parameter", "add_up", {Int("@a", 1, true), Int("@sum", 1, true)}, 8162, std::nullopt},
      {"an error inside: the procedure goes on", "add_up", {Int("@a", 0), Int("@sum", 0, true)}, 50000, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CallOutcome out = Call(c.procedure, c.params);
    bool found = out.error && out.error->number == c.error;
    for (const auto& r : out.results) {
      if (r.kind == tsql::StatementResult::Kind::Error && r.error.number == c.error) {
        found = true;
        if (c.error == 50000) {
          EXPECT_EQ(r.error.procedure, "add_up");
        }
      }
    }
    EXPECT_TRUE(found);
    EXPECT_EQ(out.return_status, c.status);
    EXPECT_EQ(out.return_values.size(), c.status ? 1u : 0u);
  }
}

TEST_F(ProcedureRpc, ReturnStatusThenReturnValuesThenDoneProc) {
  handler_.Execute(packet::kSqlBatch, Batch("create procedure bump @x int output as set @x = @x + 1; return 3"),
                   Reset::kNone);
  EXPECT_EQ(TokenKinds("bump", {Int("@x", 41, true)}), (std::vector<uint8_t>{0x79, 0xAC, 0xFE}));
  CallOutcome out = Call("bump", {Int("@x", 41, true)});
  ASSERT_EQ(out.return_values.size(), 1u);
  EXPECT_EQ(out.return_values[0].value.integer, 42);
  // A call that did not run has no RETURNSTATUS.
  EXPECT_EQ(TokenKinds("missing", {}), (std::vector<uint8_t>{0xAA, 0xFE}));
}

}  // namespace
}  // namespace orv::tds
