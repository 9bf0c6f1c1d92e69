// Errors of the engine: SQL Server's error numbers, severities and message texts, thrown as one
// exception type and reported per statement in a batch's results.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace orv::tsql {

struct SqlError {
  int32_t number = 0;
  int32_t severity = 16;
  int32_t state = 1;
  int32_t line = 0;  // line of the batch where the failing statement starts (1-based), 0 unknown
  std::string message;
  std::string procedure;  // the stored procedure that raised it; "" in a batch
};

class SqlException : public std::runtime_error {
 public:
  explicit SqlException(SqlError error) : std::runtime_error(error.message), error_(std::move(error)) {}
  const SqlError& error() const { return error_; }
  int32_t number() const { return error_.number; }

 private:
  SqlError error_;
};

// Builds the message of a catalogued error number from its arguments, e.g.
//   MakeError(208, {"t_ICItemX"}) -> "Invalid object name 't_ICItemX'."
//   MakeError(245, {"varchar", "abc", "int"}) ->
//     "Conversion failed when converting the varchar value 'abc' to data type int."
// The catalogue holds at least 102, 105, 107, 108, 109, 110, 116, 120, 121, 125, 145, 156, 168,
// 205, 207, 208, 209, 213, 241, 242, 245, 264, 515, 512, 517, 536, 1038, 2714, 3701, 3621,
// 4104, 4127, 8114, 8115, 8117, 8118, 8120, 8134, 8152, 8153.
SqlError MakeError(int32_t number, std::initializer_list<std::string> args = {});
[[noreturn]] void ThrowError(int32_t number, std::initializer_list<std::string> args = {});
// The error of a catalogued number with these arguments (RAISERROR of a system message);
// nothing for a number the catalogue does not hold.
std::optional<SqlError> CataloguedError(int32_t number, const std::vector<std::string>& args);

}  // namespace orv::tsql
