// TFramesPage: fixed layout of the "frames extract" page and its start-up states.
#include "pages/frames/frames_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <algorithm>

namespace clipvane {

namespace {

template <class Widget, class... Args>
Widget* Place(QWidget* parent, int left, int top, int width, int height, Args&&... args) {
  auto* widget = new Widget(std::forward<Args>(args)..., parent);
  widget->setGeometry(left, top, width, height);
  return widget;
}

QSpinBox* SpinBox(QWidget* parent, int left, int top, int width, int minimum, int maximum, int value) {
  auto* box = Place<QSpinBox>(parent, left, top, width, 22);
  box->setRange(minimum, maximum);
  box->setValue(value);
  return box;
}

}  // namespace

TFramesPage::TFramesPage(TVideoState& state, QWidget* parent) : QWidget(parent), state_(state) {
  lbAVI = Place<QListView>(this, 4, 4, 275, 223);
  lbAVI->setToolTip(QStringLiteral("Frames list - Double click for preview"));
  lbAVI->setUniformItemSizes(true);

  GroupBoxFramesSelect = Place<QGroupBox>(this, 4, 228, 275, 62, QStringLiteral("Frames select"));
  RadioButton6 = Place<QRadioButton>(GroupBoxFramesSelect, 8, 18, 100, 18, QStringLiteral("All frames"));
  RadioButton7 = Place<QRadioButton>(GroupBoxFramesSelect, 8, 38, 104, 18, QStringLiteral("Frames range"));
  RadioButton6->setChecked(true);
  SpinEdit6 = SpinBox(GroupBoxFramesSelect, 114, 36, 66, 0, 0, 0);
  LabelRangeDots = Place<QLabel>(GroupBoxFramesSelect, 182, 36, 20, 22, QStringLiteral(". . ."));
  LabelRangeDots->setAlignment(Qt::AlignCenter);
  SpinEdit7 = SpinBox(GroupBoxFramesSelect, 204, 36, 66, 0, 0, 0);
  SpinEdit6->setEnabled(false);
  LabelRangeDots->setEnabled(false);
  SpinEdit7->setEnabled(false);
  GroupBoxFramesSelect->setEnabled(false);

  LabelColorMode = Place<QLabel>(this, 286, 4, 70, 22, QStringLiteral("Color mode"));
  ComboBox1 = Place<QComboBox>(this, 360, 4, 114, 22);
  ComboBox1->setEditable(true);
  ComboBox1->addItems({QStringLiteral("32 bit"), QStringLiteral("24 bit"), QStringLiteral("16 bit"),
                       QStringLiteral("15 bit"), QStringLiteral("8 bit"), QStringLiteral("4 bit"),
                       QStringLiteral("1 bit")});
  ComboBox1->setCurrentIndex(1);

  GroupBoxSaveTo = Place<QGroupBox>(this, 284, 28, 191, 92, QStringLiteral("Save to ..."));
  RadioButton8 = Place<QRadioButton>(GroupBoxSaveTo, 8, 18, 56, 18, QStringLiteral("BMP"));
  RadioButton9 = Place<QRadioButton>(GroupBoxSaveTo, 70, 18, 60, 18, QStringLiteral("JPEG"));
  RadioButton8->setChecked(true);
  LabelQuality = Place<QLabel>(GroupBoxSaveTo, 8, 36, 104, 28, QStringLiteral("Compression\nquality (1...100)"));
  LabelQuality->setAlignment(Qt::AlignCenter);
  QualityEdit = SpinBox(GroupBoxSaveTo, 116, 39, 56, 1, 100, 50);
  QualityEdit->setWrapping(false);
  LabelQuality->setEnabled(false);
  QualityEdit->setEnabled(false);
  LabelFileName = Place<QLabel>(GroupBoxSaveTo, 8, 66, 56, 22, QStringLiteral("Filename:"));
  FileNameEdit = Place<QLineEdit>(GroupBoxSaveTo, 66, 66, 100, 22, QStringLiteral("frame"));
  LabelHash = Place<QLabel>(GroupBoxSaveTo, 170, 66, 14, 22, QStringLiteral("#"));

  GroupBoxFrameSize = Place<QGroupBox>(this, 284, 122, 191, 100, QStringLiteral("Frame size"));
  RadioButton10 = Place<QRadioButton>(GroupBoxFrameSize, 8, 18, 80, 18, QStringLiteral("Original"));
  RadioButton11 = Place<QRadioButton>(GroupBoxFrameSize, 96, 18, 86, 18, QStringLiteral("Specified"));
  RadioButton10->setChecked(true);
  LabelWidth = Place<QLabel>(GroupBoxFrameSize, 8, 37, 44, 22, QStringLiteral("Width"));
  SpinEdit10 = SpinBox(GroupBoxFrameSize, 56, 37, 70, 0, 10000, 0);
  LabelHeight = Place<QLabel>(GroupBoxFrameSize, 8, 59, 44, 22, QStringLiteral("Height"));
  SpinEdit11 = SpinBox(GroupBoxFrameSize, 56, 59, 70, 0, 10000, 0);
  CheckBoxAspect = Place<QCheckBox>(GroupBoxFrameSize, 8, 80, 176, 18, QStringLiteral("Maintain aspect ratio"));
  CheckBoxAspect->setChecked(true);
  for (QWidget* control : {static_cast<QWidget*>(LabelWidth), static_cast<QWidget*>(SpinEdit10),
                           static_cast<QWidget*>(LabelHeight), static_cast<QWidget*>(SpinEdit11),
                           static_cast<QWidget*>(CheckBoxAspect)})
    control->setEnabled(false);

  Button12 = Place<QPushButton>(this, 284, 225, 94, 20, QStringLiteral("Get frames"));
  Button13 = Place<QPushButton>(this, 381, 225, 94, 20, QStringLiteral("Abort"));
  Button14 = Place<QPushButton>(this, 284, 247, 94, 20, QStringLiteral("Clear results"));
  Button15 = Place<QPushButton>(this, 381, 247, 94, 20, QStringLiteral("Save"));
  Button16 = Place<QPushButton>(this, 284, 269, 94, 20, QStringLiteral("Frames preview"));
  for (QPushButton* button : {Button12, Button13, Button14, Button15, Button16}) button->setEnabled(false);
}

void TFramesPage::RadioButton6Click() {
  LabelRangeDots->setEnabled(false);
  SpinEdit6->setEnabled(false);
  SpinEdit7->setEnabled(false);
  for (QSpinBox* box : {SpinEdit6, SpinEdit7}) box->setRange(0, std::max(0, state_.LastFrame));
  SpinEdit6->setValue(0);
  SpinEdit7->setValue(state_.LastFrame);
  std::fill(state_.FrameSelected.begin(), state_.FrameSelected.end(), true);
  if (OnFrameTicksChanged) OnFrameTicksChanged();
}

void TFramesPage::RadioButton10Click() {
  for (QWidget* control : {static_cast<QWidget*>(LabelWidth), static_cast<QWidget*>(SpinEdit10),
                           static_cast<QWidget*>(LabelHeight), static_cast<QWidget*>(SpinEdit11),
                           static_cast<QWidget*>(CheckBoxAspect)})
    control->setEnabled(false);
  SpinEdit10->setValue(state_.FrameWidth);
  SpinEdit11->setValue(state_.FrameHeight);
}

}  // namespace clipvane
