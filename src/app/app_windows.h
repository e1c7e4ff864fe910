// TAppWindows: the process-wide state record and the windows created at start, in creation
// order TForm1, TForm2, TForm3, TForm5, TAboutForm. The main window goes first at the end, so
// the media device is closed while the "Video" window it draws into still exists.
#pragma once

#include <memory>

#include "core/video_state.h"
#include "video/player_clock.h"

namespace clipvane {

class TAboutForm;
class TForm1;
class TForm2;
class TForm3;
class TForm5;

// The application font the windows' fixed layout is made for: the platform's family at 8 points.
void SetProgramFont();

class TAppWindows {
 public:
  // The media device plays on `clock`, the steady clock unless one is given.
  explicit TAppWindows(std::shared_ptr<TPlayerClock> clock = nullptr);
  ~TAppWindows();
  TAppWindows(const TAppWindows&) = delete;
  TAppWindows& operator=(const TAppWindows&) = delete;

  TVideoState State;
  std::unique_ptr<TForm1> Form1;
  std::unique_ptr<TForm2> Form2;
  std::unique_ptr<TForm3> Form3;
  std::unique_ptr<TForm5> Form5;
  std::unique_ptr<TAboutForm> AboutForm;
};

}  // namespace clipvane
