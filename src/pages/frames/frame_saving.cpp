// File names and writers of extracted frames.
#include "pages/frames/frame_saving.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <span>

#include "core/error.h"
#include "imageio/jpeg_writer.h"
#include "imageio/tiff_writer.h"

namespace clipvane {

std::string_view SaveFormatExtension(TSaveFormat format) {
  switch (format) {
    case TSaveFormat::sfJPEG: return ".jpg";
    case TSaveFormat::sfTIFF: return ".tif";
    case TSaveFormat::sfBMP: break;
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

void WriteFrameFile(const std::string& path, std::span<const std::uint8_t> data) {
  const std::size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
  std::string temp = folder + "/.clipvane-XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) throw EClipvaneError("Cannot create file \"" + path + "\": " + std::strerror(errno));
  int error = 0;
  std::size_t written = 0;
  while (written < data.size()) {
    const ssize_t n = ::write(fd, data.data() + written, data.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error = n < 0 ? errno : ENOSPC;
      break;
    }
    written += static_cast<std::size_t>(n);
  }
  if (::close(fd) != 0 && error == 0) error = errno;
  // mkstemp creates 0600; a saved picture should be readable like any other file.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  if (error == 0 && ::fchmodat(AT_FDCWD, temp.c_str(), 0666 & ~mask, 0) != 0) error = errno;
  if (error == 0 && std::rename(temp.c_str(), path.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(temp.c_str());
    throw EClipvaneError("Cannot write file \"" + path + "\": " + std::strerror(error));
  }
}

void SaveFrameFile(const TBitmap& frame, const std::string& path, const TSaveOptions& options) {
  std::vector<std::uint8_t> bytes;
  // Encoding errors say what failed but not where: add the file, as the user needs it.
  try {
    switch (options.Format) {
      case TSaveFormat::sfBMP: bytes = frame.SaveToBMP(); break;
      case TSaveFormat::sfJPEG: bytes = EncodeJPEG(frame, options.Quality); break;
      case TSaveFormat::sfTIFF: bytes = EncodeTIFF(frame); break;
    }
  } catch (const EClipvaneError& error) {
    throw EClipvaneError("Cannot write file \"" + path + "\": " + error.what());
  }
  WriteFrameFile(path, bytes);
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
