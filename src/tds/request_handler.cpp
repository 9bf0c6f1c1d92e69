// SQL batches and RPC calls on the engine session.
#include "tds/request_handler.h"

#include <algorithm>
#include <cctype>

#include "tds/engine_types.h"
#include "tds/packet.h"
#include "tds/text_encoding.h"
#include "tds/transaction_request.h"
#include "tds/type_codec.h"

namespace orv::tds {
namespace {

constexpr size_t kMaxPrepared = 10000;  // per connection

Message ErrorMessage(int32_t number, std::string text, uint8_t severity = 16) {
  Message m;
  m.number = number;
  m.severity = severity;
  m.state = 1;
  m.text = std::move(text);
  m.line = 1;
  return m;
}

CallOutcome Failed(Message m) {
  CallOutcome out;
  out.rpc = true;
  out.error = std::move(m);
  return out;
}

// The text of a string parameter, or nullopt when it is not text.
std::optional<std::string> TextOf(const RpcParam& p) {
  if (p.value.kind == WireValue::Kind::Text) return p.value.bytes;
  if (p.value.is_null()) return std::string();
  return std::nullopt;
}

std::optional<int64_t> IntOf(const RpcParam& p) {
  if (p.value.kind == WireValue::Kind::Int) return p.value.integer;
  return std::nullopt;
}

// "db.schema.proc" split into its parts, brackets the client gave taken off.
tsql::ast::Name ProcedureName(const std::string& name) {
  tsql::ast::Name parts;
  size_t start = 0;
  while (true) {
    const size_t dot = name.find('.', start);
    std::string part = name.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
    if (part.size() >= 2 && part.front() == '[' && part.back() == ']') {
      part = part.substr(1, part.size() - 2);
    }
    parts.push_back(std::move(part));
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  return parts;
}

}  // namespace

RequestHandler::RequestHandler(std::shared_ptr<tsql::Database> database, uint32_t tds_version,
                               std::string server_name, bool read_only)
    : database_(std::move(database)),
      read_only_(read_only),
      tds_version_(tds_version),
      server_name_(std::move(server_name)) {
  NewSession();
}

void RequestHandler::NewSession() {
  auto session = std::make_unique<tsql::Session>(database_);
  session->SetShareResultRows(true);
  session->SetReadOnly(read_only_);
  std::lock_guard lock(session_mutex_);
  session_ = std::move(session);
  ++sessions_made_;
}

uint64_t RequestHandler::TransactionDescriptor() const {
  const uint64_t id = session_->transaction_id();
  return id == 0 ? 0 : (sessions_made_ << 32) + id;
}

void RequestHandler::Cancel() {
  cancelled_ = true;
  std::lock_guard lock(session_mutex_);
  if (session_) session_->Cancel();
}

Outcome RequestHandler::Execute(uint8_t packet_type, const std::vector<uint8_t>& payload,
                                Reset reset) {
  Outcome outcome;
  cancelled_ = false;
  outcome.transaction_before = TransactionDescriptor();
  bool reset_rolled_back = false;
  if (reset != Reset::kNone) {
    // The old session rolls back its open transaction as it goes.
    if (reset == Reset::kSession || session_->transaction_count() == 0) {
      reset_rolled_back = outcome.transaction_before != 0;
      NewSession();
    }
    prepared_.clear();
    outcome.reset_acknowledged = true;
  }
  ByteReader in(payload);
  // The transaction descriptor in ALL_HEADERS is not checked: clients send the last one they
  // were given, which may be of a transaction the server has since ended.
  if (tds_version_ >= kTds72) SkipAllHeaders(in);
  if (packet_type == packet::kSqlBatch) {
    if (in.remaining() % 2 != 0) throw ProtocolError("odd length of a batch text");
    std::string text = Utf16ToUtf8(in.Utf16(in.remaining() / 2));
    outcome.calls.push_back(RunBatch(text));
  } else if (packet_type == packet::kTransaction) {
    outcome.calls.push_back(RunTransactionRequest(in));
  } else {
    std::vector<RpcCall> calls = ParseRpc(in, kMaxRequestMessage);
    for (RpcCall& call : calls) {
      if (cancelled_) break;
      outcome.calls.push_back(RunCall(call));
    }
  }
  outcome.transaction_after = TransactionDescriptor();
  outcome.rolled_back = reset_rolled_back || session_->last_transaction_rolled_back();
  return outcome;
}

CallOutcome RequestHandler::RunTransactionRequest(ByteReader& in) {
  const TransactionRequest request = ParseTransactionRequest(in);
  if (IsDistributed(request)) {
    CallOutcome out;
    out.error = ErrorMessage(8501, "MSDTC on server '" + server_name_ + "' is unavailable.");
    return out;
  }
  return RunBatch(TransactionBatch(request));
}

CallOutcome RequestHandler::RunBatch(const std::string& text) {
  CallOutcome out;
  out.results = session_->ExecuteBatch(text);
  return out;
}

CallOutcome RequestHandler::RunStatement(const std::string& statement,
                                         const std::string& declarations,
                                         const std::vector<const RpcParam*>& values) {
  CallOutcome out;
  out.rpc = true;
  BoundBatch bound;
  std::vector<ParamDecl> decls;
  try {
    decls = ParseParamDecls(declarations);
    bound = BindParameters(statement, decls, values);
  } catch (const BindingError& e) {
    out.error = ErrorMessage(e.number(), e.what());
    return out;
  }
  out.results = session_->ExecuteBatch(bound.text);
  if (bound.outputs.empty()) return out;
  // The trailing SELECT of output parameters, when it ran, is the last result.
  if (!out.results.empty()) {
    tsql::StatementResult& last = out.results.back();
    if (last.kind == tsql::StatementResult::Kind::Rows &&
        last.columns.size() == bound.outputs.size() && !last.columns.empty() &&
        last.columns[0].name == OutputColumnName(0) && last.row_count() == 1) {
      for (size_t k = 0; k < bound.outputs.size(); ++k) {
        const ParamDecl& decl = decls[bound.outputs[k]];
        // The ordinal is the parameter's place in the call; the caller adds its offset.
        ReturnValue rv;
        rv.ordinal = static_cast<uint16_t>(bound.outputs[k]);
        rv.name = decl.name;
        rv.type = WireTypeOf(last.columns[k].type, tds_version_);
        rv.value = WireValueOf(last.at(0, k), last.columns[k].type);
        out.return_values.push_back(std::move(rv));
      }
      out.results.pop_back();
    }
  }
  return out;
}

CallOutcome RequestHandler::RunCall(RpcCall& call) {
  auto& p = call.params;
  auto rest = [&](size_t from) {
    std::vector<const RpcParam*> values;
    for (size_t i = from; i < p.size(); ++i) values.push_back(&p[i]);
    return values;
  };
  auto offset_ordinals = [](CallOutcome& out, size_t by) {
    for (ReturnValue& rv : out.return_values) rv.ordinal = static_cast<uint16_t>(rv.ordinal + by);
  };
  auto handle_value = [&](int32_t handle, const RpcParam& param, uint16_t ordinal) {
    ReturnValue rv;
    rv.ordinal = ordinal;
    rv.name = param.name;
    rv.type.type = type::kIntN;
    rv.type.length = 4;
    rv.value = WireValue::Int(handle);
    return rv;
  };
  auto new_handle = [&](std::string declarations, std::string statement) -> std::optional<int32_t> {
    if (prepared_.size() >= kMaxPrepared) return std::nullopt;
    const int32_t handle = next_handle_++;
    prepared_[handle] = Prepared{std::move(declarations), std::move(statement)};
    return handle;
  };

  switch (call.proc_id) {
    case proc::kExecuteSql: {
      std::optional<std::string> statement = p.empty() ? std::nullopt : TextOf(p[0]);
      if (!statement) {
        return Failed(ErrorMessage(214, "Procedure expects parameter '@statement' of type 'ntext/nchar/nvarchar'."));
      }
      std::string declarations;
      size_t first_value = 1;
      if (p.size() > 1 && (p[1].name.empty() || p[1].name == "@params")) {
        std::optional<std::string> d = TextOf(p[1]);
        if (!d) return Failed(ErrorMessage(214, "Procedure expects parameter '@params' of type 'ntext/nchar/nvarchar'."));
        declarations = *d;
        first_value = 2;
      }
      CallOutcome out = RunStatement(*statement, declarations, rest(first_value));
      offset_ordinals(out, first_value);
      return out;
    }
    case proc::kPrepare:
    case proc::kPrepExec: {
      // @handle OUTPUT, @params, @stmt [, @options for sp_prepare | values for sp_prepexec]
      std::optional<std::string> declarations = p.size() > 1 ? TextOf(p[1]) : std::nullopt;
      std::optional<std::string> statement = p.size() > 2 ? TextOf(p[2]) : std::nullopt;
      if (!declarations || !statement) {
        return Failed(ErrorMessage(214, "Procedure expects parameters '@handle', '@params' and '@stmt'."));
      }
      std::optional<int32_t> handle = new_handle(*declarations, *statement);
      if (!handle) return Failed(ErrorMessage(8179, "Too many prepared statements on this connection."));
      CallOutcome out;
      out.rpc = true;
      if (call.proc_id == proc::kPrepExec) {
        out = RunStatement(*statement, *declarations, rest(3));
        offset_ordinals(out, 3);
      } else {
        // Checked now so that a bad declaration list fails at prepare time, as it should.
        try {
          ParseParamDecls(*declarations);
        } catch (const BindingError& e) {
          prepared_.erase(*handle);
          return Failed(ErrorMessage(e.number(), e.what()));
        }
      }
      out.return_values.insert(out.return_values.begin(), handle_value(*handle, p[0], 0));
      return out;
    }
    case proc::kExecute: {
      std::optional<int64_t> handle = p.empty() ? std::nullopt : IntOf(p[0]);
      auto it = handle ? prepared_.find(static_cast<int32_t>(*handle)) : prepared_.end();
      if (it == prepared_.end()) {
        return Failed(ErrorMessage(8179, "Could not find prepared statement with handle " +
                                             (handle ? std::to_string(*handle) : std::string("NULL")) + "."));
      }
      Prepared prepared = it->second;
      CallOutcome out = RunStatement(prepared.statement, prepared.declarations, rest(1));
      offset_ordinals(out, 1);
      return out;
    }
    case proc::kUnprepare: {
      std::optional<int64_t> handle = p.empty() ? std::nullopt : IntOf(p[0]);
      if (!handle || prepared_.erase(static_cast<int32_t>(*handle)) == 0) {
        return Failed(ErrorMessage(8179, "Could not find prepared statement with handle " +
                                             (handle ? std::to_string(*handle) : std::string("NULL")) + "."));
      }
      CallOutcome out;
      out.rpc = true;
      return out;
    }
    case 0:
      return RunProcedure(call);
    default:
      return Failed(ErrorMessage(2812, "Could not find stored procedure with id " +
                                           std::to_string(call.proc_id) + "."));
  }
}

CallOutcome RequestHandler::RunProcedure(const RpcCall& call) {
  // The values go to the engine as typed values, never as text.
  std::vector<tsql::ProcedureArgument> arguments;
  arguments.reserve(call.params.size());
  for (const RpcParam& p : call.params) {
    tsql::ProcedureArgument a;
    a.name = p.name;
    a.type = EngineTypeOf(p.type);
    a.value = EngineValueOf(p.value, p.type);
    a.output = p.output;
    arguments.push_back(std::move(a));
  }
  tsql::ProcedureCall result = session_->CallProcedure(ProcedureName(call.name), arguments);
  CallOutcome out;
  out.rpc = true;
  out.procedure_call = true;
  out.results = std::move(result.results);
  out.return_status = result.return_status;
  if (!out.return_status && out.results.size() == 1 &&
      out.results[0].kind == tsql::StatementResult::Kind::Error) {
    // The call itself failed (no such procedure, wrong arguments): nothing ran, so the error
    // goes out alone before DONEPROC, without a DONEINPROC of its own.
    const tsql::SqlError& e = out.results[0].error;
    Message m = ErrorMessage(e.number, e.message, static_cast<uint8_t>(std::clamp(e.severity, 11, 25)));
    m.state = static_cast<uint8_t>(std::clamp(e.state, 0, 255));
    m.line = e.line;
    m.procedure = e.procedure;
    out.error = std::move(m);
    out.results.clear();
  }
  for (const tsql::ProcedureCall::Output& o : result.outputs) {
    ReturnValue rv;
    rv.ordinal = static_cast<uint16_t>(o.argument);
    rv.name = o.name;
    rv.type = WireTypeOf(o.type, tds_version_);
    rv.value = WireValueOf(o.value, o.type);
    out.return_values.push_back(std::move(rv));
  }
  return out;
}

void RequestHandler::Write(Outcome& outcome, ResponseStream& out) {
  if (outcome.reset_acknowledged) WriteEnvChange(out.tokens(), 18, "", "");
  // The transaction the request ended, then the one it began (both when it did both).
  if (outcome.transaction_before != outcome.transaction_after) {
    if (outcome.transaction_before != 0) {
      WriteTransactionChange(out.tokens(), outcome.rolled_back ? 10 : 9, 0,
                             outcome.transaction_before);
    }
    if (outcome.transaction_after != 0) {
      WriteTransactionChange(out.tokens(), 8, outcome.transaction_after, 0);
    }
  }
  for (size_t i = 0; i < outcome.calls.size(); ++i) {
    CallOutcome& call = outcome.calls[i];
    const bool last_call = i + 1 == outcome.calls.size();
    ResultWriter writer(out, tds_version_, server_name_, call.rpc);
    if (call.error) writer.WriteMessage(*call.error);
    writer.Write(call.results);
    if (out.cancelled()) return;
    writer.FinishStatements(false);
    if (!call.rpc) continue;
    if (!call.procedure_call) {
      WriteReturnStatus(out.tokens(), writer.had_error() ? -6 : 0);
    } else if (call.return_status) {
      WriteReturnStatus(out.tokens(), *call.return_status);
    }
    for (const ReturnValue& rv : call.return_values) {
      WriteReturnValue(out.tokens(), rv.ordinal, rv.name, rv.type, rv.value);
    }
    uint16_t status = last_call ? done::kFinal : done::kMore;
    if (writer.had_error()) status |= done::kError;
    WriteDone(out.tokens(), token::kDoneProc, status, command::kExecute, 0);
  }
}

}  // namespace orv::tds
