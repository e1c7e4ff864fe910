// TFramesPage: fixed layout of the "frames extract" page, its start-up states and handlers.
#include "pages/frames/frames_page.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <algorithm>

#include "core/error.h"
#include "core/finally.h"
#include "pages/frames/folder_chooser_form.h"
#include "pages/frames/frame_preview_window.h"
#include "pages/frames/frames_list_page.h"
#include "runs/frames/frame_conversion.h"
#include "runs/frames/frame_save_plan.h"
#include "runs/frames/frame_saving.h"
#include "runs/frames/result_memory.h"
#include "ui/error_box.h"
#include "ui/open_avi_hold.h"
#include "ui/progress_bar.h"
#include "ui/run_scope.h"
#include "ui/widget_placement.h"

namespace clipvane {

template <class Signal, class Sender>
void TFramesPage::Wire(Sender* sender, Signal signal, void (TFramesPage::*handler)()) {
  connect(sender, signal, this, [this, handler] { RunHandler(this, [this, handler] { (this->*handler)(); }); });
}

TFramesPage::TFramesPage(TVideoState& state, QWidget* parent) : QWidget(parent), state_(state) {
  lbAVI = Place<TFramesListView>(this, 4, 4, 275, 223);
  lbAVI->setToolTip(QStringLiteral("Frames list - Double click for preview"));
  lbAVI->setUniformItemSizes(true);
  lbAVI->setSelectionMode(QAbstractItemView::SingleSelection);
  lbAVI->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
  lbAVI->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  FramesListModel = new TFramesListModel(state_, this);
  FramesListDelegate = new TFramesListDelegate(*FramesListModel, this);
  lbAVI->setModel(FramesListModel);
  lbAVI->setItemDelegate(FramesListDelegate);
  connect(FramesListModel, &TFramesListModel::EntriesDropped, this, [this] { FramesListDelegate->DropThumbnails(); });

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
  RadioButtonPng = Place<QRadioButton>(GroupBoxSaveTo, 134, 18, 52, 18, QStringLiteral("PNG"));
  RadioButton8->setChecked(true);
  // Two lines of text need the height up to the file name row.
  LabelQuality = Place<QLabel>(GroupBoxSaveTo, 6, 35, 108, 31, QStringLiteral("Compression\nquality (1...100)"));
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
  for (QWidget* control :
       {static_cast<QWidget*>(LabelWidth), static_cast<QWidget*>(SpinEdit10), static_cast<QWidget*>(LabelHeight),
        static_cast<QWidget*>(SpinEdit11), static_cast<QWidget*>(CheckBoxAspect)})
    control->setEnabled(false);

  Button12 = Place<QPushButton>(this, 284, 225, 94, 20, QStringLiteral("Get frames"));
  Button13 = Place<QPushButton>(this, 381, 225, 94, 20, QStringLiteral("Abort"));
  Button14 = Place<QPushButton>(this, 284, 247, 94, 20, QStringLiteral("Clear results"));
  Button15 = Place<QPushButton>(this, 381, 247, 94, 20, QStringLiteral("Save"));
  Button16 = Place<QPushButton>(this, 284, 269, 94, 20, QStringLiteral("Frames preview"));
  for (QPushButton* button : {Button12, Button13, Button14, Button15, Button16}) button->setEnabled(false);

  Wire(Button12, &QPushButton::clicked, &TFramesPage::Button12Click);
  Wire(Button13, &QPushButton::clicked, &TFramesPage::Button13Click);
  Wire(Button14, &QPushButton::clicked, &TFramesPage::Button14Click);
  Wire(Button15, &QPushButton::clicked, &TFramesPage::Button15Click);
  Wire(Button16, &QPushButton::clicked, &TFramesPage::Button16Click);
  Wire(RadioButton6, &QRadioButton::clicked, &TFramesPage::RadioButton6Click);
  Wire(RadioButton7, &QRadioButton::clicked, &TFramesPage::RadioButton7Click);
  Wire(SpinEdit6, &QSpinBox::valueChanged, &TFramesPage::SpinEdit6Change);
  Wire(SpinEdit7, &QSpinBox::valueChanged, &TFramesPage::SpinEdit6Change);
  Wire(RadioButton10, &QRadioButton::clicked, &TFramesPage::RadioButton10Click);
  Wire(RadioButton11, &QRadioButton::clicked, &TFramesPage::RadioButton11Click);
  Wire(SpinEdit10, &QSpinBox::valueChanged, &TFramesPage::SpinEdit10Change);
  Wire(SpinEdit11, &QSpinBox::valueChanged, &TFramesPage::SpinEdit11Change);
  Wire(ComboBox1, &QComboBox::currentTextChanged, &TFramesPage::ComboBox1Change);
  Wire(RadioButton8, &QRadioButton::clicked, &TFramesPage::RadioButton8Click);
  Wire(RadioButton9, &QRadioButton::clicked, &TFramesPage::RadioButton9Click);
  Wire(RadioButtonPng, &QRadioButton::clicked, &TFramesPage::RadioButtonPngClick);
  Wire(lbAVI, &QListView::doubleClicked, &TFramesPage::lbAVIDblClick);

  ChooseFolder = [this] {
    TForm4 chooser(this);
    chooser.SetFolder(lastFolder_.isEmpty() ? QDir::homePath() : lastFolder_);
    return chooser.exec() == QDialog::Accepted ? chooser.SelectedFolder() : QString();
  };
  Confirm = [this](const QString& question) {
    return QMessageBox::question(this, QString::fromUtf8(kApplicationTitle), question,
                                 QMessageBox::Yes | QMessageBox::Cancel, QMessageBox::Cancel) == QMessageBox::Yes;
  };
  AvailableMemory = [] { return AvailableMemoryBytes(); };
  MakeSource = [] { return MakeFrameSource(); };
}

void TFramesPage::VideoOpened() {
  DropResults();
  RadioButton6Click();
  RadioButton10Click();
  RadioButton6->setChecked(true);
  GroupBoxFramesSelect->setEnabled(true);
  Button12->setEnabled(true);
}

void TFramesPage::DropResults() {
  const bool holding = Button14->isEnabled();
  FramesListModel->Reload([this, holding] {
    if (holding) ClearExtractionResults(state_);
  });
  for (QPushButton* button : {Button13, Button14, Button15, Button16}) button->setEnabled(false);
  if (links_.Preview) links_.Preview->UpdateStepButtons();
}

void TFramesPage::VideoClosed() {
  {
    // Quietly: the range rule and the size coupling have no video to work on.
    const QSignalBlocker from(SpinEdit6), to(SpinEdit7), width(SpinEdit10), height(SpinEdit11);
    for (QSpinBox* box : {SpinEdit6, SpinEdit7}) {
      box->setRange(0, 0);
      box->setValue(0);
    }
    SpinEdit10->setValue(0);
    SpinEdit11->setValue(0);
  }
  RadioButton6->setChecked(true);
  RadioButton10->setChecked(true);
  for (QWidget* control :
       {static_cast<QWidget*>(LabelRangeDots), static_cast<QWidget*>(SpinEdit6), static_cast<QWidget*>(SpinEdit7),
        static_cast<QWidget*>(LabelWidth), static_cast<QWidget*>(SpinEdit10), static_cast<QWidget*>(LabelHeight),
        static_cast<QWidget*>(SpinEdit11), static_cast<QWidget*>(CheckBoxAspect),
        static_cast<QWidget*>(GroupBoxFramesSelect), static_cast<QWidget*>(Button12)})
    control->setEnabled(false);
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
  for (QWidget* control :
       {static_cast<QWidget*>(LabelWidth), static_cast<QWidget*>(SpinEdit10), static_cast<QWidget*>(LabelHeight),
        static_cast<QWidget*>(SpinEdit11), static_cast<QWidget*>(CheckBoxAspect)})
    control->setEnabled(false);
  SpinEdit10->setValue(state_.FrameWidth);
  SpinEdit11->setValue(state_.FrameHeight);
}

void TFramesPage::RadioButton11Click() {
  for (QWidget* control :
       {static_cast<QWidget*>(LabelWidth), static_cast<QWidget*>(SpinEdit10), static_cast<QWidget*>(LabelHeight),
        static_cast<QWidget*>(SpinEdit11), static_cast<QWidget*>(CheckBoxAspect)})
    control->setEnabled(true);
}

// The coupled pair is worked out at once and both boxes set quietly: the result is the one
// the boxes reach by setting each other in turn.
void TFramesPage::SpinEdit10Change() {
  if (!CheckBoxAspect->isChecked()) return;
  const TFrameSize boxes = CoupleFrameSize({SpinEdit10->value(), SpinEdit11->value()}, TSizeBox::sbWidth,
                                           state_.FrameWidth, state_.FrameHeight);
  const QSignalBlocker width(SpinEdit10), height(SpinEdit11);
  SpinEdit10->setValue(boxes.Width);
  SpinEdit11->setValue(boxes.Height);
}

void TFramesPage::SpinEdit11Change() {
  if (!CheckBoxAspect->isChecked()) return;
  const TFrameSize boxes = CoupleFrameSize({SpinEdit10->value(), SpinEdit11->value()}, TSizeBox::sbHeight,
                                           state_.FrameWidth, state_.FrameHeight);
  const QSignalBlocker width(SpinEdit10), height(SpinEdit11);
  SpinEdit10->setValue(boxes.Width);
  SpinEdit11->setValue(boxes.Height);
}

void TFramesPage::RadioButton7Click() {
  LabelRangeDots->setEnabled(true);
  SpinEdit6->setEnabled(true);
  SpinEdit7->setEnabled(true);
  for (QSpinBox* box : {SpinEdit6, SpinEdit7}) box->setRange(0, std::max(0, state_.LastFrame));
  SpinEdit6->setValue(0);
  SpinEdit7->setValue(state_.LastFrame);
}

void TFramesPage::SpinEdit6Change() {
  ApplyFrameRange(state_, SpinEdit6->value(), SpinEdit7->value());
  if (OnFrameTicksChanged) OnFrameTicksChanged();
}

TSaveGroupState TFramesPage::SaveGroup() const {
  return TSaveGroupState{RadioButton9->isChecked(), RadioButton9->text() == QStringLiteral("TIFF"),
                         QualityEdit->isEnabled()};
}

void TFramesPage::ApplySaveGroup(const TSaveGroupState& group) {
  RadioButton9->setText(group.SecondIsTiff ? QStringLiteral("TIFF") : QStringLiteral("JPEG"));
  LabelQuality->setEnabled(group.QualityEnabled);
  QualityEdit->setEnabled(group.QualityEnabled);
}

void TFramesPage::ComboBox1Change() {
  ApplySaveGroup(ColorModeChanged(SaveGroup(), ComboBox1->currentText().toStdString()));
}

void TFramesPage::RadioButton8Click() { ApplySaveGroup(BmpChosen(SaveGroup())); }

void TFramesPage::RadioButton9Click() { ApplySaveGroup(SecondFormatChosen(SaveGroup())); }

void TFramesPage::RadioButtonPngClick() { ApplySaveGroup(PngChosen(SaveGroup())); }

void TFramesPage::SyncFramesList() { FramesListModel->Sync(); }

void TFramesPage::Button12Click() {
  if (running_) return;
  const TColorMode mode = ColorModeFromText(ComboBox1->currentText().toStdString());
  const int width = SpinEdit10->value();
  const int height = SpinEdit11->value();
  // Every extracted frame stays in memory until "Clear results": say so before a run that
  // would not fit.
  const std::uint64_t estimate = EstimateResultBytes(FramesToExtract(state_), width, height, mode);
  if (const std::optional<std::uint64_t> available = AvailableMemory ? AvailableMemory() : std::nullopt;
      available && estimate > *available) {
    if (!Confirm || !Confirm(QString::fromStdString(MemoryQuestionText(estimate, *available)))) return;
  }
  std::unique_ptr<TFrameSource> source = MakeSource ? MakeSource() : MakeFrameSource();

  // Taken before the start step switches the controls: a run that fails before its first
  // frame gives them back as they are now.
  const TRunScope run(TRunScopeLinks{
      running_,
      state_.ExtractAbort,
      links_.OtherRunStarts,
      {Button12, Button13, Button14, Button15, Button16, links_.OpenAvi, links_.Play, links_.Pause, links_.Reset},
      [this] {
        SyncFramesList();
        Button16->setEnabled(true);
        Button14->setEnabled(true);
        Button15->setEnabled(true);
        Button13->setEnabled(false);
        if (links_.Play) links_.Play->setEnabled(true);
        if (links_.Pause) links_.Pause->setEnabled(false);
        if (links_.Reset) links_.Reset->setEnabled(false);
        if (links_.Preview) links_.Preview->UpdateStepButtons();
      },
      [this] { return !state_.ExtractedFrames.empty(); }});

  FramesListModel->Reload([this] { state_.ResetResults(); });
  if (links_.Preview) links_.Preview->UpdateStepButtons();
  state_.ExtractAbort = false;
  Button13->setEnabled(true);
  Button13->setFocus();
  Button12->setEnabled(false);
  for (QPushButton* button : {links_.OpenAvi, links_.Play, links_.Pause, links_.Reset})
    if (button) button->setEnabled(false);
  if (links_.Preview) links_.Preview->SetSizeText(QString::fromStdString(ExtractionStatusText(width, height, mode)));

  const std::size_t slotCount = state_.FrameResults.size();
  TRunHooks hooks;
  hooks.progress = ProgressBarHook(links_.ProgressBar);
  hooks.processMessages = [this, slotCount] {
    SyncFramesList();
    QCoreApplication::processEvents();
    // Closing the main window empties the results while the run waits here; the run must
    // not store another frame into them, so it stops as if aborted.
    if (state_.FrameResults.size() != slotCount) state_.ExtractAbort = true;
  };
  TExtractionOptions options;
  options.Mode = mode;
  options.FrameSize = [this] { return TFrameSize{SpinEdit10->value(), SpinEdit11->value()}; };
  RunFrameExtraction(state_, *source, options, hooks);
}

void TFramesPage::Button13Click() {
  state_.ExtractAbort = true;
  Button13->setEnabled(false);
}

void TFramesPage::Button14Click() {
  FramesListModel->Reload([this] { ClearExtractionResults(state_); });
  Button16->setEnabled(false);
  // Another page's results keep "Open AVI" off: their own clear gives it back.
  GiveBackOpenAvi(links_.OpenAvi, links_.OtherClears);
  Button14->setEnabled(false);
  Button12->setEnabled(true);
  Button15->setEnabled(false);
  if (links_.Preview) links_.Preview->UpdateStepButtons();
}

void TFramesPage::Button16Click() {
  if (state_.ExtractedFrames.empty() || !links_.Preview) return;
  links_.Preview->ShowEntry(0, SpinEdit10->value(), SpinEdit11->value());
}

void TFramesPage::lbAVIDblClick() {
  const QModelIndex current = lbAVI->currentIndex();
  if (!current.isValid() || !lbAVI->selectionModel()->isSelected(current) || !links_.Preview) return;
  links_.Preview->ShowEntry(current.row(), SpinEdit10->value(), SpinEdit11->value());
}

void TFramesPage::Button15Click() {
  // Said before any dialog, as the GIF pages do: a folder chosen for nothing is wasted work.
  const bool anyFrame = std::any_of(state_.ExtractedFrames.begin(), state_.ExtractedFrames.end(),
                                    [](const TExtractedFrame& entry) { return entry.Bitmap != nullptr; });
  if (!anyFrame) throw EClipvaneError("There are no frames to save");
  const QString folder = ChooseFolder ? ChooseFolder() : QString();
  if (folder.isEmpty()) return;
  lastFolder_ = folder;

  TSaveOptions options;
  options.Format = RadioButtonPng->isChecked()                      ? TSaveFormat::sfPNG
                   : !RadioButton9->isChecked()                     ? TSaveFormat::sfBMP
                   : RadioButton9->text() == QStringLiteral("TIFF") ? TSaveFormat::sfTIFF
                                                                    : TSaveFormat::sfJPEG;
  options.Quality = QualityEdit->value();
  options.BaseName = FileNameEdit->text().toStdString();
  const std::string target = folder.toStdString();
  const std::vector<std::string> paths = FrameSavePaths(state_.ExtractedFrames, state_.LastFrame, target, options);
  if (const int existing = CountExistingFiles(paths); existing > 0) {
    if (!Confirm || !Confirm(QString::fromStdString(ReplaceQuestionText(existing, target)))) return;
  }

  QApplication::setOverrideCursor(Qt::BusyCursor);
  TProgressBar* bar = links_.ProgressBar;
  const TFinally restore([bar] {
    QApplication::restoreOverrideCursor();
    if (bar) bar->SetPosition(0);
  });
  if (bar) {
    bar->SetMin(0);
    bar->SetMax(static_cast<int>(paths.size()));
    bar->SetPosition(0);
  }
  // No message processing while writing: the list's bitmaps must not be cleared under the
  // writer. The bar is painted directly instead.
  std::size_t written = 0;
  for (const TExtractedFrame& entry : state_.ExtractedFrames) {
    if (entry.Bitmap == nullptr) continue;
    SaveFrameFile(*entry.Bitmap, paths[written], options);
    ++written;
    if (bar) {
      bar->SetPosition(static_cast<int>(written));
      bar->repaint();
    }
  }
}

}  // namespace clipvane
