// HDR test videos made from an SDR picture by the published formulas, so that the SDR picture
// is the truth a conversion back must reach: each pixel's BT.709 light (BT.1886, gamma 2.4)
// with SDR white at 203 nits (BT.2408), moved to BT.2020 primaries (BT.2087's matrix), coded
// by PQ (SMPTE ST 2084) or by HLG (BT.2100's inverse OOTF at a 1000-nit display, then its
// OETF), and made 10-bit BT.2020 Y'CbCr of limited range.
#pragma once

#include <array>
#include <map>
#include <string>

#include "core/bitmap.h"

namespace clipvane::fixtures {

enum class THdrKind { hkPq, hkHlg };

struct THdrVideo {
  THdrKind Kind = THdrKind::hkPq;
  std::string Muxer = "matroska";
  std::string Encoder = "ffv1";
  std::string PixelFormat = "yuv444p10le";  // or yuv420p10le: chroma sited left, as HEVC's default
  std::map<std::string, std::string> EncoderOptions;
  int FrameCount = 2;
  // The content light level (MaxCLL) the stream says, in nits; 0: none.
  int MaxContentLight = 0;
};

// A natural-looking picture for colour checks: shading, soft saturated red, blue and green
// regions and fine texture, no edges on the chroma grid. Its brightest channel stays at or
// below `peak` (0 to 255).
TBitmap HdrTestPicture(int width, int height, int peak = 170);

// BT.2020 R'G'B' (0 to 1) of an SDR colour shown at 203 nits for white, coded the HDR way.
std::array<double, 3> HdrSignal(THdrKind kind, TColor sdr);
// The same for light given in nits, as BT.2020 R, G, B of a display.
std::array<double, 3> HdrSignalOfNits(THdrKind kind, const std::array<double, 3>& nits);

// Writes every frame as `picture` coded the HDR way, with the stream's colour tags set (BT.2020
// matrix and primaries, the kind's transfer, limited range). Throws std::runtime_error when
// FFmpeg refuses.
void WriteHdrVideo(const std::string& path, const TBitmap& picture, const THdrVideo& video);

// Peak signal-to-noise ratio of `picture` against `truth` over all three channels, in dB
// (pictures of one size, 24 bits; 99 when they are equal).
double Psnr(const TBitmap& picture, const TBitmap& truth);

}  // namespace clipvane::fixtures
