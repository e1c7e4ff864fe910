// The tool tips that say what a control does beyond its caption: "Open AVI", "AVI file info" and
// "AVI window size" keep their captions but take any video, "Best quality" and "PNG" stand beside
// the described controls. One place, so the tips and the help page can be checked together.
#pragma once

class QString;

namespace clipvane {

class TForm1;

// The containers every "any video" text names, in the order they are named.
inline constexpr const char* kVideoContainers[] = {"AVI", "MP4", "MOV", "MKV", "WebM", "MPEG-TS"};

// "AVI, MP4, MOV, MKV, WebM, MPEG-TS".
QString VideoContainersText();

// Sets the tips on the main window's controls and its pages' controls.
void SetControlTips(TForm1& form);

}  // namespace clipvane
