// Frames held as the stream holds their image data: the encoded form is the encoder's own
// bytes and decodes to the indices it was made from; a document of encoded frames saves the
// bytes of its decoded twin and draws the same pictures, holding only two of them; writing
// the indices, a changed table or another encoder writes them afresh, as before.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "gif/gif_image.h"
#include "gif/gif_image_data.h"
#include "gif/gif_writer.h"
#include "gif_test_support.h"

namespace clipvane {
namespace {

using namespace gif_test;

struct TDataCase {
  const char* name;
  int width, height, bits;
  bool interlaced;
  TGIFEncoding encoding;
  int limit;  // indices are below this
  bool flat;
};

std::vector<std::uint8_t> CaseIndices(const TDataCase& c) {
  const std::size_t count = static_cast<std::size_t>(c.width) * static_cast<std::size_t>(c.height);
  if (c.flat) return std::vector<std::uint8_t>(count, static_cast<std::uint8_t>(c.limit - 1));
  return NoiseIndices(count, c.limit, 7);
}

class GifImageData : public ::testing::TestWithParam<TDataCase> {};

TEST_P(GifImageData, IsTheEncodersOutputAndDecodesToItsIndices) {
  const TDataCase& c = GetParam();
  const std::vector<std::uint8_t> indices = CaseIndices(c);
  TGIFMemoryStream written;
  std::unique_ptr<TGIFEncoder> encoder;
  if (c.encoding == encRLE) encoder = std::make_unique<TRLEEncoder>();
  else encoder = std::make_unique<TLZWEncoder>();
  encoder->Compress(written, c.bits, c.width, c.height, c.interlaced, indices.data(), 1 << std::max(c.bits, 2));

  const TGIFImageDataFormat format{c.bits, c.interlaced, c.encoding};
  const TGIFEncodedImageRef encoded = TGIFEncodedImage::Encode(format, c.width, c.height, indices.data());
  ASSERT_NE(encoded, nullptr);
  EXPECT_TRUE(encoded->Bytes() == written.Bytes());
  EXPECT_EQ(encoded->HighestIndex(), *std::max_element(indices.begin(), indices.end()));
  std::vector<std::uint8_t> decoded(indices.size(), 0xAB);
  encoded->Decode(decoded.data());
  EXPECT_TRUE(decoded == indices);
}

INSTANTIATE_TEST_SUITE_P(SizesCodeSizesAndEncoders, GifImageData,
                         ::testing::Values(TDataCase{"onePixel", 1, 1, 8, false, encLZW, 1, true},
                                           TDataCase{"twoColours", 9, 7, 1, false, encLZW, 2, false},
                                           TDataCase{"sixteenInterlaced", 31, 13, 4, true, encLZW, 16, false},
                                           // Noise of 256 colours fills the string table many times over.
                                           TDataCase{"tableClears", 300, 200, 8, false, encLZW, 256, false},
                                           TDataCase{"flatLong", 640, 48, 8, false, encLZW, 256, true},
                                           TDataCase{"runLength", 64, 40, 3, false, encRLE, 8, false},
                                           TDataCase{"runLengthFlatInterlaced", 50, 11, 8, true, encRLE, 200, true}),
                         [](const ::testing::TestParamInfo<TDataCase>& param) {
                           return std::string(param.param.name);
                         });

TEST(GifImageDataDecode, EveryTruncationAndExtraByteIsRefused) {
  const std::vector<std::uint8_t> indices = NoiseIndices(40 * 30, 64, 3);
  const TGIFImageDataFormat format{6, false, encLZW};
  const TGIFEncodedImageRef encoded = TGIFEncodedImage::Encode(format, 40, 30, indices.data());
  ASSERT_NE(encoded, nullptr);
  const std::vector<std::uint8_t>& bytes = encoded->Bytes();
  const TGIFEncodedImageRef again = TGIFEncodedImage::FromBytes(bytes, format, 40, 30);
  EXPECT_EQ(again->HighestIndex(), encoded->HighestIndex());
  for (std::size_t keep = 0; keep < bytes.size(); ++keep) {
    const std::vector<std::uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<long>(keep));
    EXPECT_THROW(TGIFEncodedImage::FromBytes(cut, format, 40, 30), GIFException) << keep;
  }
  std::vector<std::uint8_t> longer = bytes;
  longer.push_back(0);
  EXPECT_THROW(TGIFEncodedImage::FromBytes(longer, format, 40, 30), GIFException);
  // Codes for fewer or more pixels than the image holds.
  EXPECT_THROW(TGIFEncodedImage::FromBytes(bytes, format, 40, 31), GIFException);
  EXPECT_THROW(TGIFEncodedImage::FromBytes(bytes, format, 40, 29), GIFException);
}

TEST(GifImageDataEncode, AnIndexBeyondTheCodeSizeIsNotEncoded) {
  const std::vector<std::uint8_t> indices = {0, 1, 2, 9};
  EXPECT_EQ(TGIFEncodedImage::Encode({2, false, encLZW}, 2, 2, indices.data()), nullptr);
  EXPECT_NE(TGIFEncodedImage::Encode({4, false, encLZW}, 2, 2, indices.data()), nullptr);
}

// The sample animation (several sizes, local and global tables, interlacing, transparency),
// every frame encoded, against the same animation held decoded.
TEST(GifEncodedDocument, SavesTheBytesOfItsDecodedTwinWithEitherEncoder) {
  for (const TGIFEncoding encoding : {encLZW, encRLE}) {
    TGIFImage twin, image;
    BuildSampleAnimation(twin);
    BuildSampleAnimation(image);
    twin.Encoding = image.Encoding = encoding;
    for (const auto& frame : image.Images()) {
      ASSERT_TRUE(frame->Encode());
      EXPECT_FALSE(frame->PixelsHeld());
      EXPECT_EQ(frame->EncodedData()->Format(), frame->DataFormat());
    }
    EXPECT_TRUE(SaveToBytes(image) == SaveToBytes(twin)) << int{encoding};
    EXPECT_TRUE(SaveToBytes(image) == SampleAnimation(encoding));
  }
}

TEST(GifEncodedDocument, WhatChangesAfterEncodingIsWrittenAsChanged) {
  TGIFImage twin, image;
  BuildSampleAnimation(twin);
  BuildSampleAnimation(image);
  for (const auto& frame : image.Images()) ASSERT_TRUE(frame->Encode());
  // Pixels written, a table that needs one bit more, and the other encoder.
  image.Images()[0]->SetPixel(3, 2, 17);
  twin.Images()[0]->SetPixel(3, 2, 17);
  EXPECT_EQ(image.Images()[0]->EncodedData(), nullptr);
  ASSERT_EQ(image.Images()[1]->ColorMap().Count(), 5);
  for (TGIFImage* document : {&image, &twin}) {
    for (int i = 0; i < 4; ++i) document->Images()[1]->ColorMap().Add(RGB(i, 2 * i, 3 * i));
    document->Encoding = encRLE;
  }
  EXPECT_NE(image.Images()[1]->EncodedData()->Format(), image.Images()[1]->DataFormat());
  EXPECT_TRUE(SaveToBytes(image) == SaveToBytes(twin));
  // An index the table no longer holds fails as it always did.
  ASSERT_TRUE(image.Images()[0]->Encode());
  for (TGIFImage* document : {&image, &twin}) document->Images()[0]->ColorMap().Delete(255);
  ASSERT_EQ(image.Images()[0]->EncodedData()->Format(), image.Images()[0]->DataFormat());
  for (TGIFImage* document : {&image, &twin}) {
    try {
      SaveToBytes(*document);
      ADD_FAILURE() << "saved an index beyond the table";
    } catch (const GIFException& error) {
      EXPECT_STREQ(error.what(), sGIFColorNotInTable);
    }
  }
}

TEST(GifEncodedDocument, PixelsComeBackWhenAskedForAndCopiesShareTheData) {
  TGIFImage twin, image;
  BuildSampleAnimation(twin);
  BuildSampleAnimation(image);
  for (const auto& frame : image.Images()) ASSERT_TRUE(frame->Encode());
  TGIFImage copy;
  copy.Assign(image);
  for (int i = 0; i < image.Images().Count(); ++i) {
    EXPECT_EQ(copy.Images()[i]->EncodedData(), image.Images()[i]->EncodedData());
    EXPECT_FALSE(copy.Images()[i]->PixelsHeld());
    TBitmap mine, theirs;
    image.Images()[i]->AssignTo(mine);
    twin.Images()[i]->AssignTo(theirs);
    EXPECT_TRUE(std::ranges::equal(mine.Bits(), theirs.Bits())) << i;
    EXPECT_FALSE(image.Images()[i]->PixelsHeld());  // AssignTo decodes into the bitmap only
    const TGIFSubImage& frame = *copy.Images()[i];
    EXPECT_EQ(frame.DataSize(), twin.Images()[i]->DataSize());
    EXPECT_TRUE(std::equal(frame.Data(), frame.Data() + frame.DataSize(), twin.Images()[i]->Data()));
    EXPECT_EQ(copy.Images()[i]->Pixel(1, 1), twin.Images()[i]->Pixel(1, 1));
  }
}

// The pictures a painter draws: the same for encoded frames, of which the document keeps the
// last two rendered, whatever the number of frames.
TEST(GifEncodedDocument, RendersTheSamePicturesKeepingTwo) {
  TGIFImage twin, image;
  for (int n = 0; n < 6; ++n)
    for (TGIFImage* document : {&twin, &image})
      AddIndexedFrame(*document, 23, 11, DistinctPalette(32), NoiseIndices(23 * 11, 32, static_cast<std::uint32_t>(n)),
                      5);
  for (TGIFImage* document : {&twin, &image}) {
    // A transparent frame draws through its mask.
    document->Images()[4]->GraphicControlExtension()->SetTransparent(true);
    document->Images()[4]->GraphicControlExtension()->SetTransparentColorIndex(3);
  }
  for (const auto& frame : image.Images()) ASSERT_TRUE(frame->Encode());
  for (int pass = 0; pass < 2; ++pass)
    for (int i = 0; i < 6; ++i) {
      const TBitmap& mine = image.Images()[i]->Render();
      const TBitmap& theirs = twin.Images()[i]->Render();
      EXPECT_TRUE(std::ranges::equal(mine.Bits(), theirs.Bits())) << i;
      EXPECT_TRUE(mine.Palette() == theirs.Palette());
      ASSERT_EQ(image.Images()[i]->Mask() != nullptr, twin.Images()[i]->Mask() != nullptr) << i;
      if (twin.Images()[i]->Mask() != nullptr) {
        EXPECT_TRUE(std::ranges::equal(image.Images()[i]->Mask()->Bits(), twin.Images()[i]->Mask()->Bits()));
      }
      int kept = 0;
      for (const auto& frame : image.Images()) kept += frame->Bitmap() != nullptr ? 1 : 0;
      EXPECT_EQ(kept, std::min(i + 1 + pass * 6, 2));
    }
  // Frames that go take their place in the list with them.
  image.Images().Delete(5);
  image.Images()[0]->Render();
  image.Images()[1]->Render();
  int kept = 0;
  for (const auto& frame : image.Images()) kept += frame->Bitmap() != nullptr ? 1 : 0;
  EXPECT_EQ(kept, 2);
}

}  // namespace
}  // namespace clipvane
