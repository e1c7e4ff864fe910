// Portable pixmap decoding. The header is a few decimal numbers with comments; the raster
// is decimal text (plain) or bytes (raw). Every read is checked against the end of the data.
#include "imageio/pnm_decoder.h"

#include <cstring>
#include <string>

#include "core/error.h"
#include "imageio/picture_decoders.h"

namespace clipvane {

namespace {

[[noreturn]] void Invalid(const std::string& why) { throw EClipvaneError("Invalid PNM file: " + why); }

bool IsSpace(std::uint8_t c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }
bool IsDigit(std::uint8_t c) { return c >= '0' && c <= '9'; }

class TPnmScanner {
 public:
  explicit TPnmScanner(std::span<const std::uint8_t> data) : data_(data) {}

  // Skips white space and, in the header, comments running to the end of the line.
  void SkipSpace(bool comments) {
    while (position_ < data_.size()) {
      const std::uint8_t c = data_[position_];
      if (IsSpace(c)) {
        ++position_;
      } else if (comments && c == '#') {
        while (position_ < data_.size() && data_[position_] != '\n' && data_[position_] != '\r') ++position_;
      } else {
        break;
      }
    }
  }

  // A decimal number after optional white space; the limit keeps it from overflowing.
  long long Number(const char* what, bool comments, long long limit) {
    SkipSpace(comments);
    if (position_ >= data_.size()) Invalid(std::string(what) + " is cut off");
    if (!IsDigit(data_[position_])) Invalid(std::string(what) + " is not a number");
    long long value = 0;
    while (position_ < data_.size() && IsDigit(data_[position_])) {
      value = value * 10 + (data_[position_] - '0');
      if (value > limit) Invalid(std::string(what) + " is out of range");
      ++position_;
    }
    return value;
  }

  // One plain PBM pixel: a single 0 or 1, white space between pixels optional.
  int Bit() {
    SkipSpace(false);
    if (position_ >= data_.size()) Invalid("pixel data is cut off");
    const std::uint8_t c = data_[position_++];
    if (c != '0' && c != '1') Invalid("pixel is neither 0 nor 1");
    return c - '0';
  }

  // The single white-space character that ends the header of a raw file.
  void EndRawHeader() {
    if (position_ >= data_.size() || !IsSpace(data_[position_])) Invalid("header does not end in white space");
    ++position_;
  }

  std::size_t Position() const { return position_; }
  std::size_t Remaining() const { return data_.size() - position_; }
  const std::uint8_t* Here() const { return data_.data() + position_; }

 private:
  std::span<const std::uint8_t> data_;
  std::size_t position_ = 0;
};

}  // namespace

TBitmap DecodePnm(std::span<const std::uint8_t> data) {
  if (data.size() < 2 || data[0] != 'P' || data[1] < '1' || data[1] > '6') Invalid("no P1 to P6 signature");
  const int kind = data[1] - '0';
  const bool raw = kind >= 4;
  const int channels = (kind == 3 || kind == 6) ? 3 : 1;
  const bool bitmapKind = kind == 1 || kind == 4;
  TPnmScanner scanner(data.subspan(2));
  const long long width = scanner.Number("width", true, 1LL << 40);
  const long long height = scanner.Number("height", true, 1LL << 40);
  CheckPictureDimensions("PNM", width, height);
  long long maximum = 1;
  if (!bitmapKind) {
    maximum = scanner.Number("maximum value", true, 1LL << 40);
    if (maximum < 1 || maximum > 65535) Invalid("maximum value " + std::to_string(maximum) + " is not 1 to 65535");
  }
  if (raw) scanner.EndRawHeader();

  // The raster must fit in what is left before anything is allocated: raw rows have a known
  // size, and a plain sample takes at least one character.
  const long long samples = width * height * channels;
  const int sampleBytes = maximum > 255 ? 2 : 1;
  const long long rowBytes = kind == 4 ? (width + 7) / 8 : width * channels * sampleBytes;
  const long long needed = raw ? rowBytes * height : samples;
  if (static_cast<long long>(scanner.Remaining()) < needed) Invalid("pixel data is cut off");

  const int w = static_cast<int>(width), h = static_cast<int>(height);
  const TPixelFormat format = bitmapKind      ? TPixelFormat::pf1bit
                              : channels == 1 ? TPixelFormat::pf8bit
                                              : TPixelFormat::pf24bit;
  TBitmap bitmap(w, h, format);
  if (bitmapKind) bitmap.SetPalette({TRGBQuad{255, 255, 255, 0}, TRGBQuad{0, 0, 0, 0}});  // 1 is black
  else if (channels == 1) bitmap.SetPalette(GreyPalette256());

  if (kind == 4) {
    const std::uint8_t* in = scanner.Here();
    for (int y = 0; y < h; ++y) std::memcpy(bitmap.ScanLine(y), in + rowBytes * y, static_cast<std::size_t>(rowBytes));
    return bitmap;
  }
  if (kind == 1) {
    for (int y = 0; y < h; ++y) {
      std::uint8_t* out = bitmap.ScanLine(y);
      for (int x = 0; x < w; ++x)
        if (scanner.Bit()) out[x >> 3] = static_cast<std::uint8_t>(out[x >> 3] | (0x80 >> (x & 7)));
    }
    return bitmap;
  }

  const std::uint8_t* in = scanner.Here();
  std::size_t rawIndex = 0;
  auto nextSample = [&]() -> int {
    long long value = 0;
    if (raw) {
      value = sampleBytes == 2 ? (in[rawIndex] << 8) | in[rawIndex + 1] : in[rawIndex];
      rawIndex += static_cast<std::size_t>(sampleBytes);
    } else {
      value = scanner.Number("sample", false, 65535);
    }
    if (value > maximum) Invalid("sample exceeds the maximum value");
    return static_cast<int>((value * 255 + maximum / 2) / maximum);
  };
  for (int y = 0; y < h; ++y) {
    std::uint8_t* out = bitmap.ScanLine(y);
    for (int x = 0; x < w; ++x) {
      if (channels == 1) {
        out[x] = static_cast<std::uint8_t>(nextSample());
      } else {
        const int red = nextSample(), green = nextSample(), blue = nextSample();
        out[3 * x] = static_cast<std::uint8_t>(blue);
        out[3 * x + 1] = static_cast<std::uint8_t>(green);
        out[3 * x + 2] = static_cast<std::uint8_t>(red);
      }
    }
  }
  return bitmap;
}

}  // namespace clipvane
