// File names and writers of extracted frames.
#include "runs/frames/frame_saving.h"

#include <algorithm>

#include "core/atomic_file.h"
#include "core/error.h"
#include "imageio/jpeg_writer.h"
#include "imageio/png_writer.h"
#include "imageio/tiff_writer.h"

namespace clipvane {

std::string_view SaveFormatExtension(TSaveFormat format) {
  switch (format) {
    case TSaveFormat::sfJPEG:
      return ".jpg";
    case TSaveFormat::sfTIFF:
      return ".tif";
    case TSaveFormat::sfPNG:
      return ".png";
    case TSaveFormat::sfBMP:
      break;
  }
  return ".bmp";
}

int FrameNumberDigits(int lastFrame) {
  int digits = 1;
  for (long long limit = 10; limit <= lastFrame; limit *= 10) ++digits;
  return std::max(digits, 4);
}

std::string FrameFileName(std::string_view baseName, int frameNumber, int lastFrame, TSaveFormat format) {
  if (baseName.find('/') != std::string_view::npos || baseName.find('\0') != std::string_view::npos)
    throw EClipvaneError("The file name \"" + std::string(baseName.substr(0, baseName.find('\0'))) +
                         "\" must not contain '/'");
  if (frameNumber < 0) throw EClipvaneError("Invalid frame number " + std::to_string(frameNumber));
  std::string number = std::to_string(frameNumber);
  const auto digits = static_cast<std::size_t>(FrameNumberDigits(std::max(lastFrame, frameNumber)));
  if (number.size() < digits) number.insert(0, digits - number.size(), '0');
  std::string name(baseName);
  name += number;
  name += SaveFormatExtension(format);
  return name;
}

void SaveFrameFile(const TBitmap& frame, const std::string& path, const TSaveOptions& options) {
  std::vector<std::uint8_t> bytes;
  // Encoding errors say what failed but not where: add the file, as the user needs it.
  try {
    switch (options.Format) {
      case TSaveFormat::sfBMP:
        bytes = frame.SaveToBMP();
        break;
      case TSaveFormat::sfJPEG:
        bytes = EncodeJPEG(frame, options.Quality);
        break;
      case TSaveFormat::sfTIFF:
        bytes = EncodeTIFF(frame);
        break;
      case TSaveFormat::sfPNG:
        bytes = EncodePNG(frame);
        break;
    }
  } catch (const EClipvaneError& error) {
    throw EClipvaneError("Cannot write file \"" + path + "\": " + error.what(), path,
                         "cannot be written: " + InWords(error.what()));
  }
  // A run writes hundreds of these: the system flushes them when it sees fit.
  WriteFileAtomically(path, bytes, TFileFlush::ffBySystem);
}

std::vector<std::string> SaveExtractedFrames(const std::vector<TExtractedFrame>& frames, int lastFrame,
                                             const std::string& folder, const TSaveOptions& options) {
  std::vector<std::string> written;
  const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
  for (const auto& entry : frames) {
    if (entry.Bitmap == nullptr) continue;
    const std::string path = prefix + FrameFileName(options.BaseName, entry.FrameNumber, lastFrame, options.Format);
    SaveFrameFile(*entry.Bitmap, path, options);
    written.push_back(path);
  }
  return written;
}

}  // namespace clipvane
