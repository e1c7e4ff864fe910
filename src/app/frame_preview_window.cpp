// TForm5: window form of the frame preview.
#include "app/frame_preview_window.h"

namespace clipvane {

TForm5::TForm5(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                          Qt::WindowContextHelpButtonHint | Qt::WindowCloseButtonHint) {
  setAttribute(Qt::WA_QuitOnClose, false);
  resize(400, 320);
}

}  // namespace clipvane
