// The texts of the file information and of the position display, in the user's number format
// (decimal separator of the locale, no digit grouping).
#pragma once

#include <QLocale>
#include <QString>

#include "core/video_frame_times.h"

namespace clipvane {

// The time position in tenths of a second: LengthMs / LastFrame x position / 100 in floating
// point, truncated toward zero; 0 while LastFrame is not above 0.
int TimePositionTenths(int lengthMs, int lastFrame, int position);
// The same for a video with frame times of its own (frames that do not come at one rate):
// where frame `position` starts, in tenths of a second truncated; the formula above when the
// table is empty.
int TimePositionTenths(const TVideoFrameTimes& times, int lengthMs, int lastFrame, int position);

// "Time position: " + tenths / 10 in the shortest form (5, 2.5, 0) + " s".
QString TimePositionText(int tenths, const QLocale& locale = QLocale());

// "Time length: " + lengthMs / 1000 with one decimal + " s".
QString TimeLengthText(int lengthMs, const QLocale& locale = QLocale());

}  // namespace clipvane
