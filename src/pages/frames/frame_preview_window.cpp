// TForm5: the frame preview window, its tool bar, view and status bar, stepping and zoom.
#include "pages/frames/frame_preview_window.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>

#include "runs/frames/preview_zoom.h"
#include "ui/error_box.h"
#include "ui/image_view.h"

namespace clipvane {

namespace {

constexpr TColor kTeal = RGB(0, 128, 128);

// The tool bar's pictures, drawn here so they look the same on every desktop style.
QIcon ToolIcon(const std::function<void(QPainter&)>& draw) {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(QColor(0, 0, 0), 1.6));
  draw(painter);
  return QIcon(pixmap);
}

QIcon ArrowIcon(bool left) {
  return ToolIcon([left](QPainter& painter) {
    QPainterPath path;
    if (left) {
      path.moveTo(11, 3);
      path.lineTo(4, 8);
      path.lineTo(11, 13);
    } else {
      path.moveTo(5, 3);
      path.lineTo(12, 8);
      path.lineTo(5, 13);
    }
    path.closeSubpath();
    painter.fillPath(path, QColor(0, 0, 128));
  });
}

QIcon MagnifierIcon(bool plus) {
  return ToolIcon([plus](QPainter& painter) {
    painter.setBrush(QColor(255, 255, 255));
    painter.drawEllipse(QRectF(1.5, 1.5, 9, 9));
    painter.setPen(QPen(QColor(0, 0, 0), 2.4));
    painter.drawLine(QPointF(9.5, 9.5), QPointF(14.5, 14.5));
    painter.setPen(QPen(QColor(0, 0, 0), 1.4));
    painter.drawLine(QPointF(3.5, 6), QPointF(8.5, 6));
    if (plus) painter.drawLine(QPointF(6, 3.5), QPointF(6, 8.5));
  });
}

QIcon ExitIcon() {
  return ToolIcon([](QPainter& painter) {
    painter.setPen(QPen(QColor(128, 0, 0), 2.2));
    painter.drawLine(QPointF(4, 4), QPointF(12, 12));
    painter.drawLine(QPointF(12, 4), QPointF(4, 12));
  });
}

QLabel* StatusPanel(QWidget* parent, int width) {
  auto* panel = new QLabel(parent);
  panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  panel->setMinimumWidth(width);
  return panel;
}

}  // namespace

TForm5::TForm5(TVideoState& state, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                          Qt::WindowContextHelpButtonHint | Qt::WindowCloseButtonHint),
      state_(state) {
  setAttribute(Qt::WA_QuitOnClose, false);

  ToolBar = new QWidget(this);
  ToolBar->setFixedHeight(26);
  auto* tools = new QHBoxLayout(ToolBar);
  tools->setContentsMargins(2, 2, 2, 3);
  tools->setSpacing(0);
  const auto tool = [this, tools](const QIcon& icon, const QString& hint, void (TForm5::*handler)()) {
    auto* button = new QToolButton(ToolBar);
    button->setAutoRaise(true);
    button->setFixedSize(25, 21);
    button->setIcon(icon);
    button->setToolTip(hint);
    tools->addWidget(button);
    connect(button, &QToolButton::clicked, this,
            [this, handler] { RunHandler(this, [this, handler] { (this->*handler)(); }); });
    return button;
  };
  SpeedButton1 = tool(ArrowIcon(true), QStringLiteral("Previous"), &TForm5::SpeedButton1Click);
  SpeedButton2 = tool(ArrowIcon(false), QStringLiteral("Next"), &TForm5::SpeedButton2Click);
  SpeedButton3 = tool(MagnifierIcon(true), QStringLiteral("Zoom in"), &TForm5::SpeedButton3Click);
  SpeedButton4 = tool(MagnifierIcon(false), QStringLiteral("Zoom out"), &TForm5::SpeedButton4Click);
  SpeedButton5 = tool(ExitIcon(), QStringLiteral("Exit"), &TForm5::SpeedButton5Click);
  tools->addStretch(1);

  ImageView1 = new TImageView(this);
  ImageView1->SetBackgroundColor(kTeal);
  ImageView1->SetScrollBars(TScrollBars::ssBoth);
  ImageView1->SetCentre(false);
  ImageView1->SetFit(false);

  StatusBar1 = new QWidget(this);
  StatusBar1->setFixedHeight(25);
  auto* panels = new QHBoxLayout(StatusBar1);
  panels->setContentsMargins(1, 2, 1, 2);
  panels->setSpacing(2);
  StatusPanel0 = StatusPanel(StatusBar1, 100);
  StatusPanel0->setFixedWidth(100);
  StatusPanel0->setAlignment(Qt::AlignCenter);
  StatusPanel0->setText(QStringLiteral("Zoom: 100%"));
  // Panel 1 is 50 pixels at least and takes the rest of the bar: its size and colour
  // line is wider than 50 pixels and would otherwise be cut.
  StatusPanel1 = StatusPanel(StatusBar1, 50);
  panels->addWidget(StatusPanel0);
  panels->addWidget(StatusPanel1, 1);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(ToolBar);
  layout->addWidget(ImageView1, 1);
  layout->addWidget(StatusBar1);

  state_.PreviewZoom = 100;
  resize(400, 320);
}

TForm5::~TForm5() { ImageView1->Clear(); }

void TForm5::SetSizeText(const QString& text) { StatusPanel1->setText(text); }

void TForm5::DrawEntry() {
  const TExtractedFrame& entry = state_.ExtractedFrames[static_cast<std::size_t>(state_.PreviewIndex)];
  setWindowTitle(QStringLiteral("Frame %1").arg(entry.FrameNumber));
  TBitmap& bitmap = ImageView1->Bitmap();
  // Never smaller than the frame: the boxes may have changed since the run, and a frame
  // cut at the view's edge would hide part of the picture.
  if (entry.Bitmap != nullptr && (entry.Bitmap->Width() > bitmap.Width() || entry.Bitmap->Height() > bitmap.Height())) {
    bitmap.SetSize(std::max(bitmap.Width(), entry.Bitmap->Width()), std::max(bitmap.Height(), entry.Bitmap->Height()));
  }
  ImageView1->Clear();
  if (entry.Bitmap != nullptr) bitmap.Draw(0, 0, *entry.Bitmap);
  ImageView1->Update();
}

void TForm5::SetZoom(int zoom) {
  state_.PreviewZoom = zoom;
  ImageView1->SetZoom(zoom);
  StatusPanel0->setText(QStringLiteral("Zoom: %1%").arg(zoom));
  SpeedButton3->setEnabled(CanPreviewZoomIn(zoom));
  SpeedButton4->setEnabled(CanPreviewZoomOut(zoom));
}

void TForm5::UpdateStepButtons() {
  const int count = static_cast<int>(state_.ExtractedFrames.size());
  SpeedButton1->setEnabled(CanPreviewPrevious(state_.PreviewIndex, count));
  SpeedButton2->setEnabled(CanPreviewNext(state_.PreviewIndex, count));
}

void TForm5::ShowEntry(int index, int boxWidth, int boxHeight) {
  if (index < 0 || index >= static_cast<int>(state_.ExtractedFrames.size())) return;
  state_.PreviewIndex = index;
  // Both sides at once: an empty bitmap given only its height first would stay empty.
  ImageView1->Bitmap().SetSize(std::max(boxWidth, 0), std::max(boxHeight, 0));
  DrawEntry();
  SetZoom(100);
  UpdateStepButtons();
  show();
  raise();
}

void TForm5::FormShow() { UpdateStepButtons(); }

void TForm5::FormResize() { ImageView1->Repaint(); }

void TForm5::SpeedButton1Click() {
  const int count = static_cast<int>(state_.ExtractedFrames.size());
  // The list may have been emptied or re-made since the window was opened.
  if (!CanPreviewPrevious(state_.PreviewIndex, count) || state_.PreviewIndex > count) {
    UpdateStepButtons();
    return;
  }
  --state_.PreviewIndex;
  DrawEntry();
  SetZoom(100);
  UpdateStepButtons();
}

void TForm5::SpeedButton2Click() {
  const int count = static_cast<int>(state_.ExtractedFrames.size());
  if (!CanPreviewNext(state_.PreviewIndex, count) || state_.PreviewIndex < -1) {
    UpdateStepButtons();
    return;
  }
  ++state_.PreviewIndex;
  DrawEntry();
  SetZoom(100);
  UpdateStepButtons();
}

void TForm5::SpeedButton3Click() {
  if (!CanPreviewZoomIn(state_.PreviewZoom)) return;
  SetZoom(PreviewZoomIn(state_.PreviewZoom));
}

void TForm5::SpeedButton4Click() {
  if (!CanPreviewZoomOut(state_.PreviewZoom)) return;
  SetZoom(PreviewZoomOut(state_.PreviewZoom));
}

void TForm5::SpeedButton5Click() {
  ImageView1->Clear();
  hide();
}

void TForm5::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  RunHandler(this, [this] { FormShow(); });
}

void TForm5::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  RunHandler(this, [this] { FormResize(); });
}

}  // namespace clipvane
