// The "Save to ..." group's format switch.
#include "runs/frames/save_format_switch.h"

namespace clipvane {

TSaveGroupState ColorModeChanged(TSaveGroupState group, std::string_view text) {
  group.SecondIsTiff = false;
  group.QualityEnabled = group.SecondChosen;
  if (text == "1 bit") {
    group.SecondIsTiff = true;
    group.QualityEnabled = false;
  }
  return group;
}

TSaveGroupState BmpChosen(TSaveGroupState group) {
  group.SecondChosen = false;
  group.QualityEnabled = false;
  return group;
}

TSaveGroupState PngChosen(TSaveGroupState group) { return BmpChosen(group); }

TSaveGroupState SecondFormatChosen(TSaveGroupState group) {
  group.SecondChosen = true;
  group.QualityEnabled = !group.SecondIsTiff;
  return group;
}

}  // namespace clipvane
