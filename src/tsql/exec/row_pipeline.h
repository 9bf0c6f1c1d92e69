// RowPipeline: rows made on one thread and consumed, in the order they were made, on a second
// thread, so that making the next rows and consuming the last ones overlap (an INSERT ...
// SELECT builds the table's rows while the select computes the next ones).
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "tsql/catalog/catalog.h"

namespace orv::tsql {

class RowPipeline {
 public:
  // Runs on the second thread, once per row, in order; may move the row's values out. An
  // exception stops the pipeline: no later row is consumed.
  using Consume = std::function<void(Row&)>;
  // Thrown by Push once the consumer has failed, to stop the producer early.
  struct Stopped {};

  explicit RowPipeline(Consume consume);
  ~RowPipeline();
  RowPipeline(const RowPipeline&) = delete;
  RowPipeline& operator=(const RowPipeline&) = delete;

  // Takes the row over (the caller's row is left empty, its buffer possibly reused).
  void Push(Row& row);
  // Waits until every row pushed has been consumed; rethrows the consumer's exception.
  void Finish();
  // Waits for the rows pushed so far to be consumed and returns the consumer's exception, if
  // it raised one. For a producer that failed, that exception concerns an earlier row than
  // the producer's own failure, so it is the one to report.
  std::exception_ptr Drain();

 private:
  static constexpr size_t kBatchRows = 1024;
  static constexpr size_t kBatchesInFlight = 4;
  using Batch = std::vector<Row>;

  void Run();
  void Send();  // hands the current batch over (waits while too many are in flight)
  void Stop();  // no more batches; joins the thread

  Consume consume_;
  Batch current_;
  size_t filled_ = 0;  // rows of current_ in use
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::pair<Batch, size_t>> queued_;  // batches with their row counts
  std::vector<Batch> spare_;                     // consumed batches, buffers kept
  size_t in_flight_ = 0;
  bool closing_ = false;
  std::exception_ptr error_;
  std::thread thread_;
};

}  // namespace orv::tsql
