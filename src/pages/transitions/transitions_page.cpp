// TTransitionsPage: fixed layout of the "Transition effects" page, its start-up states, the slot
// actions, the settings and the transition run with its preview.
#include "pages/transitions/transitions_page.h"

#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <memory>
#include <tuple>
#include <utility>

#include "core/error.h"
#include "gif/gif_image.h"
#include "imageio/picture_decoders.h"
#include "runs/gif/byte_size_text.h"
#include "runs/transitions/transition_clip.h"
#include "runs/transitions/transition_size_fit.h"
#include "ui/background_job.h"
#include "ui/error_box.h"
#include "ui/gif_preview_window.h"
#include "ui/gif_save_form.h"
#include "ui/image_view.h"
#include "ui/open_avi_hold.h"
#include "ui/progress_bar.h"
#include "ui/run_scope.h"
#include "ui/widget_placement.h"

namespace clipvane {

namespace {

// The one local picture file a drag carries, if it is one we can decode; else empty.
QString DroppedPicturePath(const QMimeData* data) {
  if (!data || !data->hasUrls() || data->urls().size() != 1) return {};
  const QUrl url = data->urls().front();
  if (!url.isLocalFile()) return {};
  const QString path = url.toLocalFile();
  return IsSupportedPictureFile(QFile::encodeName(path).toStdString()) ? path : QString();
}

}  // namespace

template <class Sender, class Signal, class Handler>
void TTransitionsPage::Wire(Sender* sender, Signal signal, Handler handler) {
  connect(sender, signal, this, [this, handler] { RunHandler(this, [this, handler] { handler(); }); });
}

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
    // A picture file dropped on the view opens into the slot; the viewport gets the events.
    slot.View->setAcceptDrops(true);
    slot.View->viewport()->setAcceptDrops(true);
    slot.View->viewport()->installEventFilter(this);
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
    slot.Panel->installEventFilter(this);
    SetPanelColor(slot.Panel, clWhite);
    slot.Size = Place<QLabel>(this, left + 104, 172, 96, 24, QStringLiteral("Size:"));
    slot.Size->setVisible(false);
  }

  LabelEffect = Place<QLabel>(this, 14, 206, 40, 22, QStringLiteral("Effect"));
  EffectBox = Place<QComboBox>(this, 56, 206, 150, 22);
  EffectBox->setEditable(true);
  // Typed text only names an effect; it never becomes a new entry.
  EffectBox->setInsertPolicy(QComboBox::NoInsert);
  for (const std::string_view name : TransitionEffectNames())
    EffectBox->addItem(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
  LabelStep = Place<QLabel>(this, 220, 206, 30, 22, QStringLiteral("Step"));
  StepEdit = Place<QSpinBox>(this, 252, 206, 52, 22);
  StepEdit->setRange(MinTransitionSteps, MaxTransitionSteps);
  StepEdit->setValue(10);
  StepEdit->setWrapping(false);
  LabelDuration = Place<QLabel>(this, 318, 206, 156, 22, QStringLiteral("Duration (10...5000 ms)"));
  DurationEdit = Place<QLineEdit>(this, 318, 230, 60, 22, QStringLiteral("1000"));
  // Not a described control: it takes the free room under the effect box, off at start.
  CheckBoxBest = Place<QCheckBox>(this, 14, 234, 140, 18, QStringLiteral("Best quality"));
  // The estimate: the free room between "Best quality" and the duration edit.
  LabelEstimate = Place<QLabel>(this, 160, 234, 150, 18);

  ConvertButton = Place<QPushButton>(this, 14, 262, 90, 24, QStringLiteral("Convert"));
  AbortButton = Place<QPushButton>(this, 110, 262, 90, 24, QStringLiteral("Abort"));
  ClearGifButton = Place<QPushButton>(this, 250, 262, 90, 24, QStringLiteral("Clear GIF"));
  SaveButton = Place<QPushButton>(this, 346, 262, 90, 24, QStringLiteral("Save"));
  AbortButton->setEnabled(false);
  ClearGifButton->setEnabled(false);
  SaveButton->setEnabled(false);

  using enum TTransitionSlotId;
  Wire(OpenSourceButton, &QToolButton::clicked, [this] { OpenImageClick(tsSource); });
  Wire(OpenDestinationButton, &QToolButton::clicked, [this] { OpenImageClick(tsDestination); });
  Wire(EmptySourceButton, &QToolButton::clicked, [this] { EmptyImageClick(tsSource); });
  Wire(EmptyDestinationButton, &QToolButton::clicked, [this] { EmptyImageClick(tsDestination); });
  Wire(DurationEdit, &QLineEdit::textChanged, [this] { DurationEditChange(); });
  Wire(ConvertButton, &QPushButton::clicked, [this] { ConvertClick(); });
  Wire(AbortButton, &QPushButton::clicked, [this] { AbortClick(); });
  Wire(ClearGifButton, &QPushButton::clicked, [this] { ClearGifClick(); });
  Wire(SaveButton, &QPushButton::clicked, [this] { SaveClick(); });

  estimateTimer_ = new QTimer(this);
  estimateTimer_->setSingleShot(true);
  estimateTimer_->setInterval(300);
  connect(estimateTimer_, &QTimer::timeout, this, [this] { StartEstimate(); });
  estimate_ = new TBackgroundJob(
      this, [this](const std::string& text) { LabelEstimate->setText(QString::fromStdString(text)); });
  // After the handlers above, so the estimate reads what they have set.
  const auto changed = [this] { EstimateChanged(); };
  for (QToolButton* button : {OpenSourceButton, OpenDestinationButton, EmptySourceButton, EmptyDestinationButton})
    connect(button, &QToolButton::clicked, this, changed);
  connect(DurationEdit, &QLineEdit::textChanged, this, changed);
  connect(StepEdit, &QSpinBox::valueChanged, this, changed);
  connect(EffectBox, &QComboBox::currentTextChanged, this, changed);
  connect(CheckBoxBest, &QCheckBox::toggled, this, changed);
}

bool TTransitionsPage::Estimating() const { return estimateTimer_->isActive() || estimate_->Busy(); }

void TTransitionsPage::EstimateChanged() { estimateTimer_->start(); }

void TTransitionsPage::StartEstimate() {
  estimateTimer_->stop();
  const TTransitionEffect effect = SelectedEffect();
  if (static_cast<int>(effect) < 0) {
    estimate_->Stop();
    LabelEstimate->clear();
    return;
  }
  // Copies: the page may change everything while the job works.
  auto job = std::make_shared<std::tuple<TVideoState, TTransitionSlot, TTransitionSlot, TTransitionGifRequest>>();
  auto& [state, source, destination, request] = *job;
  state.TransitionDurationMs = state_.TransitionDurationMs;
  state.SourceEmpty = state_.SourceEmpty;
  state.DestinationEmpty = state_.DestinationEmpty;
  source = {SourceView->Bitmap(), PanelColor(SourceColorPanel)};
  destination = {DestinationView->Bitmap(), PanelColor(DestinationColorPanel)};
  request.Steps = StepEdit->value();
  request.Effect = [effect] { return effect; };
  request.BestQuality = CheckBoxBest->isChecked();
  estimate_->Start([job](const std::function<bool()>& stopped) -> std::string {
    auto& [jobState, jobSource, jobDestination, jobRequest] = *job;
    TRunHooks hooks;
    hooks.aborted = stopped;
    const TGifSizeEstimate estimate = EstimateTransitionGifSize(jobState, jobSource, jobDestination, jobRequest, hooks);
    if (stopped() || estimate.Bytes == 0) return "";
    return "GIF about " + ByteSizeWords(estimate.Bytes);
  });
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

TTransitionsPage::TSlotControls TTransitionsPage::Slot(TTransitionSlotId slot) {
  if (slot == TTransitionSlotId::tsSource)
    return {SourceView, OpenSourceButton, EmptySourceButton, SourceColorPanel, SourceSizeLabel, state_.SourceEmpty};
  return {DestinationView,       OpenDestinationButton, EmptyDestinationButton,
          DestinationColorPanel, DestinationSizeLabel,  state_.DestinationEmpty};
}

void TTransitionsPage::ShowSizeLabel(TTransitionSlotId slot) {
  const TSlotControls controls = Slot(slot);
  const TBitmap& picture = controls.View->Bitmap();
  controls.Size->setText(QStringLiteral("Size: %1x%2").arg(picture.Width()).arg(picture.Height()));
  controls.Size->setVisible(true);
}

void TTransitionsPage::OpenImageClick(TTransitionSlotId slot) {
  const QString filter = QString::fromStdString(PictureFileFilter());
  const QString path = OpenPictureDialog
                           ? OpenPictureDialog(filter)
                           : QFileDialog::getOpenFileName(this, QStringLiteral("Open image"), QString(), filter);
  if (path.isEmpty()) return;
  OpenImageFile(slot, path);
}

void TTransitionsPage::OpenImageFile(TTransitionSlotId slot, const QString& path) {
  const TSlotControls controls = Slot(slot);
  // Decoded first, so a file that cannot be read leaves the slot as it was. Transparent
  // parts take the slot's background colour.
  TBitmap picture = LoadPictureFile(QFile::encodeName(path).toStdString(), PanelColor(controls.Panel));
  controls.View->Bitmap() = std::move(picture);
  controls.View->Update();
  ShowSizeLabel(slot);
  controls.EmptyFlag = false;
  EstimateChanged();
}

void TTransitionsPage::EmptyImageClick(TTransitionSlotId slot) {
  const TSlotControls controls = Slot(slot);
  controls.View->Clear();
  controls.Size->setText(QStringLiteral("Size: "));
  controls.Size->setVisible(false);
  controls.EmptyFlag = true;
}

void TTransitionsPage::ColorPanelDblClick(TTransitionSlotId slot) {
  QFrame* panel = Slot(slot).Panel;
  const TColor initial = PanelColor(panel);
  std::optional<TColor> chosen;
  if (ChooseColor) {
    chosen = ChooseColor(initial);
  } else {
    const QColor picked =
        QColorDialog::getColor(QColor(GetRValue(initial), GetGValue(initial), GetBValue(initial)), this);
    if (picked.isValid()) chosen = RGB(picked.red(), picked.green(), picked.blue());
  }
  if (chosen) {
    SetPanelColor(panel, *chosen);
    EstimateChanged();
  }
}

void TTransitionsPage::DurationEditChange() {
  state_.TransitionDurationMs = TransitionDurationFromText(DurationEdit->text().toStdString());
}

TTransitionEffect TTransitionsPage::SelectedEffect() const {
  return TransitionEffectFromName(EffectBox->currentText().toStdString());
}

void TTransitionsPage::ConvertClick() {
  if (running_) return;
  const int steps = StepEdit->value();
  TTransitionSlot source{SourceView->Bitmap(), PanelColor(SourceColorPanel)};
  TTransitionSlot destination{DestinationView->Bitmap(), PanelColor(DestinationColorPanel)};

  bool finished = false;
  // A run that failed made no clip: the page's controls go back to where they stood before.
  const TRunScope run(TRunScopeLinks{
      running_,
      state_.ConvertAbort,
      links_.OtherRunStarts,
      {ConvertButton, AbortButton, ClearGifButton, SaveButton, links_.OpenAvi, OpenSourceButton, EmptySourceButton,
       OpenDestinationButton, EmptyDestinationButton},
      [this] {
        AbortButton->setEnabled(false);
        for (QToolButton* button : {OpenSourceButton, EmptySourceButton, OpenDestinationButton, EmptyDestinationButton})
          button->setEnabled(true);
        ClearGifButton->setEnabled(true);
        SaveButton->setEnabled(true);
      },
      [&finished] { return finished; }});
  AbortButton->setEnabled(true);
  AbortButton->setFocus();
  ConvertButton->setEnabled(false);
  if (links_.OpenAvi) links_.OpenAvi->setEnabled(false);
  // The slots' pictures are the run's input: they stay as they are until it ends.
  for (QToolButton* button : {OpenSourceButton, EmptySourceButton, OpenDestinationButton, EmptyDestinationButton})
    button->setEnabled(false);

  // The slots hold the padded pictures once the run has prepared them, which is before its
  // first progress report; the views show them from then on.
  bool viewsPadded = false;
  const auto showPaddedPictures = [&] {
    SourceView->Bitmap() = source.Picture;
    DestinationView->Bitmap() = destination.Picture;
    SourceView->Update();
    DestinationView->Update();
    viewsPadded = true;
  };
  const auto showProgress = ProgressBarHook(links_.ProgressBar);
  TRunHooks hooks;
  hooks.progress = [&](int position, int maximum) {
    if (!viewsPadded) showPaddedPictures();
    showProgress(position, maximum);
  };
  hooks.processMessages = [] { QCoreApplication::processEvents(); };
  const auto frameAdded = [this](const TBitmap& frame) {
    if (links_.Preview) links_.Preview->ShowStill(frame);
  };

  TTransitionClip clip = BuildTransitionClip(
      state_, source, destination, steps, [this] { return SelectedEffect(); }, hooks, frameAdded,
      CheckBoxBest->isChecked());
  if (!viewsPadded) showPaddedPictures();
  if (links_.Preview) {
    links_.Preview->SetClientSize(clip.Width, clip.Height);
    links_.Preview->show();
    links_.Preview->SetDocument(std::move(clip.Document));
  }
  finished = true;
}

void TTransitionsPage::AbortClick() {
  state_.ConvertAbort = true;
  AbortButton->setEnabled(false);
}

void TTransitionsPage::ClearGifClick() {
  // Another page's results keep "Open AVI" off: their own clear gives it back.
  GiveBackOpenAvi(links_.OpenAvi, links_.OtherClears);
  ConvertButton->setEnabled(true);
  ClearGifButton->setEnabled(false);
  SaveButton->setEnabled(false);
  // The preview keeps its picture; the next run of either page replaces it.
  if (links_.Preview) links_.Preview->hide();
}

void TTransitionsPage::DropClip() {
  if (!ClearGifButton->isEnabled()) return;
  ConvertButton->setEnabled(true);
  ClearGifButton->setEnabled(false);
  SaveButton->setEnabled(false);
  if (links_.Preview) links_.Preview->hide();
}

void TTransitionsPage::SaveClick() {
  const TGIFImage* document = links_.Preview ? links_.Preview->Document() : nullptr;
  if (!document) throw EClipvaneError("There is no GIF to save");
  SaveGifDocument(this, *document, "transition.gif");
}

bool TTransitionsPage::eventFilter(QObject* watched, QEvent* event) {
  // Events can arrive while the constructor is still placing the controls.
  if (!SourceView || !DestinationView || !SourceColorPanel || !DestinationColorPanel)
    return QWidget::eventFilter(watched, event);
  using enum TTransitionSlotId;
  for (const TTransitionSlotId slot : {tsSource, tsDestination}) {
    const TSlotControls controls = Slot(slot);
    if (watched == controls.Panel && event->type() == QEvent::MouseButtonDblClick) {
      RunHandler(this, [this, slot] { ColorPanelDblClick(slot); });
      return true;
    }
    if (watched != controls.View->viewport()) continue;
    switch (event->type()) {
      case QEvent::DragEnter:
      case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (!running_ && !DroppedPicturePath(drag->mimeData()).isEmpty()) drag->acceptProposedAction();
        else drag->ignore();
        return true;
      }
      case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        const QString path = DroppedPicturePath(drop->mimeData());
        if (running_ || path.isEmpty()) {
          drop->ignore();
          return true;
        }
        drop->acceptProposedAction();
        RunHandler(this, [this, slot, path] { OpenImageFile(slot, path); });
        return true;
      }
      default:
        break;
    }
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace clipvane
