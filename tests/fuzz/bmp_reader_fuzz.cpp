// libFuzzer target: any bytes through the BMP reader, as the working bitmap reads them (every
// header kind, bit fields, RLE4 and RLE8) and as the picture decoders do. Whatever loads must
// come back unchanged through the writer. Only EClipvaneError may come out; sanitizers catch
// everything else.
#include <cstddef>
#include <cstdint>
#include <span>

#include "core/bitmap.h"
#include "core/error.h"
#include "imageio/picture_decoders.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace clipvane;
  const std::span<const std::uint8_t> bytes(data, size);
  TBitmap bitmap;
  try {
    bitmap.LoadFromBMP(bytes);
  } catch (const EClipvaneError&) {
    bitmap = TBitmap();
  }
  if (!bitmap.Empty()) {
    try {
      TBitmap again;
      again.LoadFromBMP(bitmap.SaveToBMP());
      if (!(again == bitmap)) __builtin_trap();  // the writer and the reader disagree
    } catch (const EClipvaneError&) {
      // Only a picture too large for a BMP file may be refused by the writer.
    }
  }
  try {
    DecodePicture(bytes, "fuzz.bmp", clWhite);
  } catch (const EClipvaneError&) {
  }
  return 0;
}
