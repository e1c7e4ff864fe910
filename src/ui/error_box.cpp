// The error box: QMessageBox::critical with the application title, or the test presenter.
#include "ui/error_box.h"

#include <QMessageBox>
#include <QString>

#include "core/error.h"

namespace clipvane {

namespace {
std::function<void(const std::string&)>& Presenter() {
  static std::function<void(const std::string&)> presenter;
  return presenter;
}
}  // namespace

void ShowErrorBox(QWidget* parent, const std::string& message) {
  const std::string text = ErrorBoxText(message);
  if (Presenter()) {
    Presenter()(text);
    return;
  }
  QMessageBox::critical(parent, QString::fromUtf8(kApplicationTitle), QString::fromStdString(text));
}

void SetErrorBoxPresenter(std::function<void(const std::string& text)> presenter) {
  Presenter() = std::move(presenter);
}

}  // namespace clipvane
