// A provider that stands between an operation and its real data source: it records every
// batch sent through it, in order, and either forwards a batch to the real source or answers
// it itself. Two uses:
// - showing what an operation sends without running it (Mode::kQueriesOnly): look-ups (a
//   batch that is one plain SELECT reading no temporary table and writing nothing) reach the
//   real source, so values the operation reads (period dates, settings) are the real ones;
//   every other batch is only recorded and answered with one row of no columns, so code that
//   sends more batches when one returned rows shows those batches as well;
// - running an operation with some batches answered differently (Mode::kForwardAll with
//   prepared answers): the operation runs on the real source as usual, except that a batch
//   whose text has a prepared answer gets that answer.
// "Provider=Recording;Data Source=<name>" opens the recording of that name.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "ado/provider.h"

namespace orv::ado {

class Recording {
 public:
  enum class Mode { kQueriesOnly, kForwardAll };
  Recording(std::string target, Mode mode) : target_(std::move(target)), mode_(mode) {}

  const std::string& target() const { return target_; }
  Mode mode() const { return mode_; }
  // The connection text that opens this recording.
  const std::string& connection_text() const { return connection_text_; }

  // Batches whose text is exactly `text` are answered with `results` instead of being sent.
  void Answer(std::string text, std::vector<ProviderResult> results);

  // The batch texts received so far, in order.
  std::vector<std::string> Batches() const;

  // Used by the provider: records `text` and returns the prepared answer, if any.
  bool Take(std::string_view text, std::vector<ProviderResult>& answer);

 private:
  friend std::shared_ptr<Recording> StartRecording(std::string, Mode);
  std::string target_;
  Mode mode_;
  std::string connection_text_;
  mutable std::mutex mutex_;
  std::vector<std::string> batches_;
  std::map<std::string, std::vector<ProviderResult>, std::less<>> answers_;
};

// A new recording in front of the data source `target` (a connection text); the provider is
// registered on first use. The recording stays reachable while the returned pointer lives.
std::shared_ptr<Recording> StartRecording(std::string target, Recording::Mode mode);

// Whether a batch only reads: one SELECT (comments and blanks around it allowed) with no INTO,
// no temporary table (#) and no other statement. Anything in doubt counts as not a look-up.
bool IsLookupBatch(std::string_view text);

}  // namespace orv::ado
