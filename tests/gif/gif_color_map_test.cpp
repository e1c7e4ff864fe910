// Colour tables: capacity steps, bits per pixel, lookups, errors and warnings, and the
// usage-ordering optimisation with the renumbering of the frame's pixels.
#include <gtest/gtest.h>

#include "gif/gif_image.h"
#include "gif_test_support.h"

namespace clipvane {
namespace {

using gif_test::DistinctPalette;
using gif_test::IndexedBitmap;

TEST(GifColorMap, CapacityGrowsTo16ThenByMultiplesOf32) {
  TGIFSubImage frame(nullptr);
  TGIFColorMap& table = frame.ColorMap();
  EXPECT_EQ(table.Capacity(), 0);
  table.Add(RGB(1, 2, 3));
  EXPECT_EQ(table.Capacity(), 16);
  for (int i = 1; i < 16; ++i) table.Add(RGB(i, 0, 0));
  EXPECT_EQ(table.Capacity(), 16);
  table.Add(RGB(0, 1, 0));
  EXPECT_EQ(table.Capacity(), 32);
  for (int i = 17; i < 33; ++i) table.Add(RGB(0, i, 0));
  EXPECT_EQ(table.Capacity(), 64);
  for (int i = 33; i < 256; ++i) table.Add(RGB(0, 0, i));
  EXPECT_EQ(table.Capacity(), 256);
  EXPECT_EQ(table.Count(), 256);
}

TEST(GifColorMap, BitsPerPixelIsSmallestPowerHoldingTheCount) {
  TGIFSubImage frame(nullptr);
  TGIFColorMap& table = frame.ColorMap();
  EXPECT_EQ(table.BitsPerPixel(), 0);
  EXPECT_EQ(table.ColorResolution(), -1);
  const int expected[] = {1, 1, 2, 2, 3, 3, 3, 3, 4};
  for (int count = 1; count <= 9; ++count) {
    table.Add(RGB(count, 0, 0));
    EXPECT_EQ(table.BitsPerPixel(), expected[count - 1]) << count;
  }
  while (table.Count() < 129) table.Add(RGB(0, table.Count(), 0));
  EXPECT_EQ(table.BitsPerPixel(), 8);
}

TEST(GifColorMap, The257thColourOverflows) {
  TGIFSubImage frame(nullptr);
  TGIFColorMap& table = frame.ColorMap();
  for (int i = 0; i < 256; ++i) table.Add(RGB(i, i, 0));
  try {
    table.Add(RGB(1, 2, 3));
    FAIL() << "no error";
  } catch (const GIFException& error) {
    EXPECT_STREQ(error.what(), "Color table overflow");
  }
  EXPECT_EQ(table.Count(), 256);
  // Add-unique of a colour already there needs no room.
  EXPECT_EQ(table.AddUnique(RGB(7, 7, 0)), 7);
}

TEST(GifColorMap, IndexOfSearchesBackwardsUnlessSorted) {
  TGIFSubImage frame(nullptr);
  TGIFColorMap& table = frame.ColorMap();
  table.Add(RGB(5, 5, 5));
  table.Add(RGB(9, 9, 9));
  table.Add(RGB(5, 5, 5));
  EXPECT_EQ(table.IndexOf(RGB(5, 5, 5)), 2);
  table.SetSorted(true);
  EXPECT_EQ(table.IndexOf(RGB(5, 5, 5)), 0);
  EXPECT_EQ(table.IndexOf(RGB(1, 1, 1)), -1);
  // Adding clears the sorted flag.
  table.Add(RGB(1, 1, 1));
  EXPECT_FALSE(table.Sorted());
}

TEST(GifColorMap, DeleteOutOfRangeRaisesAndKeepsEntries) {
  TGIFSubImage frame(nullptr);
  TGIFColorMap& table = frame.ColorMap();
  table.Add(RGB(1, 0, 0));
  table.Add(RGB(2, 0, 0));
  table.Add(RGB(3, 0, 0));
  EXPECT_THROW(table.Delete(3), GIFException);
  EXPECT_THROW(table.Delete(-1), GIFException);
  table.Delete(1);
  ASSERT_EQ(table.Count(), 2);
  EXPECT_EQ(table.Color(1), RGB(3, 0, 0));
}

TEST(GifColorMap, ColourOutOfRangeWarnsAndGivesEntryZero) {
  TGIFImage image;
  std::vector<std::string> warnings;
  image.OnWarning = [&](TGIFPersistent*, int severity, const std::string& message) {
    EXPECT_EQ(severity, 1);
    warnings.push_back(message);
  };
  TGIFColorMap& table = image.GlobalColorMap();
  try {
    table.Color(0);
    FAIL() << "no error";
  } catch (const GIFException& error) {
    EXPECT_STREQ(error.what(), "Color table is empty");
  }
  table.Add(RGB(10, 20, 30));
  table.Add(RGB(40, 50, 60));
  EXPECT_EQ(table.Color(5), RGB(10, 20, 30));
  EXPECT_EQ(warnings, (std::vector<std::string>{"Invalid color index", "Invalid color index"}));
}

TEST(GifColorMap, ImportsBitmapTablesAndExportsNoCollapsePalettes) {
  TGIFSubImage frame(nullptr);
  TGIFColorMap& table = frame.ColorMap();
  table.ImportDIBColors(std::vector<TRGBQuad>{{1, 2, 3, 0}, {4, 5, 6, 0}});
  ASSERT_EQ(table.Count(), 2);
  EXPECT_EQ(table.Color(0), RGB(3, 2, 1));
  const TGIFPaletteRef palette = table.ExportPalette();
  ASSERT_TRUE(palette);
  ASSERT_EQ(palette->size(), 2u);
  EXPECT_EQ((*palette)[1], (TPaletteEntry{6, 5, 4, PC_NOCOLLAPSE}));
  TGIFSubImage other(nullptr);
  other.ColorMap().ImportPalette(*palette);
  EXPECT_EQ(other.ColorMap().Color(1), RGB(6, 5, 4));
}

TEST(GifColorMapOptimize, OrdersByUsageRenumbersPixelsAndDropsUnused) {
  TGIFImage image;
  // Entry 0 used once, entry 1 never, entry 2 three times, entry 3 twice.
  image.AddFrame(IndexedBitmap(6, 1, DistinctPalette(4), {2, 3, 0, 2, 3, 2}));
  TGIFSubImage* frame = image.Images()[0];
  const TColor colour0 = frame->ColorMap().Color(0);
  const TColor colour2 = frame->ColorMap().Color(2);
  const TColor colour3 = frame->ColorMap().Color(3);
  frame->ColorMap().Optimize();
  EXPECT_TRUE(frame->ColorMap().Sorted());
  ASSERT_EQ(frame->ColorMap().Count(), 3);
  EXPECT_EQ(frame->ColorMap().Color(0), colour2);
  EXPECT_EQ(frame->ColorMap().Color(1), colour3);
  EXPECT_EQ(frame->ColorMap().Color(2), colour0);
  EXPECT_EQ(std::vector<std::uint8_t>(frame->Data(), frame->Data() + 6), (std::vector<std::uint8_t>{0, 1, 2, 0, 1, 0}));
}

TEST(GifColorMapOptimize, RenumbersTheTransparentIndex) {
  TGIFImage image;
  image.AddFrame(IndexedBitmap(4, 1, DistinctPalette(3), {1, 1, 2, 0}));
  TGIFSubImage* frame = image.Images()[0];
  auto control = std::make_unique<TGIFGraphicControlExtension>(frame);
  control->SetTransparent(true);
  control->SetTransparentColorIndex(0);
  frame->Extensions().Add(std::move(control));
  frame->ColorMap().Optimize();
  // Entry 1 (used twice) first; 0 and 2, once each, keep their order.
  EXPECT_EQ(frame->GraphicControlExtension()->TransparentColorIndex(), 1);
  EXPECT_EQ(frame->Pixel(0, 0), 0);
  EXPECT_EQ(frame->Pixel(3, 0), 1);
}

TEST(GifColorMapOptimize, GlobalTableCountsFramesWithoutLocalTables) {
  TGIFImage image;
  image.GlobalColorMap().ImportDIBColors(DistinctPalette(3));
  const TColor colour1 = image.GlobalColorMap().Color(1);
  auto frame = std::make_unique<TGIFSubImage>(&image);
  frame->SetBounds(0, 0, 3, 1);
  frame->SetPixel(0, 0, 1);
  frame->SetPixel(1, 0, 1);
  frame->SetPixel(2, 0, 2);
  image.AddFrame(std::move(frame));
  image.GlobalColorMap().Optimize();
  ASSERT_EQ(image.GlobalColorMap().Count(), 2);
  EXPECT_EQ(image.GlobalColorMap().Color(0), colour1);
  EXPECT_EQ(image.Images()[0]->Pixel(0, 0), 0);
  EXPECT_EQ(image.Images()[0]->Pixel(2, 0), 1);
}

}  // namespace
}  // namespace clipvane
