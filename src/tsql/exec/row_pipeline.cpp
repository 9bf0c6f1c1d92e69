// RowPipeline: batches of rows handed from the producing thread to the consuming one.
#include "tsql/exec/row_pipeline.h"

#include <utility>

#include "tsql/storage/memory_limit.h"

namespace orv::tsql {

RowPipeline::RowPipeline(Consume consume)
    : consume_(std::move(consume)), current_(kBatchRows), thread_([this, memory = StatementMemory::Current()] {
        // What the consumer makes counts for the statement that started it.
        StatementMemory::Scope counted(memory);
        Run();
      }) {}

RowPipeline::~RowPipeline() { Stop(); }

void RowPipeline::Push(Row& row) {
  // Swapping leaves the caller a row buffer that a consumed batch gave back.
  std::swap(row, current_[filled_]);
  row.clear();
  if (++filled_ == kBatchRows) Send();
}

void RowPipeline::Send() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return in_flight_ < kBatchesInFlight || error_; });
  if (error_) throw Stopped{};
  queued_.emplace_back(std::move(current_), filled_);
  ++in_flight_;
  filled_ = 0;
  if (!spare_.empty()) {
    current_ = std::move(spare_.back());
    spare_.pop_back();
  } else {
    current_ = Batch(kBatchRows);
  }
  changed_.notify_all();
}

void RowPipeline::Run() {
  for (;;) {
    std::pair<Batch, size_t> work;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return !queued_.empty() || closing_; });
      if (queued_.empty()) return;
      work = std::move(queued_.front());
      queued_.pop_front();
    }
    std::exception_ptr error;
    try {
      for (size_t i = 0; i < work.second; ++i) consume_(work.first[i]);
    } catch (...) {
      error = std::current_exception();
    }
    std::lock_guard lock(mutex_);
    --in_flight_;
    spare_.push_back(std::move(work.first));
    if (error) {
      error_ = error;
      queued_.clear();
      in_flight_ = 0;
    }
    changed_.notify_all();
    if (error) return;
  }
}

std::exception_ptr RowPipeline::Drain() {
  if (filled_ > 0) {
    try {
      Send();
    } catch (const Stopped&) {
    }
  }
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return in_flight_ == 0 || error_; });
  }
  Stop();
  return error_;
}

void RowPipeline::Finish() {
  if (std::exception_ptr error = Drain()) std::rethrow_exception(error);
}

void RowPipeline::Stop() {
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

}  // namespace orv::tsql
