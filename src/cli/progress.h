// Progress of long work on standard error: while a Progress lives and stderr is a terminal, a
// status line as wide as the terminal shows the elapsed time and the step running (for
// reports: the step the report names, e.g. "task orders due"), redrawn a few times a second
// and cleared at the end. When stderr is not a terminal nothing is written.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace orv::cli {

class Progress {
 public:
  // `task`: what the work is ("report 400"). The line appears only after a short delay, so
  // quick work prints nothing.
  explicit Progress(std::string task);
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  bool active() const { return active_; }
  void SetStep(std::string step);

  // The innermost live Progress, or nullptr.
  static Progress* Current();

 private:
  void Run();
  void Draw();

  std::string task_;
  bool active_ = false;
  std::chrono::steady_clock::time_point start_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::string step_;
  bool stop_ = false;
  bool drawn_ = false;
  std::thread ticker_;
  Progress* outer_ = nullptr;
};

// When a Progress is active, returns a data-source text that routes every batch through a
// provider which names the batch on the progress line before passing it to the provider of
// `dsn`; else `dsn` unchanged.
std::string TrackBatches(const std::string& dsn);

// The first words of a batch, for the progress line: its first line that is not a comment
// or blank, shortened.
std::string BatchSummary(std::string_view batch);

}  // namespace orv::cli
