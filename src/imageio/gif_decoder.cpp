// GIF decoding: the whole stream is loaded into a GIF document (the reader bounds what it
// allocates by what the data can fill), then the first frame with pixels becomes the picture.
#include "imageio/gif_decoder.h"

#include <cstring>
#include <string>

#include "gif/gif_exception.h"
#include "gif/gif_extensions.h"
#include "gif/gif_image.h"
#include "gif/gif_stream.h"
#include "gif/gif_types.h"
#include "imageio/picture_decoders.h"

namespace clipvane {

namespace {

[[noreturn]] void Invalid(const std::string& why) { throw EClipvaneError("Invalid GIF file: " + why); }

// Warnings the reader gives for files that are merely unusual: a frame reaching past the
// logical screen, an extension it does not know, a transparent index outside the table.
bool Harmless(const std::string& warning) {
  return warning == sGIFExceedsScreen || warning == sGIFWidthTooSmall || warning == sGIFHeightTooSmall ||
         warning == sGIFUnknownExtension || warning == sGIFInvalidColorIndex;
}

}  // namespace

TBitmap DecodeGif(std::span<const std::uint8_t> data, TColor background) {
  if (data.size() < 13 || std::memcmp(data.data(), "GIF", 3) != 0) Invalid("no GIF signature");
  // The logical screen is checked before the reader allocates anything for it.
  CheckPictureDimensions("GIF", data[6] | (data[7] << 8), data[8] | (data[9] << 8));

  TGIFImage document;
  std::string damage;
  document.OnWarning = [&damage](TGIFPersistent*, int, const std::string& message) {
    if (damage.empty() && !Harmless(message)) damage = message;
  };
  TGIFSpanStream stream(data);
  try {
    document.LoadFromStream(stream);
  } catch (const GIFException& error) {
    Invalid(error.what());
  }
  if (!damage.empty()) Invalid(damage);

  const TGIFSubImage* frame = nullptr;
  for (const auto& candidate : document.Images())
    if (!candidate->Empty()) {
      frame = candidate.get();
      break;
    }
  if (!frame) Invalid("no picture in the file");
  CheckPictureDimensions("GIF", document.Width(), document.Height());
  CheckPictureDimensions("GIF", frame->Width(), frame->Height());

  TBitmap picture;
  frame->AssignTo(picture);
  const TGIFGraphicControlExtension* control = frame->GraphicControlExtension();
  if (frame->Transparent() && control) {
    std::vector<TRGBQuad> palette = picture.Palette();
    const auto index = static_cast<std::size_t>(control->TransparentColorIndex());
    if (palette.size() <= index) palette.resize(index + 1);
    palette[index] = TRGBQuad::FromColor(background);
    picture.SetPalette(std::move(palette));
  }
  if (frame->Left() == 0 && frame->Top() == 0 && frame->Width() == document.Width() &&
      frame->Height() == document.Height())
    return picture;
  TBitmap screen(document.Width(), document.Height(), TPixelFormat::pf24bit);
  screen.FillRect(TRect{0, 0, screen.Width(), screen.Height()}, background);
  screen.Draw(frame->Left(), frame->Top(), picture);
  return screen;
}

}  // namespace clipvane
