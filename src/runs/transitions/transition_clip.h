// The transition clip: the two picture slots brought to one size, the N + 1 frames of the
// chosen effect rendered and appended to a looping animated GIF, the duration and delay rules.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

#include "core/bitmap.h"
#include "core/color.h"
#include "core/run_hooks.h"
#include "core/video_state.h"
#include "gif/gif_timeline.h"
#include "runs/transitions/transition_effects.h"

namespace clipvane {

class TGIFImage;

// One picture slot of the transition page: the picture its view shows and its background
// colour panel. An empty slot (TVideoState::SourceEmpty / DestinationEmpty) gets a picture
// of its colour when a clip is built.
struct TTransitionSlot {
  TBitmap Picture;
  TColor Color = clWhite;
};

inline constexpr int MinTransitionSteps = 1;
inline constexpr int MaxTransitionSteps = 50;
inline constexpr int MinTransitionDurationMs = 10;
inline constexpr int MaxTransitionDurationMs = 5000;
inline constexpr int DefaultTransitionDurationMs = 1000;
// Side of the picture an empty slot gets when both slots are empty.
inline constexpr int EmptySlotSide = 100;
// Larger common sizes are refused before any picture is made.
inline constexpr std::int64_t MaxTransitionPixels = std::int64_t{1} << 28;

// The duration edit's text as TransitionDurationMs: a whole decimal number (1000 when the
// text is not one), then held to 10..5000.
int TransitionDurationFromText(std::string_view text);

// Frame delay in hundredths of a second: trunc(duration / (steps * 10)), at least 1. The
// duration is spread over the steps, not over the steps + 1 frames.
int TransitionFrameDelay(int durationMs, int steps);

// "Best quality" delays of the N + 1 frames: frame k starts at k x duration / N on the exact
// time line, rounded to hundredths; none is shorter than 2 hundredths (later frames move
// back instead), so every step stays.
TGifTimeline BestTransitionTimeline(int durationMs, int steps);

// Prepares the slots and the run's four pictures. An empty slot gets a picture of its colour:
// 100 x 100 when both are empty, else the other slot's size. Then both pictures are padded
// to the common size W x H (the larger width and height) with their slot's colour, and the
// slots show the padded pictures. S and D are the padded pictures, M is W x H of the source
// colour, O is W x H; all 24 bits per pixel. The empty flags are not changed. Throws
// EClipvaneError, leaving the slots as they were, when the pictures have no size, the common
// size is beyond 2^28 pixels or 65535 a side, or the pictures and the `framesToKeep` frames
// of the clip would need more than the working-memory budget (TransitionClipBytes).
TTransitionFrames PrepareTransitionFrames(const TVideoState& state, TTransitionSlot& source,
                                          TTransitionSlot& destination, int framesToKeep = 0);

// Memory of a clip of W x H: the four working pictures and the copy the colour reduction
// makes, 3 bytes a pixel each, and about 2 bytes a pixel for each frame the document keeps
// (its indices and its coded data).
std::uint64_t TransitionClipBytes(int width, int height, int framesToKeep);

// Where the clip's frames go: the GIF document in the program, a recorder in tests.
class TTransitionClipSink {
 public:
  virtual ~TTransitionClipSink() = default;
  // Appends the frame (reduced to 256 colours on the way for a GIF); returns its index.
  virtual int AddFrame(const TBitmap& frame) = 0;
  // Appends the endless-loop extension to the frame at index.
  virtual void AddLoopExtension(int index) = 0;
  // Appends a graphic control extension with the delay in hundredths of a second.
  virtual void AddControlExtension(int index, int delay) = 0;
};

struct TTransitionRunSettings {
  int Steps = 10;  // N, 1..50: the run draws N + 1 frames
  int Delay = 1;   // hundredths of a second a frame
  // Read before every step, so a change of effect during the run applies from the next
  // step. None draws CrossDissolve.
  std::function<TTransitionEffect()> Effect;
  // Called with each frame once it is added (the preview shows it as a still picture).
  std::function<void(const TBitmap& frame)> FrameAdded;
};

// The run loop: clears ConvertAbort, then renders steps 0..N into frames.Output and hands
// each to the sink (the first with the loop extension, every one with a control extension),
// driving hooks.progress with 0..N + 1. After each step's messages are processed an abort
// (ConvertAbort or hooks.aborted) ends the run and that step's frame is not added.
// Returns the number of frames added.
int RunTransitionClip(TVideoState& state, TTransitionFrames& frames, const TTransitionRunSettings& settings,
                      const TRunHooks& hooks, TTransitionClipSink& sink);

// The finished clip: the document the preview window takes a copy of.
struct TTransitionClip {
  std::unique_ptr<TGIFImage> Document;
  int Width = 0;  // the common size, the preview's client area (also when no frame was added)
  int Height = 0;
  int FrameCount = 0;
  int Delay = 0;  // hundredths of a second
};

// "Convert" of the transition page: steps (1..50) checked first, the slots prepared
// (PrepareTransitionFrames), the delay from state.TransitionDurationMs (10..5000), then the
// run into a new GIF document reducing each frame with the octree palette framed by the
// system colours and Floyd-Steinberg dithering; frame 0 carries the endless-loop extension,
// every frame a graphic control extension with the delay. Each frame is encoded as it is
// added, on a second thread, so the document holds the GIF's bytes rather than the frames'
// pixels. An aborted run returns the frames added so far (possibly none). Throws
// EClipvaneError for unusable settings or pictures.
// bestQuality: the frames are made by TBestQualityEncoder instead, with the delays of
// BestTransitionTimeline (Delay is then the first frame's), lossy LZW at lossyLevel (0: off)
// and at most maxColors colours a frame.
TTransitionClip BuildTransitionClip(TVideoState& state, TTransitionSlot& source, TTransitionSlot& destination,
                                    int steps, std::function<TTransitionEffect()> effect, const TRunHooks& hooks,
                                    std::function<void(const TBitmap& frame)> frameAdded = {}, bool bestQuality = false,
                                    int lossyLevel = 0, int maxColors = 255);

}  // namespace clipvane
