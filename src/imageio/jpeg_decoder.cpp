// JPEG decoding through libjpeg. libjpeg reports fatal errors by calling a function that
// must not return, so each libjpeg call runs in a small frame that owns a setjmp target and
// holds nothing with a destructor; the C++ side turns a failure into an exception.
#include "imageio/jpeg_decoder.h"

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "core/error.h"
#include "imageio/picture_decoders.h"

namespace clipvane {

namespace {

struct TJpegErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void OnJpegFatal(j_common_ptr info) {
  auto* manager = reinterpret_cast<TJpegErrorManager*>(info->err);
  (*info->err->format_message)(info, manager->message);
  std::longjmp(manager->jump, 1);
}

// Warnings (corrupt entropy data and the like) would go to stderr; the picture is still usable.
void OnJpegMessage(j_common_ptr, int) {}

// The stream lives in memory. Running out of it is an error rather than libjpeg's usual
// padding with a fake end marker, so a cut file is refused instead of shown half grey.
[[noreturn]] void FailCutOff(j_decompress_ptr info) {
  auto* manager = reinterpret_cast<TJpegErrorManager*>(info->err);
  std::snprintf(manager->message, sizeof manager->message, "%s", "file is cut off");
  std::longjmp(manager->jump, 1);
}
void InitSource(j_decompress_ptr) {}
boolean FillInputBuffer(j_decompress_ptr info) { FailCutOff(info); }
void SkipInputData(j_decompress_ptr info, long count) {
  if (count <= 0) return;
  jpeg_source_mgr* source = info->src;
  if (static_cast<unsigned long>(count) > source->bytes_in_buffer) FailCutOff(info);
  source->next_input_byte += count;
  source->bytes_in_buffer -= static_cast<std::size_t>(count);
}
void TermSource(j_decompress_ptr) {}

// The guarded steps: only trivially destructible locals between setjmp and the libjpeg call.
bool TryCreate(jpeg_decompress_struct* info, TJpegErrorManager* errors) {
  if (setjmp(errors->jump)) return false;
  jpeg_create_decompress(info);
  return true;
}
bool TryReadHeader(jpeg_decompress_struct* info, TJpegErrorManager* errors) {
  if (setjmp(errors->jump)) return false;
  jpeg_read_header(info, TRUE);
  return true;
}
bool TryStart(jpeg_decompress_struct* info, TJpegErrorManager* errors) {
  if (setjmp(errors->jump)) return false;
  jpeg_start_decompress(info);
  return true;
}
bool TryReadRow(jpeg_decompress_struct* info, TJpegErrorManager* errors, JSAMPROW row) {
  if (setjmp(errors->jump)) return false;
  JSAMPROW rows[1] = {row};
  while (jpeg_read_scanlines(info, rows, 1) != 1) {
    // With a memory source that never suspends this cannot happen; refuse to spin anyway.
    FailCutOff(info);
  }
  return true;
}
bool TryFinish(jpeg_decompress_struct* info, TJpegErrorManager* errors) {
  if (setjmp(errors->jump)) return false;
  jpeg_finish_decompress(info);
  return true;
}

class TJpegReader {
 public:
  explicit TJpegReader(std::span<const std::uint8_t> data) {
    info_.err = jpeg_std_error(&errors_.base);
    errors_.base.error_exit = OnJpegFatal;
    errors_.base.emit_message = OnJpegMessage;
    errors_.message[0] = '\0';
    if (!TryCreate(&info_, &errors_)) throw EClipvaneError(std::string("Invalid JPEG file: ") + errors_.message);
    source_.next_input_byte = data.data();
    source_.bytes_in_buffer = data.size();
    source_.init_source = InitSource;
    source_.fill_input_buffer = FillInputBuffer;
    source_.skip_input_data = SkipInputData;
    source_.resync_to_restart = jpeg_resync_to_restart;
    source_.term_source = TermSource;
    info_.src = &source_;
  }
  ~TJpegReader() { jpeg_destroy_decompress(&info_); }
  TJpegReader(const TJpegReader&) = delete;
  TJpegReader& operator=(const TJpegReader&) = delete;

  jpeg_decompress_struct& Info() { return info_; }
  void Check(bool succeeded) {
    if (!succeeded) throw EClipvaneError(std::string("Invalid JPEG file: ") + errors_.message);
  }
  TJpegErrorManager* Errors() { return &errors_; }

 private:
  jpeg_decompress_struct info_{};
  TJpegErrorManager errors_{};
  jpeg_source_mgr source_{};
};

}  // namespace

TBitmap DecodeJpeg(std::span<const std::uint8_t> data) {
  if (data.size() < 2 || data[0] != 0xFF || data[1] != 0xD8)
    throw EClipvaneError("Invalid JPEG file: no start of image marker");
  TJpegReader reader(data);
  jpeg_decompress_struct& info = reader.Info();
  reader.Check(TryReadHeader(&info, reader.Errors()));
  CheckPictureDimensions("JPEG", info.image_width, info.image_height);
  // Huffman coding spends at least one bit on each 8 x 8 block of a component in its first
  // scan, so a file too short for that is refused before the picture is allocated.
  // Arithmetic coding has no such floor.
  if (!info.arith_code && info.num_components > 0) {
    std::uint64_t fewestBlocks = UINT64_MAX;
    for (int c = 0; c < info.num_components; ++c)
      fewestBlocks = std::min<std::uint64_t>(
          fewestBlocks,
          static_cast<std::uint64_t>(info.comp_info[c].width_in_blocks) * info.comp_info[c].height_in_blocks);
    CheckDataCanFill("JPEG", fewestBlocks, data.size(), 8);
  }

  const bool grey = info.jpeg_color_space == JCS_GRAYSCALE;
  const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
  info.out_color_space = grey ? JCS_GRAYSCALE : cmyk ? JCS_CMYK : JCS_RGB;
  // Adobe writers store CMYK inverted; the marker tells us which convention the file uses.
  const bool invertedCmyk = cmyk && info.saw_Adobe_marker;
  reader.Check(TryStart(&info, reader.Errors()));
  const int components = info.output_components;
  if (static_cast<long long>(info.output_width) != info.image_width ||
      static_cast<long long>(info.output_height) != info.image_height ||
      components != (grey   ? 1
                     : cmyk ? 4
                            : 3))
    throw EClipvaneError("Invalid JPEG file: unexpected output layout");

  const int width = static_cast<int>(info.output_width);
  const int height = static_cast<int>(info.output_height);
  TBitmap bitmap(width, height, grey ? TPixelFormat::pf8bit : TPixelFormat::pf24bit);
  if (grey) bitmap.SetPalette(GreyPalette256());
  std::vector<JSAMPLE> row(static_cast<std::size_t>(width) * components);
  for (int y = 0; y < height; ++y) {
    reader.Check(TryReadRow(&info, reader.Errors(), row.data()));
    std::uint8_t* out = bitmap.ScanLine(y);
    if (grey) {
      std::copy(row.begin(), row.end(), out);
    } else if (cmyk) {
      for (int x = 0; x < width; ++x) {
        const JSAMPLE* p = &row[4 * static_cast<std::size_t>(x)];
        int c = p[0], m = p[1], yellow = p[2], k = p[3];
        if (!invertedCmyk) {
          c = 255 - c;
          m = 255 - m;
          yellow = 255 - yellow;
          k = 255 - k;
        }
        out[3 * x] = static_cast<std::uint8_t>((yellow * k + 127) / 255);
        out[3 * x + 1] = static_cast<std::uint8_t>((m * k + 127) / 255);
        out[3 * x + 2] = static_cast<std::uint8_t>((c * k + 127) / 255);
      }
    } else {
      for (int x = 0; x < width; ++x) {
        out[3 * x] = row[3 * static_cast<std::size_t>(x) + 2];
        out[3 * x + 1] = row[3 * static_cast<std::size_t>(x) + 1];
        out[3 * x + 2] = row[3 * static_cast<std::size_t>(x)];
      }
    }
  }
  reader.Check(TryFinish(&info, reader.Errors()));
  return bitmap;
}

}  // namespace clipvane
