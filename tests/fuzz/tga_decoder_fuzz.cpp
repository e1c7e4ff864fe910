// libFuzzer target: any bytes through the Targa decoder (colour-mapped, true colour and grey, plain or run-length, any
// orientation). Only EClipvaneError may come out, and what decodes must be a sane picture.
#include <cstddef>
#include <cstdint>
#include <span>

#include "core/error.h"
#include "imageio/tga_decoder.h"
#include "picture_decoder_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace clipvane;
  const std::span<const std::uint8_t> bytes(data, size);
  try {
    fuzzing::CheckDecodedPicture(DecodeTga(bytes, clWhite));
  } catch (const EClipvaneError&) {
  }
  return 0;
}
