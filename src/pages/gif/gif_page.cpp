// TGifPage: fixed layout of the "AVI to animated GIF" page and its start-up states.
#include "pages/gif/gif_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDoubleSpinBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <utility>

#include "gif/gif_stream.h"
#include "runs/frames/extraction_run.h"
#include "runs/gif/byte_size_text.h"
#include "runs/gif/capture_region.h"
#include "runs/gif/frame_sampling.h"
#include "runs/gif/gif_frame_sample.h"
#include "runs/gif/gif_pipeline.h"
#include "runs/gif/gif_size.h"
#include "runs/gif/gif_size_estimate.h"
#include "runs/gif/gif_size_fit.h"
#include "ui/background_job.h"
#include "ui/error_box.h"
#include "ui/gif_preview_window.h"
#include "ui/gif_save_form.h"
#include "ui/open_avi_hold.h"
#include "ui/progress_bar.h"
#include "ui/run_scope.h"
#include "ui/video_window.h"
#include "ui/widget_placement.h"

namespace clipvane {

namespace {

QLabel* StatusPanel(QWidget* parent, int left, int width, QFrame::Shadow shadow, const QString& text) {
  auto* panel = Place<QLabel>(parent, left, 1, width, 18, text);
  panel->setFrameStyle(QFrame::Panel | shadow);
  return panel;
}

}  // namespace

TGifPage::TGifPage(TVideoState& state, QWidget* parent) : QWidget(parent), state_(state) {
  GroupBoxWindowSize = Place<QGroupBox>(this, 4, 2, 250, 82, QStringLiteral("AVI window size"));
  RadioButton1 = Place<QRadioButton>(GroupBoxWindowSize, 8, 18, 110, 18, QStringLiteral("Full window"));
  RadioButton2 = Place<QRadioButton>(GroupBoxWindowSize, 8, 38, 110, 18, QStringLiteral("Window part"));
  RadioButton1->setChecked(true);
  Button8 = Place<QPushButton>(GroupBoxWindowSize, 138, 24, 100, 22, QStringLiteral("Pick window"));
  Button8->setEnabled(false);
  LabelCaptureWidth = Place<QLabel>(GroupBoxWindowSize, 8, 58, 118, 20, QStringLiteral("Width ="));
  LabelCaptureHeight = Place<QLabel>(GroupBoxWindowSize, 128, 58, 118, 20, QStringLiteral("Height ="));
  LabelCaptureWidth->setEnabled(false);
  LabelCaptureHeight->setEnabled(false);

  RadioGroupDirection = Place<QGroupBox>(this, 258, 2, 87, 82, QStringLiteral("Direction"));
  RadioForward = Place<QRadioButton>(RadioGroupDirection, 4, 24, 82, 18, QStringLiteral("forward"));
  RadioBackward = Place<QRadioButton>(RadioGroupDirection, 4, 48, 82, 18, QStringLiteral("backward"));
  RadioForward->setChecked(true);

  Button5 = Place<QPushButton>(this, 346, 8, 62, 22, QStringLiteral("Convert"));
  Button7 = Place<QPushButton>(this, 412, 8, 62, 22, QStringLiteral("Abort"));
  Button4 = Place<QPushButton>(this, 346, 34, 62, 22, QStringLiteral("Clear GIF"));
  Button6 = Place<QPushButton>(this, 412, 34, 62, 22, QStringLiteral("Save"));
  for (QPushButton* button : {Button5, Button7, Button4, Button6}) button->setEnabled(false);

  GroupBoxFramesSelect = Place<QGroupBox>(this, 4, 86, 471, 88, QStringLiteral("Frames select"));
  RadioButton3 = Place<QRadioButton>(GroupBoxFramesSelect, 8, 18, 104, 18, QStringLiteral("All frames"));
  RadioButton4 = Place<QRadioButton>(GroupBoxFramesSelect, 8, 40, 104, 18, QStringLiteral("Frames range"));
  RadioButton5 = Place<QRadioButton>(GroupBoxFramesSelect, 8, 64, 104, 18, QStringLiteral("Time range"));
  RadioButton3->setChecked(true);
  Button19 = Place<QPushButton>(GroupBoxFramesSelect, 338, 17, 124, 22, QStringLiteral("Update frames list"));
  Button19->setEnabled(false);
  LabelFrameFrom = Place<QLabel>(GroupBoxFramesSelect, 116, 38, 34, 22, QStringLiteral("From"));
  FrameFromBox = SpinBox(GroupBoxFramesSelect, 152, 38, 72, 0, 0, 0);
  LabelFrameTo = Place<QLabel>(GroupBoxFramesSelect, 230, 38, 18, 22, QStringLiteral("to"));
  FrameToBox = SpinBox(GroupBoxFramesSelect, 250, 38, 72, 0, 0, 0);
  LabelFrameUnit = Place<QLabel>(GroupBoxFramesSelect, 328, 38, 40, 22, QStringLiteral("frame"));
  LabelTimeFrom = Place<QLabel>(GroupBoxFramesSelect, 116, 62, 34, 22, QStringLiteral("From"));
  TimeFromBox = SpinBox(GroupBoxFramesSelect, 152, 62, 72, 0, 0, 0);
  LabelTimeTo = Place<QLabel>(GroupBoxFramesSelect, 230, 62, 18, 22, QStringLiteral("to"));
  TimeToBox = SpinBox(GroupBoxFramesSelect, 250, 62, 72, 0, 0, 0);
  LabelTimeUnit = Place<QLabel>(GroupBoxFramesSelect, 328, 62, 40, 22, QStringLiteral("s"));
  for (QWidget* control :
       {static_cast<QWidget*>(LabelFrameFrom), static_cast<QWidget*>(FrameFromBox), static_cast<QWidget*>(LabelFrameTo),
        static_cast<QWidget*>(FrameToBox), static_cast<QWidget*>(LabelFrameUnit), static_cast<QWidget*>(LabelTimeFrom),
        static_cast<QWidget*>(TimeFromBox), static_cast<QWidget*>(LabelTimeTo), static_cast<QWidget*>(TimeToBox),
        static_cast<QWidget*>(LabelTimeUnit)})
    control->setEnabled(false);
  LabelEstimate = Place<QLabel>(GroupBoxFramesSelect, 372, 64, 94, 18);

  LabelSamplingRate = Place<QLabel>(this, 8, 178, 132, 22, QStringLiteral("Frame sampling rate:"));
  SpinEdit1 = SpinBox(this, 142, 178, 50, 1, 10, 1);
  CheckBoxKeepSpeed = Place<QCheckBox>(this, 208, 180, 18, 18);
  CheckBoxKeepSpeed->setChecked(true);
  LabelKeepSpeed = Place<QLabel>(this, 228, 178, 120, 22, QStringLiteral("keep a play speed"));
  CheckBoxKeepSpeed->setEnabled(false);
  LabelKeepSpeed->setEnabled(false);
  // Not a described control: it takes the free end of the sampling row, off at start.
  CheckBoxBest = Place<QCheckBox>(this, 360, 180, 112, 18, QStringLiteral("Best quality"));
  // "Fit under [ ] MB" in the free corner under "Clear GIF" and "Save", off at start (its run
  // is a Best quality one); the estimate at the free end of the time range row.
  CheckBoxFit = Place<QCheckBox>(this, 346, 60, 72, 20, QStringLiteral("Fit under"));
  SpinFitMegabytes = Place<QDoubleSpinBox>(this, 418, 59, 40, 22);
  SpinFitMegabytes->setButtonSymbols(QAbstractSpinBox::NoButtons);
  SpinFitMegabytes->setDecimals(2);
  SpinFitMegabytes->setRange(0.01, 9999.99);
  SpinFitMegabytes->setValue(10);
  SpinFitMegabytes->setEnabled(false);
  LabelFitUnit = Place<QLabel>(this, 460, 59, 18, 22, QStringLiteral("MB"));

  GroupBoxGifSize = Place<QGroupBox>(this, 4, 202, 471, 70, QStringLiteral("GIF window size"));
  ComboBox2 = Place<QComboBox>(GroupBoxGifSize, 8, 20, 150, 22);
  ComboBox2->setEditable(true);
  ComboBox2->addItems(
      {QString::fromLatin1(kAsAviWindowSize), QString::fromLatin1(kScale), QString::fromLatin1(kSpecifiedSize)});
  ComboBox2->setCurrentIndex(0);
  ComboBox2->setEnabled(false);
  ComboBoxScale = Place<QComboBox>(GroupBoxGifSize, 166, 20, 70, 22);
  ComboBoxScale->setEditable(true);
  ComboBoxScale->addItems({QStringLiteral(" 5:1"), QStringLiteral(" 4:1"), QStringLiteral(" 3:1"),
                           QStringLiteral(" 2:1"), QStringLiteral(" 1:1"), QStringLiteral(" 1:2"),
                           QStringLiteral(" 1:3"), QStringLiteral(" 1:4"), QStringLiteral(" 1:5")});
  ComboBoxScale->setCurrentIndex(4);
  // Under the size list: beside it the box would run into "Width (pixels)".
  CheckBoxGifAspect = Place<QCheckBox>(GroupBoxGifSize, 8, 46, 200, 18, QStringLiteral("Maintain aspect ratio"));
  CheckBoxGifAspect->setChecked(true);
  LabelGifWidth = Place<QLabel>(GroupBoxGifSize, 300, 18, 90, 22, QStringLiteral("Width (pixels)"));
  SpinEdit8 = SpinBox(GroupBoxGifSize, 392, 18, 70, 0, 10000, 0);
  LabelGifHeight = Place<QLabel>(GroupBoxGifSize, 300, 42, 90, 22, QStringLiteral("Height (pixels)"));
  SpinEdit9 = SpinBox(GroupBoxGifSize, 392, 42, 70, 0, 10000, 0);
  for (QWidget* control : {static_cast<QWidget*>(ComboBoxScale), static_cast<QWidget*>(CheckBoxGifAspect),
                           static_cast<QWidget*>(LabelGifWidth), static_cast<QWidget*>(SpinEdit8),
                           static_cast<QWidget*>(LabelGifHeight), static_cast<QWidget*>(SpinEdit9)})
    control->setVisible(false);

  StatusBar = Place<QFrame>(this, 0, 274, 479, 20);
  StatusPanel0 = StatusPanel(StatusBar, 2, 50, QFrame::Raised, QStringLiteral("GIF"));
  StatusPanel0->setAlignment(Qt::AlignCenter);
  StatusPanel1 = StatusPanel(StatusBar, 54, 423, QFrame::Sunken, QString());

  MakeSource = [] { return MakeFrameSource(); };
  Wire(Button5, &QPushButton::clicked, &TGifPage::Button5Click);
  Wire(Button7, &QPushButton::clicked, &TGifPage::Button7Click);
  Wire(Button4, &QPushButton::clicked, &TGifPage::Button4Click);
  Wire(Button6, &QPushButton::clicked, &TGifPage::Button6Click);
  Wire(RadioButton1, &QRadioButton::clicked, &TGifPage::RadioButton1Click);
  Wire(RadioButton2, &QRadioButton::clicked, &TGifPage::RadioButton2Click);
  Wire(Button8, &QPushButton::clicked, &TGifPage::Button8Click);
  Wire(SpinEdit1, &QSpinBox::valueChanged, &TGifPage::SpinEdit1Change);
  Wire(RadioButton3, &QRadioButton::clicked, &TGifPage::RadioButton3Click);
  Wire(RadioButton4, &QRadioButton::clicked, &TGifPage::RadioButton4Click);
  Wire(RadioButton5, &QRadioButton::clicked, &TGifPage::RadioButton5Click);
  Wire(Button19, &QPushButton::clicked, &TGifPage::Button19Click);
  Wire(ComboBox2, &QComboBox::currentTextChanged, &TGifPage::ComboBox2Change);
  Wire(SpinEdit8, &QSpinBox::valueChanged, &TGifPage::SpinEdit8Change);
  Wire(SpinEdit9, &QSpinBox::valueChanged, &TGifPage::SpinEdit9Change);

  connect(CheckBoxFit, &QCheckBox::toggled, this, [this](bool on) { SpinFitMegabytes->setEnabled(on); });
  estimateTimer_ = new QTimer(this);
  estimateTimer_->setSingleShot(true);
  estimateTimer_->setInterval(300);
  connect(estimateTimer_, &QTimer::timeout, this, [this] { StartEstimate(); });
  estimate_ = new TBackgroundJob(
      this, [this](const std::string& text) { LabelEstimate->setText(QString::fromStdString(text)); });
  // After the handlers above: the state has taken each change when the estimate reads it.
  const auto changed = [this] { EstimateChanged(); };
  connect(SpinEdit1, &QSpinBox::valueChanged, this, changed);
  connect(SpinEdit8, &QSpinBox::valueChanged, this, changed);
  connect(SpinEdit9, &QSpinBox::valueChanged, this, changed);
  connect(ComboBox2, &QComboBox::currentTextChanged, this, changed);
  connect(ComboBoxScale, &QComboBox::currentTextChanged, this, changed);
  connect(SpinFitMegabytes, &QDoubleSpinBox::valueChanged, this, changed);
  for (QCheckBox* box : {CheckBoxKeepSpeed, CheckBoxBest, CheckBoxFit})
    connect(box, &QCheckBox::toggled, this, changed);
  connect(RadioBackward, &QRadioButton::toggled, this, changed);
  for (QRadioButton* button : {RadioButton1, RadioButton3}) connect(button, &QRadioButton::clicked, this, changed);
  connect(Button19, &QPushButton::clicked, this, changed);
}

TGifPage::~TGifPage() = default;

std::optional<std::uint64_t> TGifPage::FitLimit() const {
  if (!CheckBoxFit->isChecked()) return std::nullopt;
  return static_cast<std::uint64_t>(std::llround(SpinFitMegabytes->value() * 1e6));
}

bool TGifPage::Estimating() const { return estimateTimer_->isActive() || estimate_->Busy(); }

void TGifPage::EstimateChanged() {
  if (state_.FilePath.empty() || state_.LastFrame <= 0) return;
  estimateTimer_->start();
}

void TGifPage::StartEstimate() {
  estimateTimer_->stop();
  if (state_.FilePath.empty() || state_.LastFrame <= 0) {
    estimate_->Stop();
    LabelEstimate->clear();
    return;
  }
  // The job works on copies: the window may change everything meanwhile.
  auto state = std::make_shared<const TVideoState>(CopyRunState(state_));
  TGifOptions options = RunOptions();
  const std::optional<std::uint64_t> limit = FitLimit();
  TGifFitFixed fixed;
  fixed.Size = options.Size.Rule != TGifSizeRule::gsAsAviWindowSize;
  fixed.Sampling = state->SamplingRate != 1 || !options.KeepPlaySpeed;
  const TFrameSourceFactory makeSource = MakeSource ? MakeSource
                                                    : TFrameSourceFactory([] { return MakeFrameSource(); });
  if (LabelEstimate->text().isEmpty()) LabelEstimate->setText(QStringLiteral("estimating..."));
  estimate_->Start([state, options, limit, fixed, makeSource](const std::function<bool()>& stopped) -> std::string {
    TRunHooks hooks;
    hooks.aborted = stopped;
    if (limit) {
      try {
        const TGifFitChoice choice = ChooseGifFit(*state, makeSource, options, fixed, *limit, hooks);
        return "about " + ByteSizeWords(choice.EstimatedBytes);
      } catch (const EGifCannotFit&) {
        return "cannot fit";
      }
    }
    const std::unique_ptr<TFrameSource> source = makeSource();
    const TGifSizeEstimate estimate = EstimateGifSize(*state, *source, options, hooks);
    if (estimate.GifFrames == 0) return "";
    return "about " + ByteSizeWords(estimate.Bytes);
  });
}

template <class Sender, class Signal, class Handler>
void TGifPage::Wire(Sender* sender, Signal signal, Handler handler) {
  connect(sender, signal, this, [this, handler] { RunHandler(this, [this, handler] { (this->*handler)(); }); });
}

void TGifPage::SetLinks(TGifPageLinks links) {
  links_ = std::move(links);
  if (links_.Video) {
    links_.Video->SetPickState(&state_);
    links_.Video->OnPickEnded = [this] { PickEnded(); };
  }
}

void TGifPage::VideoOpened() {
  DropResult();
  ShowCaptureSize(state_.FrameWidth, state_.FrameHeight);
  SetRangeEnds(state_.LastFrame, state_.LengthSeconds);
  Button5->setEnabled(true);
  ComboBox2->setEnabled(true);
  ComboBox2->setCurrentText(QString::fromLatin1(kAsAviWindowSize));
  ComboBox2Change();
  LabelEstimate->clear();
  StartEstimate();
}

void TGifPage::VideoClosed() {
  LabelCaptureWidth->setText(QStringLiteral("Width ="));
  LabelCaptureHeight->setText(QStringLiteral("Height ="));
  LabelCaptureWidth->setEnabled(false);
  LabelCaptureHeight->setEnabled(false);
  RadioButton1->setChecked(true);
  Button8->setEnabled(false);
  RadioButton3->setChecked(true);
  SetRangeControls(false, false);
  {
    // Quietly: the coupling of the size boxes has no video to work on.
    const QSignalBlocker width(SpinEdit8), height(SpinEdit9);
    for (QSpinBox* box : {FrameFromBox, FrameToBox, TimeFromBox, TimeToBox, SpinEdit8, SpinEdit9}) {
      if (box != SpinEdit8 && box != SpinEdit9) box->setRange(0, 0);
      box->setValue(0);
    }
  }
  ComboBox2->setCurrentText(QString::fromLatin1(kAsAviWindowSize));
  ComboBox2Change();
  ComboBoxScale->setCurrentIndex(4);
  ComboBox2->setEnabled(false);
  Button5->setEnabled(false);
  estimateTimer_->stop();
  estimate_->Stop();
  LabelEstimate->clear();
}

void TGifPage::ShowCaptureSize(int width, int height) {
  LabelCaptureWidth->setEnabled(true);
  LabelCaptureHeight->setEnabled(true);
  LabelCaptureWidth->setText(QStringLiteral("Width = %1 pixels").arg(width));
  LabelCaptureHeight->setText(QStringLiteral("Height = %1 pixels").arg(height));
}

void TGifPage::SetRangeEnds(int lastFrame, int lengthSeconds) {
  FrameToBox->setMaximum(std::max(FrameToBox->maximum(), lastFrame));
  FrameToBox->setValue(lastFrame);
  TimeToBox->setMaximum(std::max(TimeToBox->maximum(), lengthSeconds));
  TimeToBox->setValue(lengthSeconds);
}

void TGifPage::ComboBox2Change() {
  const QString text = ComboBox2->currentText();
  const bool scale = text == QString::fromLatin1(kScale);
  const bool specified = text == QString::fromLatin1(kSpecifiedSize);
  ComboBoxScale->setVisible(scale);
  if (scale) ComboBoxScale->setCurrentIndex(4);
  CheckBoxGifAspect->setVisible(specified);
  LabelGifWidth->setVisible(specified);
  LabelGifHeight->setVisible(specified);
  SpinEdit8->setVisible(specified);
  if (specified) SpinEdit8->setValue(state_.CaptureWidth);
  SpinEdit9->setVisible(specified);
  if (specified) SpinEdit9->setValue(state_.CaptureHeight);
}

TGifOptions TGifPage::RunOptions() const {
  TGifOptions options;
  options.Direction = RadioBackward->isChecked() ? TGifDirection::gdBackward : TGifDirection::gdForward;
  options.KeepPlaySpeed = CheckBoxKeepSpeed->isChecked();
  options.BestQuality = CheckBoxBest->isChecked();
  options.Size.Rule = GifSizeRuleFromText(ComboBox2->currentText().toStdString());
  options.Size.ScalePosition = ScalePositionFromText(ComboBoxScale->currentText().toStdString());
  options.Size.SpecifiedWidth = SpinEdit8->value();
  options.Size.SpecifiedHeight = SpinEdit9->value();
  return options;
}

void TGifPage::Apply(const TGifControlChange& change) {
  auto set = [](QWidget* control, const std::optional<bool>& enabled) {
    if (control && enabled) control->setEnabled(*enabled);
  };
  set(Button5, change.Convert);
  set(Button7, change.Abort);
  set(Button4, change.ClearGif);
  set(Button6, change.Save);
  set(links_.OpenAvi, change.OpenAvi);
  set(links_.Play, change.Play);
  set(links_.Pause, change.Pause);
  set(links_.Reset, change.Reset);
  if (change.Preview && links_.Preview) {
    if (*change.Preview) {
      links_.Preview->show();
    } else {
      links_.Preview->StopAnimation();
      links_.Preview->hide();
    }
  }
  if (change.StatusText) StatusPanel1->setText(QString::fromStdString(*change.StatusText));
}

void TGifPage::Button5Click() {
  if (running_) return;
  std::unique_ptr<TFrameSource> source = MakeSource ? MakeSource() : MakeFrameSource();
  const TGifOptions chosen = RunOptions();

  TGifConversionResult result;
  bool handedOver = false;
  const auto madeFrames = [&] { return handedOver || (result.Document && result.Document->Images().Count() > 0); };
  // Until the document has reached the preview, the run counts as failed: the end then
  // leaves the preview hidden. One that fails before its first frame leaves the page's
  // controls as they are now.
  bool failed = true;
  const TRunScope run(
      TRunScopeLinks{running_,
                     state_.ConvertAbort,
                     links_.OtherRunStarts,
                     {Button5, Button7, Button4, Button6, links_.OpenAvi, links_.Play, links_.Pause, links_.Reset},
                     [&] { Apply(GifRunEndControls(result, failed)); },
                     madeFrames});
  if (links_.ClearFrameResults) links_.ClearFrameResults();
  Apply(GifRunStartControls());
  Button7->setFocus();

  TGifOptions options = chosen;
  // A hidden preview is given its GIF at the end, before it is shown: the frames it would be
  // handed meanwhile are never seen, so they are not copied for it.
  if (links_.Preview && links_.Preview->isVisible())
    options.FrameAdded = [this](const TGIFImage&, int, const TBitmap& picture) {
      if (links_.Preview) links_.Preview->ShowStill(picture);
    };
  TRunHooks hooks;
  hooks.progress = ProgressBarHook(links_.ProgressBar);
  hooks.processMessages = [] { QCoreApplication::processEvents(); };
  // The preview holds what "Save" writes, also the frames gathered before an error; a run
  // that failed before its first frame leaves the preview's last GIF alone.
  const auto handOver = [&](bool evenWithoutFrames) {
    if (links_.Preview && result.Document && (evenWithoutFrames || madeFrames())) {
      links_.Preview->SetClientSize(std::max(result.GifWidth, 1), std::max(result.GifHeight, 1));
      links_.Preview->SetDocument(std::move(result.Document));
      handedOver = true;
    }
  };
  try {
    // As the CLI runs it: the next frame decoded ahead, each frame encoded on a second thread,
    // so the GIF holds its frames as a save writes them.
    if (const auto limit = FitLimit()) {
      RunFitted(options, *limit, hooks, result);
    } else {
      RunGifPipeline(state_, std::move(source), options, hooks, result, true);
    }
  } catch (...) {
    // The run's error is the one to tell; a failure to show its frames would only hide it.
    try {
      handOver(false);
    } catch (...) {
    }
    throw;
  }
  handOver(true);
  failed = false;
}

void TGifPage::RunFitted(TGifOptions options, std::uint64_t limit, const TRunHooks& hooks,
                         TGifConversionResult& result) {
  const TFrameSourceFactory makeSource = MakeSource ? MakeSource
                                                    : TFrameSourceFactory([] { return MakeFrameSource(); });
  TGifFitFixed fixed;
  fixed.Size = options.Size.Rule != TGifSizeRule::gsAsAviWindowSize;
  fixed.Sampling = state_.SamplingRate != 1 || !options.KeepPlaySpeed;
  // The fit runs on copies of the state: "Abort" reaches them through the hooks, and the
  // sampling box keeps what the user set.
  TRunHooks fitHooks = hooks;
  fitHooks.aborted = [this] { return state_.ConvertAbort; };
  const int sampling = state_.SamplingRate;
  const auto frameAdded = options.FrameAdded;
  options.FrameAdded = nullptr;
  try {
    FitGifToSize(state_, makeSource, options, fixed, limit, fitHooks,
                 [&](TVideoState& state, const TGifOptions& fitted) -> std::uint64_t {
                   result = TGifConversionResult{};
                   TGifOptions shown = fitted;
                   shown.FrameAdded = frameAdded;
                   RunGifPipeline(state, makeSource(), shown, fitHooks, result, true);
                   if (!result.Document) return 0;
                   TGIFMemoryStream stream;
                   result.Document->SaveToStream(stream);
                   return stream.Bytes().size();
                 });
  } catch (...) {
    state_.SamplingRate = sampling;
    throw;
  }
  state_.SamplingRate = sampling;
}

void TGifPage::Button7Click() {
  AbortGifRun(state_);
  Button7->setEnabled(false);
}

void TGifPage::Button4Click() {
  Apply(ClearGifControls());
  // Another page's results keep "Open AVI" off: their own clear gives it back.
  GiveBackOpenAvi(links_.OpenAvi, links_.OtherClears);
}

void TGifPage::DropResult() {
  if (!Button4->isEnabled()) return;
  TGifControlChange change = ClearGifControls();
  change.OpenAvi.reset();
  Apply(change);
  StatusPanel1->clear();
}

void TGifPage::Button6Click() {
  const TGIFImage* document = links_.Preview ? links_.Preview->Document() : nullptr;
  if (!document) {
    ShowErrorBox(this, "There is no GIF to save");
    return;
  }
  SaveGifDocument(this, *document, GifDefaultFileName(state_.FileTitle));
}

void TGifPage::RadioButton1Click() {
  Button8->setEnabled(false);
  SelectFullWindow(state_);
  ShowCaptureSize(state_.FrameWidth, state_.FrameHeight);
}

void TGifPage::RadioButton2Click() { Button8->setEnabled(true); }

void TGifPage::Button8Click() {
  ArmPick(state_);
  if (links_.Video) links_.Video->show();
  if (links_.SeekToStart) links_.SeekToStart();
}

void TGifPage::PickEnded() {
  // Written "Width = " as everywhere else (not "Wigth = ").
  ShowCaptureSize(state_.CaptureWidth, state_.CaptureHeight);
}

void TGifPage::SpinEdit1Change() {
  const bool keepSpeed = SetSamplingRate(state_, SpinEdit1->value());
  CheckBoxKeepSpeed->setEnabled(keepSpeed);
  LabelKeepSpeed->setEnabled(keepSpeed);
}

void TGifPage::ResetRangeBoxes() {
  const TRangeBoxes boxes = clipvane::ResetRangeBoxes(state_);
  FrameFromBox->setRange(0, boxes.FrameMaximum);
  FrameToBox->setRange(0, boxes.FrameMaximum);
  TimeFromBox->setRange(0, boxes.TimeMaximum);
  TimeToBox->setRange(0, boxes.TimeMaximum);
  FrameFromBox->setValue(boxes.FrameFrom);
  FrameToBox->setValue(boxes.FrameTo);
  TimeFromBox->setValue(boxes.TimeFrom);
  TimeToBox->setValue(boxes.TimeTo);
}

void TGifPage::SetRangeControls(bool frameRange, bool timeRange) {
  Button19->setEnabled(frameRange || timeRange);
  for (QWidget* control :
       {static_cast<QWidget*>(LabelFrameFrom), static_cast<QWidget*>(FrameFromBox), static_cast<QWidget*>(LabelFrameTo),
        static_cast<QWidget*>(FrameToBox), static_cast<QWidget*>(LabelFrameUnit)})
    control->setEnabled(frameRange);
  for (QWidget* control :
       {static_cast<QWidget*>(LabelTimeFrom), static_cast<QWidget*>(TimeFromBox), static_cast<QWidget*>(LabelTimeTo),
        static_cast<QWidget*>(TimeToBox), static_cast<QWidget*>(LabelTimeUnit)})
    control->setEnabled(timeRange);
}

void TGifPage::RadioButton3Click() {
  SetRangeControls(false, false);
  ResetRangeBoxes();
  SelectAllFrames(state_);
  if (links_.FrameTicksChanged) links_.FrameTicksChanged();
}

void TGifPage::RadioButton4Click() {
  SetRangeControls(true, false);
  ResetRangeBoxes();
}

void TGifPage::RadioButton5Click() {
  SetRangeControls(false, true);
  ResetRangeBoxes();
}

void TGifPage::Button19Click() {
  if (RadioButton4->isChecked()) {
    UpdateFramesList(state_, TRangeChoice::rcFramesRange, FrameFromBox->value(), FrameToBox->value());
  } else if (RadioButton5->isChecked()) {
    UpdateFramesList(state_, TRangeChoice::rcTimeRange, TimeFromBox->value(), TimeToBox->value());
  } else {
    return;
  }
  if (links_.FrameTicksChanged) links_.FrameTicksChanged();
}

void TGifPage::SpinEdit8Change() {
  if (coupling_) return;
  const TFrameSize boxes = CoupleGifSize({SpinEdit8->value(), SpinEdit9->value()}, TSizeBox::sbWidth,
                                         CheckBoxGifAspect->isChecked(), state_.FrameWidth, state_.FrameHeight);
  // The coupling has already followed the chain of changes to its end; setting the boxes
  // must not start it again.
  coupling_ = true;
  SpinEdit8->setValue(boxes.Width);
  SpinEdit9->setValue(boxes.Height);
  coupling_ = false;
}

void TGifPage::SpinEdit9Change() {
  if (coupling_) return;
  const TFrameSize boxes = CoupleGifSize({SpinEdit8->value(), SpinEdit9->value()}, TSizeBox::sbHeight,
                                         CheckBoxGifAspect->isChecked(), state_.FrameWidth, state_.FrameHeight);
  coupling_ = true;
  SpinEdit8->setValue(boxes.Width);
  SpinEdit9->setValue(boxes.Height);
  coupling_ = false;
}

}  // namespace clipvane
