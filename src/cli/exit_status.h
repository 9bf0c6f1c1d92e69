// Exit statuses of orvdata.
#pragma once

namespace orv::cli {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;  // the operation (or a batch of the T-SQL shell) failed
inline constexpr int kExitUsage = 2;    // bad command line: unknown option, bad value, bad key

}  // namespace orv::cli
