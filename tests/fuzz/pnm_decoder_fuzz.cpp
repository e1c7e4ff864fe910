// libFuzzer target: any bytes through the portable pixmap decoder (P1 to P6, comments, 8 and 16-bit samples).
// Only EClipvaneError may come out, and what decodes must be a sane picture.
#include <cstddef>
#include <cstdint>
#include <span>

#include "core/error.h"
#include "imageio/pnm_decoder.h"
#include "picture_decoder_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace clipvane;
  const std::span<const std::uint8_t> bytes(data, size);
  try {
    fuzzing::CheckDecodedPicture(DecodePnm(bytes));
  } catch (const EClipvaneError&) {
  }
  return 0;
}
