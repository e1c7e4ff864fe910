// TAboutForm: the About box with the splash picture, the product title, the ownership notice
// and the home page and support links. The picture is held only while the box is shown.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace clipvane {

class TAboutForm : public QDialog {
  Q_OBJECT

 public:
  static constexpr const char* kHomePage = "https://clipvane.example.org/";
  static constexpr const char* kSupportAddress = "support@clipvane.example.org";

  explicit TAboutForm(QWidget* parent = nullptr);

  // True while the picture is loaded (between showing and hiding).
  bool PictureLoaded() const;

  QLabel* Image1 = nullptr;
  QLabel* ProductName = nullptr;
  QLabel* Copyright = nullptr;
  QLabel* HomePageLabel = nullptr;
  QLabel* HomePageLink = nullptr;
  QLabel* SupportLabel = nullptr;
  QLabel* SupportLink = nullptr;
  QPushButton* OKButton = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
};

}  // namespace clipvane
