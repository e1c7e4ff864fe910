// GIF89a extension blocks of a frame (graphic control, plain text, comment, application
// data with the NETSCAPE2.0 looping block), the frame's extension list, and the two
// registries that say which class reads a block. Extensions read and write their own
// blocks, so both the writer and the frame copy (which round-trips them) can use them.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "gif/gif_items.h"
#include "gif/gif_stream.h"

namespace clipvane {

class TGIFSubImage;

inline constexpr std::uint8_t bsExtensionIntroducer = 0x21;
inline constexpr std::uint8_t bsImageSeparator = 0x2C;
inline constexpr std::uint8_t bsTrailer = 0x3B;

inline constexpr std::uint8_t bsPlainTextExtension = 0x01;
inline constexpr std::uint8_t bsGraphicControlExtension = 0xF9;
inline constexpr std::uint8_t bsCommentExtension = 0xFE;
inline constexpr std::uint8_t bsApplicationExtension = 0xFF;

using TGIFApplicationIdentifier = std::array<std::uint8_t, 11>;  // 8 identifier + 3 authentication bytes

class TGIFExtension : public TGIFItem {
 public:
  // Made on a frame; it is not in the frame's list until the creator appends it.
  explicit TGIFExtension(TGIFSubImage* frame) : TGIFItem(nullptr), frame_(frame) {}

  TGIFSubImage* SubImage() const { return frame_; }
  TGIFImage* Image() const override;
  int Version() const override { return 2; }
  void Warning(int severity, const std::string& message) override;

  // The label byte that follows the 0x21 introducer.
  virtual std::uint8_t ExtensionType() const = 0;
  // Writes the whole block: introducer, label, data, terminator.
  virtual void SaveToStream(TGIFStream& stream) const = 0;
  // Reads the whole block, starting at its introducer.
  virtual void LoadFromStream(TGIFStream& stream) = 0;

 protected:
  // Reads 0x21 and the label: "Invalid extension introducer" or "Internal error: Extension
  // Instance does not match Extension Label" (GIFException) when they are not this block's.
  void ReadIntroducer(TGIFStream& stream);
  void WriteIntroducer(TGIFStream& stream) const;

  friend class TGIFExtensionList;
  // Moves the extension to another frame (when it is appended to that frame's list).
  virtual void Reattach(TGIFSubImage* frame) { frame_ = frame; }

 private:
  TGIFSubImage* frame_;
};

// Disposal methods of GIF89a.
enum TDisposalMethod : std::uint8_t {
  dmNone = 0,        // none specified
  dmNoDisposal = 1,  // leave in place
  dmBackground = 2,  // restore to background colour
  dmPrevious = 3,    // restore to previous
};

class TGIFGraphicControlExtension : public TGIFExtension {
 public:
  // The first one made on a frame becomes the frame's control extension.
  explicit TGIFGraphicControlExtension(TGIFSubImage* frame);
  // Clears the frame's transparent flag when this block set it, and the frame's reference.
  ~TGIFGraphicControlExtension() override;

  std::uint8_t ExtensionType() const override { return bsGraphicControlExtension; }
  void SaveToStream(TGIFStream& stream) const override;
  void LoadFromStream(TGIFStream& stream) override;

  TDisposalMethod Disposal() const { return static_cast<TDisposalMethod>((packedFields_ >> 2) & 7); }
  // Keeps the other bits.
  void SetDisposal(int disposal);
  bool UserInput() const { return (packedFields_ & 0x02) != 0; }
  bool Transparent() const { return (packedFields_ & 0x01) != 0; }
  // Also sets (or clears) the frame's transparent flag.
  void SetTransparent(bool transparent);
  int TransparentColorIndex() const { return transparentColorIndex_; }
  // An index not below the frame's active table count (when that is above 0) sends the
  // warning "Invalid color index" and stores 0.
  void SetTransparentColorIndex(int index);
  // Delay in hundredths of a second.
  std::uint16_t Delay() const { return delay_; }
  void SetDelay(std::uint16_t delay) { delay_ = delay; }
  std::uint8_t PackedFields() const { return packedFields_; }

 private:
  void Reattach(TGIFSubImage* frame) override;

  std::uint8_t blockSize_ = 4;
  std::uint8_t packedFields_ = 0;
  std::uint16_t delay_ = 0;
  std::uint8_t transparentColorIndex_ = 0;
  std::uint8_t terminator_ = 0;
};

class TGIFTextExtension : public TGIFExtension {
 public:
  using TGIFExtension::TGIFExtension;

  std::uint8_t ExtensionType() const override { return bsPlainTextExtension; }
  void SaveToStream(TGIFStream& stream) const override;
  void LoadFromStream(TGIFStream& stream) override;

  std::uint16_t Left = 0;  // text grid, in pixels of the logical screen
  std::uint16_t Top = 0;
  std::uint16_t GridWidth = 0;
  std::uint16_t GridHeight = 0;
  std::uint8_t CellWidth = 0;
  std::uint8_t CellHeight = 0;
  std::uint8_t TextFGColorIndex = 0;
  std::uint8_t TextBGColorIndex = 0;
  std::vector<std::string> Text;  // each line written as sub-blocks of at most 255 bytes
};

class TGIFCommentExtension : public TGIFExtension {
 public:
  using TGIFExtension::TGIFExtension;

  std::uint8_t ExtensionType() const override { return bsCommentExtension; }
  void SaveToStream(TGIFStream& stream) const override;
  void LoadFromStream(TGIFStream& stream) override;

  std::vector<std::string> Text;
};

class TGIFApplicationExtension : public TGIFExtension {
 public:
  using TGIFExtension::TGIFExtension;

  std::uint8_t ExtensionType() const override { return bsApplicationExtension; }
  void SaveToStream(TGIFStream& stream) const override;
  // Block size 10 reads the identifier as zeros, below 10 raises "Unsupported Application
  // Extension block size", above 11 skips the extra bytes; then the application data.
  void LoadFromStream(TGIFStream& stream) override;

  TGIFApplicationIdentifier Identifier{};

 protected:
  // The data sub-blocks after the identifier, without the terminator.
  virtual void WriteApplicationData(TGIFStream& stream) const = 0;
  // Reads the data sub-blocks up to and including the terminator.
  virtual void ReadApplicationData(TGIFStream& stream) = 0;
};

// The looping block ("NETSCAPE2.0", also read for "ANIMEXTS1.0").
class TGIFAppExtNSLoop : public TGIFApplicationExtension {
 public:
  explicit TGIFAppExtNSLoop(TGIFSubImage* frame);

  std::uint16_t LoopCount = 0;   // 0 = repeat forever
  std::uint32_t BufferSize = 0;  // 0 = not written

 protected:
  void WriteApplicationData(TGIFStream& stream) const override;
  void ReadApplicationData(TGIFStream& stream) override;
};

// A data sub-block kept as read.
struct TGIFBlock {
  std::vector<std::uint8_t> Data;  // 1..255 bytes
};

// An application block whose identifier is not registered: its data written back unchanged.
class TGIFUnknownAppExtension : public TGIFApplicationExtension {
 public:
  using TGIFApplicationExtension::TGIFApplicationExtension;

  std::vector<TGIFBlock> Blocks;

 protected:
  void WriteApplicationData(TGIFStream& stream) const override;
  void ReadApplicationData(TGIFStream& stream) override;
};

// Makes the object that will read the extension block at the stream's position; the
// position is left where it was.
using TGIFExtensionClass = std::unique_ptr<TGIFExtension> (*)(TGIFSubImage* frame, TGIFStream& stream);

// Label -> class: 0x01 text, 0xF9 graphic control, 0xFE comment, 0xFF application. Built
// once on first use and never changed.
class TExtensionList {
 public:
  static const TExtensionList& Instance();
  // Searches from the last registration backwards; none for an unknown label.
  TGIFExtensionClass Find(std::uint8_t label) const;

 private:
  TExtensionList();
  struct TEntry {
    std::uint8_t Label;
    TGIFExtensionClass Create;
  };
  std::vector<TEntry> entries_;
};

// Application identifier -> class: "NETSCAPE2.0" and "ANIMEXTS1.0" -> TGIFAppExtNSLoop;
// anything else -> TGIFUnknownAppExtension.
class TAppExtensionList {
 public:
  using TFactory = std::unique_ptr<TGIFApplicationExtension> (*)(TGIFSubImage* frame);
  static const TAppExtensionList& Instance();
  // Compares all 11 bytes, last registration first.
  TFactory Find(const TGIFApplicationIdentifier& identifier) const;

 private:
  TAppExtensionList();
  struct TEntry {
    TGIFApplicationIdentifier Identifier;
    TFactory Create;
  };
  std::vector<TEntry> entries_;
};

// The extensions of one frame, owned, in write order.
class TGIFExtensionList : public TGIFList {
 public:
  explicit TGIFExtensionList(TGIFSubImage* frame) : TGIFList(nullptr), frame_(frame) {}
  ~TGIFExtensionList() override { Clear(); }

  void Warning(int severity, const std::string& message) override;

  int Count() const { return static_cast<int>(items_.size()); }
  TGIFExtension* operator[](int index) const { return items_.at(static_cast<std::size_t>(index)).get(); }
  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

  // Appends an extension (moving it to this list's frame if it was made on another);
  // returns it.
  template <class T>
  T* Add(std::unique_ptr<T> extension) {
    T* raw = extension.get();
    AddItem(std::move(extension));
    return raw;
  }
  int IndexOf(const TGIFExtension* extension) const;
  // Removes and destroys the extension at index.
  void Delete(int index);
  // Removes without destroying.
  std::unique_ptr<TGIFExtension> Extract(int index);
  // Destroys every extension, first to last.
  void Clear();

  void SaveToStream(TGIFStream& stream) const;
  // Reads extension blocks while the next byte is 0x21 ("Unknown extension type" for a
  // label nobody registered); the first other byte is left unread.
  void LoadFromStream(TGIFStream& stream);

 private:
  void AddItem(std::unique_ptr<TGIFExtension> extension);

  TGIFSubImage* frame_;
  std::vector<std::unique_ptr<TGIFExtension>> items_;
};

}  // namespace clipvane
