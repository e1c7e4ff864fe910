// clipvane-cli info VIDEO: the four lines of the "AVI file info" group, frame count and all,
// and for any other container what it is and how its pictures code their colours.
#include <cstdio>
#include <string>

#include "cli/cli_command.h"
#include "cli/cli_output.h"
#include "core/error.h"
#include "video/video_probe.h"

namespace clipvane::cli {

namespace {

std::string RangeName(const TVideoColour& colour) { return colour.FullRange ? "full" : "limited"; }

// "matrix bt709, transfer bt709, primaries bt709, limited range, 8 bits", and ", HDR (PQ)"
// for an HDR video.
std::string ColourText(const TVideoColour& colour) {
  std::string text = "matrix " + colour.Matrix + ", transfer " + colour.Transfer + ", primaries " + colour.Primaries +
                     ", " + RangeName(colour) + " range, " + std::to_string(colour.BitDepth) + " bits";
  if (!colour.Hdr.empty()) text += ", HDR (" + colour.Hdr + ")";
  return text;
}

int RunInfo(TCommandContext& context) {
  const auto& operands = context.Arguments.Operands;
  if (operands.size() != 1) throw TUsageError{"info takes one video file"};
  const TVideoInfo info = ForFile(operands[0], [&] { return ProbeVideo(operands[0], OpenProgress(context)); });
  // An AVI shows the window's four lines alone; any other container says what it is, and
  // how the picture it codes differs from the one shown.
  const bool coded = !info.IsAvi && (info.CodedWidth != info.FrameWidth || info.CodedHeight != info.FrameHeight);
  if (context.Arguments.Has("--json")) {
    TJsonObject json;
    json.Add("file", operands[0])
        .Add("width", info.FrameWidth)
        .Add("height", info.FrameHeight)
        .Add("frames", info.FrameCount)
        .Add("length_ms", info.LengthMs);
    if (!info.IsAvi) json.Add("format", info.Container).Add("codec", info.Codec);
    if (coded) json.Add("coded_width", info.CodedWidth).Add("coded_height", info.CodedHeight);
    if (!info.IsAvi && info.Rotation != 0) json.Add("rotation", info.Rotation);
    if (!info.IsAvi)
      json.Add("matrix", info.Colour.Matrix)
          .Add("transfer", info.Colour.Transfer)
          .Add("primaries", info.Colour.Primaries)
          .Add("range", RangeName(info.Colour))
          .Add("bit_depth", info.Colour.BitDepth)
          .Add("hdr", info.Colour.Hdr.empty() ? "none" : info.Colour.Hdr);
    context.Output.Json(json.Add("seconds", context.Seconds()));
    return 0;
  }
  char length[32];
  std::snprintf(length, sizeof length, "%.1f", info.LengthMs / 1000.0);
  // The true number of frames: frames 0 to FrameCount - 1.
  std::string text = "Frame width: " + std::to_string(info.FrameWidth) + " pixels\n" +
                     "Frame height: " + std::to_string(info.FrameHeight) + " pixels\n" +
                     "Frames count: " + std::to_string(info.FrameCount) + "\n" + "Time length: " + length + " s\n";
  if (!info.IsAvi) text += "Format: " + info.Container + ", " + info.Codec + "\n";
  if (coded)
    text += "Coded size: " + std::to_string(info.CodedWidth) + " x " + std::to_string(info.CodedHeight) + " pixels\n";
  if (!info.IsAvi && info.Rotation != 0) text += "Rotation: " + std::to_string(info.Rotation) + " degrees clockwise\n";
  if (!info.IsAvi) text += "Colour: " + ColourText(info.Colour) + "\n";
  context.Output.Result(text);
  return 0;
}

}  // namespace

TCliCommand InfoCommand() {
  return {{"info",
           "VIDEO",
           "print a video's frame size, frame count and length",
           "Prints the four lines of the window's \"AVI file info\" group: frame width and height in "
           "pixels (as shown: upright, square pixels), the number of frames and the length in seconds. "
           "For any video other than an AVI, a line with the container and codec (\"Format: mp4, h264\") "
           "follows, lines with the coded size and the rotation where they differ from what is shown, and a "
           "line with how the pictures code their colours (\"Colour: matrix bt2020nc, transfer arib-std-b67, "
           "primaries bt2020, limited range, 10 bits, HDR (HLG)\"); the pictures of an HDR video are made SDR.",
           {JsonOption()},
           {{"info clip.avi", ""},
            {"info phone.mp4", "the size shown upright, the container, codec, rotation and colours"},
            {"info --json clip.avi", "the same as one JSON object, with the length in ms"}}},
          RunInfo};
}

}  // namespace clipvane::cli
