// Opening and closing the AVI frame reader: the seven failure messages, each at its own
// failure point, and everything acquired released in the reverse order on every path.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "core/error.h"
#include "support/avi_fixtures.h"
#include "video/avi_frame_reader.h"

namespace clipvane {
namespace {

using fixtures::TFixtureAvi;
using fixtures::TFixtureCodec;
using fixtures::TTempFolder;
using R = TAviResource;

// Fails one chosen step and records what the reader acquires and releases.
class TRecordingSeam : public TAviReaderSeam {
 public:
  explicit TRecordingSeam(int failingStep = -1) : failingStep_(failingStep) {}
  bool FailStep(TAviOpenStep step) override { return static_cast<int>(step) == failingStep_; }
  void Acquired(TAviResource resource) override { acquired.push_back(resource); }
  void Released(TAviResource resource) override { released.push_back(resource); }

  std::vector<TAviResource> acquired;
  std::vector<TAviResource> released;

 private:
  int failingStep_;
};

std::string OpenMessage(TAviFrameReader& reader, const std::string& path) {
  try {
    reader.Open(path);
  } catch (const EClipvaneError& error) {
    return error.what();
  }
  return "";
}

// What has been acquired is released, exactly once, in the reverse order.
void ExpectReleasedInReverse(const TRecordingSeam& seam) {
  EXPECT_EQ(std::vector<TAviResource>(seam.acquired.rbegin(), seam.acquired.rend()), seam.released);
}

class AviReaderOpen : public ::testing::Test {
 protected:
  AviReaderOpen() : folder_(CLIPVANE_TEST_TMP) {}
  std::string GoodAvi() {
    const std::string path = folder_.File("good.avi");
    TFixtureAvi avi;
    avi.Codec = TFixtureCodec::fcMpeg4;
    avi.FrameCount = 12;
    fixtures::WriteFixtureAvi(path, avi);
    return path;
  }
  TTempFolder folder_;
};

TEST_F(AviReaderOpen, MissingFileFailsToOpenTheFile) {
  TRecordingSeam seam;
  TAviFrameReader reader(&seam);
  EXPECT_EQ(OpenMessage(reader, folder_.File("nothing-here.avi")), "Failed to open AVI file");
  EXPECT_FALSE(reader.IsOpen());
  EXPECT_EQ(seam.released, std::vector<TAviResource>{R::arLibrary});
  ExpectReleasedInReverse(seam);
}

TEST_F(AviReaderOpen, EmptyFileFailsToOpenTheFile) {
  const std::string path = folder_.File("empty.avi");
  fixtures::WriteEmptyFile(path);
  TAviFrameReader reader;
  EXPECT_EQ(OpenMessage(reader, path), "Failed to open AVI file");
  EXPECT_FALSE(reader.IsOpen());
}

TEST_F(AviReaderOpen, TextFileNamedAviFailsToOpenTheFile) {
  const std::string path = folder_.File("notes.avi");
  fixtures::WriteTextFile(path, "RIFF? No: these are just some notes about a holiday video.\n");
  TAviFrameReader reader;
  EXPECT_EQ(OpenMessage(reader, path), "Failed to open AVI file");
}

TEST_F(AviReaderOpen, AudioOnlyAviFailsToOpenTheStream) {
  const std::string path = folder_.File("audio.avi");
  fixtures::WriteAudioOnlyAvi(path);
  TRecordingSeam seam;
  TAviFrameReader reader(&seam);
  EXPECT_EQ(OpenMessage(reader, path), "Failed to open AVI stream");
  EXPECT_EQ(seam.released, (std::vector<TAviResource>{R::arFile, R::arLibrary}));
}

TEST_F(AviReaderOpen, UnknownCodecFailsToStartDecompression) {
  const std::string path = folder_.File("unknown-codec.avi");
  fixtures::WriteAviWithUnknownCodec(path);
  TRecordingSeam seam;
  TAviFrameReader reader(&seam);
  EXPECT_EQ(OpenMessage(reader, path), "Failed to start AVI decompression");
  // Streaming ended and the format buffer freed before the stream and the file.
  EXPECT_EQ(seam.released,
            (std::vector<TAviResource>{R::arStreaming, R::arFormatBuffer, R::arStream, R::arFile, R::arLibrary}));
}

TEST_F(AviReaderOpen, AbsurdFrameWidthFailsToGetTheFormat) {
  const std::string path = folder_.File("wide.avi");
  fixtures::WriteAviWithFrameWidth(path, 70000);
  TRecordingSeam seam;
  TAviFrameReader reader(&seam);
  EXPECT_EQ(OpenMessage(reader, path), "Failed to get AVI stream format");
  ExpectReleasedInReverse(seam);
}

TEST_F(AviReaderOpen, NegativeFrameWidthFailsToGetTheFormat) {
  const std::string path = folder_.File("negative.avi");
  fixtures::WriteAviWithFrameWidth(path, -64);
  TAviFrameReader reader;
  const std::string message = OpenMessage(reader, path);
  EXPECT_TRUE(message == "Failed to get AVI stream format" || message == "Failed to open AVI file") << message;
  EXPECT_FALSE(reader.IsOpen());
}

struct TStepCase {
  TAviOpenStep step;
  const char* message;
  std::vector<TAviResource> released;
};

class AviReaderFailingStep : public AviReaderOpen, public ::testing::WithParamInterface<TStepCase> {};

TEST_P(AviReaderFailingStep, RaisesItsMessageAfterReleasingWhatWasAcquired) {
  const TStepCase& c = GetParam();
  TRecordingSeam seam(static_cast<int>(c.step));
  TAviFrameReader reader(&seam);
  EXPECT_EQ(OpenMessage(reader, GoodAvi()), c.message);
  EXPECT_FALSE(reader.IsOpen());
  EXPECT_EQ(seam.released, c.released);
  ExpectReleasedInReverse(seam);
  // The reader can still open the file afterwards (a failed step leaves nothing behind).
  TAviFrameReader again;
  ASSERT_NO_THROW(again.Open(GoodAvi()));
  EXPECT_TRUE(again.ReadFrame(0));
}

std::vector<TStepCase> StepCases() {
  return {
      {TAviOpenStep::osOpenFile, "Failed to open AVI file", {R::arLibrary}},
      {TAviOpenStep::osOpenStream, "Failed to open AVI stream", {R::arFile, R::arLibrary}},
      {TAviOpenStep::osStreamInfo, "Failed to get AVI stream info", {R::arStream, R::arFile, R::arLibrary}},
      {TAviOpenStep::osFormatSize, "Failed to get AVI stream format size", {R::arStream, R::arFile, R::arLibrary}},
      {TAviOpenStep::osFormat,
       "Failed to get AVI stream format",
       {R::arFormatBuffer, R::arStream, R::arFile, R::arLibrary}},
      {TAviOpenStep::osBeginStreaming,
       "Failed to start AVI stream",
       {R::arFormatBuffer, R::arStream, R::arFile, R::arLibrary}},
      {TAviOpenStep::osDecompression,
       "Failed to start AVI decompression",
       {R::arStreaming, R::arFormatBuffer, R::arStream, R::arFile, R::arLibrary}},
  };
}

std::string StepName(const ::testing::TestParamInfo<TStepCase>& param) {
  const char* names[] = {"OpenFile", "OpenStream",     "StreamInfo",   "FormatSize",
                         "Format",   "BeginStreaming", "Decompression"};
  return names[static_cast<int>(param.param.step)];
}

INSTANTIATE_TEST_SUITE_P(EverySeam, AviReaderFailingStep, ::testing::ValuesIn(StepCases()), StepName);

TEST_F(AviReaderOpen, AcquiresInOrderAndCloseReleasesInReverse) {
  TRecordingSeam seam;
  TAviFrameReader reader(&seam);
  reader.Open(GoodAvi());
  EXPECT_EQ(seam.acquired,
            (std::vector<TAviResource>{R::arLibrary, R::arFile, R::arStream, R::arFormatBuffer, R::arStreaming,
                                       R::arDecompressor, R::arDecodeStream, R::arDecodeBitmap}));
  EXPECT_TRUE(seam.released.empty());
  ASSERT_TRUE(reader.ReadFrame(3));
  reader.Close();
  EXPECT_FALSE(reader.IsOpen());
  ExpectReleasedInReverse(seam);
  reader.Close();  // a second Close does nothing
  EXPECT_EQ(seam.released.size(), seam.acquired.size());
}

TEST_F(AviReaderOpen, DestroyingAnOpenReaderReleasesEverything) {
  TRecordingSeam seam;
  {
    TAviFrameReader reader(&seam);
    reader.Open(GoodAvi());
    ASSERT_TRUE(reader.ReadFrame(5));
  }
  ExpectReleasedInReverse(seam);
  EXPECT_EQ(seam.acquired.size(), 8u);
}

TEST_F(AviReaderOpen, AnErrorWhileReadingClosesTheReader) {
  class TFailingLoad : public TRecordingSeam {
   public:
    void LoadingFrame(int frameNumber) override {
      if (frameNumber == 4) throw EClipvaneError("Bitmap image is not valid");
    }
  } seam;
  TAviFrameReader reader(&seam);
  reader.Open(GoodAvi());
  ASSERT_TRUE(reader.ReadFrame(3));
  try {
    reader.ReadFrame(4);
    ADD_FAILURE() << "no error";
  } catch (const EClipvaneError& error) {
    EXPECT_STREQ(error.what(), "Bitmap image is not valid");
  }
  EXPECT_FALSE(reader.IsOpen());
  // Released completely, starting with the decode bitmap.
  EXPECT_EQ(seam.released.front(), R::arDecodeBitmap);
  ExpectReleasedInReverse(seam);
}

TEST_F(AviReaderOpen, ReadingAClosedReaderIsAnError) {
  TAviFrameReader reader;
  EXPECT_THROW(reader.ReadFrame(0), EClipvaneError);
  EXPECT_THROW(reader.DecodeBitmap(), EClipvaneError);
  EXPECT_TRUE(reader.StreamFormat().empty());
}

}  // namespace
}  // namespace clipvane
