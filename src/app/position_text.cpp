// Position and length texts.
#include "app/position_text.h"

#include <cstdlib>

#include "core/conversions.h"

namespace clipvane {

int TimePositionTenths(int lengthMs, int lastFrame, int position) {
  if (lastFrame <= 0) return 0;
  return trunc(static_cast<double>(lengthMs) / lastFrame * position / 100.0);
}

int TimePositionTenths(const TVideoFrameTimes& times, int lengthMs, int lastFrame, int position) {
  if (times.Empty()) return TimePositionTenths(lengthMs, lastFrame, position);
  return static_cast<int>(times.StartMs(position) / 100);
}

QString TimePositionText(int tenths, const QLocale& locale) {
  // Tenths are exact in decimal, so the shortest form is the whole seconds and at most one
  // decimal digit.
  QString seconds = QString::number(std::abs(tenths) / 10);
  if (tenths % 10 != 0) seconds += locale.decimalPoint() + QString::number(std::abs(tenths) % 10);
  if (tenths < 0) seconds.prepend(locale.negativeSign());
  return QStringLiteral("Time position: ") + seconds + QStringLiteral(" s");
}

QString TimeLengthText(int lengthMs, const QLocale& locale) {
  QLocale plain = locale;
  plain.setNumberOptions(QLocale::OmitGroupSeparator);
  return QStringLiteral("Time length: ") + plain.toString(lengthMs / 1000.0, 'f', 1) + QStringLiteral(" s");
}

}  // namespace clipvane
