// The "Save to ..." group's rules: the second format is "JPEG", or "TIFF" while the colour
// mode is "1 bit"; the quality controls are usable exactly while "JPEG" is chosen.
#pragma once

#include <string_view>

namespace clipvane {

struct TSaveGroupState {
  bool SecondChosen = false;  // the second format, not "BMP", is chosen
  bool SecondIsTiff = false;  // its caption reads "TIFF"
  bool QualityEnabled = false;
};

// A change of the "Color mode" list to `text`.
TSaveGroupState ColorModeChanged(TSaveGroupState group, std::string_view text);
// "BMP" chosen.
TSaveGroupState BmpChosen(TSaveGroupState group);
// The second format chosen.
TSaveGroupState SecondFormatChosen(TSaveGroupState group);
// "PNG" chosen (beside the described choices): like "BMP", a format without options.
TSaveGroupState PngChosen(TSaveGroupState group);

}  // namespace clipvane
