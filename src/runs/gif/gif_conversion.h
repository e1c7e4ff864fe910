// The "AVI to animated GIF" run as plain C++: the frame delay, the cut-and-stretch of the
// capture region, the append step and the conversion run over TVideoState and TRunHooks,
// the status line and "Clear GIF". The window and the CLI drive it; neither is known here.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/bitmap.h"
#include "core/run_hooks.h"
#include "core/video_state.h"
#include "gif/gif_image.h"
#include "runs/gif/capture_region.h"
#include "runs/gif/frame_sampling.h"
#include "runs/gif/gif_best_timing.h"
#include "runs/gif/gif_size.h"
#include "video/frame_source.h"

namespace clipvane {

// The "Direction" group: item 0 and item 1.
enum class TGifDirection { gdForward, gdBackward };

// The delay of every GIF frame, in hundredths of a second, from the video's length in
// milliseconds: LengthMs x SamplingRate / (10 x LastFrame) when the play speed is kept (a
// GIF frame stands for SamplingRate video frames), LengthMs / (10 x LastFrame) when it is
// not (the GIF then plays SamplingRate times faster). Rounded to the nearest integer, halves
// away from zero, kept within 1..65535. A LastFrame of 0 or less gives 10.
// Example: 10 s, LastFrame 250, sampling 2: 8 kept, 4 not.
std::uint16_t GifFrameDelay(int lengthMs, int samplingRate, int lastFrame, bool keepPlaySpeed);

// The run's reduction of true-colour frames by direction: the octree palette framed by the
// system colours forward, the web colour cube backward; Floyd-Steinberg either way.
TColorReduction GifReductionMethod(TGifDirection direction);

// Panel 1 of the page's status bar: "Size: 320 x 240 pixels  Frames: 25".
std::string GifStatusText(int gifWidth, int gifHeight, int frameCount);

// Cuts captureRect out of the decoded frame and stretches it, unsmoothed, over the whole
// picture (which keeps its size and format). The part of the rectangle that lies outside the
// frame shows black; nothing outside the decoded bitmap is read.
void CutAndStretch(const TBitmap& decoded, const TRect& captureRect, TBitmap& picture);

// How the run encodes each GIF frame's image data as it is made (TGIFFrameEncoder).
enum class TGifFrameEncoding {
  feNone,        // the frames keep their pixels
  feSameThread,  // encoded at once, on the run's thread
  // Described frames are reduced and encoded by worker threads, a few at once, and appended
  // in the order read; "Best quality" frames are encoded on a second thread while the run
  // makes the next.
  feSecondThread,
};

struct TGifOptions {
  TGifDirection Direction = TGifDirection::gdForward;
  bool KeepPlaySpeed = true;  // "keep a play speed"
  TGifSizeChoice Size;        // the "GIF window size" list, the scale list and the boxes
  // "Best quality": each frame reduced by its own palette and written as what changed
  // (TBestQualityEncoder), every frame starting at its true time: the delays vary so the GIF
  // lasts as long as the frames it stands for, and a frame that would show for less than 2
  // hundredths is left out (not read). Off: the described reduction and one delay for all.
  bool BestQuality = false;
  // With BestQuality: the video's own frame times, when its frames do not come at one rate.
  TVideoFrameTimes FrameTimes;
  // With BestQuality: lossy LZW at this level (0: lossless, up to 100; TLossyLZWEncoder), and
  // at most this many colours in a palette made for a frame (2..255).
  int LossyLevel = 0;
  int MaxColors = 255;
  // Each frame made smaller by averaging (CutAndScaleSmoothly) rather than by dropping pixels.
  bool SmoothScaling = false;
  // Called after each frame is appended, with the picture as the document received it (the
  // window shows it at once) and the frame's index. A "backward" frame made during the walk
  // is handed out as its GIF frame (its colour indices with its table).
  std::function<void(const TGIFImage& document, int index, const TBitmap& picture)> FrameAdded;
  // Encoded frames hold the GIF's bytes instead of their pixels: memory follows the size of
  // the GIF. The bytes written are the same either way.
  TGifFrameEncoding FrameEncoding = TGifFrameEncoding::feNone;
};

struct TGifConversionResult {
  // The GIF; also after an error (holding the frames appended until then). None only when the
  // run failed before creating it (the video could not be opened).
  std::unique_ptr<TGIFImage> Document;
  int GifWidth = 0;
  int GifHeight = 0;
  std::uint16_t FrameDelay = 0;  // hundredths of a second (with BestQuality: the first frame's)
  bool Aborted = false;          // the abort flag stopped the walk before reading a frame
  bool OutOfFrames = false;      // a frame could not be read: the walk ended quietly there
  bool OutOfMemory = false;      // memory ran out: the error thrown says the GIF keeps the frames made so far
  // The status line, counting the frames in the GIF; also after an error.
  std::string StatusText;
};

// "Convert": empties the frames page's results (FrameResults re-created with LastFrame + 1
// empty slots), clears ConvertAbort, fixes the delay and the GIF size, opens the source on
// FilePath and walks the sampled frames (see SampledFrames). Before each ticked frame the
// progress advances by the sampling rate, messages are processed and the abort flag
// (ConvertAbort or hooks.aborted) is tested; an abort leaves that frame unread. Each frame
// read is cut and stretched to the GIF size and appended at once (forward), or kept and
// appended in reverse order after the walk (backward). A frame that cannot be read ends the
// walk quietly. Backward keeps each frame as its GIF frame, made as it is read (as it would
// be made at the end: its reduction needs no other frame); a frame whose making needs the
// frames before it ("Best quality"), or that was read in another pixel format or palette
// than the last frame read, is read again instead, after the walk, in reverse order
// (messages are processed and an abort ends the appending there). GifFrameCount counts the frames appended. The source
// is closed on every way out. An error ends the run and is thrown (EClipvaneError; running out of memory becomes "Not
// enough memory: ..."), after result, which the caller owns, has been given the frames appended so far and the status
// line: what the run made before it failed stays with the caller, as the extraction run's frames stay in TVideoState.
// Before the source is opened, a frame and GIF size whose processing would need more than the working-memory budget are
// refused (CheckVideoRunMemory).
void RunGifConversion(TVideoState& state, TFrameSource& source, const TGifOptions& options, const TRunHooks& hooks,
                      TGifConversionResult& result);

// "Clear GIF": the status line becomes " " (one blank).
std::string ClearedGifStatusText();

// "Abort" on the page: the run stops before its next frame.
void AbortGifRun(TVideoState& state);

// What a step of the page does to the controls it touches: a value enables (shows) or
// disables (hides) the control, an empty one leaves it as it is.
struct TGifControlChange {
  std::optional<bool> Convert;
  std::optional<bool> Abort;
  std::optional<bool> ClearGif;
  std::optional<bool> Save;
  std::optional<bool> OpenAvi;
  std::optional<bool> Play;  // the video control's buttons
  std::optional<bool> Pause;
  std::optional<bool> Reset;
  std::optional<bool> Preview;  // the "GIF preview" window shown
  std::optional<std::string> StatusText;
};

// When "Convert" starts: "Abort" on (it takes the focus), "Convert", "Open AVI", "Play",
// "Pause" and "Reset" off.
TGifControlChange GifRunStartControls();
// When the run has ended, however it ended: the status line, "Clear GIF" and "Save" on,
// "Abort" off, "Play" on, "Pause" and "Reset" off; the preview window shows the GIF unless an
// error ended the run (failed).
TGifControlChange GifRunEndControls(const TGifConversionResult& result, bool failed);
// "Clear GIF": "Open AVI" and "Convert" on, "Clear GIF" and "Save" off, the preview hidden
// (it keeps its picture), the status line " ".
TGifControlChange ClearGifControls();

}  // namespace clipvane
