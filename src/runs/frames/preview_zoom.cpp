// The zoom steps of the frame preview.
#include "runs/frames/preview_zoom.h"

namespace clipvane {

int PreviewZoomIn(int zoom) { return zoom >= kPreviewZoomMax ? zoom : zoom * 2; }

int PreviewZoomOut(int zoom) { return zoom <= kPreviewZoomMin ? zoom : zoom / 2; }

}  // namespace clipvane
