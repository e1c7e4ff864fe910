// Capture region: "Full window" and the pick's mouse transitions.
#include "runs/gif/capture_region.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace clipvane {

namespace {

// |a - b| without overflow for coordinates anywhere in int.
int Distance(int a, int b) {
  const std::int64_t d = static_cast<std::int64_t>(a) - b;
  return static_cast<int>(std::min<std::int64_t>(d < 0 ? -d : d, std::numeric_limits<int>::max()));
}

TRect BandRect(const TVideoState& state) {
  return NormalizedRect(state.PickAnchorX, state.PickAnchorY, state.PickCornerX, state.PickCornerY);
}

}  // namespace

TRect NormalizedRect(int x1, int y1, int x2, int y2) {
  return TRect{std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
}

std::string CaptureWidthLabel(int width, bool afterPick) {
  return std::string(afterPick ? "Wigth = " : "Width = ") + std::to_string(width) + " pixels";
}

std::string CaptureHeightLabel(int height) { return "Height = " + std::to_string(height) + " pixels"; }

void SelectFullWindow(TVideoState& state) {
  state.CaptureWidth = state.FrameWidth;
  state.CaptureHeight = state.FrameHeight;
  state.CaptureRect = state.DisplayRect;
  state.PickAnchorX = state.DisplayRect.Left;
  state.PickAnchorY = state.DisplayRect.Top;
  state.PickCornerX = state.DisplayRect.Right;
  state.PickCornerY = state.DisplayRect.Bottom;
}

void ArmPick(TVideoState& state) { state.PickArmed = true; }

void PickWindowActivated(TVideoState& state) { state.PickDragging = false; }

bool PickMouseDown(TVideoState& state, int x, int y) {
  if (!state.PickArmed) return false;
  state.PickAnchorX = x;
  state.PickAnchorY = y;
  state.PickCornerX = kNoBand;
  state.PickDragging = true;
  return true;
}

TBandPaint PickMouseMove(TVideoState& state, int x, int y) {
  TBandPaint paint;
  if (!state.PickDragging) return paint;
  if (state.PickCornerX != kNoBand) paint.Erase = BandRect(state);
  state.PickCornerX = x;
  state.PickCornerY = y;
  paint.Draw = BandRect(state);
  return paint;
}

TPickEnd PickMouseUp(TVideoState& state, int x, int y) {
  TPickEnd end;
  if (!state.PickArmed) return end;
  if (state.PickCornerX != kNoBand) end.Erase = BandRect(state);
  state.PickDragging = false;
  state.PickArmed = false;
  state.PickCornerX = x;
  state.PickCornerY = y;
  state.CaptureWidth = Distance(x, state.PickAnchorX);
  state.CaptureHeight = Distance(y, state.PickAnchorY);
  state.CaptureRect = NormalizedRect(state.PickAnchorX, state.PickAnchorY, x, y);
  end.Picked = true;
  return end;
}

}  // namespace clipvane
