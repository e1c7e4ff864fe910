// The zoom steps of the frame preview (25 % to 1600 %, doubling and halving) and which of its
// step and zoom buttons are usable.
#pragma once

namespace clipvane {

inline constexpr int kPreviewZoomMin = 25;
inline constexpr int kPreviewZoomMax = 1600;

// Double the zoom; at 1600 % or more it stays.
int PreviewZoomIn(int zoom);
// Halve the zoom (truncated); at 25 % or less it stays.
int PreviewZoomOut(int zoom);
inline bool CanPreviewZoomIn(int zoom) { return zoom < kPreviewZoomMax; }
inline bool CanPreviewZoomOut(int zoom) { return zoom > kPreviewZoomMin; }

// "Previous" and "Next" for the entry at `index` of a list of `count` entries.
inline bool CanPreviewPrevious(int index, int count) { return index > 0 && count > 0; }
inline bool CanPreviewNext(int index, int count) { return index < count - 1; }

}  // namespace clipvane
