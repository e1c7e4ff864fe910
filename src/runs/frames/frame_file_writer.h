// TFrameFileWriter: the frame files of a streaming extraction written on worker threads while
// the run reads and converts the next frames. Compressing a PNG or JPEG frame costs several
// times its decoding, and the files do not depend on each other; the bytes of every file are
// those SaveFrameFile writes on one thread.
#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/bitmap.h"
#include "runs/frames/frame_saving.h"

namespace clipvane {

class TFrameFileWriter {
 public:
  // `workers` threads (at least one) write files in the chosen format; at most as many frames
  // wait for a thread, so memory stays at a few frames however long the run.
  TFrameFileWriter(TSaveOptions options, int workers);
  // Writes what is still queued (unless a write failed) and ends the threads. A failure found
  // here is not thrown: the caller is already leaving, by Finish or by an error of its own.
  ~TFrameFileWriter();
  TFrameFileWriter(const TFrameFileWriter&) = delete;
  TFrameFileWriter& operator=(const TFrameFileWriter&) = delete;

  // Queues a copy of frame to be written to path, waiting while the queue is full. Throws the
  // error of an earlier write that failed (naming its file); nothing is queued after that.
  void Write(const TBitmap& frame, std::string path);
  // Waits until every queued frame is written; throws the first failure as Write does.
  void Finish();

  // Worker threads for this machine: one per processor, at least one and at most four.
  static int DefaultWorkers();

 private:
  struct TJob {
    TBitmap Frame;
    std::string Path;
  };
  void Work();
  // Lets the threads write what is queued, then waits for them to end.
  void Stop();
  void ThrowIfFailed();

  const TSaveOptions options_;
  const std::size_t capacity_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<TJob> queue_;
  int busy_ = 0;  // jobs taken by a worker and not finished yet
  bool stopping_ = false;
  std::exception_ptr failure_;
  std::vector<std::thread> workers_;  // last: they start once everything they use exists
};

}  // namespace clipvane
