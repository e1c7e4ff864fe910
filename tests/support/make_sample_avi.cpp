// make-sample-avi OUT.avi: writes the sample video that `make run` opens: ten seconds of
// moving colourful shapes with the frame number, 320 x 240 at 25 frames a second, MPEG-4.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>

#include "support/avi_fixtures.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make-sample-avi OUT.avi\n");
    return 2;
  }
  using namespace clipvane::fixtures;
  const std::string target = argv[1];
  // Written beside the target and renamed, so an interrupted run leaves no half video behind.
  const std::string temp = target + ".part";
  try {
    TFixtureAvi avi;
    avi.Codec = TFixtureCodec::fcMpeg4;
    avi.Width = 320;
    avi.Height = 240;
    avi.FrameCount = 250;
    avi.KeyFrameInterval = 25;
    avi.Picture = TFixturePicture::fpSample;
    WriteFixtureAvi(temp, avi);
    std::filesystem::rename(temp, target);
  } catch (const std::exception& error) {
    std::error_code ignored;
    std::filesystem::remove(temp, ignored);
    std::fprintf(stderr, "make-sample-avi: %s\n", error.what());
    return 1;
  }
  return 0;
}
