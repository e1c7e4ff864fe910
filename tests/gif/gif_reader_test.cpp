// Loading GIF streams: round trips through our writer with both encoders, GIFs written by
// giflib, and every warning and error of the load.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "gif/gif_image.h"
#include "gif/gif_reader.h"
#include "gif/gif_writer.h"
#include "gif_test_support.h"

namespace clipvane {
namespace {

using gif_test::DistinctPalette;
using gif_test::NoiseIndices;
using gif_test::SaveToBytes;
using Bytes = std::vector<std::uint8_t>;

struct TLoadLog {
  std::vector<std::string> Warnings;
  std::vector<std::pair<int, int>> Progress;
  void Attach(TGIFImage& image) {
    image.OnWarning = [this](TGIFPersistent*, int, const std::string& message) { Warnings.push_back(message); };
    image.OnProgress = [this](TGIFPersistent*, TProgressStage stage, int percent, bool, const TRect&,
                              const std::string& message) {
      EXPECT_EQ(message, "Loading...");
      Progress.emplace_back(stage, percent);
    };
  }
};

void Load(TGIFImage& image, const Bytes& bytes) {
  TGIFSpanStream stream(bytes);
  image.LoadFromStream(stream);
}

std::string LoadError(const Bytes& bytes, TLoadLog* log = nullptr) {
  TGIFImage image;
  if (log != nullptr) log->Attach(image);
  try {
    Load(image, bytes);
  } catch (const GIFException& error) {
    return error.what();
  }
  return "";
}

// A GIF of one w x h frame with a 4-entry local table and the given image data bytes
// (code size byte, sub-blocks, terminator), then the trailer.
Bytes OneFrameGif(int width, int height, const Bytes& imageData, const Bytes& extensions = {}) {
  Bytes bytes = {'G',
                 'I',
                 'F',
                 '8',
                 '9',
                 'a',
                 static_cast<std::uint8_t>(width),
                 static_cast<std::uint8_t>(width >> 8),
                 static_cast<std::uint8_t>(height),
                 static_cast<std::uint8_t>(height >> 8),
                 0x11,
                 0,
                 0};
  bytes.insert(bytes.end(), extensions.begin(), extensions.end());
  const Bytes descriptor = {0x2C,
                            0,
                            0,
                            0,
                            0,
                            static_cast<std::uint8_t>(width),
                            static_cast<std::uint8_t>(width >> 8),
                            static_cast<std::uint8_t>(height),
                            static_cast<std::uint8_t>(height >> 8),
                            0x81};
  bytes.insert(bytes.end(), descriptor.begin(), descriptor.end());
  for (int i = 0; i < 4; ++i) bytes.insert(bytes.end(), {static_cast<std::uint8_t>(i * 60), 0, 0});
  bytes.insert(bytes.end(), imageData.begin(), imageData.end());
  bytes.push_back(0x3B);
  return bytes;
}

// Codes packed as a GIF encoder would, with the given widths, as one image data block.
Bytes PackCodes(int codeSize, const std::vector<std::pair<int, int>>& codesAndWidths) {
  Bytes packed;
  std::uint32_t bucket = 0;
  int held = 0;
  for (auto [code, width] : codesAndWidths) {
    bucket |= static_cast<std::uint32_t>(code) << held;
    held += width;
    while (held >= 8) {
      packed.push_back(static_cast<std::uint8_t>(bucket));
      bucket >>= 8;
      held -= 8;
    }
  }
  if (held > 0) packed.push_back(static_cast<std::uint8_t>(bucket));
  Bytes data = {static_cast<std::uint8_t>(codeSize), static_cast<std::uint8_t>(packed.size())};
  data.insert(data.end(), packed.begin(), packed.end());
  data.push_back(0);
  return data;
}

// A stream holds 2^b entries of a table: the loaded one is the written one and zero triples.
bool SameTable(std::span<const TGIFColor> written, std::span<const TGIFColor> loaded) {
  return loaded.size() >= written.size() && std::equal(written.begin(), written.end(), loaded.begin()) &&
         std::all_of(loaded.begin() + static_cast<std::ptrdiff_t>(written.size()), loaded.end(),
                     [](const TGIFColor& c) { return c == TGIFColor{}; });
}

void ExpectSameDocument(const TGIFImage& a, const TGIFImage& b) {
  EXPECT_EQ(a.Width(), b.Width());
  EXPECT_EQ(a.Height(), b.Height());
  EXPECT_TRUE(SameTable(a.Header().ColorMap().Entries(), b.Header().ColorMap().Entries()));
  ASSERT_EQ(a.Images().Count(), b.Images().Count());
  for (int i = 0; i < a.Images().Count(); ++i) {
    const TGIFSubImage& fa = *a.Images()[i];
    const TGIFSubImage& fb = *b.Images()[i];
    SCOPED_TRACE(i);
    EXPECT_EQ(fa.Left(), fb.Left());
    EXPECT_EQ(fa.Top(), fb.Top());
    EXPECT_EQ(fa.Width(), fb.Width());
    EXPECT_EQ(fa.Height(), fb.Height());
    EXPECT_EQ(fa.Interlaced(), fb.Interlaced());
    EXPECT_EQ(Bytes(fa.Data(), fa.Data() + fa.DataSize()), Bytes(fb.Data(), fb.Data() + fb.DataSize()));
    EXPECT_TRUE(SameTable(fa.ColorMap().Entries(), fb.ColorMap().Entries()));
    EXPECT_EQ(fa.Transparent(), fb.Transparent());
    ASSERT_EQ(fa.Extensions().Count(), fb.Extensions().Count());
    for (int e = 0; e < fa.Extensions().Count(); ++e) {
      const TGIFExtension& ea = *fa.Extensions()[e];
      const TGIFExtension& eb = *fb.Extensions()[e];
      EXPECT_EQ(typeid(ea), typeid(eb));
      TGIFMemoryStream sa;
      TGIFMemoryStream sb;
      ea.SaveToStream(sa);
      eb.SaveToStream(sb);
      EXPECT_EQ(sa.Bytes(), sb.Bytes());
    }
  }
}

TEST(GifRoundTrip, OurWriterThenOurReaderGivesTheSameDocument) {
  for (TGIFEncoding encoding : {encLZW, encRLE}) {
    SCOPED_TRACE(static_cast<int>(encoding));
    TGIFImage original;
    gif_test::BuildSampleAnimation(original);
    original.Encoding = encoding;
    const Bytes bytes = SaveToBytes(original);
    TGIFImage loaded;
    TLoadLog log;
    log.Attach(loaded);
    Load(loaded, bytes);
    EXPECT_TRUE(log.Warnings.empty());
    ExpectSameDocument(original, loaded);
    // Types of the blocks as the registries chose them.
    EXPECT_NE(dynamic_cast<const TGIFAppExtNSLoop*>(loaded.Images()[0]->Extensions()[1]), nullptr);
    EXPECT_NE(dynamic_cast<const TGIFCommentExtension*>(loaded.Images()[0]->Extensions()[2]), nullptr);
    EXPECT_NE(dynamic_cast<const TGIFUnknownAppExtension*>(loaded.Images()[2]->Extensions()[0]), nullptr);
    EXPECT_TRUE(loaded.Images()[1]->Transparent());
    EXPECT_EQ(loaded.Images()[1]->GraphicControlExtension()->TransparentColorIndex(), 3);
    loaded.Encoding = encoding;
    loaded.OnProgress = nullptr;
    EXPECT_EQ(SaveToBytes(loaded), bytes);
    ASSERT_FALSE(log.Progress.empty());
    EXPECT_EQ(log.Progress.front(), (std::pair<int, int>{psStarting, 0}));
    EXPECT_EQ(log.Progress.back(), (std::pair<int, int>{psEnding, 100}));
  }
}

TEST(GifRoundTrip, PagesDocumentOfTrueColourFrames) {
  TGIFImage original;
  original.ReductionMethod = reduceOctreeSystem;
  original.DitherKind = ditherFloydSteinberg;
  for (int i = 0; i < 3; ++i) {
    TBitmap bitmap(64, 48, TPixelFormat::pf24bit);
    for (int y = 0; y < 48; ++y)
      for (int x = 0; x < 64; ++x) bitmap.SetPixel(x, y, RGB(x * 4 + i * 20, y * 5, (x + y) * 2));
    original.AddFrame(bitmap);
    auto control = std::make_unique<TGIFGraphicControlExtension>(original.Images()[i]);
    control->SetDelay(4);
    original.Images()[i]->Extensions().Add(std::move(control));
  }
  gif_test::AddLoop(original, 0);
  const Bytes bytes = SaveToBytes(original);
  gif_test::ExpectGiflibAgrees(original, bytes);
  TGIFImage loaded;
  Load(loaded, bytes);
  EXPECT_EQ(loaded.Images().Count(), 3);
  EXPECT_EQ(SaveToBytes(loaded), bytes);
}

TEST(GifReaderAgainstGiflib, ReadsWhatGiflibWrites) {
  gif_test::TDecodedGif wanted;
  wanted.Width = 50;
  wanted.Height = 40;
  wanted.GlobalColors = std::vector<TGIFColor>(8);
  for (std::size_t i = 0; i < 8; ++i) wanted.GlobalColors[i] = {static_cast<std::uint8_t>(i * 30), 7, 9};
  wanted.LoopCount = 5;
  int seed = 1;
  for (auto [w, h, interlaced, colours] : {std::tuple{50, 40, false, 0}, std::tuple{13, 11, true, 0},
                                           std::tuple{50, 40, true, 256}, std::tuple{7, 3, false, 2}}) {
    gif_test::TDecodedFrame frame;
    frame.Left = 50 - w;
    frame.Top = 40 - h;
    frame.Width = w;
    frame.Height = h;
    frame.Interlaced = interlaced;
    const int limit = colours == 0 ? 8 : colours;
    frame.Pixels = NoiseIndices(static_cast<std::size_t>(w * h), limit, static_cast<std::uint32_t>(seed++));
    for (int i = 0; i < colours; ++i) frame.LocalColors.push_back({static_cast<std::uint8_t>(i), 1, 2});
    frame.Delay = 3 * seed;
    frame.Disposal = seed % 4;
    frame.TransparentIndex = seed % 2 == 0 ? 1 : -1;
    wanted.Frames.push_back(frame);
  }
  const Bytes bytes = gif_test::EncodeWithGiflib(wanted);
  gif_test::TDecodedGif decoded;
  int error = 0;
  ASSERT_TRUE(gif_test::DecodeWithGiflib(bytes, decoded, error));
  // giflib gives back the rows the fixture wrote, interlaced ones included.
  ASSERT_EQ(decoded.Frames.size(), wanted.Frames.size());
  for (std::size_t i = 0; i < wanted.Frames.size(); ++i)
    EXPECT_EQ(decoded.Frames[i].Pixels, wanted.Frames[i].Pixels) << i;
  TGIFImage image;
  TLoadLog log;
  log.Attach(image);
  Load(image, bytes);
  EXPECT_TRUE(log.Warnings.empty());
  gif_test::ExpectSameAsGiflib(image, decoded);
}

TEST(GifReaderHeader, SignatureMayFollowFourBytes) {
  Bytes bytes = gif_test::SampleAnimation();
  bytes.insert(bytes.begin(), {1, 2, 3, 4});
  TGIFImage image;
  Load(image, bytes);
  EXPECT_EQ(image.Images().Count(), 3);
  Bytes lower = gif_test::SampleAnimation();
  lower[0] = 'g';
  lower[2] = 'f';
  TGIFImage second;
  Load(second, lower);
  EXPECT_EQ(second.Images().Count(), 3);
}

TEST(GifReaderHeader, OtherSignaturesAreRefused) {
  EXPECT_EQ(LoadError({'G', 'I', 'X', '8', '9', 'a', 0, 0, 0, 0, 0, 0, 0, 0x3B}), "Invalid GIF signature");
  EXPECT_EQ(LoadError({}), "Invalid GIF signature");
  EXPECT_EQ(LoadError({'G', 'I', 'F', '8', '9', 'a', 1, 0}), "Premature end of data");
}

TEST(GifReaderWarnings, MissingTrailerAndUnknownBlock) {
  Bytes bytes = gif_test::SampleAnimation();
  bytes.pop_back();
  TLoadLog log;
  TGIFImage image;
  log.Attach(image);
  Load(image, bytes);
  EXPECT_EQ(image.Images().Count(), 3);
  EXPECT_EQ(log.Warnings, std::vector<std::string>{"Invalid Image trailer"});

  bytes.push_back(0x99);
  log.Warnings.clear();
  Load(image, bytes);
  EXPECT_EQ(image.Images().Count(), 3);
  EXPECT_EQ(log.Warnings, (std::vector<std::string>{"Unknown GIF block type", "Invalid Image trailer"}));
}

TEST(GifReaderWarnings, ZeroSizedFrameTakesTheScreenSize) {
  TLoadLog log;
  TGIFImage image;
  log.Attach(image);
  Bytes bytes = OneFrameGif(3, 2, PackCodes(2, {{4, 3}, {1, 3}, {1, 3}, {2, 3}, {5, 4}}));
  bytes[13 + 5] = 0;  // frame width 0
  Load(image, bytes);
  ASSERT_EQ(image.Images().Count(), 1);
  EXPECT_EQ(image.Images()[0]->Width(), 3);
  EXPECT_EQ(image.Images()[0]->Height(), 2);
  EXPECT_EQ(log.Warnings, std::vector<std::string>{"Image exceeds Logical Screen size"});
}

TEST(GifReaderWarnings, StrayByteAfterExtensions) {
  const Bytes comment = {0x21, 0xFE, 1, 'x', 0, 0x77};
  Bytes bytes = OneFrameGif(1, 1, PackCodes(2, {{4, 3}, {1, 3}, {5, 3}}), comment);
  TLoadLog log;
  TGIFImage image;
  log.Attach(image);
  Load(image, bytes);
  EXPECT_EQ(log.Warnings, (std::vector<std::string>{"Invalid extension introducer", "Unknown GIF block type",
                                                    "Invalid Image trailer"}));
  ASSERT_EQ(image.Images().Count(), 1);
  EXPECT_TRUE(image.Images()[0]->Empty());
}

TEST(GifReaderImageData, DecodesCodesOfGrowingWidth) {
  // Literals 1, 2, the string 6 (1 2), then 8 at 4 bits: the entry being made (1 2 1).
  const Bytes data = PackCodes(2, {{4, 3}, {1, 3}, {2, 3}, {6, 3}, {8, 4}, {5, 4}});
  TGIFImage image;
  TLoadLog log;
  log.Attach(image);
  Load(image, OneFrameGif(9, 1, data));
  ASSERT_EQ(image.Images().Count(), 1);
  const TGIFSubImage& frame = *image.Images()[0];
  EXPECT_EQ(Bytes(frame.Data(), frame.Data() + 9), (Bytes{1, 2, 1, 2, 1, 2, 1, 0, 0}));
  EXPECT_EQ(log.Warnings, std::vector<std::string>{});
}

TEST(GifReaderImageData, BitUnderrunAndShortSubBlockAreWarnings) {
  TLoadLog log;
  TGIFImage image;
  log.Attach(image);
  // No end code: the bits run out before the eight pixels are there.
  Load(image, OneFrameGif(8, 1, PackCodes(2, {{4, 3}, {3, 3}, {3, 3}})));
  EXPECT_EQ(log.Warnings, std::vector<std::string>{"Decoder bit buffer under-run"});
  EXPECT_EQ(image.Images()[0]->Pixel(0, 0), 3);
  EXPECT_EQ(image.Images()[0]->Pixel(1, 0), 3);

  // A sub-block claiming 200 bytes at the end of the stream.
  Bytes bytes = OneFrameGif(4, 1, {2, 200, 0x8C});
  bytes.pop_back();
  log.Warnings.clear();
  Load(image, bytes);
  EXPECT_EQ(log.Warnings, (std::vector<std::string>{"Premature end of data", "Decoder bit buffer under-run",
                                                    "Invalid Image trailer"}));
}

TEST(GifReaderImageData, TransparentFramesAreFilledWithTheTransparentIndex) {
  const Bytes control = {0x21, 0xF9, 4, 0x01, 0, 0, 2, 0};
  TGIFImage image;
  Load(image, OneFrameGif(4, 1, PackCodes(2, {{4, 3}, {1, 3}, {5, 3}}), control));
  EXPECT_TRUE(image.Images()[0]->Transparent());
  EXPECT_EQ(Bytes(image.Images()[0]->Data(), image.Images()[0]->Data() + 4), (Bytes{1, 2, 2, 2}));
}

TEST(GifReaderImageData, UndefinedCodesAreCircularEntries) {
  // 7 is not defined right after a clear, nor later while 6 is the next free entry.
  EXPECT_EQ(LoadError(OneFrameGif(4, 1, PackCodes(2, {{4, 3}, {7, 3}, {5, 3}}))), "Circular decoder table entry");
  EXPECT_EQ(LoadError(OneFrameGif(4, 1, PackCodes(2, {{4, 3}, {1, 3}, {7, 3}, {5, 3}}))),
            "Circular decoder table entry");
  EXPECT_EQ(LoadError(OneFrameGif(4, 1, {9, 1, 0, 0})), "Invalid LZW code size");
}

TEST(GifReaderImageData, DataAfterTheEndCodeIsSkipped) {
  Bytes data = PackCodes(2, {{4, 3}, {1, 3}, {5, 3}});
  data.pop_back();
  data.insert(data.end(), {3, 0xFF, 0xFF, 0xFF, 0});
  TLoadLog log;
  TGIFImage image;
  log.Attach(image);
  Load(image, OneFrameGif(2, 1, data));
  EXPECT_TRUE(log.Warnings.empty());
  EXPECT_EQ(image.Images()[0]->Pixel(0, 0), 1);
}

TEST(GifReaderLimits, HugeFramesWithoutDataAreRefused) {
  TLoadLog log;
  EXPECT_EQ(LoadError(OneFrameGif(65535, 65535, {2, 0}), &log), "Premature end of data");
  // A large frame whose data could fill it is allocated.
  TGIFImage image;
  Bytes data = {2};
  for (int i = 0; i < 100; ++i) {
    data.push_back(255);
    data.insert(data.end(), 255, 0);
  }
  data.push_back(0);
  Load(image, OneFrameGif(1500, 1000, data));
  EXPECT_EQ(image.Images()[0]->DataSize(), 1500u * 1000u);
}

TEST(GifReaderExtensions, ApplicationBlockSizes) {
  TLoadLog log;
  Bytes ten = {0x21, 0xFF, 10, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', 0};
  TGIFImage image;
  log.Attach(image);
  Load(image, OneFrameGif(1, 1, PackCodes(2, {{4, 3}, {1, 3}, {5, 3}}), ten));
  const auto* unknown = dynamic_cast<const TGIFUnknownAppExtension*>(image.Images()[0]->Extensions()[0]);
  ASSERT_NE(unknown, nullptr);
  EXPECT_EQ(unknown->Identifier, TGIFApplicationIdentifier{});

  Bytes nine = {0x21, 0xFF, 9, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', 0};
  EXPECT_EQ(LoadError(OneFrameGif(1, 1, PackCodes(2, {{4, 3}, {1, 3}, {5, 3}}), nine)),
            "Unsupported Application Extension block size");

  Bytes twelve = {0x21, 0xFF, 12, 'A', 'N', 'I', 'M', 'E', 'X', 'T', 'S', '1', '.', '0', '!', 3, 1, 7, 0, 0};
  Load(image, OneFrameGif(1, 1, PackCodes(2, {{4, 3}, {1, 3}, {5, 3}}), twelve));
  const auto* loop = dynamic_cast<const TGIFAppExtNSLoop*>(image.Images()[0]->Extensions()[0]);
  ASSERT_NE(loop, nullptr);
  EXPECT_EQ(loop->LoopCount, 7);
}

TEST(GifReaderExtensions, LoopingSubBlocks) {
  auto loopGif = [](const Bytes& subBlocks) {
    Bytes block = {0x21, 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
    block.insert(block.end(), subBlocks.begin(), subBlocks.end());
    return OneFrameGif(1, 1, PackCodes(2, {{4, 3}, {1, 3}, {5, 3}}), block);
  };
  EXPECT_EQ(LoadError(loopGif({2, 1, 0, 0})), "Invalid GIF data");
  EXPECT_EQ(LoadError(loopGif({3, 2, 0, 0, 0})), "Invalid GIF data");
  TGIFImage image;
  Load(image, loopGif({2, 9, 9, 3, 1, 4, 1, 5, 2, 0x10, 0, 0, 0, 0}));
  const auto* loop = dynamic_cast<const TGIFAppExtNSLoop*>(image.Images()[0]->Extensions()[0]);
  ASSERT_NE(loop, nullptr);
  EXPECT_EQ(loop->LoopCount, 0x0104);
  EXPECT_EQ(loop->BufferSize, 0x10u);
}

TEST(GifReaderExtensions, UnknownLabelAndShortControlBlock) {
  EXPECT_EQ(LoadError(OneFrameGif(1, 1, PackCodes(2, {{4, 3}, {1, 3}, {5, 3}}), {0x21, 0x42, 0})),
            "Unknown extension type");
  TLoadLog log;
  TGIFImage image;
  log.Attach(image);
  const Bytes shortControl = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0x21, 0xF9, 4, 0, 5};
  Load(image, shortControl);
  EXPECT_EQ(log.Warnings, (std::vector<std::string>{"Premature end of data", "Invalid Image trailer"}));
}

TEST(GifReaderExtensions, BlockOfAnotherKindIsAnInternalError) {
  TGIFSubImage frame(nullptr);
  TGIFCommentExtension comment(&frame);
  const Bytes control = {0x21, 0xF9, 4, 0, 0, 0, 0, 0};
  TGIFSpanStream stream(control);
  try {
    comment.LoadFromStream(stream);
    FAIL() << "no error";
  } catch (const GIFException& error) {
    EXPECT_STREQ(error.what(), "Internal error: Extension Instance does not match Extension Label");
  }
  const Bytes notAnExtension = {0x2C, 0xFE};
  TGIFSpanStream other(notAnExtension);
  EXPECT_THROW(comment.LoadFromStream(other), GIFException);
}

TEST(GifReaderFailure, LeavesTheDocumentAndStreamPositionAsTheyWere) {
  TGIFImage image;
  gif_test::BuildSampleAnimation(image);
  const Bytes before = SaveToBytes(image);
  Bytes broken = gif_test::SampleAnimation();
  broken.resize(60);  // inside the global colour table
  broken.insert(broken.begin(), {7, 7});
  TGIFSpanStream stream(broken);
  stream.Seek(2, soBeginning);
  EXPECT_THROW(image.LoadFromStream(stream), GIFException);
  EXPECT_EQ(stream.Position(), 2u);
  EXPECT_EQ(SaveToBytes(image), before);
}

class GifReaderFile : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = std::filesystem::path(CLIPVANE_TEST_TMP) / ("gif_reader_file_" + std::to_string(getpid()) + ".gif");
    std::filesystem::create_directories(path_.parent_path());
  }
  void TearDown() override { std::filesystem::remove(path_); }
  std::filesystem::path path_;
};

TEST_F(GifReaderFile, LoadsWhatSaveToFileWrote) {
  TGIFImage image;
  gif_test::BuildSampleAnimation(image);
  image.SaveToFile(path_.string());
  TGIFImage loaded;
  loaded.LoadFromFile(path_.string());
  ExpectSameDocument(image, loaded);
  EXPECT_THROW(loaded.LoadFromFile(path_.string() + ".missing"), EClipvaneError);
  EXPECT_EQ(loaded.Images().Count(), 3);
}

}  // namespace
}  // namespace clipvane
