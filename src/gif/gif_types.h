// Shared vocabulary of the GIF library: the fixed messages, the warning, progress and
// painting hooks, the paint option bits, palettes as the platform hands them out, and the
// percent rule every progress report uses.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/color.h"
#include "gif/gif_exception.h"

namespace clipvane {

// Hard errors (GIFException) and warnings of the document, the writer and the reader.
inline constexpr char sGIFObjectNotSupported[] = "Object type not supported for operation";
inline constexpr char sGIFColorTableOverflow[] = "Color table overflow";
inline constexpr char sGIFInvalidColorIndex[] = "Invalid color index";
inline constexpr char sGIFColorTableEmpty[] = "Color table is empty";
inline constexpr char sGIFWidthTooSmall[] = "Image width too small for contained frames";
inline constexpr char sGIFHeightTooSmall[] = "Image height too small for contained frames";
inline constexpr char sGIFExceedsScreen[] = "Image exceeds Logical Screen size";
inline constexpr char sGIFInvalidPixelCoordinates[] = "Invalid pixel coordinates";
inline constexpr char sGIFImageEmpty[] = "Image is empty";
inline constexpr char sGIFNoColorTable[] = "No global or local color table defined";
inline constexpr char sGIFClipboardFailed[] = "Failed to store GIF on clipboard";
inline constexpr char sGIFUnsupportedVersion[] = "Unsupported GIF version";
inline constexpr char sGIFColorNotInTable[] = "Color not in color table";
inline constexpr char sGIFInvalidStreamOperation[] = "Invalid stream operation";
inline constexpr char sGIFInvalidImageDimensions[] = "Invalid image dimensions";
inline constexpr char sGIFReductionFailed[] = "Color reduction failed";
// Reading.
inline constexpr char sGIFInvalidSignature[] = "Invalid GIF signature";
inline constexpr char sGIFUnknownBlockType[] = "Unknown GIF block type";
inline constexpr char sGIFUnknownExtension[] = "Unknown extension type";
inline constexpr char sGIFInvalidIntroducer[] = "Invalid extension introducer";
inline constexpr char sGIFPrematureEnd[] = "Premature end of data";
inline constexpr char sGIFBitBufferUnderrun[] = "Decoder bit buffer under-run";
inline constexpr char sGIFCircularTable[] = "Circular decoder table entry";
inline constexpr char sGIFExtensionMismatch[] = "Internal error: Extension Instance does not match Extension Label";
inline constexpr char sGIFUnsupportedAppBlockSize[] = "Unsupported Application Extension block size";
inline constexpr char sGIFInvalidData[] = "Invalid GIF data";
inline constexpr char sGIFInvalidTrailer[] = "Invalid Image trailer";
inline constexpr char sGIFInvalidCodeSize[] = "Invalid LZW code size";
inline constexpr char sGIFTooLarge[] = "Image too large";

// Progress messages.
inline constexpr char sGIFLoading[] = "Loading...";
inline constexpr char sGIFSaving[] = "Saving...";
inline constexpr char sGIFConverting[] = "Converting...";
inline constexpr char sGIFRendering[] = "Rendering...";
inline constexpr char sGIFCopying[] = "Copying...";
inline constexpr char sGIFOptimizing[] = "Optimizing...";

// Every object of the document tree; warnings name one of them as their sender.
class TGIFPersistent {
 public:
  TGIFPersistent() = default;
  TGIFPersistent(const TGIFPersistent&) = delete;
  TGIFPersistent& operator=(const TGIFPersistent&) = delete;
  virtual ~TGIFPersistent() = default;
};

class TGIFImage;
class TGIFPainter;

enum TProgressStage : std::uint8_t { psStarting = 0, psRunning = 1, psEnding = 2 };

// Recoverable problems: the work goes on with a corrected value. Severity is always 1.
using TGIFWarningEvent = std::function<void(TGIFPersistent* sender, int severity, const std::string& message)>;
// Progress of long operations; percent 0..100, rect is always empty here.
using TGIFProgressEvent = std::function<void(TGIFPersistent* sender, TProgressStage stage, int percent, bool redrawNow,
                                             const TRect& rect, const std::string& message)>;
// "The document changed": whoever displays it repaints.
using TGIFNotifyEvent = std::function<void(TGIFImage* sender)>;
// The five painting hooks, copied into each painter.
using TGIFPainterEvent = std::function<void(TGIFPainter* painter)>;

// Paint option bits of a document.
inline constexpr std::uint16_t poThreaded = 1u << 0;
inline constexpr std::uint16_t poTransparent = 1u << 1;
inline constexpr std::uint16_t poAnimate = 1u << 2;
inline constexpr std::uint16_t poRepeat = 1u << 3;
inline constexpr std::uint16_t poRepeatForever = 1u << 4;
inline constexpr std::uint16_t poCheckCanvas = 1u << 5;
inline constexpr std::uint16_t poPaintDirect = 1u << 6;
inline constexpr std::uint16_t poClearOnRepeat = 1u << 7;
inline constexpr std::uint16_t poTile = 1u << 8;
inline constexpr std::uint16_t poWebPalette = 1u << 9;
inline constexpr std::uint16_t poWebPaletteAuto = 1u << 10;

// Image data encoders a document may choose.
enum TGIFEncoding : std::uint8_t { encLZW = 0, encRLE = 1 };

enum TThreadPriority : std::uint8_t { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

// A colour value that means "no colour" (the document's backdrop default).
inline constexpr TColor clNoBackdrop = 0x1FFFFFFF;

// One entry of a logical palette as the platform hands palettes out.
struct TPaletteEntry {
  std::uint8_t peRed = 0;
  std::uint8_t peGreen = 0;
  std::uint8_t peBlue = 0;
  std::uint8_t peFlags = 0;
  friend bool operator==(const TPaletteEntry&, const TPaletteEntry&) = default;
};
// Entries exported from a colour table are never merged with the system colours.
inline constexpr std::uint8_t PC_NOCOLLAPSE = 0x04;
using TGIFPalette = std::vector<TPaletteEntry>;
using TGIFPaletteRef = std::shared_ptr<const TGIFPalette>;

// The order in which an interlaced image's rows are stored: passes starting at rows 0, 4,
// 2 and 1 stepping 8, 8, 4 and 2 (a pass starting below the last row is skipped).
template <class Visit>
void ForEachInterlacedRow(int height, Visit&& visit) {
  static constexpr int kStart[4] = {0, 4, 2, 1};
  static constexpr int kStep[4] = {8, 8, 4, 2};
  for (int pass = 0; pass < 4; ++pass)
    for (int row = kStart[pass]; row < height; row += kStep[pass]) visit(row);
}

// a * 100 / b with a 64-bit product, to the nearest integer, halves away from zero; 0 when
// b is not positive.
int GIFPercent(std::int64_t a, std::int64_t b);

}  // namespace clipvane
