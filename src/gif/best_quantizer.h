// The "Best quality" reduction of one true-colour frame. A frame of 256 colours or fewer
// keeps exactly its colours. Otherwise a median-cut palette (reused by the next frames while
// it still fits them) and serpentine Floyd-Steinberg over the exact nearest colours. Given
// the picture the screen shows before this frame, the pixels the screen already shows well
// enough are marked "keep": the dither then carries on from the screen's colour. The choice of
// colours (TBestPaletteChooser) needs only the pictures, one after another, so it can run a
// picture ahead of the mapping, on another thread.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "core/bitmap.h"
#include "core/color.h"
#include "gif/gif_color_map.h"
#include "gif/median_cut_palette.h"
#include "gif/nearest_color_search.h"

namespace clipvane {

struct TBestQuantizerSettings {
  // Every this-many-th pixel goes into the palette's histogram.
  int SampleStep = 4;
  // Entries of a palette built for a frame (at most 255: one index is kept for "keep").
  int MaxColors = 255;
  // k-means iterations after the median cut.
  int Refinements = 2;
  // The last palette is kept while the fit error of a new frame stays within this factor of
  // the error it had on the frame it was built for (plus one unit of squared error).
  double ReuseTolerance = 1.5;
  // The error a pixel passes on is cut to this much a channel: enough to dither between
  // neighbouring palette colours, too little to smear a colour the palette lacks.
  int ErrorLimit = 3;
  // Keeping the screen's colour: a pixel starts a kept run when the screen's colour is no
  // farther from the colour wanted than the nearest palette colour; the pixels after it
  // stay kept while it is at most this much farther (squared RGB distance).
  int KeepSlack = 60;
  // Shorter runs of kept pixels are written with their colour where the palette has it:
  // a transparent pixel here and there costs the compressor more than it saves.
  int KeepRun = 4;
};

// One quantised frame: an index a pixel, rows top to bottom.
struct TQuantizedFrame {
  int Width = 0;
  int Height = 0;
  std::vector<std::uint8_t> Indices;
  std::vector<TGIFColor> Palette;
  // The index that means "keep what the screen shows"; -1 when no pixel may be kept.
  int KeepIndex = -1;
  // The smallest rectangle holding every pixel not kept; empty when every pixel is kept.
  TRect Changed;
  bool Lossless = false;  // every pixel has its own colour exactly
};

// The colours chosen for a picture: its own when it has 256 or fewer, else a palette.
struct TFrameColors {
  bool Exact = false;
  // Exact: each pixel's index into Colors (rows top to bottom), and the picture's colours in
  // order of first appearance.
  std::vector<std::uint8_t> Indices;
  std::vector<TGIFColor> Colors;
  // Otherwise: the palette to dither with. The mapping's own, which the chooser makes and
  // hands over but never touches again (its candidate lists fill as it is used).
  std::shared_ptr<TNearestColorSearch> Search;
};

// The first stage of TBestQuantizer: the colours of each picture in turn. Its state (the
// palette in use and how well it fitted) follows the pictures given and nothing else.
class TBestPaletteChooser {
 public:
  explicit TBestPaletteChooser(TBestQuantizerSettings settings = {}) : settings_(settings) {}

  // The colours of a 24-bit picture (the picture after the last one given).
  void Choose(const TBitmap& picture, TFrameColors& colors);

  // Palettes built so far (the others were reused).
  int PalettesBuilt() const { return palettesBuilt_; }

 private:
  // The frame's colours when there are at most 256 of them, in order of first appearance,
  // with each pixel's index in them written to indices (one a pixel, rows top to bottom;
  // left unfinished when there are more colours).
  bool CollectColors(const TBitmap& picture, std::uint8_t* indices);
  void ChoosePalette(const TBitmap& picture);

  TBestQuantizerSettings settings_;
  TColorHistogram histogram_;
  std::optional<TNearestColorSearch> search_;     // the palette in use, for judging its fit
  std::shared_ptr<TNearestColorSearch> mapping_;  // its copy for the mapping
  double builtError_ = 0;
  int builtBits_ = 0;  // the cell size of the histogram the palette was built from
  int palettesBuilt_ = 0;
  // Exact colours: an open-addressing table of colour + 1 (0 = empty) and their indices.
  std::vector<std::uint32_t> colorKeys_;
  std::vector<std::uint8_t> colorIndices_;
  std::vector<TGIFColor> colors_;
};

class TBestQuantizer {
 public:
  explicit TBestQuantizer(TBestQuantizerSettings settings = {}) : settings_(settings), chooser_(settings) {}

  // Quantises a 24-bit picture. screen: the 24-bit picture of the same size that the frames
  // before show, or none for a first frame (then nothing is kept and Changed is the whole).
  void Quantize(const TBitmap& picture, const TBitmap* screen, TQuantizedFrame& frame) {
    chooser_.Choose(picture, colors_);
    Map(picture, screen, colors_, frame);
  }

  // The stages of Quantize apart. The chooser, on any one thread at a time, takes the
  // pictures in order; Map then maps each with the colours chosen for it (whose indices it
  // takes over, leaving colors with the frame's old ones).
  TBestPaletteChooser& Chooser() { return chooser_; }
  void Map(const TBitmap& picture, const TBitmap* screen, TFrameColors& colors, TQuantizedFrame& frame);

  // Palettes built so far (the others were reused).
  int PalettesBuilt() const { return chooser_.PalettesBuilt(); }

 private:
  // The indices the chooser found, with the pixels the screen already shows kept.
  void MapExactly(const TBitmap& picture, const TBitmap* screen, const std::vector<TGIFColor>& colors,
                  TQuantizedFrame& frame);
  void Dither(const TBitmap& picture, const TBitmap* screen, TNearestColorSearch& search, TQuantizedFrame& frame);
  // Writes the kept pixels of a dithered row: long runs as the keep index, short ones as
  // the palette entry of the screen's colour when there is one.
  void WriteKeptRuns(TNearestColorSearch& search, const std::uint8_t* shown, std::uint8_t* out, int keepIndex);

  TBestQuantizerSettings settings_;
  TBestPaletteChooser chooser_;
  TFrameColors colors_;
  std::vector<std::int32_t> errors_;
  std::vector<std::pair<int, int>> keptRuns_;  // first and last pixel, in walking order
};

}  // namespace clipvane
