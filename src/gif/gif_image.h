// TGIFImage: an animated GIF held in memory (logical screen, global colour table, ordered
// frames with pixel indices, local tables and extensions), and the items it is made of.
// Saving lives in gif_writer.cpp and loading in gif_reader.cpp, so a program that only
// writes GIFs never links the reader (and the reverse). Drawing a frame lives in
// gif_frame_drawing.cpp. Animations sit above the document: the painters (gif_painter) and
// the document's drawing (gif_image_painters) use it; it knows them only as a
// TGIFImagePlayback it tells of changes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/color.h"
#include "gif/gif_color_map.h"
#include "gif/gif_exception.h"
#include "gif/gif_extensions.h"
#include "gif/gif_image_data.h"
#include "gif/gif_items.h"
#include "gif/gif_stream.h"
#include "gif/gif_types.h"
#include "gif/palette_reduction.h"

namespace clipvane {

class TGIFImage;
class TUIDispatcher;
class TPainterClock;

// Whoever plays a document's animations (TGIFImagePainters, made by the document's first
// animated Draw). The document calls it only to say that what is shown has changed or that
// the document goes; every call is on the UI thread.
class TGIFImagePlayback {
 public:
  virtual ~TGIFImagePlayback() = default;
  // Draws the document into the surface's rectangle (TGIFImage::Draw).
  virtual void Draw(TBitmap& surface, const TRect& rect) = 0;
  // The frames or the screen changed: the painter on display is told to stop, without
  // waiting, and the composite picture goes.
  virtual void StopOnScreen() = 0;
  // Every painter stops and the threaded ones are waited for; the composite picture goes.
  virtual void StopAll() = 0;
  // The document goes: painters that cannot end yet forget it.
  virtual void DocumentGone() = 0;
  virtual int PainterCount() = 0;
  virtual const TBitmap* Composite() const = 0;
};

// The 7-byte logical screen descriptor, held as written.
struct TLogicalScreenDescriptor {
  std::uint16_t ScreenWidth = 0;
  std::uint16_t ScreenHeight = 0;
  std::uint8_t PackedFields = 0;  // bit 7 global table, 6-4 colour resolution, 3 sorted, 2-0 size
  std::uint8_t BackgroundColorIndex = 0;
  std::uint8_t AspectRatio = 0;
};

// Logical screen and global colour table.
class TGIFHeader : public TGIFItem {
 public:
  explicit TGIFHeader(TGIFImage* image) : TGIFItem(image), colorMap_(this) {}

  // The document's version (2 as soon as any frame needs "89a").
  int Version() const override;
  // Descriptor and global table.
  void Assign(const TGIFHeader& source);
  void Clear();

  TLogicalScreenDescriptor& Descriptor() { return descriptor_; }
  const TLogicalScreenDescriptor& Descriptor() const { return descriptor_; }
  TGIFGlobalColorMap& ColorMap() { return colorMap_; }
  const TGIFGlobalColorMap& ColorMap() const { return colorMap_; }

  // Recomputes the packed fields from the global table and every frame's local table.
  void Prepare();
  // Bits per pixel the image data of a frame without a local table is written with: the
  // largest over the global table and every local table.
  int MaxBitsPerPixel() const;

  // "GIF87a"/"GIF89a", the screen descriptor and the global table (gif_writer.cpp).
  void SaveToStream(TGIFStream& stream);
  // Signature, screen descriptor and global table (gif_reader.cpp).
  void LoadFromStream(TGIFStream& stream);

 private:
  TLogicalScreenDescriptor descriptor_;
  TGIFGlobalColorMap colorMap_;
};

// The 10-byte image descriptor of a frame.
struct TImageDescriptor {
  std::uint8_t Separator = bsImageSeparator;
  std::uint16_t Left = 0;
  std::uint16_t Top = 0;
  std::uint16_t Width = 0;
  std::uint16_t Height = 0;
  std::uint8_t PackedFields = 0;  // bit 7 local table, 6 interlaced, 5 sorted, 2-0 size
};

// One frame: position and size on the logical screen, one colour index per pixel (rows top
// to bottom, each exactly Width() bytes), a local colour table and its extensions. The
// indices are held decoded, or encoded as the stream holds them (EncodedData), or both;
// asking for them decodes an encoded frame, writing them drops the encoded form.
class TGIFSubImage : public TGIFItem {
 public:
  explicit TGIFSubImage(TGIFImage* image);
  ~TGIFSubImage() override;

  // 2 ("89a") when the local table is sorted or the frame has any extension, else 1.
  int Version() const override;

  // Copies another frame: descriptor, transparent flag, pixels, local table, extensions (as
  // new objects of this frame) and rendered bitmap. An empty source leaves this cleared.
  void Assign(const TGIFSubImage& source);
  // Frame from a bitmap: sizes the frame to the bitmap (the logical screen grows to hold
  // it), reduces a true-colour bitmap with the document's settings, imports the colour
  // table and pixels. transparencyMask, when given, is a bitmap of the same size whose
  // non-zero pixels are transparent.
  void Assign(const TBitmap& bitmap, const TBitmap* transparencyMask = nullptr);
  // The frame as an 8-bit bitmap with its active colour table. An encoded frame is decoded
  // into the bitmap only; it keeps holding just its encoded form.
  void AssignTo(TBitmap& bitmap) const;

  // Draws the frame onto surface, whose rectangle shows the whole logical screen: without
  // tile the frame's area is scaled into it and the picture stretched there; with tile the
  // frame is repeated at logical-screen steps across it. With transparent, the pixels of a
  // transparent frame's transparent index leave the surface as it was (gif_frame_drawing.cpp).
  void Draw(TBitmap& surface, const TRect& rect, bool tile, bool transparent);
  // The rendered frame (cached until the frame changes): its pixels with its palette (the 16
  // standard colours when it has none), and for a transparent frame with a transparent pixel
  // the 1-bit mask of those pixels (none otherwise). Reports "Rendering..." progress. A frame
  // held only encoded is decoded into the picture; its document keeps the pictures of only
  // the last two such frames rendered, so playing a long GIF holds two pictures, not all.
  const TBitmap& Render();
  const TBitmap* Mask() const { return mask_.get(); }

  // Destroys the extensions, empties the local table, frees the pixels, sizes to 0 x 0.
  void Clear();
  // No pixels, or a width or height of 0.
  bool Empty() const;

  int Left() const { return descriptor_.Left; }
  int Top() const { return descriptor_.Top; }
  int Width() const { return descriptor_.Width; }
  int Height() const { return descriptor_.Height; }
  // The bounds rule: a new width or height reallocates zeroed pixels and drops the caches;
  // the logical screen grows to hold the frame ("Image width/height too small for contained
  // frames" and "Image exceeds Logical Screen size" warnings when it was not empty).
  // Values outside 0..65535, or a frame reaching past 65535, raise GIFException.
  void SetLeft(int left) { SetBounds(left, Top(), Width(), Height()); }
  void SetTop(int top) { SetBounds(Left(), top, Width(), Height()); }
  void SetWidth(int width) { SetBounds(Left(), Top(), width, Height()); }
  void SetHeight(int height) { SetBounds(Left(), Top(), Width(), height); }
  void SetBounds(int left, int top, int width, int height);

  bool Interlaced() const { return (descriptor_.PackedFields & 0x40) != 0; }
  void SetInterlaced(bool interlaced);
  const TImageDescriptor& Descriptor() const { return descriptor_; }
  // Recomputes the descriptor's packed fields from the local table: with a table, 0x80,
  // the sort flag and the size (never interlaced); without, only bits 6 and 4-3 are kept.
  void Prepare();

  TGIFLocalColorMap& ColorMap() { return colorMap_; }
  const TGIFLocalColorMap& ColorMap() const { return colorMap_; }
  // The local table if it has entries, else the global one if it has, else the local one.
  const TGIFColorMap& ActiveColorMap() const;
  int BitsPerPixel() const { return colorMap_.BitsPerPixel(); }
  int ColorResolution() const { return colorMap_.ColorResolution(); }

  TGIFExtensionList& Extensions() { return extensions_; }
  const TGIFExtensionList& Extensions() const { return extensions_; }
  // A graphic control extension of this frame has its transparent flag set.
  bool Transparent() const { return transparent_; }
  // The first graphic control extension made on this frame (delay, disposal, transparency).
  TGIFGraphicControlExtension* GraphicControlExtension() const { return controlExtension_; }

  // Pixel access: "Invalid pixel coordinates" outside the frame; a missing buffer is made.
  // Writable access (SetPixel, ScanLine, Data) drops the encoded form.
  std::uint8_t Pixel(int x, int y);
  void SetPixel(int x, int y, std::uint8_t index);
  std::uint8_t* ScanLine(int y);
  // Width() * Height() indices (an encoded frame decodes them, and holds them from then on),
  // or none.
  const std::uint8_t* Data() const;
  std::uint8_t* Data();
  std::size_t DataSize() const;

  // How the image data is written now (code size, interlacing, encoder) and the colour
  // limit the indices are checked against: what a save uses.
  TGIFImageDataFormat DataFormat() const;
  int ColorLimit() const;
  // The image data as the stream holds it, when the frame holds that form.
  const TGIFEncodedImageRef& EncodedData() const { return encoded_; }
  // The indices are held decoded.
  bool PixelsHeld() const { return !pixels_.empty(); }
  // Encodes the indices in DataFormat() and from then on holds only that form (a save writes
  // it unchanged). False, changing nothing, for an empty frame or indices the code size
  // cannot hold.
  bool Encode();
  // Takes image data encoded elsewhere from this frame's indices as they are now (see
  // TGIFFrameEncoder) and lets go of the decoded indices and the rendered picture. Data of
  // another size is ignored.
  void SetEncodedData(TGIFEncodedImageRef data);

  // Caches: the rendered bitmap (also the reduced picture a frame was built from) and the
  // frame's palette (local table, else the document's).
  const TBitmap* Bitmap() const { return bitmap_.get(); }
  // Drops the rendered bitmap and the mask (they are made again when needed).
  void DropRendering();
  TGIFPaletteRef Palette();
  bool MaskNeeded() const { return needMask_; }

  // Extensions, then the descriptor, local table and image data unless empty (gif_writer.cpp).
  void SaveToStream(TGIFStream& stream);
  // Extensions, descriptor, local table and image data (gif_reader.cpp).
  void LoadFromStream(TGIFStream& stream);

 private:
  friend class TGIFImage;
  friend class TGIFGraphicControlExtension;
  friend class TGIFLocalColorMap;

  void FreeCaches();
  // The indices decoded into pixels_ when only the encoded form is held.
  void DecodePixels() const;
  // The indices as they are now, decoded into `scratch` when only the encoded form is held;
  // none when the frame has no indices.
  const std::uint8_t* PixelsForReading(std::vector<std::uint8_t>& scratch) const;
  // The indices are about to be written: decoded first, the encoded form dropped.
  void PixelsWillChange();
  // The logical screen grows to hold the frame, with the warnings of the bounds rule.
  void GrowScreen();
  void Reown(TGIFImage* image) { image_ = image; }
  void ImportBitmapPixels(const TBitmap& bitmap, int paletteCount);
  void ApplyTransparencyMask(const TBitmap& mask);
  void Progress(TProgressStage stage, int percent);
  // Image data of the frame (gif_reader.cpp).
  void DecodeImageData(TGIFStream& stream);

  TImageDescriptor descriptor_;
  std::unique_ptr<TBitmap> bitmap_;
  // A cache of the encoded form's indices when encoded_ is set (decoded on demand).
  mutable std::vector<std::uint8_t> pixels_;
  TGIFEncodedImageRef encoded_;
  TGIFLocalColorMap colorMap_;
  std::unique_ptr<TBitmap> mask_;
  bool needMask_ = true;
  TGIFPaletteRef palette_;
  TGIFExtensionList extensions_;
  bool transparent_ = false;
  TGIFGraphicControlExtension* controlExtension_ = nullptr;
};

// The trailer byte 0x3B.
class TGIFTrailer : public TGIFItem {
 public:
  using TGIFItem::TGIFItem;
  void SaveToStream(TGIFStream& stream);  // gif_writer.cpp
  // A byte other than 0x3B gives the warning "Invalid Image trailer" (gif_reader.cpp).
  void LoadFromStream(TGIFStream& stream);
};

// The frames of a document, owned, in order.
class TGIFImageList : public TGIFList {
 public:
  explicit TGIFImageList(TGIFImage* image) : TGIFList(image) {}
  ~TGIFImageList() override { Clear(); }

  int Count() const { return static_cast<int>(items_.size()); }
  TGIFSubImage* operator[](int index) const { return items_.at(static_cast<std::size_t>(index)).get(); }
  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

  int Add(std::unique_ptr<TGIFSubImage> frame);
  int IndexOf(const TGIFSubImage* frame) const;
  void Delete(int index);
  std::unique_ptr<TGIFSubImage> Extract(int index);
  // Destroys every frame, first to last.
  void Clear();

 private:
  std::vector<std::unique_ptr<TGIFSubImage>> items_;
};

// The document.
class TGIFImage : public TGIFPersistent {
 public:
  TGIFImage();
  ~TGIFImage() override;

  TGIFImageList& Images() { return images_; }
  const TGIFImageList& Images() const { return images_; }
  TGIFHeader& Header() { return header_; }
  const TGIFHeader& Header() const { return header_; }
  TGIFColorMap& GlobalColorMap() { return header_.ColorMap(); }

  // The logical screen. Setting a size below some frame's right (bottom) edge raises
  // "Image width (height) too small for contained frames" and changes nothing.
  int Width() const { return header_.Descriptor().ScreenWidth; }
  int Height() const { return header_.Descriptor().ScreenHeight; }
  void SetWidth(int width);
  void SetHeight(int height);
  // No frames.
  bool Empty() const { return images_.Count() == 0; }
  // The highest version over the frames (stopping at the first "89a" one); 0 without frames.
  int Version() const;

  // Appends a frame made from a bitmap (see TGIFSubImage::Assign); on an error the frame
  // list is unchanged. Returns the new frame's index.
  int AddFrame(const TBitmap& bitmap, const TBitmap* transparencyMask = nullptr);
  // Appends a built frame; the document takes it over. None raises "Object type not
  // supported for operation".
  int AddFrame(std::unique_ptr<TGIFSubImage> frame);
  // Appends a copy of another object: a frame is copied; anything else raises "Object type
  // not supported for operation".
  int AddFrame(const TGIFPersistent& source);

  // Copies another document: header, frames, and the paint and reduction settings.
  void Assign(const TGIFImage& source);
  // Replaces the document by one frame made from the bitmap.
  void Assign(const TBitmap& bitmap);
  // Stops painters, destroys the frames, empties the global table, screen 0 x 0.
  void Clear();

  // The document's palette (cached): the composite bitmap's, the web cube when frames are
  // rendered through it, the global table's, else frame 0's. "No global or local color
  // table defined" when asked for while it is being computed.
  TGIFPaletteRef Palette();

  // Settings; the defaults are the library's.
  std::uint16_t PaintOptions = poThreaded | poTransparent | poAnimate | poRepeat | poWebPalette | poWebPaletteAuto;
  TColorReduction ReductionMethod = reduceWebCube;
  int QuantizeBits = 8;
  TDitherMode DitherKind = ditherNone;
  TGIFEncoding Encoding = encLZW;
  TThreadPriority PainterPriority = tpNormal;
  int PlaybackSpeed = 100;  // percent
  TColor BackdropColor = clNoBackdrop;

  // Hooks (plain callables; none by default).
  TGIFWarningEvent OnWarning;
  TGIFProgressEvent OnProgress;
  TGIFNotifyEvent OnChange;
  TGIFPainterEvent OnStartPaint;
  TGIFPainterEvent OnPaint;
  TGIFPainterEvent OnAfterPaint;
  TGIFPainterEvent OnLoop;
  TGIFPainterEvent OnEndPaint;

  // Sends a warning (severity 1) to the hook; without a hook it is dropped.
  void Warning(TGIFPersistent* sender, int severity, const std::string& message);
  void Progress(TGIFPersistent* sender, TProgressStage stage, int percent, const std::string& message);
  // Change notification to whoever displays the document.
  void Changed();

  // The composite picture of the animation (built by playback); none until then.
  const TBitmap* CompositeBitmap() const { return playback_ ? playback_->Composite() : nullptr; }

  // Draws the document into the surface's rectangle (UI thread; gif_image_painters.cpp). One frame,
  // or poAnimate clear: frame 0 as a still. Otherwise a painter plays the animation into the
  // composite bitmap (or, with poPaintDirect, straight onto the surface), and later draws copy
  // the composite. A nested call is ignored. A non-threaded playback runs inside this call
  // and its error is raised here.
  void Draw(TBitmap& surface, const TRect& rect);
  // The composite picture of frame 0: a 24-bit bitmap of the logical screen in the painters'
  // background colour with frame 0 drawn over it; empty for an empty document.
  void AssignTo(TBitmap& bitmap);
  // Tells the painter on display to stop, without waiting, and drops the composite bitmap.
  void StopDraw();
  // Stops every painter and waits until the threaded ones have ended (running the work they
  // hand over meanwhile), then drops the composite bitmap.
  void StopPainters();
  // Painters in the list (running animations).
  int PainterCount();
  // What plays the animations; none before the first animated Draw. The document owns it.
  TGIFImagePlayback* Playback() const { return playback_.get(); }
  void SetPlayback(std::unique_ptr<TGIFImagePlayback> playback);

  // Where painter threads hand their work over; none: animations play inside Draw. Not
  // owned, not copied; it must outlive the document.
  TUIDispatcher* Dispatcher = nullptr;
  // The clock animations are timed with; none: the steady clock. Not owned, not copied.
  TPainterClock* Clock = nullptr;

  // The GIF stream: header, frames, trailer (gif_writer.cpp). "Unsupported GIF version"
  // before any byte is written when there are no frames.
  void SaveToStream(TGIFStream& stream);
  // Written to a temporary file that replaces the target only when complete. With
  // `cancelled`, the save asks it before every write and, when it says so, ends with
  // EClipvaneError "Cancelled", the target as it was.
  void SaveToFile(const std::string& path, const std::function<bool()>& cancelled = {});
  // Replaces the document by the GIF stream at the stream's position (gif_reader.cpp).
  void LoadFromStream(TGIFStream& stream);
  void LoadFromFile(const std::string& path);

 private:
  friend class TGIFSubImage;
  friend class TGIFGlobalColorMap;
  friend class TGIFLocalColorMap;
  friend class TGIFHeader;

  // The global table changed: the palette cache goes.
  void PaletteChanged() { palette_.reset(); }
  // A frame held only encoded has been rendered: the rendering of the frame rendered before
  // the last two such frames goes (Render). ForgetRendered: the frame goes or changes.
  void KeepRendered(TGIFSubImage* frame);
  void ForgetRendered(const TGIFSubImage* frame);

  bool paletteLookup_ = false;
  TGIFImageList images_;
  TGIFHeader header_;
  TGIFPaletteRef palette_;
  std::unique_ptr<TGIFImagePlayback> playback_;
  // Pixels a load in progress may still allocate.
  std::uint64_t loadBudget_ = 0;
  // Frames held only encoded whose rendering is kept, the latest last (UI thread).
  std::vector<TGIFSubImage*> renderedFromCode_;
};

// The colour a painter restores with, and the still picture's background: the document's
// BackdropColor when set, else the global table's colour at the background index, else the
// window colour (white).
TColor GIFBackgroundColor(TGIFImage& image);

// A 1-bit mask of the bitmap's size with the pixels of the given colour set (for AddFrame).
TBitmap MakeTransparencyMask(const TBitmap& bitmap, TColor transparentColor);

}  // namespace clipvane
