// Reading ahead, encoding frames on a second thread, and the GIF bytes of a run.
#include "runs/gif/gif_pipeline.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>

#include "core/error.h"
#include "gif/gif_stream.h"

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

// Encoding on a second thread.

namespace {

// Encodes appended frames in the order they come; a frame is never touched again by the run
// once appended, and encoding reads nothing but the frame and the document's settings, so it
// can go on while the run builds the next frame.
class TFrameEncoder {
 public:
  TFrameEncoder() : worker_([this] { Loop(); }) {}
  ~TFrameEncoder() { Stop(); }
  TFrameEncoder(const TFrameEncoder&) = delete;
  TFrameEncoder& operator=(const TFrameEncoder&) = delete;

  void Submit(TGIFSubImage* frame) {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(frame);
    encoded_.emplace_back();
    changed_.notify_all();
  }

  // Frames encoded so far: the encoder no longer touches the first this many.
  std::size_t EncodedCount() {
    std::lock_guard<std::mutex> lock(mutex_);
    return done_;
  }

  // Waits for every submitted frame; the bytes of each, in submission order. An error of
  // the encoding goes to `error`.
  std::vector<std::vector<std::uint8_t>> Finish(std::exception_ptr& error) {
    Stop();
    error = error_;
    return std::move(encoded_);
  }

 private:
  void Loop() {
    std::size_t index = 0;
    while (true) {
      TGIFSubImage* frame = nullptr;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return !queue_.empty() || closing_; });
        if (queue_.empty()) return;
        frame = queue_.front();
        queue_.pop_front();
      }
      std::vector<std::uint8_t> bytes;
      std::exception_ptr error;
      try {
        if (!error_) {
          TGIFMemoryStream stream;
          frame->SaveToStream(stream);
          bytes = stream.TakeBytes();
        }
      } catch (...) {
        error = std::current_exception();
      }
      std::lock_guard<std::mutex> lock(mutex_);
      encoded_[index] = std::move(bytes);
      if (error && !error_) error_ = error;
      done_ = ++index;
    }
  }

  void Stop() {
    if (!worker_.joinable()) return;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      closing_ = true;
    }
    changed_.notify_all();
    worker_.join();
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<TGIFSubImage*> queue_;
  std::vector<std::vector<std::uint8_t>> encoded_;
  std::exception_ptr error_;
  std::size_t done_ = 0;
  bool closing_ = false;
  std::thread worker_;  // last: starts once everything it uses exists
};

// Header, the frames' bytes and the trailer, as TGIFImage::SaveToStream writes them.
std::vector<std::uint8_t> JoinStream(TGIFImage& document, std::vector<std::vector<std::uint8_t>> frames) {
  TGIFMemoryStream header;
  document.Header().SaveToStream(header);
  std::vector<std::uint8_t> bytes = header.TakeBytes();
  std::size_t total = bytes.size() + 1;
  for (const auto& frame : frames) total += frame.size();
  bytes.reserve(total);
  for (auto& frame : frames) {
    bytes.insert(bytes.end(), frame.begin(), frame.end());
    std::vector<std::uint8_t>().swap(frame);
  }
  TGIFMemoryStream trailerBytes;
  TGIFTrailer(&document).SaveToStream(trailerBytes);
  bytes.insert(bytes.end(), trailerBytes.Bytes().begin(), trailerBytes.Bytes().end());
  return bytes;
}

}  // namespace

TGifFileResult ConvertToGifBytes(TVideoState& state, const TFrameSourceFactory& makeSource, const TGifOptions& options,
                                 const TRunHooks& hooks, bool twoThreads) {
  std::unique_ptr<TFrameSource> source = makeSource();
  // Declared before the encoder, so that on every way out the encoder has stopped before the
  // document it reads from goes.
  TGifConversionResult run;
  std::unique_ptr<TFrameEncoder> encoder;
  TGifOptions runOptions = options;
  if (twoThreads) {
    source = std::make_unique<TReadAheadFrameSource>(std::move(source), SampledFrames(state));
    encoder = std::make_unique<TFrameEncoder>();
    runOptions.FrameAdded = [&encoder, &options, released = 0](const TGIFImage& document, int index,
                                                               const TBitmap& picture) mutable {
      if (options.FrameAdded) options.FrameAdded(document, index, picture);
      encoder->Submit(document.Images()[index]);
      // The document is only the way to the file here: a frame whose bytes are written keeps
      // its colour table and extensions (the header is made from them at the end) but gives
      // up its pixels and its rendered picture, so memory holds the GIF's bytes, not its pixels.
      for (const int encoded = static_cast<int>(encoder->EncodedCount()); released < encoded; ++released) {
        TGIFSubImage* frame = document.Images()[released];
        frame->SetBounds(frame->Left(), frame->Top(), 0, 0);
      }
    };
  }
  // A failing run's error goes on from here: an encoding failure after it would only be a
  // knock-on.
  try {
    RunGifConversion(state, *source, runOptions, hooks, run);
  } catch (const EClipvaneError&) {
    // No bytes come out of a failed run, so the run's "the GIF keeps the frames" is not true here.
    if (run.OutOfMemory)
      throw EClipvaneError("Not enough memory after " + std::to_string(state.GifFrameCount) +
                           " frames of the GIF; no GIF is made");
    throw;
  }
  std::vector<std::vector<std::uint8_t>> frames;
  std::exception_ptr encodingError;
  if (encoder) frames = encoder->Finish(encodingError);
  if (encodingError) std::rethrow_exception(encodingError);

  TGifFileResult result;
  result.FrameCount = state.GifFrameCount;
  result.GifWidth = run.GifWidth;
  result.GifHeight = run.GifHeight;
  result.FrameDelay = run.FrameDelay;
  result.StatusText = run.StatusText;
  if (!run.Document || run.Document->Empty()) return result;
  if (encoder) {
    result.Bytes = JoinStream(*run.Document, std::move(frames));
  } else {
    TGIFMemoryStream stream;
    run.Document->SaveToStream(stream);
    result.Bytes = stream.TakeBytes();
  }
  return result;
}

}  // namespace clipvane
