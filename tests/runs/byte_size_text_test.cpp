// File sizes as people type them and as the estimate words them.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

#include "runs/gif/byte_size_text.h"
#include "runs/gif/gif_size_estimate.h"

namespace clipvane {
namespace {

TEST(ByteSizeText, ParsesSizesWithUnitsOfTenAndOfTwo) {
  struct TCase {
    const char* Text;
    std::optional<std::uint64_t> Bytes;
  };
  const TCase cases[] = {
      {"5MB", 5000000},
      {"800KB", 800000},
      {"2.5M", 2500000},
      {"3MiB", 3145728},
      {"1KiB", 1024},
      {"1.5GiB", 1610612736},
      {"2GB", 2000000000},
      {"120000", 120000},
      {"120000B", 120000},
      {"800 kb", 800000},
      {"0.5k", 500},
      {"7.25mb", 7250000},
      {"1", 1},
      {"", std::nullopt},
      {"MB", std::nullopt},
      {"0", std::nullopt},
      {"0.0001KB", std::nullopt},  // under a byte
      {"-5MB", std::nullopt},
      {"5 MB ", std::nullopt},
      {"5XB", std::nullopt},
      {"5MBs", std::nullopt},
      {"1.2.3MB", std::nullopt},
      {"5  MB", std::nullopt},
      {"99999999999999999999", std::nullopt},
      {"9000000GB", 9000000000000000},
      {"10000000GB", std::nullopt},  // 2^53 bytes and more
  };
  for (const TCase& c : cases) EXPECT_EQ(ParseByteSize(c.Text), c.Bytes) << '"' << c.Text << '"';
}

TEST(ByteSizeText, WordsKeepThreeDigitsInTheLargestUnit) {
  struct TCase {
    std::uint64_t Bytes;
    const char* Words;
  };
  const TCase cases[] = {
      {1, "1 byte"},           {0, "0 bytes"},        {950, "950 bytes"},  {999, "999 bytes"},     {1000, "1 KB"},
      {1234, "1.23 KB"},       {412000, "412 KB"},    {412499, "412 KB"},  {999499, "999 KB"},     {999500, "1 MB"},
      {12400000, "12.4 MB"},   {12450001, "12.5 MB"}, {10000000, "10 MB"}, {1500000000, "1.5 GB"}, {99950000, "100 MB"},
      {3000000000000, "3 TB"}, {20500, "20.5 KB"},    {2050, "2.05 KB"},
  };
  for (const TCase& c : cases) EXPECT_EQ(ByteSizeWords(c.Bytes), c.Words) << c.Bytes;
}

TEST(ByteSizeText, EstimateInWordsAndBytesWithItsUncertainty) {
  TGifSizeEstimate estimate;
  estimate.Bytes = 12412006;
  EXPECT_EQ(GifSizeEstimateText(estimate), "about 12.4 MB (12,412,006 bytes)");
  estimate.Uncertainty = 0.062;
  EXPECT_EQ(GifSizeEstimateText(estimate), "about 12.4 MB (12,412,006 bytes), within about 6 %");
  estimate.Bytes = 999;
  estimate.Uncertainty = 0.001;
  EXPECT_EQ(GifSizeEstimateText(estimate), "about 999 bytes (999 bytes), within about 1 %");
}

}  // namespace
}  // namespace clipvane
