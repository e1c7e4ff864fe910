// GIF colour tables: a growable array of up to 256 RGB triples with a "sorted" flag, and
// its two kinds, the document's global table and a frame's local table.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/color.h"
#include "gif/gif_types.h"

namespace clipvane {

class TGIFSubImage;
class TGIFHeader;

// One table entry as GIF streams store it.
struct TGIFColor {
  std::uint8_t Red = 0;
  std::uint8_t Green = 0;
  std::uint8_t Blue = 0;
  friend bool operator==(const TGIFColor&, const TGIFColor&) = default;
};

class TGIFColorMap : public TGIFPersistent {
 public:
  static constexpr int MaxColors = 256;

  // Entries, count, capacity and sorted flag of source; then a change notification.
  void Assign(const TGIFColorMap& source);

  int Count() const { return count_; }
  int Capacity() const { return static_cast<int>(colors_.size()); }
  // Set when the table was ordered by importance; written as the descriptor's sort flag.
  bool Sorted() const { return sorted_; }
  void SetSorted(bool sorted) { sorted_ = sorted; }
  // The entries in use, Count() of them.
  std::span<const TGIFColor> Entries() const { return {colors_.data(), static_cast<std::size_t>(count_)}; }

  // 0 for an empty table, else the smallest b >= 1 with 2^b >= Count().
  int BitsPerPixel() const;
  // BitsPerPixel() - 1 (-1 for an empty table).
  int ColorResolution() const { return BitsPerPixel() - 1; }

  // Appends a colour (red in the low byte); "Color table overflow" when 256 are held.
  int Add(TColor color);
  // IndexOf, or Add when absent.
  int AddUnique(TColor color);
  // Exact match; from the front when sorted, else from the back; -1 when absent.
  int IndexOf(TColor color) const;
  // "Invalid color index" (GIFException) for an index outside the table.
  void Delete(int index);
  // The colour at index. Out of range: the warning "Invalid color index", then entry 0, or
  // "Color table is empty" (GIFException) when there is none.
  TColor Color(int index);
  void SetColor(int index, TColor color);
  void Clear();

  // Replaces the entries by up to 256 palette entries / red-green-blue triples / a bitmap's
  // blue-green-red-reserved colour table.
  void ImportPalette(const TGIFPalette& palette);
  void ImportRGB(std::span<const TGIFColor> colors);
  void ImportDIBColors(std::span<const TRGBQuad> colors);
  // The entries as a platform palette, each flagged PC_NOCOLLAPSE; none for an empty table.
  TGIFPaletteRef ExportPalette() const;

  virtual void Warning(int severity, const std::string& message) = 0;
  // How many pixels of the frames drawn with this table use each entry (Count() counts).
  virtual std::vector<std::uint64_t> BuildHistogram() = 0;
  // Renumbers the pixels (and transparent indices) of the frames drawn with this table:
  // newIndex[old] for every old entry.
  virtual void MapImages(const std::vector<int>& newIndex) = 0;
  // Orders the entries by usage, most used first, and drops the unused ones; sets the
  // sorted flag. Only tables of more than one entry are touched.
  virtual void Optimize();
  // Drops whatever was made from the colours.
  virtual void Changed() = 0;

 protected:
  TGIFColorMap() = default;

 private:
  void Reserve(int requested);

  std::vector<TGIFColor> colors_;  // size = capacity
  int count_ = 0;
  bool sorted_ = false;
};

// The document's global table, held by its header.
class TGIFGlobalColorMap : public TGIFColorMap {
 public:
  explicit TGIFGlobalColorMap(TGIFHeader* header) : header_(header) {}

  void Warning(int severity, const std::string& message) override;
  std::vector<std::uint64_t> BuildHistogram() override;
  void MapImages(const std::vector<int>& newIndex) override;
  void Changed() override;

 private:
  TGIFHeader* header_;
};

// A frame's local table.
class TGIFLocalColorMap : public TGIFColorMap {
 public:
  explicit TGIFLocalColorMap(TGIFSubImage* frame) : frame_(frame) {}

  void Warning(int severity, const std::string& message) override;
  std::vector<std::uint64_t> BuildHistogram() override;
  void MapImages(const std::vector<int>& newIndex) override;
  void Changed() override;

 private:
  TGIFSubImage* frame_;
};

}  // namespace clipvane
