// libFuzzer target: any bytes through the PCX decoder (1 to 4 planes of 1 bit, 2, 4 and 8 bits, 24 bits in three
// planes, plain or run-length). Only EClipvaneError may come out, and what decodes must be a sane picture.
#include <cstddef>
#include <cstdint>
#include <span>

#include "core/error.h"
#include "imageio/pcx_decoder.h"
#include "picture_decoder_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace clipvane;
  const std::span<const std::uint8_t> bytes(data, size);
  try {
    fuzzing::CheckDecodedPicture(DecodePcx(bytes));
  } catch (const EClipvaneError&) {
  }
  return 0;
}
