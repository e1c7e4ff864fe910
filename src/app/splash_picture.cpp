// JPEG decoding through libjpeg for the embedded splash picture.
#include "app/splash_picture.h"

#include <jpeglib.h>
#include <csetjmp>
#include <cstdio>

#include <QFile>
#include <memory>
#include <string>

#include "core/error.h"

// Resources of a static library must be registered by hand, outside any namespace.
static void InitAppResources() { Q_INIT_RESOURCE(app_resources); }

namespace clipvane {

namespace {

struct TJpegError {
  jpeg_error_mgr Manager;
  std::jmp_buf Jump;
  char Message[JMSG_LENGTH_MAX];
};

void ErrorExit(j_common_ptr info) {
  auto* error = reinterpret_cast<TJpegError*>(info->err);
  (*info->err->format_message)(info, error->Message);
  std::longjmp(error->Jump, 1);
}

void SilentOutput(j_common_ptr) {}

}  // namespace

QImage DecodeJpeg(const QByteArray& data) {
  // libjpeg reports errors by a long jump. Everything it may jump over lives on the heap in
  // `state`, which is never reassigned: the jump skips no destructor of an automatic object.
  struct TDecodeState {
    jpeg_decompress_struct Info{};
    TJpegError Error{};
    QImage Image;
  };
  const auto state = std::make_unique<TDecodeState>();
  jpeg_decompress_struct* info = &state->Info;
  info->err = jpeg_std_error(&state->Error.Manager);
  state->Error.Manager.error_exit = ErrorExit;
  state->Error.Manager.output_message = SilentOutput;
  if (setjmp(state->Error.Jump)) {
    jpeg_destroy_decompress(info);
    throw EClipvaneError(std::string("Cannot decode the JPEG picture: ") + state->Error.Message);
  }
  jpeg_create_decompress(info);
  jpeg_mem_src(info, reinterpret_cast<const unsigned char*>(data.constData()), static_cast<unsigned long>(data.size()));
  jpeg_read_header(info, TRUE);
  info->out_color_space = JCS_RGB;
  jpeg_start_decompress(info);
  state->Image =
      QImage(static_cast<int>(info->output_width), static_cast<int>(info->output_height), QImage::Format_RGB32);
  if (state->Image.isNull() || info->output_components != 3) {
    jpeg_destroy_decompress(info);
    throw EClipvaneError("Cannot decode the JPEG picture");
  }
  JSAMPARRAY row =
      (*info->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(info), JPOOL_IMAGE, info->output_width * 3, 1);
  while (info->output_scanline < info->output_height) {
    const int y = static_cast<int>(info->output_scanline);
    jpeg_read_scanlines(info, row, 1);
    auto* out = reinterpret_cast<QRgb*>(state->Image.scanLine(y));
    for (JDIMENSION x = 0; x < info->output_width; ++x)
      out[x] = qRgb(row[0][3 * x], row[0][3 * x + 1], row[0][3 * x + 2]);
  }
  jpeg_finish_decompress(info);
  jpeg_destroy_decompress(info);
  return state->Image;
}

QByteArray SplashJpegData() {
  InitAppResources();
  QFile file(QStringLiteral(":/clipvane/splash.jpg"));
  if (!file.open(QIODevice::ReadOnly)) throw EClipvaneError("The splash picture is missing from the program");
  return file.readAll();
}

QImage LoadSplashPicture() { return DecodeJpeg(SplashJpegData()); }

}  // namespace clipvane
