// The capture region of the GIF run: "Full window", and the pick in the "Video" window as
// state transitions over TVideoState (the window draws the bands these return).
#pragma once

#include <optional>
#include <string>

#include "core/color.h"
#include "core/video_state.h"

namespace clipvane {

// PickCornerX holds this while no rubber band is on the screen.
inline constexpr int kNoBand = -32000;

// The rectangle with corners (x1, y1) and (x2, y2), ordered so Left <= Right, Top <= Bottom.
TRect NormalizedRect(int x1, int y1, int x2, int y2);

// The labels of the "AVI window size" group. After a pick the first label is spelled
// "Wigth = "; "Full window" and "Open AVI" write "Width = ".
std::string CaptureWidthLabel(int width, bool afterPick);
std::string CaptureHeightLabel(int height);

// "Full window": the whole frame (DisplayRect) is captured; the pick corners are reset to it.
void SelectFullWindow(TVideoState& state);

// "Pick window": the next drag in the "Video" window picks the region.
void ArmPick(TVideoState& state);

// The "Video" window was activated: a drag in progress is forgotten.
void PickWindowActivated(TVideoState& state);

// Mouse down at (x, y) in the window: starts a band when armed. False when not armed.
bool PickMouseDown(TVideoState& state, int x, int y);

// What the window draws for one mouse event, with the dotted not-xor pen: first the band to
// erase (drawn again at the same place), then the band to draw.
struct TBandPaint {
  std::optional<TRect> Erase;
  std::optional<TRect> Draw;
};

// Mouse move to (x, y): only while dragging; the last band is erased and the new one drawn.
TBandPaint PickMouseMove(TVideoState& state, int x, int y);

// Mouse up at (x, y): ends the pick when armed (whether or not a drag started in the
// window): the last band is erased, and the capture becomes the rectangle from the anchor to
// (x, y), used as the mouse reports it (it may reach outside the frame). `picked` says
// whether the capture changed.
struct TPickEnd {
  bool Picked = false;
  std::optional<TRect> Erase;
};
TPickEnd PickMouseUp(TVideoState& state, int x, int y);

}  // namespace clipvane
