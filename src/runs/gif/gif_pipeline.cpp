// Reading ahead, the run with its frames encoded as they are made, and the GIF bytes of a run.
#include "runs/gif/gif_pipeline.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>

#include "core/error.h"
#include "gif/gif_stream.h"
#include "runs/gif/frame_sampling.h"

namespace clipvane {

// Read ahead.

namespace {

// Frames decoded and waiting: one is enough to keep the decoder busy while the caller works.
constexpr std::size_t kReadAheadDepth = 1;

}  // namespace

struct TReadAheadFrameSource::TShared {
  struct TSlot {
    bool ok = false;
    std::exception_ptr error;
    TBitmap bitmap;
  };
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<TSlot> ready;
  std::vector<TBitmap> spare;  // bitmaps handed back, reused so frames do not reallocate
  bool stop = false;
  bool finished = false;  // the worker read its last frame
  std::thread worker;
};

TReadAheadFrameSource::TReadAheadFrameSource(std::unique_ptr<TFrameSource> inner, std::vector<int> plan)
    : inner_(std::move(inner)), plan_(std::move(plan)), shared_(std::make_unique<TShared>()) {}

TReadAheadFrameSource::~TReadAheadFrameSource() { StopWorker(); }

void TReadAheadFrameSource::Open(const std::string& path) {
  StopWorker();
  inner_->Open(path);
  next_ = 0;
  own_ = false;
  current_ = TBitmap();
  if (plan_.empty()) return;
  shared_ = std::make_unique<TShared>();
  TShared& shared = *shared_;
  TFrameSource& inner = *inner_;
  ahead_ = true;
  shared.worker = std::thread([&shared, &inner, plan = plan_] {
    for (const int frameNumber : plan) {
      TShared::TSlot slot;
      {
        std::unique_lock<std::mutex> lock(shared.mutex);
        shared.changed.wait(lock, [&] { return shared.stop || shared.ready.size() < kReadAheadDepth; });
        if (shared.stop) break;
        if (!shared.spare.empty()) {
          slot.bitmap = std::move(shared.spare.back());
          shared.spare.pop_back();
        }
      }
      try {
        slot.ok = inner.ReadFrame(frameNumber);
        if (slot.ok) slot.bitmap = inner.DecodeBitmap();
      } catch (...) {
        slot.error = std::current_exception();
      }
      const bool last = !slot.ok;  // the end of the video or an error: nothing more to read
      std::lock_guard<std::mutex> lock(shared.mutex);
      shared.ready.push_back(std::move(slot));
      shared.changed.notify_all();
      if (last) break;
    }
    std::lock_guard<std::mutex> lock(shared.mutex);
    shared.finished = true;
    shared.changed.notify_all();
  });
}

void TReadAheadFrameSource::StopWorker() {
  ahead_ = false;
  if (!shared_ || !shared_->worker.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->stop = true;
  }
  shared_->changed.notify_all();
  shared_->worker.join();
  shared_->ready.clear();
}

bool TReadAheadFrameSource::ReadFrame(int frameNumber) {
  if (ahead_ && next_ < plan_.size() && plan_[next_] == frameNumber) {
    TShared& shared = *shared_;
    std::unique_lock<std::mutex> lock(shared.mutex);
    shared.changed.wait(lock, [&] { return !shared.ready.empty() || shared.finished; });
    if (!shared.ready.empty()) {
      TShared::TSlot slot = std::move(shared.ready.front());
      shared.ready.pop_front();
      ++next_;
      if (slot.error) {
        lock.unlock();
        StopWorker();
        std::rethrow_exception(slot.error);
      }
      if (!slot.ok) return false;  // the last frame read stays the current one
      if (own_) shared.spare.push_back(std::move(current_));
      current_ = std::move(slot.bitmap);
      own_ = true;
      shared.changed.notify_all();
      return true;
    }
  }
  // Off the plan (or past its end): from here on the caller's thread reads.
  StopWorker();
  const bool ok = inner_->ReadFrame(frameNumber);
  if (ok) own_ = false;
  return ok;
}

// While the worker reads, the inner source's bitmap is its alone: before the first frame
// arrives the caller sees an empty bitmap.
const TBitmap& TReadAheadFrameSource::DecodeBitmap() const {
  return (own_ || ahead_) ? current_ : inner_->DecodeBitmap();
}

void TReadAheadFrameSource::Close() {
  StopWorker();
  inner_->Close();
}

// The run on two threads.

namespace {

// Counts what is written to it and keeps none of it.
class TCountingStream : public TGIFStream {
 public:
  std::size_t Read(void*, std::size_t) override { return 0; }
  void Write(const void*, std::size_t count) override { count_ += count; }
  std::uint64_t Seek(std::int64_t, TSeekOrigin) override { throw EClipvaneError(sGIFInvalidStreamOperation); }
  std::size_t Count() const { return count_; }

 private:
  std::size_t count_ = 0;
};

}  // namespace

std::vector<int> GifReadPlan(const TVideoState& state, const TGifOptions& options) {
  std::vector<int> plan = SampledFrames(state);
  // "Best quality" backward reads the frames again after the walk, last first.
  if (options.BestQuality && options.Direction == TGifDirection::gdBackward) {
    const std::vector<int> walk = plan;
    plan.insert(plan.end(), walk.rbegin(), walk.rend());
  }
  return plan;
}

void RunGifPipeline(TVideoState& state, std::unique_ptr<TFrameSource> source, const TGifOptions& options,
                    const TRunHooks& hooks, TGifConversionResult& result, bool twoThreads) {
  TGifOptions runOptions = options;
  runOptions.FrameEncoding = twoThreads ? TGifFrameEncoding::feSecondThread : TGifFrameEncoding::feSameThread;
  if (twoThreads) source = std::make_unique<TReadAheadFrameSource>(std::move(source), GifReadPlan(state, options));
  RunGifConversion(state, *source, runOptions, hooks, result);
}

TGifFileResult ConvertToGifBytes(TVideoState& state, const TFrameSourceFactory& makeSource, const TGifOptions& options,
                                 const TRunHooks& hooks, bool twoThreads) {
  TGifConversionResult run;
  try {
    RunGifPipeline(state, makeSource(), options, hooks, run, twoThreads);
  } catch (const EClipvaneError&) {
    // No bytes come out of a failed run, so the run's "the GIF keeps the frames" is not true here.
    if (run.OutOfMemory)
      throw EClipvaneError("Not enough memory after " + std::to_string(state.GifFrameCount) +
                           " frames of the GIF; no GIF is made");
    throw;
  }
  TGifFileResult result;
  result.FrameCount = state.GifFrameCount;
  result.GifWidth = run.GifWidth;
  result.GifHeight = run.GifHeight;
  result.FrameDelay = run.FrameDelay;
  result.StatusText = run.StatusText;
  if (!run.Document || run.Document->Empty()) return result;
  // The frames hold their image data encoded: the stream is those bytes joined. Counted
  // first, so the bytes are made in one piece of their size instead of growing into it (which
  // briefly holds them twice over beside the frames).
  TCountingStream counting;
  run.Document->SaveToStream(counting);
  std::vector<std::uint8_t> bytes;
  bytes.reserve(counting.Count());
  TGIFMemoryStream stream(std::move(bytes));
  run.Document->SaveToStream(stream);
  result.Bytes = stream.TakeBytes();
  return result;
}

}  // namespace clipvane
