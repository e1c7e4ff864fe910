// clipvane-cli frame VIDEO N OUT.bmp: frame N as the decoder gives it (8 bits with the
// stream's colours for a palettised video, 15 bits for 5-5-5 codecs, 24 bits for YUV ones).
#include <climits>
#include <memory>
#include <string>

#include "cli/cli_command.h"
#include "core/error.h"
#include "video/frame_source.h"

namespace clipvane::cli {

namespace {

int RunFrame(TCommandContext& context) {
  const auto& operands = context.Arguments.Operands;
  if (operands.size() != 3) throw TUsageError{"frame takes a video file, a frame number and a BMP file"};
  const int number = ParseWholeNumber("the frame number", operands[1], 0, INT_MAX);
  const std::string& video = operands[0];
  const std::unique_ptr<TFrameSource> reader = OpenFrameSource(video, nullptr, HdrModeOf(context.Arguments));
  if (!ForFile(video, [&] { return reader->ReadFrame(number); }))
    throw EClipvaneError("The video has no frame " + std::to_string(number), video,
                         "the video has no frame " + std::to_string(number));
  reader->DecodeBitmap().SaveToFile(operands[2]);
  reader->Close();
  return 0;
}

}  // namespace

TCliCommand FrameCommand() {
  return {{"frame",
           "VIDEO N OUT.bmp",
           "write one decoded frame as a BMP file",
           "Writes frame N (counting from 0) as the decoder gives it: 8 bits with the stream's colours for a "
           "palettised video, 15 bits for 5-5-5 codecs, 24 bits for the others.",
           {HdrOption()},
           {{"frame clip.avi 0 first.bmp", "the first frame"}}},
          RunFrame};
}

}  // namespace clipvane::cli
