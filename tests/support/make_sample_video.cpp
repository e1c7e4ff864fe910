// make-sample-video CASE OUT: writes one of the container test videos (make-sample-video
// --list names them), for looking at by hand, comparing with ffmpeg and seeding the fuzzer.
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string>

#include "support/video_fixture_cases.h"

int main(int argc, char** argv) {
  using namespace clipvane::fixtures;
  if (argc == 2 && std::strcmp(argv[1], "--list") == 0) {
    for (const TContainerCase& entry : ContainerCases())
      std::printf("%s %s\n", entry.Name.c_str(), entry.FileName.c_str());
    return 0;
  }
  if (argc != 3) {
    std::fprintf(stderr, "usage: make-sample-video CASE OUT | --list\n");
    return 2;
  }
  const std::string target = argv[2];
  // The muxer is chosen by name, so the temporary file may keep any extension.
  const std::string temp = target + ".part";
  try {
    WriteFixtureVideo(temp, ContainerCase(argv[1]).Video);
    std::filesystem::rename(temp, target);
  } catch (const std::exception& error) {
    std::error_code ignored;
    std::filesystem::remove(temp, ignored);
    std::fprintf(stderr, "make-sample-video: %s\n", error.what());
    return 1;
  }
  return 0;
}
