// Exit statuses of orvdata.
#pragma once

namespace orv::cli {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;      // the operation raised an error
inline constexpr int kExitUnavailable = 2;  // the command exists but cannot run in this build

}  // namespace orv::cli
