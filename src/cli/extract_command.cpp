// clipvane-cli extract: the frames page's extraction and save in one go. Each frame is
// written as soon as it is converted and then freed, so memory stays flat however long
// the video is.
#include <sys/stat.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <algorithm>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_command.h"
#include "core/error.h"
#include "core/video_state.h"
#include "pages/frames/extraction_run.h"
#include "pages/frames/frame_conversion.h"
#include "pages/frames/frame_saving.h"
#include "video/video_probe.h"

namespace clipvane::cli {

namespace {

constexpr int kMaxSide = 10000;  // the limit of the window's "Width" and "Height" boxes

struct TExtractArguments {
  std::string video;
  std::string folder;
  std::optional<std::pair<int, int>> range;
  TColorMode mode = TColorMode::cm24bit;
  std::optional<TFrameSize> size;
  std::optional<int> width, height;
  TSaveOptions save;
};

TExtractArguments Parse(const std::vector<std::string>& args) {
  TExtractArguments parsed;
  std::vector<std::string> positional;
  bool modeGiven = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.rfind("--", 0) != 0) {
      positional.push_back(arg);
      continue;
    }
    if (i + 1 >= args.size()) throw TUsageError{arg + " needs a value"};
    const std::string& value = args[++i];
    if (arg == "--range") {
      const auto bounds = ParseIntList(arg, value, '-', 2);
      parsed.range = std::pair{bounds[0], bounds[1]};
    } else if (arg == "--mode") {
      static const char* const kModes[] = {"32", "24", "16", "15", "8", "4", "1"};
      if (std::find(std::begin(kModes), std::end(kModes), value) == std::end(kModes))
        throw TUsageError{"--mode takes 32, 24, 16, 15, 8, 4 or 1, not \"" + value + "\""};
      parsed.mode = ColorModeFromText(value + " bit");
      modeGiven = true;
    } else if (arg == "--size") {
      const auto sides = ParseIntList(arg, value, 'x', 2);
      for (const int side : sides)
        if (side < 1 || side > kMaxSide) throw TUsageError{"--size takes sides from 1 to 10000, not \"" + value + "\""};
      parsed.size = TFrameSize{sides[0], sides[1]};
    } else if (arg == "--width") {
      parsed.width = ParseIntOption(arg, value, 1, kMaxSide);
    } else if (arg == "--height") {
      parsed.height = ParseIntOption(arg, value, 1, kMaxSide);
    } else if (arg == "--format") {
      if (value == "bmp") {
        parsed.save.Format = TSaveFormat::sfBMP;
      } else if (value == "jpeg" || value == "jpg") {
        parsed.save.Format = TSaveFormat::sfJPEG;
      } else if (value == "tiff" || value == "tif") {
        parsed.save.Format = TSaveFormat::sfTIFF;
      } else {
        throw TUsageError{"--format takes bmp, jpeg or tiff, not \"" + value + "\""};
      }
    } else if (arg == "--quality") {
      parsed.save.Quality = ParseIntOption(arg, value, 1, 100);
    } else if (arg == "--name") {
      if (value.find('/') != std::string::npos) throw TUsageError{"--name takes a file name without '/'"};
      parsed.save.BaseName = value;
    } else {
      throw TUsageError{"unknown option " + arg};
    }
  }
  if (positional.size() != 2) throw TUsageError{"extract takes a video and an output folder"};
  parsed.video = positional[0];
  parsed.folder = positional[1];
  if (static_cast<int>(parsed.size.has_value()) + parsed.width.has_value() + parsed.height.has_value() > 1)
    throw TUsageError{"give only one of --size, --width and --height"};
  // The window offers TIFF only while "1 bit" is chosen.
  if (parsed.save.Format == TSaveFormat::sfTIFF && (!modeGiven || parsed.mode != TColorMode::cm1bit))
    throw TUsageError{"--format tiff needs --mode 1"};
  return parsed;
}

// Every frame allocates and frees the same few buffers of a frame's size. By default glibc
// hands such blocks back to the system and faults them in again for the next frame, which
// costs more than encoding the frame; keeping them costs at most one frame's worth.
void KeepFrameBuffers() {
#if defined(__GLIBC__)
  mallopt(M_MMAP_THRESHOLD, 64 << 20);
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
#endif
}

int RunExtract(const std::vector<std::string>& args, const TRunHooks& hooks) {
  const TExtractArguments parsed = Parse(args);
  KeepFrameBuffers();
  struct stat folderInfo {};
  if (::stat(parsed.folder.c_str(), &folderInfo) != 0 || !S_ISDIR(folderInfo.st_mode))
    throw EClipvaneError("Output folder \"" + parsed.folder + "\" does not exist or is not a folder");

  // The state as "Open AVI" fills it: the media device counts frames 0 to LastFrame, one
  // more than the stream holds, so the last read finds no frame and the run ends there.
  const TVideoInfo info = ProbeVideo(parsed.video);
  TVideoState state;
  state.FilePath = parsed.video;
  state.FrameWidth = info.FrameWidth;
  state.FrameHeight = info.FrameHeight;
  state.DisplayRect = TRect{0, 0, info.FrameWidth, info.FrameHeight};
  state.LengthMs = info.LengthMs;
  state.LastFrame = info.FrameCount;
  TickAllFrames(state);
  state.RangeFirst = 0;
  state.RangeLast = state.LastFrame;
  if (parsed.range) {
    const auto [from, to] = *parsed.range;
    if (from < 0 || from > state.LastFrame || to < 0 || to > state.LastFrame)
      throw TUsageError{"--range takes frame numbers from 0 to " + std::to_string(state.LastFrame)};
    ApplyFrameRange(state, from, to);
  }

  // The boxes start at the video's size; --width or --height is typed into one of them
  // with "Maintain aspect ratio" ticked.
  TFrameSize size{info.FrameWidth, info.FrameHeight};
  if (parsed.size) size = *parsed.size;
  if (parsed.width) size = CoupleFrameSize({*parsed.width, size.Height}, TSizeBox::sbWidth, info.FrameWidth, info.FrameHeight);
  if (parsed.height) size = CoupleFrameSize({size.Width, *parsed.height}, TSizeBox::sbHeight, info.FrameWidth, info.FrameHeight);
  if (size.Width < 1 || size.Height < 1)
    throw TUsageError{"the frame size " + std::to_string(size.Width) + "x" + std::to_string(size.Height) +
                      " has no pixels"};

  const std::string prefix = parsed.folder.back() == '/' ? parsed.folder : parsed.folder + "/";
  const auto source = MakeAviFrameSource();
  int written = 0;
  StreamFrameExtraction(state, *source, {parsed.mode, [size] { return size; }}, hooks,
                        [&](int frameNumber, const TBitmap& frame) {
                          const std::string path =
                              prefix + FrameFileName(parsed.save.BaseName, frameNumber, state.LastFrame, parsed.save.Format);
                          SaveFrameFile(frame, path, parsed.save);
                          ++written;
                        });
  std::cout << written << (written == 1 ? " frame" : " frames") << " written to " << parsed.folder << "\n";
  return 0;
}

const TCliCommandRegistration registration{TCliCommand{
    "extract",
    "VIDEO OUTDIR [--range FROM-TO] [--mode 32|24|16|15|8|4|1]\n"
    "        [--size WxH | --width W | --height H] [--format bmp|jpeg|tiff]\n"
    "        [--quality 1-100] [--name BASE]",
    RunExtract}};

}  // namespace

}  // namespace clipvane::cli
