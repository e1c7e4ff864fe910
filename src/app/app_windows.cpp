// TAppWindows: creation of the windows and their order of destruction; the program font.
#include "app/app_windows.h"

#include <QApplication>
#include <QFont>

#include "app/about_form.h"
#include "app/main_window.h"
#include "pages/frames/frame_preview_window.h"
#include "ui/gif_preview_window.h"
#include "ui/video_window.h"

namespace clipvane {

void SetProgramFont() {
  QFont font = QApplication::font();
  font.setPointSize(8);
  QApplication::setFont(font);
}

TAppWindows::TAppWindows(std::shared_ptr<TPlayerClock> clock) {
  Form1 = std::make_unique<TForm1>(State, std::move(clock));
  Form2 = std::make_unique<TForm2>();
  Form3 = std::make_unique<TForm3>();
  Form5 = std::make_unique<TForm5>(State);
  AboutForm = std::make_unique<TAboutForm>();
  Form1->SetSecondaryWindows(Form2.get(), Form3.get(), Form5.get(), AboutForm.get());
}

TAppWindows::~TAppWindows() {
  Form1.reset();
  AboutForm.reset();
  Form5.reset();
  Form3.reset();
  Form2.reset();
}

}  // namespace clipvane
