// Parameters of sp_executesql and prepared statements: the declaration list ("@p1 int,
// @p2 nvarchar(50) OUTPUT") is parsed into a strict form, and each value becomes a T-SQL literal
// built from the decoded value (never from client text), so the statement runs as
//   DECLARE @p1 int; SET @p1 = 42; DECLARE @p2 nvarchar(50); SET @p2 = N'...'; <statement>
// all on the statement's first line so that error line numbers stay the client's. Output
// parameters are read back by a trailing SELECT whose result the server keeps to itself.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "tds/rpc.h"
#include "tds/tokens.h"

namespace orv::tds {

// A parameter problem reported to the client as an error message (number and text).
class BindingError : public std::runtime_error {
 public:
  BindingError(int32_t number, const std::string& text) : std::runtime_error(text), number_(number) {}
  int32_t number() const { return number_; }

 private:
  int32_t number_;
};

struct ParamDecl {
  std::string name;  // "@p1" as declared
  std::string type;  // canonical: "int", "nvarchar(50)", "decimal(18,4)", "varchar(max)"
  bool output = false;
};

// Raises BindingError (number 102) for anything that is not a plain declaration list.
std::vector<ParamDecl> ParseParamDecls(std::string_view text);

// A T-SQL literal for a value: NULL, 42, 1.5E+000 (floats), 12.3400, N'text', '2024-01-31
// 08:00:00.000', 0x0A1B. Raises BindingError for a value T-SQL cannot write (NaN, infinity).
std::string SqlLiteral(const WireValue& value);

// Name of the trailing SELECT's column that carries output parameter `index`.
std::string OutputColumnName(size_t index);

struct BoundBatch {
  std::string text;
  // For each output parameter: the declaration's index, in the trailing SELECT's order.
  std::vector<size_t> outputs;
};

// `values` are matched to `decls` by name (case-insensitive) or, when unnamed, by position.
// A declared parameter without a value is error 8178; a value for no declared parameter 8145.
BoundBatch BindParameters(std::string_view statement, const std::vector<ParamDecl>& decls,
                          const std::vector<const RpcParam*>& values);

}  // namespace orv::tds
