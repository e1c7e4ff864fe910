// Frames encoded in the order they come, on a second thread or at once. The thread reads only
// the pixels and the format noted at Submit; the frames themselves are touched only on the
// caller's thread, when Collect hands them their data.
#include "gif/gif_image_encoder.h"

#include <pthread.h>

#include <exception>
#include <utility>
#include <vector>

namespace clipvane {

namespace {

// Frames being encoded at most while the caller makes the next: one being encoded, one
// waiting. More would only hold more pixels.
constexpr std::size_t kFramesInFlight = 2;

}  // namespace

TGIFFrameEncoder::TGIFFrameEncoder(bool secondThread) : secondThread_(secondThread) {
  if (!secondThread_) return;
  worker_ = std::thread([this] { Loop(); });
  // Named, so that a debugger, top -H and the tests can tell it from other threads.
  pthread_setname_np(worker_.native_handle(), "gif-encoder");
}

TGIFFrameEncoder::~TGIFFrameEncoder() {
  if (!worker_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closing_ = true;
  }
  changed_.notify_all();
  worker_.join();
}

TGIFEncodedImageRef TGIFFrameEncoder::EncodeJob(const TJob& job) {
  try {
    return TGIFEncodedImage::Encode(job.Format, job.Width, job.Height, job.Pixels);
  } catch (const std::exception&) {
    // Not encoded: the frame keeps its pixels, and a save meets the problem as it always did.
    return nullptr;
  }
}

std::size_t TGIFFrameEncoder::Unfinished() const {
  std::size_t count = 0;
  for (const TJob& job : jobs_) count += job.Done ? 0 : 1;
  return count;
}

void TGIFFrameEncoder::Submit(TGIFSubImage& frame) {
  if (frame.Empty()) return;
  TJob job;
  job.Frame = &frame;
  job.Format = frame.DataFormat();
  // Data already held in the form a save writes (lossy image data made elsewhere) stays.
  const TGIFEncodedImageRef& held = frame.EncodedData();
  if (held && held->Format() == job.Format && held->Width() == frame.Width() && held->Height() == frame.Height())
    return;
  job.Width = frame.Width();
  job.Height = frame.Height();
  // Read as they are: the frame's own encoded data, if any, stays.
  job.Pixels = static_cast<const TGIFSubImage&>(frame).Data();
  if (job.Pixels == nullptr) return;
  if (!secondThread_) {
    job.Result = EncodeJob(job);
    job.Started = job.Done = true;
    jobs_.push_back(std::move(job));
    return;
  }
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return Unfinished() < kFramesInFlight; });
  jobs_.push_back(std::move(job));
  changed_.notify_all();
}

void TGIFFrameEncoder::Collect(bool wait) {
  std::vector<TJob> finished;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    if (wait) changed_.wait(lock, [&] { return Unfinished() == 0; });
    while (!jobs_.empty() && jobs_.front().Done) {
      finished.push_back(std::move(jobs_.front()));
      jobs_.pop_front();
    }
  }
  for (TJob& job : finished)
    if (job.Result) job.Frame->SetEncodedData(std::move(job.Result));
}

void TGIFFrameEncoder::Loop() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    TJob* job = nullptr;
    changed_.wait(lock, [&] {
      if (closing_) return true;
      for (TJob& waiting : jobs_)
        if (!waiting.Started) {
          job = &waiting;
          return true;
        }
      return false;
    });
    if (closing_) return;
    job->Started = true;
    lock.unlock();
    TGIFEncodedImageRef result = EncodeJob(*job);
    lock.lock();
    job->Result = std::move(result);
    job->Done = true;
    changed_.notify_all();
  }
}

}  // namespace clipvane
