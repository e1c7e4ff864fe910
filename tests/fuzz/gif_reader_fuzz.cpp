// libFuzzer target: any bytes through the GIF reader, and whatever loads back through the
// writer. Only GIFException may come out; sanitizers catch everything else.
#include <cstddef>
#include <cstdint>

#include "gif/gif_image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace clipvane;
  TGIFImage image;
  TGIFSpanStream stream({data, size});
  try {
    image.LoadFromStream(stream);
  } catch (const GIFException&) {
    return 0;
  }
  try {
    TGIFMemoryStream out;
    image.SaveToStream(out);
  } catch (const GIFException&) {
    // Pixels beyond their table, or no frames: refused, as they should be.
  }
  return 0;
}
