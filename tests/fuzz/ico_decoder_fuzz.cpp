// libFuzzer target: any bytes through the icon and cursor decoder (bitmap entries of every depth with their masks, and
// PNG entries). Only EClipvaneError may come out, and what decodes must be a sane picture.
#include <cstddef>
#include <cstdint>
#include <span>

#include "core/error.h"
#include "imageio/ico_decoder.h"
#include "picture_decoder_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace clipvane;
  const std::span<const std::uint8_t> bytes(data, size);
  try {
    fuzzing::CheckDecodedPicture(DecodeIco(bytes, clWhite));
  } catch (const EClipvaneError&) {
  }
  return 0;
}
