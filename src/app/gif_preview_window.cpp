// TForm3: dialog border without border icons, 172 x 124 until a GIF is shown.
#include "app/gif_preview_window.h"

#include <QLabel>

namespace clipvane {

TForm3::TForm3(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setWindowTitle(QStringLiteral("GIF preview"));
  setAttribute(Qt::WA_QuitOnClose, false);
  Image1 = new QLabel(this);
  Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  SetClientSize(172, 124);
}

void TForm3::SetClientSize(int width, int height) {
  setFixedSize(width, height);
  Image1->setGeometry(0, 0, width, height);
}

}  // namespace clipvane
