// The texts of the tool tips and the controls they go on.
#include "app/control_tips.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QString>
#include <QStringList>

#include "app/main_window.h"
#include "pages/frames/frames_page.h"
#include "pages/gif/gif_page.h"
#include "pages/transitions/transitions_page.h"

namespace clipvane {

QString VideoContainersText() {
  QStringList names;
  for (const char* name : kVideoContainers) names << QString::fromLatin1(name);
  return names.join(QStringLiteral(", "));
}

void SetControlTips(TForm1& form) {
  const QString containers = VideoContainersText();
  form.Button3->setToolTip(
      QStringLiteral("Opens any video, not only AVI: %1 and every other container FFmpeg reads").arg(containers));
  form.GroupBoxFileInfo->setToolTip(
      QStringLiteral(
          "Frame size, frame count and length of the open video: any video, whatever its container (%1, ...)")
          .arg(containers));
  form.LabelHdr->setToolTip(
      QStringLiteral("A high dynamic range video, as phones record: its pictures are shown, extracted and made GIFs "
                     "as an SDR screen shows them"));
  form.GifPage->GroupBoxWindowSize->setToolTip(
      QStringLiteral("The part of the video's picture that goes into the GIF: the whole picture, or a part you pick "
                     "in the Video window. Any video (%1, ...) works the same")
          .arg(containers));
  const QString best = QStringLiteral(
      "A better GIF than the 256-colour reduction: a frame of 256 colours or fewer keeps them exactly, others get a "
      "palette of their own; only what changes is stored; ");
  form.GifPage->CheckBoxBest->setToolTip(
      best + QStringLiteral("and every frame starts at its true time, so the GIF lasts as long as the video"));
  form.TransitionsPage->CheckBoxBest->setToolTip(
      best + QStringLiteral("and every step starts at its true time, so the steps take the whole duration"));
  form.FramesPage->RadioButtonPng->setToolTip(
      QStringLiteral("PNG files: every colour of the frame kept, much smaller than BMP; 8, 4 and 1 bit frames as "
                     "palette pictures"));
}

}  // namespace clipvane
