// LoadMessage: a localized text from the per-thread resource loader, for the Source of the
// service's errors. It never raises and leaves the caller's pending error (Err) as it was.
#pragma once

#include <string>
#include <string_view>

namespace orv::service {

// The message key of the service name, and the text that opens every service error's Source.
inline constexpr char kServiceNameKey[] = "生产任务执行情况汇总表中间层服务";

// The text of `key` (trimmed) in `language`. The thread's loader is created through the object
// factory on first use and replaced (Unload, new instance, LanguageID and ResFileBaseName set)
// when `language` differs from its LanguageID, compared in upper case. Any failure gives back
// the key. A pending error is saved first and restored with all five fields afterwards.
std::string LoadMessage(std::string_view key, std::string_view language);

// Drops this thread's loader without unloading it (tests start from "no loader yet").
void ResetMessageLoader();

}  // namespace orv::service
