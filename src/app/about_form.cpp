// TAboutForm: layout of the box, picture loading on show and release on hide, the two links.
#include "app/about_form.h"

#include <QFont>
#include <QGuiApplication>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QUrl>

#include "app/control_tips.h"
#include "app/splash_picture.h"
#include "app/url_opener.h"

namespace clipvane {

namespace {
QLabel* LinkLabel(QWidget* parent, const QString& text, const QString& url) {
  auto* label = new QLabel(parent);
  label->setTextFormat(Qt::RichText);
  label->setText(QStringLiteral("<a href=\"%1\" style=\"color:#0000ff; text-decoration:underline;\">%2</a>")
                     .arg(url.toHtmlEscaped(), text.toHtmlEscaped()));
  label->setCursor(Qt::PointingHandCursor);
  label->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
  QObject::connect(label, &QLabel::linkActivated, label, [](const QString& link) { OpenUrl(QUrl(link)); });
  return label;
}
}  // namespace

TAboutForm::TAboutForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint) {
  setWindowTitle(QStringLiteral("About"));
  setAttribute(Qt::WA_QuitOnClose, false);
  setFixedSize(412, 464);

  Image1 = new QLabel(this);
  Image1->setGeometry(6, 6, 400, 266);
  Image1->setAlignment(Qt::AlignCenter);
  Image1->setScaledContents(true);

  ProductName = new QLabel(QStringLiteral("Clipvane 4.3"), this);
  ProductName->setGeometry(6, 282, 400, 34);
  ProductName->setAlignment(Qt::AlignCenter);
  QFont titleFont = ProductName->font();
  titleFont.setPixelSize(24);
  titleFont.setBold(true);
  ProductName->setFont(titleFont);
  ProductName->setStyleSheet(QStringLiteral("color: navy;"));

  Copyright = new QLabel(QStringLiteral("Opens any video: %1 and every other container FFmpeg reads.\n"
                                        "Copyright \u00A9 The Clipvane authors. All rights reserved.")
                             .arg(VideoContainersText()),
                         this);
  Copyright->setGeometry(6, 318, 400, 48);
  Copyright->setAlignment(Qt::AlignCenter);
  Copyright->setWordWrap(true);

  HomePageLabel = new QLabel(QStringLiteral("Home Page:"), this);
  HomePageLabel->setGeometry(40, 370, 90, 18);
  HomePageLink = LinkLabel(this, QString::fromLatin1(kHomePage), QString::fromLatin1(kHomePage));
  HomePageLink->setGeometry(134, 370, 260, 18);

  SupportLabel = new QLabel(QStringLiteral("Support:"), this);
  SupportLabel->setGeometry(40, 392, 90, 18);
  SupportLink = LinkLabel(this, QString::fromLatin1(kSupportAddress),
                          QStringLiteral("mailto:") + QString::fromLatin1(kSupportAddress));
  SupportLink->setGeometry(134, 392, 260, 18);

  OKButton = new QPushButton(QStringLiteral("OK"), this);
  OKButton->setGeometry(168, 428, 75, 25);
  OKButton->setDefault(true);
  connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
}

bool TAboutForm::PictureLoaded() const { return !Image1->pixmap().isNull(); }

void TAboutForm::showEvent(QShowEvent* event) {
  Image1->setPixmap(QPixmap::fromImage(LoadSplashPicture()));
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
  QDialog::showEvent(event);
}

void TAboutForm::hideEvent(QHideEvent* event) {
  Image1->clear();
  QDialog::hideEvent(event);
}

}  // namespace clipvane
