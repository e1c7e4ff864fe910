// The "Transition effects" page in the real main window for a test: picture files written by
// libpng and our JPEG writer, the open-picture and colour dialogs answered by the test, and
// the preview window's document read back frame by frame.
#pragma once

#include <png.h>

#include <QAbstractScrollArea>
#include <QCoreApplication>
#include <QFrame>
#include <QMouseEvent>
#include <QTabWidget>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "gif/gif_extensions.h"
#include "gif/gif_image.h"
#include "imageio/jpeg_writer.h"
#include "imageio/picture_decoders.h"
#include "pages/transitions/transitions_page.h"
#include "ui/gif_preview_window.h"
#include "ui/image_view.h"
#include "window_fixture.h"

namespace clipvane::testing {

class TransitionsPageTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    Page().OpenPictureDialog = [this](const QString& filter) {
      DialogFilters.push_back(filter);
      return PictureAnswer;
    };
    Page().ChooseColor = [this](TColor initial) {
      ColorDialogPresets.push_back(initial);
      return ColorAnswer;
    };
  }

  TTransitionsPage& Page() { return *Form().TransitionsPage; }

  // Shows the page and lets the views lay themselves out, as the user would see them.
  void ShowPage() {
    Form().PageControl1->setCurrentWidget(&Page());
    Form().show();
    QCoreApplication::processEvents();
  }
  TForm3& Preview() { return *Windows->Form3; }

  // A PNG of one colour, written by libpng, with a marker pixel at (0, 0).
  std::string Png(const std::string& name, int width, int height, TColor color, TColor marker) {
    const std::string path = Folder.File(name);
    FILE* file = std::fopen(path.c_str(), "wb");
    EXPECT_NE(file, nullptr);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
      png_destroy_write_struct(&png, &info);
      std::fclose(file);
      ADD_FAILURE() << "libpng could not write " << name;
      return path;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<png_byte> row(static_cast<std::size_t>(width) * 3);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const TColor c = x == 0 && y == 0 ? marker : color;
        row[x * 3] = GetRValue(c);
        row[x * 3 + 1] = GetGValue(c);
        row[x * 3 + 2] = GetBValue(c);
      }
      png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    return path;
  }

  std::string Jpeg(const std::string& name, int width, int height, TColor color) {
    const std::string path = Folder.File(name);
    TBitmap picture(width, height);
    picture.FillRect(TRect{0, 0, width, height}, color);
    SaveToJPEG(picture, path, 95);
    return path;
  }

  // Answers the open-picture dialog with `path` (empty: cancel) and presses the slot's "Open image".
  void OpenInto(TTransitionSlotId slot, const std::string& path) {
    PictureAnswer = QString::fromStdString(path);
    (slot == TTransitionSlotId::tsSource ? Page().OpenSourceButton : Page().OpenDestinationButton)->click();
  }

  static void DoubleClick(QWidget* widget) {
    QMouseEvent press(QEvent::MouseButtonDblClick, QPointF(5, 5), widget->mapToGlobal(QPointF(5, 5)), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &press);
  }

  void SetColors(TColor source, TColor destination) {
    TTransitionsPage::SetPanelColor(Page().SourceColorPanel, source);
    TTransitionsPage::SetPanelColor(Page().DestinationColorPanel, destination);
  }

  // Frame k of the previewed document as a 24-bit picture.
  TBitmap PreviewFrame(int k) {
    TBitmap frame;
    const TGIFImage* document = Preview().Document();
    if (!document || k >= document->Images().Count()) {
      ADD_FAILURE() << "the preview holds no frame " << k;
      return frame;
    }
    document->Images()[k]->AssignTo(frame);
    return frame;
  }
  int PreviewFrameCount() {
    const TGIFImage* document = Preview().Document();
    return document ? document->Images().Count() : -1;
  }

  QString PictureAnswer;
  std::vector<QString> DialogFilters;
  std::optional<TColor> ColorAnswer;
  std::vector<TColor> ColorDialogPresets;
};

}  // namespace clipvane::testing
