// Colour table operations, the usage-ordering optimisation, and what the global and local
// tables tell their owners when they change.
#include "gif/gif_color_map.h"

#include <algorithm>
#include <numeric>

#include "gif/gif_image.h"

namespace clipvane {

namespace {

TGIFColor ToGIFColor(TColor color) {
  return {static_cast<std::uint8_t>(GetRValue(color)), static_cast<std::uint8_t>(GetGValue(color)),
          static_cast<std::uint8_t>(GetBValue(color))};
}

TColor ToColor(const TGIFColor& color) { return RGB(color.Red, color.Green, color.Blue); }

}  // namespace

void TGIFColorMap::Assign(const TGIFColorMap& source) {
  if (&source == this) return;
  colors_ = source.colors_;
  count_ = source.count_;
  sorted_ = source.sorted_;
  Changed();
}

int TGIFColorMap::BitsPerPixel() const {
  if (count_ == 0) return 0;
  int bits = 1;
  while ((1 << bits) < count_) ++bits;
  return bits;
}

void TGIFColorMap::Reserve(int requested) {
  if (requested < Capacity()) return;
  int capacity = requested <= 16 ? 16 : ((requested + 31) / 32) * 32;
  capacity = std::min(capacity, MaxColors);
  colors_.resize(static_cast<std::size_t>(capacity));
}

int TGIFColorMap::Add(TColor color) {
  if (count_ >= MaxColors) throw GIFException(sGIFColorTableOverflow);
  if (count_ >= Capacity()) Reserve(count_ + 1);
  colors_[static_cast<std::size_t>(count_)] = ToGIFColor(color);
  ++count_;
  sorted_ = false;
  Changed();
  return count_ - 1;
}

int TGIFColorMap::AddUnique(TColor color) {
  const int index = IndexOf(color);
  return index >= 0 ? index : Add(color);
}

int TGIFColorMap::IndexOf(TColor color) const {
  const TGIFColor wanted = ToGIFColor(color);
  if (sorted_) {
    for (int i = 0; i < count_; ++i)
      if (colors_[static_cast<std::size_t>(i)] == wanted) return i;
  } else {
    for (int i = count_ - 1; i >= 0; --i)
      if (colors_[static_cast<std::size_t>(i)] == wanted) return i;
  }
  return -1;
}

void TGIFColorMap::Delete(int index) {
  if (index < 0 || index >= count_) throw GIFException(sGIFInvalidColorIndex);
  std::copy(colors_.begin() + index + 1, colors_.begin() + count_, colors_.begin() + index);
  --count_;
  sorted_ = false;
  Changed();
}

TColor TGIFColorMap::Color(int index) {
  if (index < 0 || index >= count_) {
    Warning(1, sGIFInvalidColorIndex);
    if (count_ == 0) throw GIFException(sGIFColorTableEmpty);
    index = 0;
  }
  return ToColor(colors_[static_cast<std::size_t>(index)]);
}

void TGIFColorMap::SetColor(int index, TColor color) {
  if (index < 0 || index >= count_) throw GIFException(sGIFInvalidColorIndex);
  colors_[static_cast<std::size_t>(index)] = ToGIFColor(color);
  Changed();
}

void TGIFColorMap::Clear() {
  colors_.clear();
  count_ = 0;
  sorted_ = false;
  Changed();
}

void TGIFColorMap::ImportPalette(const TGIFPalette& palette) {
  std::vector<TGIFColor> colors;
  for (std::size_t i = 0; i < palette.size() && i < MaxColors; ++i)
    colors.push_back({palette[i].peRed, palette[i].peGreen, palette[i].peBlue});
  ImportRGB(colors);
}

void TGIFColorMap::ImportRGB(std::span<const TGIFColor> colors) {
  const int count = static_cast<int>(std::min<std::size_t>(colors.size(), MaxColors));
  Reserve(count);
  std::copy(colors.begin(), colors.begin() + count, colors_.begin());
  count_ = count;
  sorted_ = false;
  Changed();
}

void TGIFColorMap::ImportDIBColors(std::span<const TRGBQuad> colors) {
  std::vector<TGIFColor> rgb;
  for (std::size_t i = 0; i < colors.size() && i < MaxColors; ++i)
    rgb.push_back({colors[i].Red, colors[i].Green, colors[i].Blue});
  ImportRGB(rgb);
}

TGIFPaletteRef TGIFColorMap::ExportPalette() const {
  if (count_ == 0) return nullptr;
  auto palette = std::make_shared<TGIFPalette>();
  palette->reserve(static_cast<std::size_t>(count_));
  for (const TGIFColor& color : Entries()) palette->push_back({color.Red, color.Green, color.Blue, PC_NOCOLLAPSE});
  return palette;
}

void TGIFColorMap::Optimize() {
  if (count_ <= 1) return;
  const std::vector<std::uint64_t> usage = BuildHistogram();
  std::vector<int> order(static_cast<std::size_t>(count_));
  std::iota(order.begin(), order.end(), 0);
  // Equal usage keeps the old order, so optimising twice changes nothing.
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
    return usage[static_cast<std::size_t>(a)] > usage[static_cast<std::size_t>(b)];
  });
  sorted_ = true;

  int used = count_;
  for (int i = 0; i < count_; ++i)
    if (usage[static_cast<std::size_t>(order[static_cast<std::size_t>(i)])] == 0) {
      used = i;
      break;
    }
  bool reordered = false;
  for (int i = 0; i < count_; ++i) reordered = reordered || order[static_cast<std::size_t>(i)] != i;
  // Unused entries go even when the order stays: they are already at the end, and the room
  // they free is what the transparency step needs.
  if (!reordered && used == count_) return;

  if (reordered) {
    std::vector<int> newIndex(static_cast<std::size_t>(count_));
    for (int i = 0; i < count_; ++i) newIndex[static_cast<std::size_t>(order[static_cast<std::size_t>(i)])] = i;
    MapImages(newIndex);
    std::vector<TGIFColor> colors(colors_.size());
    for (int i = 0; i < count_; ++i)
      colors[static_cast<std::size_t>(i)] = colors_[static_cast<std::size_t>(order[static_cast<std::size_t>(i)])];
    colors_ = std::move(colors);
  }
  count_ = used;
  Changed();
}

// Global table.

void TGIFGlobalColorMap::Warning(int severity, const std::string& message) {
  if (header_ != nullptr && header_->Image() != nullptr) header_->Image()->Warning(this, severity, message);
}

namespace {

// The frames drawn with the global table.
std::vector<TGIFSubImage*> GlobalFrames(TGIFHeader* header) {
  std::vector<TGIFSubImage*> frames;
  if (header == nullptr || header->Image() == nullptr) return frames;
  for (const auto& frame : header->Image()->Images())
    if (&frame->ActiveColorMap() == &header->ColorMap()) frames.push_back(frame.get());
  return frames;
}

void CountPixels(const TGIFSubImage& frame, std::vector<std::uint64_t>& usage) {
  const std::uint8_t* pixels = frame.Data();
  const std::size_t limit = usage.size();
  for (std::size_t i = 0; i < frame.DataSize(); ++i)
    if (pixels[i] < limit) ++usage[pixels[i]];
}

void RenumberPixels(TGIFSubImage& frame, const std::vector<int>& newIndex) {
  std::uint8_t* pixels = frame.Data();
  for (std::size_t i = 0; i < frame.DataSize(); ++i)
    if (pixels[i] < newIndex.size()) pixels[i] = static_cast<std::uint8_t>(newIndex[pixels[i]]);
  TGIFGraphicControlExtension* control = frame.GraphicControlExtension();
  if (frame.Transparent() && control != nullptr) {
    const auto index = static_cast<std::size_t>(control->TransparentColorIndex());
    // Renumbered as stored: the table is being rebuilt, so no range warning applies.
    if (index < newIndex.size()) control->SetTransparentColorIndex(newIndex[index]);
  }
}

}  // namespace

std::vector<std::uint64_t> TGIFGlobalColorMap::BuildHistogram() {
  std::vector<std::uint64_t> usage(static_cast<std::size_t>(Count()), 0);
  for (TGIFSubImage* frame : GlobalFrames(header_)) CountPixels(*frame, usage);
  return usage;
}

void TGIFGlobalColorMap::MapImages(const std::vector<int>& newIndex) {
  for (TGIFSubImage* frame : GlobalFrames(header_)) RenumberPixels(*frame, newIndex);
}

void TGIFGlobalColorMap::Changed() {
  if (header_ != nullptr && header_->Image() != nullptr) header_->Image()->PaletteChanged();
}

// Local table.

void TGIFLocalColorMap::Warning(int severity, const std::string& message) {
  if (frame_ != nullptr) frame_->Warning(severity, message);
}

std::vector<std::uint64_t> TGIFLocalColorMap::BuildHistogram() {
  std::vector<std::uint64_t> usage(static_cast<std::size_t>(Count()), 0);
  if (frame_ != nullptr) CountPixels(*frame_, usage);
  return usage;
}

void TGIFLocalColorMap::MapImages(const std::vector<int>& newIndex) {
  if (frame_ != nullptr) RenumberPixels(*frame_, newIndex);
}

void TGIFLocalColorMap::Changed() {
  if (frame_ == nullptr) return;
  frame_->palette_.reset();
  if (frame_->bitmap_ && IsPaletteFormat(frame_->bitmap_->PixelFormat())) {
    frame_->bitmap_.reset();
    frame_->mask_.reset();
    frame_->needMask_ = true;
    if (frame_->Image() != nullptr) frame_->Image()->StopDraw();
  }
}

}  // namespace clipvane
