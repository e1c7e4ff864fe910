// The test videos of every container the program reads, one table shared by the frame tests,
// the command-line tests, the fuzzing seeds and make-sample-video.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "support/video_fixtures.h"

namespace clipvane::fixtures {

struct TContainerCase {
  std::string Name;      // a test name: Mp4H264BFramesEditList, ...
  std::string FileName;  // with the extension users give such a file
  TFixtureVideo Video;
  std::string Container;  // as `clipvane-cli info` names it
  std::string Codec;
  // How `clipvane-cli info` says the pictures code their colours: what the stream and its
  // decoder say (no tags are written).
  std::string Colour = "matrix unspecified, transfer unspecified, primaries unspecified, limited range, 8 bits";
};

// gtest shows a case by its name.
inline void PrintTo(const TContainerCase& entry, std::ostream* out) { *out << entry.Name; }

// H.264 with B-frames and an edit list in MP4, open groups of pictures in Matroska, 10-bit
// HEVC, VP9 with hidden frames in WebM, MJPEG with audio in MOV, MPEG-2 in MPEG-TS, a variable
// frame rate, rotations of 90 and 270 degrees, non-square pixels.
std::vector<TContainerCase> ContainerCases();

// The case of that name; throws std::runtime_error for an unknown one.
TContainerCase ContainerCase(const std::string& name);

}  // namespace clipvane::fixtures
