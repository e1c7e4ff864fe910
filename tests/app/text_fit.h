// Finds the texts a window cannot show whole: a label, button, check box, radio button or group
// title narrower or lower than its text in the control's own font, and two shown controls of
// one parent whose boxes overlap. The windows place their controls at fixed positions, so a
// longer text or a larger font does not move anything; this is how such a fault is seen without
// looking at every screenshot.
#pragma once

#include <QAbstractButton>
#include <QCheckBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QRect>
#include <QStyle>
#include <QToolButton>
#include <QWidget>
#include <algorithm>
#include <string>
#include <vector>

namespace clipvane::testing {

namespace text_fit_detail {

inline QString Describe(const QWidget& control) {
  QString text;
  if (const auto* label = qobject_cast<const QLabel*>(&control)) text = label->text();
  if (const auto* button = qobject_cast<const QAbstractButton*>(&control)) text = button->text();
  if (const auto* group = qobject_cast<const QGroupBox*>(&control)) text = group->title();
  return QStringLiteral("%1 '%2'").arg(QString::fromLatin1(control.metaObject()->className()), text);
}

// The width and height the control needs for its text, or nothing to check.
inline QSize Needed(const QWidget& control) {
  const QFontMetrics metrics(control.font());
  if (const auto* label = qobject_cast<const QLabel*>(&control)) {
    if (label->text().isEmpty() || label->wordWrap() || label->textFormat() == Qt::RichText ||
        label->pixmap().isNull() == false)
      return {};
    const QRect bounds = metrics.boundingRect(QRect(0, 0, 100000, 100000), int(label->alignment()), label->text());
    return {bounds.width() + 2 * label->margin() + 2 * label->frameWidth(),
            bounds.height() + 2 * label->margin() + 2 * label->frameWidth()};
  }
  // A check box or radio button: its indicator, the gap and the text across; the taller of
  // the text and the indicator down.
  if (qobject_cast<const QCheckBox*>(&control) || qobject_cast<const QRadioButton*>(&control)) {
    const auto& button = static_cast<const QAbstractButton&>(control);
    if (button.text().isEmpty()) return {};
    const bool check = qobject_cast<const QCheckBox*>(&control) != nullptr;
    const QStyle& style = *control.style();
    const int indicator =
        style.pixelMetric(check ? QStyle::PM_IndicatorWidth : QStyle::PM_ExclusiveIndicatorWidth, nullptr, &control);
    const int gap = style.pixelMetric(check ? QStyle::PM_CheckBoxLabelSpacing : QStyle::PM_RadioButtonLabelSpacing,
                                      nullptr, &control);
    return {indicator + gap + metrics.horizontalAdvance(button.text()), std::max(indicator, metrics.height())};
  }
  if (const auto* button = qobject_cast<const QAbstractButton*>(&control)) {
    if (button->text().isEmpty()) return {};
    // The text and the frame of the button, without the roomy minimum width a style adds.
    const int margin = control.style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, &control);
    return {metrics.horizontalAdvance(button->text()) + margin, metrics.height()};
  }
  if (const auto* group = qobject_cast<const QGroupBox*>(&control)) {
    if (group->title().isEmpty()) return {};
    return {metrics.horizontalAdvance(group->title()) + 16, 0};
  }
  return {};
}

}  // namespace text_fit_detail

// One line per fault in the window and its shown children, as "what: needs W x H, has W x H"
// or "what overlaps what".
inline std::vector<std::string> TextFaults(const QWidget& window) {
  using namespace text_fit_detail;
  std::vector<std::string> faults;
  std::vector<const QWidget*> controls{&window};
  for (const QWidget* child : window.findChildren<QWidget*>()) controls.push_back(child);
  for (const QWidget* control : controls) {
    if (control != &window && !control->isVisibleTo(&window)) continue;
    const QSize needed = Needed(*control);
    if (needed.isValid() && (needed.width() > control->width() || needed.height() > control->height()))
      faults.push_back(QStringLiteral("%1: needs %2 x %3, has %4 x %5")
                           .arg(Describe(*control))
                           .arg(needed.width())
                           .arg(needed.height())
                           .arg(control->width())
                           .arg(control->height())
                           .toStdString());
  }
  // Overlapping texts: only controls that show a text, among the shown children of one parent.
  for (const QWidget* parent : controls) {
    std::vector<const QWidget*> texts;
    for (const QObject* object : parent->children()) {
      const auto* child = qobject_cast<const QWidget*>(object);
      if (child && child->isVisibleTo(&window) && !child->isWindow() && Needed(*child).isValid())
        texts.push_back(child);
    }
    for (std::size_t i = 0; i < texts.size(); ++i)
      for (std::size_t j = i + 1; j < texts.size(); ++j)
        // A pixel or two of shared edge is no fault: the texts sit inside their boxes.
        if (const QRect shared = texts[i]->geometry().intersected(texts[j]->geometry());
            shared.width() > 3 && shared.height() > 3)
          faults.push_back(
              QStringLiteral("%1 overlaps %2").arg(Describe(*texts[i]), Describe(*texts[j])).toStdString());
  }
  return faults;
}

}  // namespace clipvane::testing
