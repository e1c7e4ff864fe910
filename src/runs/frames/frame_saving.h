// Saving extracted frames: the file format choice, the file names (base name + frame number
// + extension) and the writing of one frame or of the whole frames list.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/bitmap.h"
#include "core/video_state.h"

namespace clipvane {

enum class TSaveFormat { sfBMP, sfJPEG, sfTIFF, sfPNG };

struct TSaveOptions {
  TSaveFormat Format = TSaveFormat::sfBMP;
  int Quality = 50;                // JPEG only, 1 to 100
  std::string BaseName = "frame";  // the "Filename:" text
};

// ".bmp", ".jpg", ".tif" or ".png".
std::string_view SaveFormatExtension(TSaveFormat format);

// Digits of the frame numbers in the names of a video whose last frame is lastFrame:
// at least 4, more when lastFrame needs more, so that the names sort in frame order.
int FrameNumberDigits(int lastFrame);

// base + frame number zero-padded to FrameNumberDigits(lastFrame) + extension, e.g.
// "frame0042.bmp". Throws EClipvaneError when the base name holds a '/' or a NUL (it would
// write outside the chosen folder) or the frame number is negative.
std::string FrameFileName(std::string_view baseName, int frameNumber, int lastFrame, TSaveFormat format);

// Writes one frame as folder/name in the chosen format: BMP in the frame's own pixel format
// and colour table, JPEG at the chosen quality, TIFF (1-bit frames bilevel), PNG (a palette
// PNG of the frame's own depth and table for 1, 4 and 8 bits, else RGB). The file appears
// complete or not at all; an existing file of that name is replaced.
void SaveFrameFile(const TBitmap& frame, const std::string& path, const TSaveOptions& options);

// Writes every entry of the frames list into folder, in list order, and returns the paths
// written. Stops at the first failure with an error naming the file; the files written
// before it stay.
std::vector<std::string> SaveExtractedFrames(const std::vector<TExtractedFrame>& frames, int lastFrame,
                                             const std::string& folder, const TSaveOptions& options);

}  // namespace clipvane
