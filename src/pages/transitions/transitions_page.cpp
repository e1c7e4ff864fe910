// TTransitionsPage: fixed layout of the "Transition effects" page and its start-up states.
#include "pages/transitions/transitions_page.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QToolButton>

#include "pages/transitions/transition_effects.h"
#include "view/image_view.h"

namespace clipvane {

namespace {

template <class Widget, class... Args>
Widget* Place(QWidget* parent, int left, int top, int width, int height, Args&&... args) {
  auto* widget = new Widget(std::forward<Args>(args)..., parent);
  widget->setGeometry(left, top, width, height);
  return widget;
}

}  // namespace

TTransitionsPage::TTransitionsPage(TVideoState& state, QWidget* parent) : QWidget(parent), state_(state) {
  struct TSlotWidgets {
    QLabel*& Caption;
    TImageView*& View;
    QToolButton*& Open;
    QToolButton*& Empty;
    QFrame*& Panel;
    QLabel*& Size;
  };
  const TSlotWidgets slotWidgets[] = {
      {LabelSource, SourceView, OpenSourceButton, EmptySourceButton, SourceColorPanel, SourceSizeLabel},
      {LabelDestination, DestinationView, OpenDestinationButton, EmptyDestinationButton, DestinationColorPanel,
       DestinationSizeLabel}};
  const QString captions[] = {QStringLiteral("Source image"), QStringLiteral("Destination image")};
  for (int i = 0; i < 2; ++i) {
    const int left = 14 + i * 236;
    const TSlotWidgets& slot = slotWidgets[i];
    slot.Caption = Place<QLabel>(this, left, 2, 200, 18, captions[i]);
    // The view is exactly 200 x 144; a sunken frame around it marks the slot.
    auto* frame = Place<QFrame>(this, left - 1, 21, 202, 146);
    frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
    slot.View = Place<TImageView>(this, left, 22, 200, 144);
    slot.View->SetCentre(true);
    slot.View->SetFit(true);
    slot.Open = Place<QToolButton>(this, left, 172, 26, 24);
    slot.Open->setIcon(style()->standardIcon(QStyle::SP_DialogOpenButton));
    slot.Open->setToolTip(QStringLiteral("Open image"));
    slot.Empty = Place<QToolButton>(this, left + 28, 172, 26, 24);
    slot.Empty->setIcon(style()->standardIcon(QStyle::SP_FileIcon));
    slot.Empty->setToolTip(QStringLiteral("Empty image"));
    slot.Panel = Place<QFrame>(this, left + 58, 173, 40, 22);
    slot.Panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    slot.Panel->setToolTip(QStringLiteral("Background color - Double Click to Edit"));
    slot.Panel->setAutoFillBackground(true);
    SetPanelColor(slot.Panel, clWhite);
    slot.Size = Place<QLabel>(this, left + 104, 172, 96, 24, QStringLiteral("Size:"));
    slot.Size->setVisible(false);
  }

  LabelEffect = Place<QLabel>(this, 14, 206, 40, 22, QStringLiteral("Effect"));
  EffectBox = Place<QComboBox>(this, 56, 206, 150, 22);
  EffectBox->setEditable(true);
  for (const std::string_view name : TransitionEffectNames())
    EffectBox->addItem(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
  LabelStep = Place<QLabel>(this, 220, 206, 30, 22, QStringLiteral("Step"));
  StepEdit = Place<QSpinBox>(this, 252, 206, 52, 22);
  StepEdit->setRange(1, 50);
  StepEdit->setValue(10);
  StepEdit->setWrapping(false);
  LabelDuration = Place<QLabel>(this, 318, 206, 140, 22, QStringLiteral("Duration (10...5000 ms)"));
  DurationEdit = Place<QLineEdit>(this, 318, 230, 60, 22, QStringLiteral("1000"));

  ConvertButton = Place<QPushButton>(this, 14, 262, 90, 24, QStringLiteral("Convert"));
  AbortButton = Place<QPushButton>(this, 110, 262, 90, 24, QStringLiteral("Abort"));
  ClearGifButton = Place<QPushButton>(this, 250, 262, 90, 24, QStringLiteral("Clear GIF"));
  SaveButton = Place<QPushButton>(this, 346, 262, 90, 24, QStringLiteral("Save"));
  AbortButton->setEnabled(false);
  ClearGifButton->setEnabled(false);
  SaveButton->setEnabled(false);
}

void TTransitionsPage::SetPanelColor(QFrame* panel, TColor color) {
  QPalette palette = panel->palette();
  palette.setColor(QPalette::Window, QColor(GetRValue(color), GetGValue(color), GetBValue(color)));
  panel->setPalette(palette);
}

TColor TTransitionsPage::PanelColor(const QFrame* panel) {
  const QColor color = panel->palette().color(QPalette::Window);
  return RGB(color.red(), color.green(), color.blue());
}

}  // namespace clipvane
