// The GIF document and its items: bounds and screen growth, frames from bitmaps (colour
// reduction, table import, transparency), copies, palettes, versions, pixel access.
#include "gif/gif_image.h"

#include <algorithm>
#include <cstring>

namespace clipvane {

namespace {

constexpr int kMaxSide = 65535;

// RAII reset of a bool flag.
class TFlagGuard {
 public:
  explicit TFlagGuard(bool& flag) : flag_(flag) { flag_ = true; }
  ~TFlagGuard() { flag_ = false; }
  TFlagGuard(const TFlagGuard&) = delete;
  TFlagGuard& operator=(const TFlagGuard&) = delete;

 private:
  bool& flag_;
};

bool MaskPixelSet(const TBitmap& mask, int x, int y) {
  if (IsPaletteFormat(mask.PixelFormat())) return mask.GetIndex(x, y) != 0;
  return (mask.GetPixel(x, y) & 0xFFFFFF) != clBlack;
}

}  // namespace

// Items and lists.

void TGIFItem::Warning(int severity, const std::string& message) {
  if (TGIFImage* image = Image()) image->Warning(this, severity, message);
}

void TGIFList::Warning(int severity, const std::string& message) {
  if (image_ != nullptr) image_->Warning(this, severity, message);
}

// Header.

int TGIFHeader::Version() const { return image_ != nullptr ? std::max(image_->Version(), 1) : 1; }

void TGIFHeader::Assign(const TGIFHeader& source) {
  if (&source == this) return;
  descriptor_ = source.descriptor_;
  colorMap_.Assign(source.colorMap_);
}

void TGIFHeader::Clear() {
  descriptor_ = TLogicalScreenDescriptor{};
  colorMap_.Clear();
  Prepare();
}

int TGIFHeader::MaxBitsPerPixel() const {
  int bits = colorMap_.BitsPerPixel();
  // No table has more than 8 bits a pixel, so a full global table ends the search (and
  // spares a look at the frame list, which the run may be appending to meanwhile).
  if (bits >= 8) return bits;
  if (image_ != nullptr)
    for (const auto& frame : image_->Images()) bits = std::max(bits, frame->BitsPerPixel());
  return bits;
}

void TGIFHeader::Prepare() {
  int resolution = colorMap_.ColorResolution();
  int bits = colorMap_.BitsPerPixel();
  if (image_ != nullptr)
    for (const auto& frame : image_->Images()) {
      resolution = std::max(resolution, frame->ColorResolution());
      bits = std::max(bits, frame->BitsPerPixel());
    }
  int packed = 0;
  if (colorMap_.Count() > 0) {
    packed |= 0x80;
    if (colorMap_.Sorted()) packed |= 0x08;
  }
  packed |= (resolution & 7) << 4;
  packed |= (bits - 1) & 7;
  descriptor_.PackedFields = static_cast<std::uint8_t>(packed);
}

// Frame.

TGIFSubImage::TGIFSubImage(TGIFImage* image) : TGIFItem(image), colorMap_(this), extensions_(this) {}

TGIFSubImage::~TGIFSubImage() {
  // Extensions reach back into the frame while they are destroyed.
  extensions_.Clear();
  if (image_ != nullptr) image_->ForgetRendered(this);
}

int TGIFSubImage::Version() const { return (colorMap_.Sorted() || extensions_.Count() > 0) ? 2 : 1; }

bool TGIFSubImage::Empty() const { return (pixels_.empty() && !encoded_) || Width() == 0 || Height() == 0; }

void TGIFSubImage::FreeCaches() {
  DropRendering();
  palette_.reset();
}

void TGIFSubImage::DropRendering() {
  bitmap_.reset();
  mask_.reset();
  needMask_ = true;
  if (image_ != nullptr) image_->ForgetRendered(this);
}

void TGIFSubImage::Clear() {
  extensions_.Clear();
  colorMap_.Clear();
  encoded_.reset();
  std::vector<std::uint8_t>().swap(pixels_);
  SetHeight(0);
  SetWidth(0);
  transparent_ = false;
  controlExtension_ = nullptr;
  FreeCaches();
}

void TGIFSubImage::SetBounds(int left, int top, int width, int height) {
  for (int value : {left, top, width, height})
    if (value < 0 || value > kMaxSide) throw GIFException(sGIFInvalidImageDimensions);
  // The logical screen is 16 bits wide too: it could not hold a frame reaching past that.
  if (left + width > kMaxSide) throw GIFException(sGIFWidthTooSmall);
  if (top + height > kMaxSide) throw GIFException(sGIFHeightTooSmall);

  const int oldWidth = Width();
  const int oldHeight = Height();
  descriptor_.Left = static_cast<std::uint16_t>(left);
  descriptor_.Top = static_cast<std::uint16_t>(top);
  descriptor_.Width = static_cast<std::uint16_t>(width);
  descriptor_.Height = static_cast<std::uint16_t>(height);
  if (width != oldWidth || height != oldHeight) {
    FreeCaches();
    encoded_.reset();
    std::vector<std::uint8_t>().swap(pixels_);
    pixels_.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  }
  GrowScreen();
}

void TGIFSubImage::GrowScreen() {
  if (image_ == nullptr) return;
  bool grew = false;
  if (image_->Width() < Left() + Width()) {
    if (image_->Width() > 0) {
      Warning(1, sGIFWidthTooSmall);
      grew = true;
    }
    image_->SetWidth(Left() + Width());
  }
  if (image_->Height() < Top() + Height()) {
    if (image_->Height() > 0) {
      Warning(1, sGIFHeightTooSmall);
      grew = true;
    }
    image_->SetHeight(Top() + Height());
  }
  if (grew) Warning(1, sGIFExceedsScreen);
}

void TGIFSubImage::SetInterlaced(bool interlaced) {
  descriptor_.PackedFields =
      static_cast<std::uint8_t>(interlaced ? (descriptor_.PackedFields | 0x40) : (descriptor_.PackedFields & ~0x40));
}

void TGIFSubImage::Prepare() {
  if (colorMap_.Count() == 0) {
    descriptor_.PackedFields &= 0x58;
  } else {
    int packed = 0x80;
    if (colorMap_.Sorted()) packed |= 0x20;
    packed |= (colorMap_.BitsPerPixel() - 1) & 7;
    descriptor_.PackedFields = static_cast<std::uint8_t>(packed);
  }
}

const TGIFColorMap& TGIFSubImage::ActiveColorMap() const {
  if (colorMap_.Count() > 0) return colorMap_;
  if (image_ != nullptr && image_->Header().ColorMap().Count() > 0) return image_->Header().ColorMap();
  return colorMap_;
}

std::uint8_t TGIFSubImage::Pixel(int x, int y) {
  if (x < 0 || x >= Width() || y < 0 || y >= Height()) throw GIFException(sGIFInvalidPixelCoordinates);
  DecodePixels();
  if (pixels_.empty()) pixels_.resize(static_cast<std::size_t>(Width()) * static_cast<std::size_t>(Height()));
  if (pixels_.empty()) throw GIFException(sGIFImageEmpty);
  return pixels_[static_cast<std::size_t>(y) * static_cast<std::size_t>(Width()) + static_cast<std::size_t>(x)];
}

void TGIFSubImage::SetPixel(int x, int y, std::uint8_t index) {
  if (x < 0 || x >= Width()) throw GIFException(sGIFInvalidPixelCoordinates);
  ScanLine(y)[x] = index;
  FreeCaches();
}

std::uint8_t* TGIFSubImage::ScanLine(int y) {
  if (y < 0 || y >= Height()) throw GIFException(sGIFInvalidPixelCoordinates);
  PixelsWillChange();
  if (pixels_.empty()) pixels_.resize(static_cast<std::size_t>(Width()) * static_cast<std::size_t>(Height()));
  if (pixels_.empty()) throw GIFException(sGIFImageEmpty);
  return pixels_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(Width());
}

void TGIFSubImage::DecodePixels() const {
  if (!pixels_.empty() || !encoded_) return;
  const std::size_t count = static_cast<std::size_t>(Width()) * static_cast<std::size_t>(Height());
  if (count == 0 || encoded_->Width() != Width() || encoded_->Height() != Height()) return;
  std::vector<std::uint8_t> pixels(count);
  encoded_->Decode(pixels.data());
  pixels_ = std::move(pixels);
}

const std::uint8_t* TGIFSubImage::PixelsForReading(std::vector<std::uint8_t>& scratch) const {
  const std::size_t count = static_cast<std::size_t>(Width()) * static_cast<std::size_t>(Height());
  if (count == 0) return nullptr;
  if (pixels_.size() == count) return pixels_.data();
  if (!encoded_ || encoded_->Width() != Width() || encoded_->Height() != Height()) return nullptr;
  scratch.resize(count);
  encoded_->Decode(scratch.data());
  return scratch.data();
}

void TGIFSubImage::PixelsWillChange() {
  DecodePixels();
  encoded_.reset();
}

const std::uint8_t* TGIFSubImage::Data() const {
  DecodePixels();
  return pixels_.empty() ? nullptr : pixels_.data();
}

std::uint8_t* TGIFSubImage::Data() {
  PixelsWillChange();
  return pixels_.empty() ? nullptr : pixels_.data();
}

std::size_t TGIFSubImage::DataSize() const {
  if (pixels_.empty() && encoded_) return static_cast<std::size_t>(Width()) * static_cast<std::size_t>(Height());
  return pixels_.size();
}

TGIFImageDataFormat TGIFSubImage::DataFormat() const {
  TGIFImageDataFormat format;
  // A frame with a local table is always written non-interlaced.
  if (colorMap_.Count() > 0) {
    format.BitsPerPixel = colorMap_.BitsPerPixel();
  } else {
    format.BitsPerPixel = image_ != nullptr ? image_->Header().MaxBitsPerPixel() : 0;
    format.Interlaced = Interlaced();
  }
  format.Encoding = image_ != nullptr ? image_->Encoding : encLZW;
  return format;
}

int TGIFSubImage::ColorLimit() const {
  if (colorMap_.Count() > 0) return colorMap_.Count();
  return 1 << DataFormat().BitsPerPixel;
}

bool TGIFSubImage::Encode() {
  if (Empty()) return false;
  const TGIFImageDataFormat format = DataFormat();
  if (encoded_ && encoded_->Format() == format) {
    SetEncodedData(encoded_);
    return true;
  }
  std::vector<std::uint8_t> scratch;
  const std::uint8_t* pixels = PixelsForReading(scratch);
  if (pixels == nullptr) return false;
  TGIFEncodedImageRef encoded = TGIFEncodedImage::Encode(format, Width(), Height(), pixels);
  if (!encoded) return false;
  SetEncodedData(std::move(encoded));
  return true;
}

void TGIFSubImage::SetEncodedData(TGIFEncodedImageRef data) {
  if (!data || data->Width() != Width() || data->Height() != Height()) return;
  encoded_ = std::move(data);
  std::vector<std::uint8_t>().swap(pixels_);
  DropRendering();
}

TGIFPaletteRef TGIFSubImage::Palette() {
  if (palette_) return palette_;
  if (colorMap_.Count() > 0) palette_ = colorMap_.ExportPalette();
  else if (image_ != nullptr) palette_ = image_->Palette();
  return palette_;
}

void TGIFSubImage::Progress(TProgressStage stage, int percent) {
  if (image_ != nullptr) image_->Progress(this, stage, percent, sGIFConverting);
}

void TGIFSubImage::Assign(const TGIFSubImage& source) {
  if (&source == this) return;
  Clear();
  if (source.Empty()) return;
  descriptor_ = source.descriptor_;
  transparent_ = source.transparent_;
  // The encoded form is shared, not copied: a copy of a long GIF costs no pixels.
  encoded_ = source.encoded_;
  if (!encoded_) pixels_ = source.pixels_;
  colorMap_.Assign(source.colorMap_);
  // Written out and read back so that the copies are this frame's own objects.
  TGIFMemoryStream stream;
  source.extensions_.SaveToStream(stream);
  stream.Seek(0, soBeginning);
  extensions_.LoadFromStream(stream);
  if (source.bitmap_ && !encoded_) bitmap_ = std::make_unique<TBitmap>(*source.bitmap_);
  GrowScreen();
}

void TGIFSubImage::Assign(const TBitmap& bitmap, const TBitmap* transparencyMask) {
  if (transparencyMask != nullptr &&
      (transparencyMask->Width() != bitmap.Width() || transparencyMask->Height() != bitmap.Height()))
    throw GIFException(sGIFInvalidImageDimensions);
  Clear();
  if (bitmap.Empty()) return;
  SetWidth(bitmap.Width());
  SetHeight(bitmap.Height());

  TBitmap rendered;
  int paletteCount = 0;
  if (IsPaletteFormat(bitmap.PixelFormat())) {
    rendered = bitmap;
    paletteCount = static_cast<int>(bitmap.Palette().size());
  } else {
    const TColorReduction method = image_ != nullptr ? image_->ReductionMethod : reduceWebCube;
    const TDitherMode dither = image_ != nullptr ? image_->DitherKind : ditherNone;
    const int bits = image_ != nullptr ? image_->QuantizeBits : 8;
    rendered = ReduceBitmap(bitmap, method, dither, {}, bits, &paletteCount);
    // An unknown method or dither kind reduces to nothing: there would be no pixels to read.
    if (rendered.Width() != bitmap.Width() || rendered.Height() != bitmap.Height())
      throw GIFException(sGIFReductionFailed);
  }

  pixels_.assign(static_cast<std::size_t>(Width()) * static_cast<std::size_t>(Height()), 0);
  Progress(psStarting, 0);
  try {
    ImportBitmapPixels(rendered, paletteCount);
    bitmap_ = std::make_unique<TBitmap>(std::move(rendered));
    if (transparencyMask != nullptr) ApplyTransparencyMask(*transparencyMask);
  } catch (...) {
    Progress(psEnding, 0);
    throw;
  }
  Progress(psEnding, 100);
}

void TGIFSubImage::ImportBitmapPixels(const TBitmap& bitmap, int paletteCount) {
  const int width = Width();
  const int height = Height();
  const TPixelFormat format = bitmap.PixelFormat();
  const int bits = ::clipvane::BitsPerPixel(format);

  if (IsPaletteFormat(format)) {
    const std::vector<TRGBQuad>& palette = bitmap.Palette();
    const std::size_t count = std::min(palette.size(), static_cast<std::size_t>(std::max(paletteCount, 0)));
    colorMap_.ImportDIBColors(std::span<const TRGBQuad>(palette.data(), count));
    for (int y = 0; y < height; ++y) {
      if (y % 32 == 0) Progress(psRunning, GIFPercent(y, height));
      const std::uint8_t* row = bitmap.ScanLine(y);
      std::uint8_t* target = pixels_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
      if (bits == 8) {
        std::memcpy(target, row, static_cast<std::size_t>(width));
      } else if (bits == 4) {
        for (int x = 0; x < width; ++x)
          target[x] = static_cast<std::uint8_t>((x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4));
      } else {
        for (int x = 0; x < width; ++x) target[x] = static_cast<std::uint8_t>((row[x >> 3] >> (7 - (x & 7))) & 1);
      }
    }
    return;
  }

  // Everything else is read as blue-green-red triples.
  const TBitmap* source = &bitmap;
  TBitmap converted;
  if (format != TPixelFormat::pf24bit) {
    converted = bitmap;
    converted.SetPixelFormat(TPixelFormat::pf24bit);
    source = &converted;
  }
  // The colours seen last: runs of one colour never search the table.
  struct TCacheSlot {
    TColor Color = 0;
    int Index = -1;
  };
  TCacheSlot cache[8];
  int start = 0;
  int lastStored = -1;
  for (int y = 0; y < height; ++y) {
    if (y % 32 == 0) Progress(psRunning, GIFPercent(y, height));
    const std::uint8_t* row = source->ScanLine(y);
    std::uint8_t* target = pixels_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
    for (int x = 0; x < width; ++x, row += 3) {
      const TColor color = RGB(row[2], row[1], row[0]);
      int index = -1;
      int slot = start;
      do {
        if (cache[slot].Index < 0) break;
        if (cache[slot].Color == color) {
          index = cache[slot].Index;
          start = slot;
          break;
        }
        slot = (slot + 7) % 8;
      } while (slot != start);
      if (index < 0) {
        index = colorMap_.AddUnique(color);
        lastStored = (lastStored + 1) % 8;
        cache[lastStored] = {color, index};
        start = lastStored;
      }
      target[x] = static_cast<std::uint8_t>(index);
    }
  }
}

void TGIFSubImage::ApplyTransparencyMask(const TBitmap& mask) {
  PixelsWillChange();
  colorMap_.Optimize();
  if (colorMap_.Count() < 1 || colorMap_.Count() > 255) return;
  const int index = colorMap_.Add(clBlack);
  bool any = false;
  for (int y = 0; y < Height(); ++y) {
    std::uint8_t* row = pixels_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(Width());
    for (int x = 0; x < Width(); ++x)
      if (MaskPixelSet(mask, x, y)) {
        row[x] = static_cast<std::uint8_t>(index);
        any = true;
      }
  }
  if (!any) {
    colorMap_.Delete(index);
    return;
  }
  FreeCaches();
  auto control = std::make_unique<TGIFGraphicControlExtension>(this);
  control->SetTransparent(true);
  control->SetTransparentColorIndex(index);
  extensions_.Add(std::move(control));
}

void TGIFSubImage::AssignTo(TBitmap& bitmap) const {
  if (Empty()) {
    bitmap = TBitmap();
    return;
  }
  TBitmap result(Width(), Height(), TPixelFormat::pf8bit);
  std::vector<TRGBQuad> palette;
  for (const TGIFColor& color : ActiveColorMap().Entries())
    palette.push_back(TRGBQuad{color.Blue, color.Green, color.Red, 0});
  result.SetPalette(std::move(palette));
  std::vector<std::uint8_t> scratch;
  const std::uint8_t* pixels = PixelsForReading(scratch);
  for (int y = 0; y < Height() && pixels != nullptr; ++y)
    std::memcpy(result.ScanLine(y), pixels + static_cast<std::size_t>(y) * static_cast<std::size_t>(Width()),
                static_cast<std::size_t>(Width()));
  bitmap = std::move(result);
}

// Frame list.

int TGIFImageList::Add(std::unique_ptr<TGIFSubImage> frame) {
  items_.push_back(std::move(frame));
  return Count() - 1;
}

int TGIFImageList::IndexOf(const TGIFSubImage* frame) const {
  for (std::size_t i = 0; i < items_.size(); ++i)
    if (items_[i].get() == frame) return static_cast<int>(i);
  return -1;
}

void TGIFImageList::Delete(int index) { Extract(index).reset(); }

std::unique_ptr<TGIFSubImage> TGIFImageList::Extract(int index) {
  std::unique_ptr<TGIFSubImage> frame = std::move(items_.at(static_cast<std::size_t>(index)));
  items_.erase(items_.begin() + index);
  return frame;
}

void TGIFImageList::Clear() {
  std::vector<std::unique_ptr<TGIFSubImage>> items = std::move(items_);
  items_.clear();
  for (auto& item : items) item.reset();
}

// Document.

TGIFImage::TGIFImage() : images_(this), header_(this) { header_.Prepare(); }

TGIFImage::~TGIFImage() {
  if (playback_) playback_->DocumentGone();
  Clear();
  // Painters still running have forgotten the document; their playback goes with it.
  playback_.reset();
}

void TGIFImage::SetPlayback(std::unique_ptr<TGIFImagePlayback> playback) { playback_ = std::move(playback); }

void TGIFImage::StopDraw() {
  if (playback_) playback_->StopOnScreen();
}

void TGIFImage::StopPainters() {
  if (playback_) playback_->StopAll();
}

int TGIFImage::PainterCount() { return playback_ ? playback_->PainterCount() : 0; }

void TGIFImage::AssignTo(TBitmap& bitmap) {
  if (images_.Count() == 0 || Width() <= 0 || Height() <= 0) {
    bitmap = TBitmap();
    return;
  }
  const TRect whole{0, 0, Width(), Height()};
  TBitmap picture(Width(), Height(), TPixelFormat::pf24bit);
  picture.FillRect(whole, GIFBackgroundColor(*this));
  images_[0]->Draw(picture, whole, (PaintOptions & poTile) != 0, (PaintOptions & poTransparent) != 0);
  bitmap = std::move(picture);
}

TColor GIFBackgroundColor(TGIFImage& image) {
  // The platform's window colour.
  constexpr TColor clWindow = clWhite;
  if (image.BackdropColor != clNoBackdrop) return image.BackdropColor;
  TGIFColorMap& global = image.GlobalColorMap();
  if (global.Count() > 0) return global.Color(image.Header().Descriptor().BackgroundColorIndex);
  return clWindow;
}

void TGIFImage::Warning(TGIFPersistent* sender, int severity, const std::string& message) {
  if (OnWarning) OnWarning(sender, severity, message);
}

void TGIFImage::Progress(TGIFPersistent* sender, TProgressStage stage, int percent, const std::string& message) {
  if (OnProgress) OnProgress(sender, stage, percent, false, TRect{}, message);
}

void TGIFImage::Changed() {
  if (OnChange) OnChange(this);
}

int TGIFImage::Version() const {
  int version = 0;
  for (const auto& frame : images_) {
    version = std::max(version, frame->Version());
    if (version >= 2) break;
  }
  return version;
}

void TGIFImage::SetWidth(int width) {
  if (width < 0 || width > kMaxSide) throw GIFException(sGIFInvalidImageDimensions);
  for (const auto& frame : images_)
    if (frame->Left() + frame->Width() > width) throw GIFException(sGIFWidthTooSmall);
  if (width == Width()) return;
  header_.Descriptor().ScreenWidth = static_cast<std::uint16_t>(width);
  StopDraw();
  Changed();
}

void TGIFImage::SetHeight(int height) {
  if (height < 0 || height > kMaxSide) throw GIFException(sGIFInvalidImageDimensions);
  for (const auto& frame : images_)
    if (frame->Top() + frame->Height() > height) throw GIFException(sGIFHeightTooSmall);
  if (height == Height()) return;
  header_.Descriptor().ScreenHeight = static_cast<std::uint16_t>(height);
  StopDraw();
  Changed();
}

int TGIFImage::AddFrame(const TBitmap& bitmap, const TBitmap* transparencyMask) {
  auto frame = std::make_unique<TGIFSubImage>(this);
  frame->Assign(bitmap, transparencyMask);
  return AddFrame(std::move(frame));
}

int TGIFImage::AddFrame(std::unique_ptr<TGIFSubImage> frame) {
  if (!frame) throw GIFException(sGIFObjectNotSupported);
  if (frame->Image() != this) {
    if (frame->Image() != nullptr) frame->Image()->ForgetRendered(frame.get());
    frame->Reown(this);
    frame->palette_.reset();
    frame->GrowScreen();
  }
  const int index = images_.Add(std::move(frame));
  StopDraw();
  Changed();
  return index;
}

int TGIFImage::AddFrame(const TGIFPersistent& source) {
  if (const auto* sourceFrame = dynamic_cast<const TGIFSubImage*>(&source)) {
    auto frame = std::make_unique<TGIFSubImage>(this);
    frame->Assign(*sourceFrame);
    return AddFrame(std::move(frame));
  }
  throw GIFException(sGIFObjectNotSupported);
}

void TGIFImage::Assign(const TGIFImage& source) {
  if (&source == this) return;
  Clear();
  // The copy reports through the source's hooks; this document's own come back after.
  TGIFProgressEvent ownProgress = std::move(OnProgress);
  TGIFWarningEvent ownWarning = std::move(OnWarning);
  OnProgress = source.OnProgress;
  OnWarning = source.OnWarning;
  struct TRestore {
    TGIFImage& image;
    TGIFProgressEvent& progress;
    TGIFWarningEvent& warning;
    ~TRestore() {
      image.OnProgress = std::move(progress);
      image.OnWarning = std::move(warning);
    }
  } restore{*this, ownProgress, ownWarning};

  Progress(this, psStarting, 0, sGIFCopying);
  try {
    header_.Assign(source.header_);
    PainterPriority = source.PainterPriority;
    BackdropColor = source.BackdropColor;
    PaintOptions = source.PaintOptions;
    ReductionMethod = source.ReductionMethod;
    DitherKind = source.DitherKind;
    const int count = source.images_.Count();
    for (int i = 0; i < count; ++i) {
      auto frame = std::make_unique<TGIFSubImage>(this);
      frame->Assign(*source.images_[i]);
      AddFrame(std::move(frame));
      Progress(this, psRunning, GIFPercent(i + 1, count), sGIFCopying);
    }
  } catch (...) {
    Progress(this, psEnding, 0, sGIFCopying);
    throw;
  }
  Progress(this, psEnding, 100, sGIFCopying);
}

void TGIFImage::Assign(const TBitmap& bitmap) {
  Clear();
  AddFrame(bitmap);
}

void TGIFImage::Clear() {
  StopPainters();
  images_.Clear();
  header_.ColorMap().Clear();
  header_.Descriptor().ScreenWidth = 0;
  header_.Descriptor().ScreenHeight = 0;
  header_.Prepare();
  palette_.reset();
}

TGIFPaletteRef TGIFImage::Palette() {
  if (paletteLookup_) throw GIFException(sGIFNoColorTable);
  TFlagGuard guard(paletteLookup_);
  const TBitmap* composite = CompositeBitmap();
  if (composite != nullptr && IsPaletteFormat(composite->PixelFormat()) && !composite->Palette().empty()) {
    auto palette = std::make_shared<TGIFPalette>();
    for (const TRGBQuad& entry : composite->Palette())
      palette->push_back({entry.Red, entry.Green, entry.Blue, PC_NOCOLLAPSE});
    palette_ = palette;
    return palette_;
  }
  if (palette_) return palette_;
  // Frames go through the web cube only on displays of 8 bits or fewer with the automatic
  // setting; this program always runs on a true-colour display.
  constexpr bool kPalettedDisplay = false;
  if ((PaintOptions & poWebPalette) != 0 && ((PaintOptions & poWebPaletteAuto) == 0 || kPalettedDisplay)) {
    auto palette = std::make_shared<TGIFPalette>();
    for (const TRGBQuad& entry : WebCubePalette())
      palette->push_back({entry.Red, entry.Green, entry.Blue, PC_NOCOLLAPSE});
    palette_ = palette;
  } else if (header_.ColorMap().Count() > 0) {
    palette_ = header_.ColorMap().ExportPalette();
  } else if (images_.Count() > 0) {
    palette_ = images_[0]->Palette();
  }
  return palette_;
}

void TGIFImage::KeepRendered(TGIFSubImage* frame) {
  // The painter renders the next frame while the one before is on show: two are enough
  // for every frame to be decoded once a pass.
  constexpr std::size_t kKeptRenderings = 2;
  ForgetRendered(frame);
  renderedFromCode_.push_back(frame);
  while (renderedFromCode_.size() > kKeptRenderings) {
    TGIFSubImage* oldest = renderedFromCode_.front();
    renderedFromCode_.erase(renderedFromCode_.begin());
    oldest->DropRendering();
  }
}

void TGIFImage::ForgetRendered(const TGIFSubImage* frame) { std::erase(renderedFromCode_, frame); }

TBitmap MakeTransparencyMask(const TBitmap& bitmap, TColor transparentColor) {
  TBitmap mask(bitmap.Width(), bitmap.Height(), TPixelFormat::pf1bit);
  mask.SetPalette({TRGBQuad::FromColor(clBlack), TRGBQuad::FromColor(clWhite)});
  for (int y = 0; y < bitmap.Height(); ++y) {
    std::uint8_t* row = mask.ScanLine(y);
    for (int x = 0; x < bitmap.Width(); ++x)
      if ((bitmap.GetPixel(x, y) & 0xFFFFFF) == (transparentColor & 0xFFFFFF))
        row[x >> 3] = static_cast<std::uint8_t>(row[x >> 3] | (0x80 >> (x & 7)));
  }
  return mask;
}

}  // namespace clipvane
