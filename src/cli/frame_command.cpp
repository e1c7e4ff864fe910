// clipvane-cli frame VIDEO N OUT.bmp: frame N as the decoder gives it (8 bits with the
// stream's colours for a palettised video, 15 bits for 5-5-5 codecs, 24 bits for YUV ones).
#include <climits>
#include <string>
#include <vector>

#include "cli/cli_command.h"
#include "core/error.h"
#include "video/avi_frame_reader.h"

namespace clipvane::cli {

namespace {

int RunFrame(const std::vector<std::string>& args, const TRunHooks&) {
  if (args.size() != 3) throw TUsageError{"frame takes a video file, a frame number and a BMP file"};
  const int number = ParseIntOption("the frame number", args[1], 0, INT_MAX);
  TAviFrameReader reader;
  reader.Open(args[0]);
  if (!reader.ReadFrame(number)) throw EClipvaneError("The video has no frame " + std::to_string(number));
  reader.DecodeBitmap().SaveToFile(args[2]);
  reader.Close();
  return 0;
}

const TCliCommandRegistration registration{{"frame", "VIDEO N OUT.bmp", RunFrame}};

}  // namespace

}  // namespace clipvane::cli
