// clipvane-cli extract: the frames page's extraction and save in one go. Each frame is
// written as soon as it is converted and then freed, so memory stays flat however long
// the video is.
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>
#if defined(__GLIBC__)  // defined by the standard headers above
#include <malloc.h>
#endif

#include "cli/cli_command.h"
#include "cli/cli_output.h"
#include "core/error.h"
#include "core/video_state.h"
#include "runs/frames/extraction_run.h"
#include "runs/frames/frame_conversion.h"
#include "runs/frames/frame_file_writer.h"
#include "runs/frames/frame_saving.h"
#include "video/frame_source.h"
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

TExtractArguments Parse(const usage::TParsedArguments& arguments) {
  TExtractArguments parsed;
  if (const auto range = arguments.Text("--range")) {
    const auto bounds = ParseIntList("--range", *range, '-', 2);
    parsed.range = std::pair{bounds[0], bounds[1]};
  }
  const auto mode = arguments.Text("--mode");
  if (mode) parsed.mode = ColorModeFromText(*mode + " bit");
  if (const auto size = arguments.Text("--size")) {
    const auto sides = ParseIntList("--size", *size, 'x', 2);
    for (const int side : sides)
      if (side < 1 || side > kMaxSide) throw TUsageError{"--size takes sides from 1 to 10000, not \"" + *size + "\""};
    parsed.size = TFrameSize{sides[0], sides[1]};
  }
  parsed.width = arguments.Integer("--width");
  parsed.height = arguments.Integer("--height");
  if (const auto format = arguments.Text("--format")) {
    if (*format == "jpeg" || *format == "jpg") {
      parsed.save.Format = TSaveFormat::sfJPEG;
    } else if (*format == "tiff" || *format == "tif") {
      parsed.save.Format = TSaveFormat::sfTIFF;
    } else if (*format == "png") {
      parsed.save.Format = TSaveFormat::sfPNG;
    }
  }
  if (const auto quality = arguments.Integer("--quality")) parsed.save.Quality = *quality;
  if (const auto name = arguments.Text("--name")) {
    if (name->find('/') != std::string::npos) throw TUsageError{"--name takes a file name without '/'"};
    parsed.save.BaseName = *name;
  }
  if (arguments.Operands.size() != 2) throw TUsageError{"extract takes a video and an output folder"};
  parsed.video = arguments.Operands[0];
  parsed.folder = arguments.Operands[1];
  if (static_cast<int>(parsed.size.has_value()) + parsed.width.has_value() + parsed.height.has_value() > 1)
    throw TUsageError{"give only one of --size, --width and --height"};
  // The window offers TIFF only while "1 bit" is chosen.
  if (parsed.save.Format == TSaveFormat::sfTIFF && (!mode || parsed.mode != TColorMode::cm1bit))
    throw TUsageError{"--format tiff needs --mode 1"};
  return parsed;
}

// The output folder, made with its parents when missing; a file in its place is refused.
void PrepareFolder(const std::string& folder) {
  std::error_code error;
  if (std::filesystem::is_directory(folder, error)) return;
  if (std::filesystem::exists(folder, error))
    throw EClipvaneError("Output folder \"" + folder + "\" is a file, not a folder");
  std::filesystem::create_directories(folder, error);
  if (error || !std::filesystem::is_directory(folder))
    throw EClipvaneError("Cannot create the output folder \"" + folder + "\": " + error.message());
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

// Why a run wrote no frame: a range that holds none, one past the last frame, or frames the
// video could not give.
std::string WhyNothingWritten(const TVideoState& state, int frameCount) {
  const std::string first = std::to_string(state.RangeFirst), last = std::to_string(state.RangeLast);
  std::string why;
  if (state.RangeFirst > state.RangeLast) {
    why = "the range " + first + "-" + last + " holds no frame";
  } else if (frameCount == 0) {
    why = "the video has no frame";
  } else if (state.RangeFirst >= frameCount) {
    const std::string end = std::to_string(frameCount - 1);
    why = state.RangeFirst == state.RangeLast ? "frame " + first + " is past the last frame, " + end
                                              : "frames " + first + " to " + last + " are past the last frame, " + end;
  } else {
    why = "no frame from " + first + " to " + last + " could be read";
  }
  return why + "; no frame written";
}

int RunExtract(TCommandContext& context) {
  const TExtractArguments parsed = Parse(context.Arguments);
  KeepFrameBuffers();

  // The state as "Open AVI" fills it: the media device counts frames 0 to LastFrame, one
  // more than the stream holds, so the last read finds no frame and the run ends there.
  const TVideoInfo info = ForFile(parsed.video, [&] { return ProbeVideo(parsed.video, OpenProgress(context)); });
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
  if (parsed.width)
    size = CoupleFrameSize({*parsed.width, size.Height}, TSizeBox::sbWidth, info.FrameWidth, info.FrameHeight);
  if (parsed.height)
    size = CoupleFrameSize({size.Width, *parsed.height}, TSizeBox::sbHeight, info.FrameWidth, info.FrameHeight);
  if (size.Width < 1 || size.Height < 1)
    throw TUsageError{"the frame size " + std::to_string(size.Width) + "x" + std::to_string(size.Height) +
                      " has no pixels"};
  PrepareFolder(parsed.folder);

  const std::string prefix = parsed.folder.back() == '/' ? parsed.folder : parsed.folder + "/";
  const auto source = MakeFrameSourceFor(HdrModeOf(context.Arguments));
  std::vector<std::string> written;
  // The files are compressed on worker threads while the next frames are decoded.
  TFrameFileWriter writer(parsed.save, TFrameFileWriter::DefaultWorkers());
  const auto save = [&](int frameNumber, const TBitmap& frame) {
    std::string path = prefix + FrameFileName(parsed.save.BaseName, frameNumber, state.LastFrame, parsed.save.Format);
    writer.Write(frame, path);
    written.push_back(std::move(path));
  };
  // A failure while reading the video names it; one while saving names the file it writes.
  ForFile(parsed.video, [&] {
    StreamFrameExtraction(state, *source, {parsed.mode, [size] { return size; }}, context.Hooks, save);
  });
  writer.Finish();
  if (written.empty()) throw EClipvaneError("", parsed.video, WhyNothingWritten(state, info.FrameCount));
  const std::size_t count = written.size();
  context.Output.Summary(std::to_string(count) + (count == 1 ? " frame" : " frames") + " written to " + parsed.folder);
  if (context.Arguments.Has("--json"))
    context.Output.Json(TJsonObject()
                            .Add("folder", parsed.folder)
                            .Add("frames", static_cast<long long>(count))
                            .Add("width", size.Width)
                            .Add("height", size.Height)
                            .Add("files", written)
                            .Add("seconds", context.Seconds()));
  return 0;
}

}  // namespace

TCliCommand ExtractCommand() {
  using usage::TValueKind;
  return {{"extract",
           "VIDEO OUTDIR",
           "write chosen frames as BMP, JPEG, TIFF or PNG files",
           "Decodes the chosen frames, converts each to a colour mode and size, and writes it into OUTDIR as the "
           "\"frames extract\" page saves it: BASE, the frame number zero-padded to at least 4 digits, and .bmp, "
           ".jpg, .tif or .png. OUTDIR is created, with its parents, when it does not exist.",
           {FrameRangeOption("extract the frames FROM to TO only"),
            {.Name = "--mode",
             .Argument = "BITS",
             .Kind = TValueKind::vkChoice,
             .Choices = {"32", "24", "16", "15", "8", "4", "1"},
             .Default = "24",
             .Description = "colour mode of the pictures, in bits per pixel"},
            {.Name = "--size",
             .Argument = "WxH",
             .Kind = TValueKind::vkText,
             .RangeText = "sides from 1 to 10000",
             .Default = "the video's size",
             .Description = "scale every frame to W x H pixels"},
            {.Name = "--width",
             .Argument = "W",
             .Kind = TValueKind::vkInteger,
             .Low = 1,
             .High = kMaxSide,
             .Description = "scale every frame to W pixels wide, keeping the aspect ratio"},
            {.Name = "--height",
             .Argument = "H",
             .Kind = TValueKind::vkInteger,
             .Low = 1,
             .High = kMaxSide,
             .Description = "scale every frame to H pixels high, keeping the aspect ratio"},
            {.Name = "--format",
             .Argument = "FORMAT",
             .Kind = TValueKind::vkChoice,
             .Choices = {"bmp", "jpeg", "jpg", "tiff", "tif", "png"},
             .Default = "bmp",
             .Description = "file format; TIFF only with --mode 1; PNG keeps the colours of every mode (a "
                            "palette PNG for 8, 4 and 1)"},
            {.Name = "--quality",
             .Argument = "Q",
             .Kind = TValueKind::vkInteger,
             .Low = 1,
             .High = 100,
             .Default = "50",
             .Description = "JPEG quality"},
            {.Name = "--name",
             .Argument = "BASE",
             .Kind = TValueKind::vkText,
             .RangeText = "a file name without '/'",
             .Default = "frame",
             .Description = "start of every file name"},
            HdrOption(),
            JsonOption()},
           {{"extract clip.avi frames", "every frame as a 24-bit BMP: frames/frame0000.bmp, frames/frame0001.bmp, ..."},
            {"extract clip.avi stills --range 10-20 --format jpeg --quality 90 --width 160",
             "frames 10 to 20 as JPEG pictures 160 pixels wide"}}},
          RunExtract};
}

}  // namespace clipvane::cli
