// Reading frames: every codec gives each frame by its number (exactly, for the lossless
// ones) in the decoder's natural pixel format, in any order of access, drop frames repeat
// the picture before them, and there is no frame past the last.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "core/error.h"
#include "support/avi_fixtures.h"
#include "video/avi_frame_reader.h"

namespace clipvane {
namespace {

using fixtures::TFixtureAvi;
using fixtures::TFixtureCodec;

std::string CodecTestName(const ::testing::TestParamInfo<TFixtureCodec>& param) {
  return fixtures::CodecName(param.param);
}
using fixtures::TTempFolder;

constexpr TFixtureCodec kAllCodecs[] = {
    TFixtureCodec::fcRawBgr24, TFixtureCodec::fcRawPal8,     TFixtureCodec::fcRawRgb555, TFixtureCodec::fcRawGray,
    TFixtureCodec::fcRawBgra,  TFixtureCodec::fcMsVideo1,    TFixtureCodec::fcCinepak,   TFixtureCodec::fcMjpeg,
    TFixtureCodec::fcMpeg4,    TFixtureCodec::fcMpeg4BFrames};

// The pixel format each codec's decoder hands over naturally.
TPixelFormat NaturalFormat(TFixtureCodec codec) {
  switch (codec) {
    case TFixtureCodec::fcRawPal8:
    case TFixtureCodec::fcRawGray:
      return TPixelFormat::pf8bit;
    case TFixtureCodec::fcRawRgb555:
    case TFixtureCodec::fcMsVideo1:
      return TPixelFormat::pf15bit;
    case TFixtureCodec::fcRawBgra:
      return TPixelFormat::pf32bit;
    default:
      return TPixelFormat::pf24bit;
  }
}

// Same size, format, colour table and colour of every pixel.
::testing::AssertionResult SamePicture(const TBitmap& expected, const TBitmap& actual) {
  if (expected.Width() != actual.Width() || expected.Height() != actual.Height())
    return ::testing::AssertionFailure() << "size " << actual.Width() << "x" << actual.Height();
  if (expected.PixelFormat() != actual.PixelFormat())
    return ::testing::AssertionFailure() << "pixel format " << static_cast<int>(actual.PixelFormat());
  if (expected.Palette() != actual.Palette()) return ::testing::AssertionFailure() << "colour table differs";
  for (int y = 0; y < expected.Height(); ++y)
    for (int x = 0; x < expected.Width(); ++x) {
      if (expected.GetPixel(x, y) != actual.GetPixel(x, y))
        return ::testing::AssertionFailure() << "pixel " << x << "," << y << " is " << std::hex << actual.GetPixel(x, y)
                                             << " instead of " << expected.GetPixel(x, y);
      if (IsPaletteFormat(expected.PixelFormat()) && expected.GetIndex(x, y) != actual.GetIndex(x, y))
        return ::testing::AssertionFailure() << "index at " << x << "," << y;
    }
  return ::testing::AssertionSuccess();
}

class AviReaderFrames : public ::testing::Test {
 protected:
  AviReaderFrames() : folder_(CLIPVANE_TEST_TMP) {}

  std::string Write(TFixtureCodec codec, int frames, int width = 64, int height = 48) {
    const std::string path =
        folder_.File(std::string(fixtures::CodecName(codec)) + std::to_string(counter_++) + ".avi");
    TFixtureAvi avi;
    avi.Codec = codec;
    avi.FrameCount = frames;
    avi.Width = width;
    avi.Height = height;
    fixtures::WriteFixtureAvi(path, avi);
    return path;
  }

  // Reads the frames in the given order and checks each shows its own number (and, for a
  // lossless codec, exactly the pixels written).
  void ExpectFramesInOrder(TFixtureCodec codec, const std::string& path, const std::vector<int>& order, int width = 64,
                           int height = 48) {
    TAviFrameReader reader;
    reader.Open(path);
    for (const int n : order) {
      ASSERT_TRUE(reader.ReadFrame(n)) << fixtures::CodecName(codec) << " frame " << n;
      const TBitmap& bitmap = reader.DecodeBitmap();
      ASSERT_EQ(fixtures::DecodeFrameNumber(bitmap), n) << fixtures::CodecName(codec) << " frame " << n;
      if (fixtures::IsLossless(codec)) {
        ASSERT_TRUE(SamePicture(fixtures::ExpectedFrame(codec, n, width, height), bitmap)) << "frame " << n;
      }
    }
  }

  TTempFolder folder_;
  int counter_ = 0;
};

class AviReaderCodec : public AviReaderFrames, public ::testing::WithParamInterface<TFixtureCodec> {};

TEST_P(AviReaderCodec, EveryFrameInOrderShowsItsNumber) {
  const TFixtureCodec codec = GetParam();
  std::vector<int> order(24);
  for (int i = 0; i < 24; ++i) order[static_cast<std::size_t>(i)] = i;
  ExpectFramesInOrder(codec, Write(codec, 24), order);
}

TEST_P(AviReaderCodec, GivesTheDecodersNaturalPixelFormat) {
  const TFixtureCodec codec = GetParam();
  TAviFrameReader reader;
  reader.Open(Write(codec, 3, 96, 64));
  ASSERT_TRUE(reader.ReadFrame(1));
  EXPECT_EQ(reader.DecodeBitmap().PixelFormat(), NaturalFormat(codec));
  EXPECT_EQ(reader.DecodeBitmap().Width(), 96);
  EXPECT_EQ(reader.DecodeBitmap().Height(), 64);
}

TEST_P(AviReaderCodec, ArbitraryAccessOrderGivesEachNumberedFrame) {
  const TFixtureCodec codec = GetParam();
  const std::string path = Write(codec, 100);
  ExpectFramesInOrder(codec, path, {37, 5, 6, 90, 0, 99, 98, 10, 9, 11, 50, 49, 51, 0, 1});
}

INSTANTIATE_TEST_SUITE_P(AllCodecs, AviReaderCodec, ::testing::ValuesIn(kAllCodecs), CodecTestName);

// The codecs whose frames depend on earlier ones, and the palettised one whose colour table
// arrives only with the first packet.
class AviReaderSeeking : public AviReaderFrames, public ::testing::WithParamInterface<TFixtureCodec> {};

TEST_P(AviReaderSeeking, BackwardsThroughEveryFrame) {
  const TFixtureCodec codec = GetParam();
  std::vector<int> order;
  for (int n = 59; n >= 0; --n) order.push_back(n);
  ExpectFramesInOrder(codec, Write(codec, 60), order);
}

TEST_P(AviReaderSeeking, ShuffledOrderOfEveryFrame) {
  const TFixtureCodec codec = GetParam();
  std::vector<int> order(60);
  for (int i = 0; i < 60; ++i) order[static_cast<std::size_t>(i)] = i;
  std::mt19937 random(12345);
  std::shuffle(order.begin(), order.end(), random);
  ExpectFramesInOrder(codec, Write(codec, 60), order);
}

TEST_P(AviReaderSeeking, StridesAndRepeats) {
  const TFixtureCodec codec = GetParam();
  const std::string path = Write(codec, 60);
  std::vector<int> order;
  for (int n = 0; n < 60; n += 7) order.push_back(n);
  for (int n = 3; n < 60; n += 13) order.insert(order.end(), {n, n});
  order.insert(order.end(), {59, 0, 59, 29, 30, 28});
  ExpectFramesInOrder(codec, path, order);
}

INSTANTIATE_TEST_SUITE_P(KeyFramesAndPalettes, AviReaderSeeking,
                         ::testing::Values(TFixtureCodec::fcRawPal8, TFixtureCodec::fcMpeg4,
                                           TFixtureCodec::fcMpeg4BFrames, TFixtureCodec::fcMsVideo1,
                                           TFixtureCodec::fcCinepak, TFixtureCodec::fcMjpeg),
                         CodecTestName);

TEST_F(AviReaderFrames, PalettisedFramesKeepTheStreamColoursAfterASeek) {
  const std::string path = Write(TFixtureCodec::fcRawPal8, 40);
  TAviFrameReader reader;
  reader.Open(path);
  // The first read already jumps: the decoder never saw the packet that carries the colours.
  for (const int n : {33, 2, 39, 0}) {
    ASSERT_TRUE(reader.ReadFrame(n));
    EXPECT_EQ(reader.DecodeBitmap().Palette(), fixtures::NumberPalette()) << "frame " << n;
  }
}

TEST_F(AviReaderFrames, StreamFormatHoldsTheStreamColourTable) {
  TAviFrameReader reader;
  reader.Open(Write(TFixtureCodec::fcRawPal8, 2));
  const auto format = reader.StreamFormat();
  ASSERT_EQ(format.size(), 40u + 256 * 4);
  EXPECT_EQ(format[32] | (format[33] << 8), 256);  // colours used
  EXPECT_EQ(format[14], 8);                        // bits per pixel
  const auto& palette = fixtures::NumberPalette();
  for (std::size_t i = 0; i < 256; ++i) {
    EXPECT_EQ(format[40 + 4 * i], palette[i].Blue);
    EXPECT_EQ(format[40 + 4 * i + 1], palette[i].Green);
    EXPECT_EQ(format[40 + 4 * i + 2], palette[i].Red);
  }
  reader.Open(Write(TFixtureCodec::fcRawBgr24, 2));
  ASSERT_EQ(reader.StreamFormat().size(), 40u);
  EXPECT_EQ(reader.StreamFormat()[32], 0);
}

TEST_F(AviReaderFrames, NoFramePastTheLast) {
  TAviFrameReader reader;
  reader.Open(Write(TFixtureCodec::fcMpeg4, 20));
  ASSERT_TRUE(reader.ReadFrame(7));
  const TBitmap before = reader.DecodeBitmap();
  EXPECT_FALSE(reader.ReadFrame(20));
  EXPECT_FALSE(reader.ReadFrame(1000000));
  EXPECT_FALSE(reader.ReadFrame(-1));
  EXPECT_EQ(reader.DecodeBitmap(), before);  // a false read leaves the last frame alone
  ASSERT_TRUE(reader.ReadFrame(19));
  EXPECT_EQ(fixtures::DecodeFrameNumber(reader.DecodeBitmap()), 19);
  EXPECT_FALSE(reader.ReadFrame(20));
  ASSERT_TRUE(reader.ReadFrame(0));
  EXPECT_EQ(fixtures::DecodeFrameNumber(reader.DecodeBitmap()), 0);
}

TEST_F(AviReaderFrames, NoFramePastTheLastWithBFrames) {
  TAviFrameReader reader;
  reader.Open(Write(TFixtureCodec::fcMpeg4BFrames, 23));
  for (int n = 0; n < 23; ++n) {
    ASSERT_TRUE(reader.ReadFrame(n));
    ASSERT_EQ(fixtures::DecodeFrameNumber(reader.DecodeBitmap()), n);
  }
  EXPECT_FALSE(reader.ReadFrame(23));
  ASSERT_TRUE(reader.ReadFrame(22));
  EXPECT_EQ(fixtures::DecodeFrameNumber(reader.DecodeBitmap()), 22);
}

TEST_F(AviReaderFrames, TheCallerMayChangeTheDecodeBitmapBetweenReads) {
  TAviFrameReader reader;
  reader.Open(Write(TFixtureCodec::fcRawPal8, 5));
  ASSERT_TRUE(reader.ReadFrame(2));
  reader.DecodeBitmap().SetPixelFormat(TPixelFormat::pf24bit);
  reader.DecodeBitmap().SetSize(10, 10);
  ASSERT_TRUE(reader.ReadFrame(2));  // the same frame again, rebuilt in full
  EXPECT_TRUE(SamePicture(fixtures::ExpectedFrame(TFixtureCodec::fcRawPal8, 2, 64, 48), reader.DecodeBitmap()));
}

// Records the key frames the reader seeks to.
class TSeekRecorder : public TAviReaderSeam {
 public:
  void Seeking(std::int64_t keyFrame) override { seeks.push_back(keyFrame); }
  std::vector<std::int64_t> seeks;
};

TEST_F(AviReaderFrames, ReadingForwardNeverSeeks) {
  TSeekRecorder seam;
  TAviFrameReader reader(&seam);
  reader.Open(Write(TFixtureCodec::fcMpeg4, 60));  // a key frame every 10 frames
  for (int n = 0; n < 60; ++n) ASSERT_TRUE(reader.ReadFrame(n));
  // Small steps forward decode on as well.
  reader.Open(Write(TFixtureCodec::fcMpeg4, 60));
  for (int n = 0; n < 60; n += 3) ASSERT_TRUE(reader.ReadFrame(n));
  EXPECT_TRUE(seam.seeks.empty());
}

TEST_F(AviReaderFrames, JumpsSeekToTheNearestEarlierKeyFrame) {
  TSeekRecorder seam;
  TAviFrameReader reader(&seam);
  reader.Open(Write(TFixtureCodec::fcMpeg4, 100));
  for (const int n : {37, 5, 6, 90, 0}) {
    ASSERT_TRUE(reader.ReadFrame(n));
    EXPECT_EQ(fixtures::DecodeFrameNumber(reader.DecodeBitmap()), n);
  }
  // 37 from 30; 5 back from 0; 6 decodes on; 90 from 90; 0 back from 0.
  EXPECT_EQ(seam.seeks, (std::vector<std::int64_t>{30, 0, 90, 0}));
}

TEST_F(AviReaderFrames, ReadingBackwardsDecodesEachGroupOnce) {
  TSeekRecorder seam;
  TAviFrameReader reader(&seam);
  reader.Open(Write(TFixtureCodec::fcMpeg4, 30));
  for (int n = 29; n >= 0; --n) {
    ASSERT_TRUE(reader.ReadFrame(n));
    ASSERT_EQ(fixtures::DecodeFrameNumber(reader.DecodeBitmap()), n);
  }
  // The pictures decoded on the way to a frame serve the frames before it.
  EXPECT_EQ(seam.seeks, (std::vector<std::int64_t>{20, 10, 0}));
}

class AviReaderDropFrames : public AviReaderFrames, public ::testing::WithParamInterface<TFixtureCodec> {};

TEST_P(AviReaderDropFrames, RepeatThePictureBeforeThem) {
  const std::string path = folder_.File("drops.avi");
  TFixtureAvi avi;
  avi.Codec = GetParam();
  avi.FrameCount = 30;
  avi.DroppedFrames = {5, 6, 12, 25};
  fixtures::WriteFixtureAvi(path, avi);
  // What each frame number shows: a dropped frame shows the picture before it.
  auto shown = [&](int n) {
    while (std::find(avi.DroppedFrames.begin(), avi.DroppedFrames.end(), n) != avi.DroppedFrames.end()) --n;
    return n;
  };
  std::vector<std::vector<int>> orders = {{}, {6, 5, 29, 12, 13, 25, 0, 7, 4, 26}};
  for (int n = 0; n < 30; ++n) orders[0].push_back(n);
  for (const auto& order : orders) {
    TAviFrameReader reader;
    reader.Open(path);
    for (const int n : order) {
      ASSERT_TRUE(reader.ReadFrame(n)) << "frame " << n;
      EXPECT_EQ(fixtures::DecodeFrameNumber(reader.DecodeBitmap()), shown(n)) << "frame " << n;
    }
    EXPECT_FALSE(reader.ReadFrame(30));
  }
}

INSTANTIATE_TEST_SUITE_P(RawAndMpeg4, AviReaderDropFrames,
                         ::testing::Values(TFixtureCodec::fcRawBgr24, TFixtureCodec::fcMpeg4), CodecTestName);

TEST_F(AviReaderFrames, SkipsTheAudioOfAnInterleavedFile) {
  const std::string path = folder_.File("with-audio.avi");
  TFixtureAvi avi;
  avi.Codec = TFixtureCodec::fcRawPal8;
  avi.FrameCount = 25;
  avi.WithAudio = true;
  fixtures::WriteFixtureAvi(path, avi);
  ExpectFramesInOrder(TFixtureCodec::fcRawPal8, path, {0, 1, 2, 24, 12, 3});
}

TEST_F(AviReaderFrames, OddSizesKeepTheirRowPadding) {
  // 37 pixels of 3 bytes need a padded row; the picture must not pick up stray bytes.
  const std::string path = Write(TFixtureCodec::fcRawBgr24, 3, 37, 23);
  ExpectFramesInOrder(TFixtureCodec::fcRawBgr24, path, {2, 0, 1}, 37, 23);
  TAviFrameReader reader;
  reader.Open(Write(TFixtureCodec::fcMpeg4, 3, 70, 50));
  ASSERT_TRUE(reader.ReadFrame(2));
  const TBitmap& bitmap = reader.DecodeBitmap();
  for (int y = 0; y < bitmap.Height(); ++y)
    for (std::size_t i = 70 * 3; i < bitmap.Stride(); ++i) ASSERT_EQ(bitmap.ScanLine(y)[i], 0) << "row " << y;
}

}  // namespace
}  // namespace clipvane
