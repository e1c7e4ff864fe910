// The queue of frames waiting for a file, and the threads that write them.
#include "runs/frames/frame_file_writer.h"

#include <algorithm>
#include <utility>

namespace clipvane {

TFrameFileWriter::TFrameFileWriter(TSaveOptions options, int workers)
    : options_(std::move(options)), capacity_(static_cast<std::size_t>(std::max(workers, 1))) {
  try {
    for (std::size_t i = 0; i < capacity_; ++i) workers_.emplace_back([this] { Work(); });
  } catch (...) {
    // No thread to be had: the ones started must end before the members go.
    Stop();
    throw;
  }
}

void TFrameFileWriter::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  for (std::thread& worker : workers_) worker.join();
  workers_.clear();
}

TFrameFileWriter::~TFrameFileWriter() { Stop(); }

int TFrameFileWriter::DefaultWorkers() {
  return static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
}

void TFrameFileWriter::ThrowIfFailed() {
  if (failure_) std::rethrow_exception(failure_);
}

void TFrameFileWriter::Write(const TBitmap& frame, std::string path) {
  TJob job{frame, std::move(path)};
  {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return failure_ || queue_.size() < capacity_; });
    ThrowIfFailed();
    queue_.push_back(std::move(job));
  }
  changed_.notify_all();
}

void TFrameFileWriter::Finish() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return failure_ || (queue_.empty() && busy_ == 0); });
  ThrowIfFailed();
}

void TFrameFileWriter::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    // Stopping still writes what is queued: those frames were handed over as written.
    changed_.wait(lock, [this] { return !queue_.empty() || stopping_ || failure_; });
    if (failure_ || queue_.empty()) return;
    TJob job = std::move(queue_.front());
    queue_.pop_front();
    ++busy_;
    lock.unlock();
    changed_.notify_all();  // room in the queue
    std::exception_ptr failure;
    try {
      SaveFrameFile(job.Frame, job.Path, options_);
    } catch (...) {
      failure = std::current_exception();
    }
    job = TJob{};  // the frame's memory goes before the next is taken
    lock.lock();
    --busy_;
    // The first failure is the one to tell; the frames still queued are not written.
    if (failure && !failure_) failure_ = failure;
    if (failure_) queue_.clear();
    changed_.notify_all();
  }
}

}  // namespace clipvane
