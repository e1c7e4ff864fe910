// What a user can see of every control in a window: one line per widget with its class, whether
// it is enabled and shown, and its text, tick, value and limits or row count. Two snapshots of
// the same window compare line by line, so a test can say "as before" without naming controls.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QWidget>
#include <string>
#include <vector>

namespace clipvane::testing {

inline std::vector<std::string> ControlStates(const QWidget& window) {
  std::vector<std::string> lines;
  for (const QWidget* control : window.findChildren<QWidget*>()) {
    QString line = QString::fromLatin1(control->metaObject()->className());
    line += control->isEnabled() ? QStringLiteral(" on") : QStringLiteral(" off");
    line += control->isVisibleTo(&window) ? QStringLiteral(" shown") : QStringLiteral(" hidden");
    if (const auto* label = qobject_cast<const QLabel*>(control)) line += QStringLiteral(" '%1'").arg(label->text());
    if (const auto* button = qobject_cast<const QAbstractButton*>(control))
      line += QStringLiteral(" '%1' %2").arg(button->text()).arg(button->isChecked());
    if (const auto* group = qobject_cast<const QGroupBox*>(control))
      line += QStringLiteral(" '%1'").arg(group->title());
    if (const auto* spin = qobject_cast<const QSpinBox*>(control))
      line += QStringLiteral(" %1 [%2..%3]").arg(spin->value()).arg(spin->minimum()).arg(spin->maximum());
    if (const auto* slider = qobject_cast<const QAbstractSlider*>(control))
      line += QStringLiteral(" %1 [%2..%3]").arg(slider->value()).arg(slider->minimum()).arg(slider->maximum());
    if (const auto* combo = qobject_cast<const QComboBox*>(control))
      line += QStringLiteral(" '%1'").arg(combo->currentText());
    if (const auto* edit = qobject_cast<const QLineEdit*>(control)) line += QStringLiteral(" '%1'").arg(edit->text());
    if (const auto* view = qobject_cast<const QAbstractItemView*>(control))
      line += QStringLiteral(" rows %1").arg(view->model() ? view->model()->rowCount() : -1);
    lines.push_back(line.toStdString());
  }
  return lines;
}

// Reports every control whose line differs between two snapshots of one window.
inline void ExpectSameControls(const std::vector<std::string>& expected, const std::vector<std::string>& actual) {
  ASSERT_EQ(expected.size(), actual.size());
  for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(expected[i], actual[i]) << "control " << i;
}

}  // namespace clipvane::testing
