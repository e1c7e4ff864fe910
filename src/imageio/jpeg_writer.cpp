// JPEG encoding through libjpeg into memory. libjpeg reports failures by calling its error
// exit, which must not return: it jumps back to the setjmp of the encoding function.
#include "imageio/jpeg_writer.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>

// jpeglib.h needs size_t and FILE declared first.
#include <jerror.h>
#include <jpeglib.h>

#include "core/atomic_file.h"
#include "core/error.h"
#include "core/pixel_rows.h"

namespace clipvane {

namespace {

// JPEG stores sides in 16 bits and libjpeg refuses more than this.
constexpr int kMaxJpegSide = 65500;

struct TJpegError {
  jpeg_error_mgr manager{};
  std::jmp_buf jump{};
  char message[JMSG_LENGTH_MAX] = {};
};

[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
  auto* error = reinterpret_cast<TJpegError*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, error->message);
  std::longjmp(error->jump, 1);
}

void IgnoreMessage(j_common_ptr) {}

// Compressed bytes go straight into a vector owned by the caller (libjpeg's own memory
// destination loses its buffer when encoding fails half-way).
struct TVectorDestination {
  jpeg_destination_mgr manager{};
  std::vector<std::uint8_t>* output = nullptr;
};

void InitDestination(j_compress_ptr cinfo) {
  auto* destination = reinterpret_cast<TVectorDestination*>(cinfo->dest);
  destination->manager.next_output_byte = destination->output->data();
  destination->manager.free_in_buffer = destination->output->size();
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
  auto* destination = reinterpret_cast<TVectorDestination*>(cinfo->dest);
  std::vector<std::uint8_t>& output = *destination->output;
  const std::size_t used = output.size();
  bool grown = true;
  try {
    output.resize(used * 2);
  } catch (const std::bad_alloc&) {
    grown = false;
  }
  // The error exit jumps, so it is called only after the exception is fully handled.
  if (!grown) ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
  destination->manager.next_output_byte = output.data() + used;
  destination->manager.free_in_buffer = output.size() - used;
  return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
  auto* destination = reinterpret_cast<TVectorDestination*>(cinfo->dest);
  destination->output->resize(destination->output->size() - destination->manager.free_in_buffer);
}

// Everything the encoder touches after the jump point lives in the caller, so no C++
// object is skipped by the jump. Returns false with error.message set on failure.
bool EncodeRows(jpeg_compress_struct& cinfo, TJpegError& error, TVectorDestination& destination, const TBitmap& bitmap,
                int quality, std::uint8_t* rowBuffer) {
  if (setjmp(error.jump) != 0) {
    jpeg_destroy_compress(&cinfo);
    return false;
  }
  jpeg_create_compress(&cinfo);
  destination.manager.init_destination = InitDestination;
  destination.manager.empty_output_buffer = EmptyOutputBuffer;
  destination.manager.term_destination = TermDestination;
  cinfo.dest = &destination.manager;
  cinfo.image_width = static_cast<JDIMENSION>(bitmap.Width());
  cinfo.image_height = static_cast<JDIMENSION>(bitmap.Height());
  cinfo.input_components = 3;
  // libjpeg-turbo takes blue-green-red rows as they are, which saves a swap per pixel.
  cinfo.in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  const bool direct = bitmap.PixelFormat() == TPixelFormat::pf24bit;
  while (cinfo.next_scanline < cinfo.image_height) {
    const int y = static_cast<int>(cinfo.next_scanline);
    JSAMPROW row = rowBuffer;
    if (direct) {
      // libjpeg does not write through the row pointer; the cast only satisfies its signature.
      row = const_cast<JSAMPROW>(bitmap.ScanLine(y));
    } else {
      ReadRowBGR(bitmap, y, 0, bitmap.Width(), rowBuffer);
    }
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return true;
}

}  // namespace

std::vector<std::uint8_t> EncodeJPEG(const TBitmap& bitmap, int quality) {
  if (quality < 1 || quality > 100)
    throw EClipvaneError("JPEG quality must be from 1 to 100, not " + std::to_string(quality));
  if (bitmap.Empty()) throw EClipvaneError("Cannot write an empty picture as JPEG");
  if (bitmap.Width() > kMaxJpegSide || bitmap.Height() > kMaxJpegSide)
    throw EClipvaneError("Picture too large for JPEG (at most 65500 pixels a side)");

  std::vector<std::uint8_t> rowBuffer(static_cast<std::size_t>(bitmap.Width()) * 3);
  jpeg_compress_struct cinfo{};
  TJpegError error;
  cinfo.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = ErrorExit;
  error.manager.output_message = IgnoreMessage;
  // A first guess near the usual size of a photo-like frame; the buffer doubles when needed.
  std::vector<std::uint8_t> output(std::max<std::size_t>(16384, rowBuffer.size() * bitmap.Height() / 8));
  TVectorDestination destination;
  destination.output = &output;
  if (!EncodeRows(cinfo, error, destination, bitmap, quality, rowBuffer.data())) {
    // Out of memory travels as such, so that callers can tell it from a broken picture.
    if (error.manager.msg_code == JERR_OUT_OF_MEMORY) throw std::bad_alloc();
    throw EClipvaneError(std::string("JPEG encoding failed: ") + error.message);
  }
  return output;
}

void SaveToJPEG(const TBitmap& bitmap, const std::string& path, int quality) {
  WriteFileAtomically(path, EncodeJPEG(bitmap, quality));
}

}  // namespace clipvane
