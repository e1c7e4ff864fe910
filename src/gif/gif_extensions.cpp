// Extension blocks: their bytes in and out, the frame's extension list, and the label and
// application-identifier registries.
#include "gif/gif_extensions.h"

#include <algorithm>
#include <cstring>

#include "gif/gif_image.h"

namespace clipvane {

namespace {

constexpr TGIFApplicationIdentifier MakeIdentifier(const char (&text)[12]) {
  TGIFApplicationIdentifier id{};
  for (std::size_t i = 0; i < id.size(); ++i) id[i] = static_cast<std::uint8_t>(text[i]);
  return id;
}

constexpr TGIFApplicationIdentifier kNetscapeLoop = MakeIdentifier("NETSCAPE2.0");
constexpr TGIFApplicationIdentifier kAnimExtsLoop = MakeIdentifier("ANIMEXTS1.0");

// Skips count bytes; false when the stream ended first.
bool Skip(TGIFStream& stream, std::size_t count) {
  std::uint8_t buffer[256];
  while (count > 0) {
    const std::size_t want = std::min(count, sizeof buffer);
    const std::size_t got = stream.Read(buffer, want);
    if (got < want) return false;
    count -= got;
  }
  return true;
}

void WriteTextLines(TGIFStream& stream, const std::vector<std::string>& lines) {
  for (const std::string& line : lines)
    WriteSubBlocks(stream, reinterpret_cast<const std::uint8_t*>(line.data()), line.size());
}

// Each data sub-block becomes one line.
void ReadTextLines(TGIFStream& stream, std::vector<std::string>& lines, TGIFExtension& extension) {
  lines.clear();
  ReadSubBlocks(
      stream,
      [&](const std::uint8_t* data, std::size_t size) {
        lines.emplace_back(reinterpret_cast<const char*>(data), size);
      },
      [&] { extension.Warning(1, sGIFPrematureEnd); });
}

// Skips data sub-blocks up to and including the terminator.
void SkipSubBlocks(TGIFStream& stream, TGIFExtension& extension) {
  ReadSubBlocks(
      stream, [](const std::uint8_t*, std::size_t) {}, [&] { extension.Warning(1, sGIFPrematureEnd); });
}

std::uint16_t Word(const std::uint8_t* bytes) { return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8)); }

}  // namespace

// Extension base.

TGIFImage* TGIFExtension::Image() const { return frame_ != nullptr ? frame_->Image() : nullptr; }

void TGIFExtension::Warning(int severity, const std::string& message) {
  if (TGIFImage* image = Image()) image->Warning(this, severity, message);
}

void TGIFExtension::ReadIntroducer(TGIFStream& stream) {
  std::uint8_t bytes[2];
  const std::size_t got = stream.Read(bytes, 2);
  if (got < 1 || bytes[0] != bsExtensionIntroducer) throw GIFException(sGIFInvalidIntroducer);
  if (got < 2 || bytes[1] != ExtensionType()) throw GIFException(sGIFExtensionMismatch);
}

void TGIFExtension::WriteIntroducer(TGIFStream& stream) const {
  const std::uint8_t bytes[2] = {bsExtensionIntroducer, ExtensionType()};
  stream.Write(bytes, 2);
}

// Graphic control.

TGIFGraphicControlExtension::TGIFGraphicControlExtension(TGIFSubImage* frame) : TGIFExtension(frame) {
  if (frame != nullptr && frame->controlExtension_ == nullptr) frame->controlExtension_ = this;
}

TGIFGraphicControlExtension::~TGIFGraphicControlExtension() { Reattach(nullptr); }

void TGIFGraphicControlExtension::Reattach(TGIFSubImage* frame) {
  if (TGIFSubImage* old = SubImage()) {
    if (Transparent()) old->transparent_ = false;
    if (old->controlExtension_ == this) old->controlExtension_ = nullptr;
  }
  TGIFExtension::Reattach(frame);
  if (frame != nullptr) {
    if (frame->controlExtension_ == nullptr) frame->controlExtension_ = this;
    if (Transparent()) frame->transparent_ = true;
  }
}

void TGIFGraphicControlExtension::SetDisposal(int disposal) {
  packedFields_ = static_cast<std::uint8_t>((packedFields_ & ~0x1C) | ((disposal & 7) << 2));
}

void TGIFGraphicControlExtension::SetTransparent(bool transparent) {
  packedFields_ = static_cast<std::uint8_t>(transparent ? (packedFields_ | 0x01) : (packedFields_ & ~0x01));
  if (SubImage() != nullptr) SubImage()->transparent_ = transparent;
}

void TGIFGraphicControlExtension::SetTransparentColorIndex(int index) {
  const int count = SubImage() != nullptr ? SubImage()->ActiveColorMap().Count() : 0;
  if (count > 0 && (index < 0 || index >= count)) {
    Warning(1, sGIFInvalidColorIndex);
    index = 0;
  }
  transparentColorIndex_ = static_cast<std::uint8_t>(index);
}

void TGIFGraphicControlExtension::SaveToStream(TGIFStream& stream) const {
  const std::uint8_t bytes[8] = {bsExtensionIntroducer,
                                 bsGraphicControlExtension,
                                 4,
                                 packedFields_,
                                 static_cast<std::uint8_t>(delay_),
                                 static_cast<std::uint8_t>(delay_ >> 8),
                                 transparentColorIndex_,
                                 0};
  stream.Write(bytes, sizeof bytes);
}

void TGIFGraphicControlExtension::LoadFromStream(TGIFStream& stream) {
  ReadIntroducer(stream);
  const int size = stream.ReadByte();
  std::uint8_t fields[4] = {0, 0, 0, 0};
  bool complete = size >= 4;
  if (size > 0) {
    const auto want = static_cast<std::size_t>(std::min(size, 4));
    complete = stream.Read(fields, want) == want && complete;
    if (complete && size > 4) complete = Skip(stream, static_cast<std::size_t>(size - 4));
  }
  if (!complete) Warning(1, sGIFPrematureEnd);
  blockSize_ = 4;
  delay_ = Word(fields + 1);
  transparentColorIndex_ = fields[3];
  // The stored flag and the frame's follow the block as read, without range checks: the
  // frame's colour table comes after this block in the stream.
  packedFields_ = static_cast<std::uint8_t>(fields[0] & ~0x01);
  SetTransparent((fields[0] & 0x01) != 0);
  // The terminator, and any data sub-blocks a writer put before it.
  if (size >= 0 && complete) SkipSubBlocks(stream, *this);
  terminator_ = 0;
}

// Plain text.

void TGIFTextExtension::SaveToStream(TGIFStream& stream) const {
  WriteIntroducer(stream);
  const std::uint8_t block[13] = {12,
                                  static_cast<std::uint8_t>(Left),
                                  static_cast<std::uint8_t>(Left >> 8),
                                  static_cast<std::uint8_t>(Top),
                                  static_cast<std::uint8_t>(Top >> 8),
                                  static_cast<std::uint8_t>(GridWidth),
                                  static_cast<std::uint8_t>(GridWidth >> 8),
                                  static_cast<std::uint8_t>(GridHeight),
                                  static_cast<std::uint8_t>(GridHeight >> 8),
                                  CellWidth,
                                  CellHeight,
                                  TextFGColorIndex,
                                  TextBGColorIndex};
  stream.Write(block, sizeof block);
  WriteTextLines(stream, Text);
  stream.WriteByte(0);
}

void TGIFTextExtension::LoadFromStream(TGIFStream& stream) {
  ReadIntroducer(stream);
  const int size = stream.ReadByte();
  std::uint8_t fields[12] = {};
  bool complete = size >= 0;
  if (size > 0) {
    const auto want = static_cast<std::size_t>(std::min(size, 12));
    complete = stream.Read(fields, want) == want;
    if (complete && size > 12) complete = Skip(stream, static_cast<std::size_t>(size - 12));
  }
  Left = Word(fields);
  Top = Word(fields + 2);
  GridWidth = Word(fields + 4);
  GridHeight = Word(fields + 6);
  CellWidth = fields[8];
  CellHeight = fields[9];
  TextFGColorIndex = fields[10];
  TextBGColorIndex = fields[11];
  Text.clear();
  if (!complete) {
    Warning(1, sGIFPrematureEnd);
    return;
  }
  ReadTextLines(stream, Text, *this);
}

// Comment.

void TGIFCommentExtension::SaveToStream(TGIFStream& stream) const {
  WriteIntroducer(stream);
  WriteTextLines(stream, Text);
  stream.WriteByte(0);
}

void TGIFCommentExtension::LoadFromStream(TGIFStream& stream) {
  ReadIntroducer(stream);
  ReadTextLines(stream, Text, *this);
}

// Application data.

void TGIFApplicationExtension::SaveToStream(TGIFStream& stream) const {
  WriteIntroducer(stream);
  stream.WriteByte(11);
  stream.Write(Identifier.data(), Identifier.size());
  WriteApplicationData(stream);
  stream.WriteByte(0);
}

namespace {

// Reads the block size and identifier of an application block (after its label).
TGIFApplicationIdentifier ReadIdentifier(TGIFStream& stream) {
  const int size = stream.ReadByte();
  if (size < 0) throw GIFException(sGIFPrematureEnd);
  TGIFApplicationIdentifier id{};
  if (size == 10) {
    // An identifier one byte short: its bytes are skipped and it reads as zeros.
    if (!Skip(stream, 10)) throw GIFException(sGIFPrematureEnd);
    return id;
  }
  if (size < 11) throw GIFException(sGIFUnsupportedAppBlockSize);
  if (stream.Read(id.data(), id.size()) != id.size() || !Skip(stream, static_cast<std::size_t>(size - 11)))
    throw GIFException(sGIFPrematureEnd);
  return id;
}

}  // namespace

void TGIFApplicationExtension::LoadFromStream(TGIFStream& stream) {
  ReadIntroducer(stream);
  Identifier = ReadIdentifier(stream);
  ReadApplicationData(stream);
}

TGIFAppExtNSLoop::TGIFAppExtNSLoop(TGIFSubImage* frame) : TGIFApplicationExtension(frame) {
  Identifier = kNetscapeLoop;
}

void TGIFAppExtNSLoop::WriteApplicationData(TGIFStream& stream) const {
  const std::uint8_t loop[4] = {3, 1, static_cast<std::uint8_t>(LoopCount), static_cast<std::uint8_t>(LoopCount >> 8)};
  stream.Write(loop, sizeof loop);
  if (BufferSize != 0) {
    const std::uint8_t buffer[2] = {5, 2};
    stream.Write(buffer, sizeof buffer);
    stream.WriteDWord(BufferSize);
  }
}

void TGIFAppExtNSLoop::ReadApplicationData(TGIFStream& stream) {
  bool invalid = false;
  ReadSubBlocks(
      stream,
      [&](const std::uint8_t* data, std::size_t size) {
        if (invalid) return;
        if (data[0] == 1) {
          if (size < 3) invalid = true;
          else LoopCount = Word(data + 1);
        } else if (data[0] == 2) {
          if (size < 5) invalid = true;
          else
            BufferSize = static_cast<std::uint32_t>(data[1] | (data[2] << 8) | (data[3] << 16)) |
                         (static_cast<std::uint32_t>(data[4]) << 24);
        }
      },
      [&] { Warning(1, sGIFPrematureEnd); });
  if (invalid) throw GIFException(sGIFInvalidData);
}

void TGIFUnknownAppExtension::WriteApplicationData(TGIFStream& stream) const {
  for (const TGIFBlock& block : Blocks) {
    // Blocks are 1..255 bytes as read; anything else set by hand is cut into sub-blocks.
    WriteSubBlocks(stream, block.Data.data(), block.Data.size());
  }
}

void TGIFUnknownAppExtension::ReadApplicationData(TGIFStream& stream) {
  Blocks.clear();
  ReadSubBlocks(
      stream,
      [&](const std::uint8_t* data, std::size_t size) {
        Blocks.push_back({{data, data + size}});
      },
      [&] { Warning(1, sGIFPrematureEnd); });
}

// Registries.

namespace {

template <class T>
std::unique_ptr<TGIFExtension> CreateFixed(TGIFSubImage* frame, TGIFStream&) {
  return std::make_unique<T>(frame);
}

// The class of an application block depends on its identifier: peek at it and go back.
std::unique_ptr<TGIFExtension> CreateApplication(TGIFSubImage* frame, TGIFStream& stream) {
  const std::uint64_t start = stream.Position();
  std::uint8_t introducer[2];
  TGIFApplicationIdentifier id{};
  try {
    if (stream.Read(introducer, 2) == 2) id = ReadIdentifier(stream);
  } catch (const GIFException&) {
    // The object's own read reports the problem.
  }
  stream.Seek(static_cast<std::int64_t>(start), soBeginning);
  return TAppExtensionList::Instance().Find(id)(frame);
}

template <class T>
std::unique_ptr<TGIFApplicationExtension> CreateApp(TGIFSubImage* frame) {
  return std::make_unique<T>(frame);
}

}  // namespace

TExtensionList::TExtensionList() {
  entries_ = {{bsPlainTextExtension, &CreateFixed<TGIFTextExtension>},
              {bsGraphicControlExtension, &CreateFixed<TGIFGraphicControlExtension>},
              {bsCommentExtension, &CreateFixed<TGIFCommentExtension>},
              {bsApplicationExtension, &CreateApplication}};
}

const TExtensionList& TExtensionList::Instance() {
  static const TExtensionList instance;
  return instance;
}

TGIFExtensionClass TExtensionList::Find(std::uint8_t label) const {
  for (auto it = entries_.rbegin(); it != entries_.rend(); ++it)
    if (it->Label == label) return it->Create;
  return nullptr;
}

TAppExtensionList::TAppExtensionList() {
  entries_ = {{kNetscapeLoop, &CreateApp<TGIFAppExtNSLoop>}, {kAnimExtsLoop, &CreateApp<TGIFAppExtNSLoop>}};
}

const TAppExtensionList& TAppExtensionList::Instance() {
  static const TAppExtensionList instance;
  return instance;
}

TAppExtensionList::TFactory TAppExtensionList::Find(const TGIFApplicationIdentifier& identifier) const {
  for (auto it = entries_.rbegin(); it != entries_.rend(); ++it)
    if (it->Identifier == identifier) return it->Create;
  return &CreateApp<TGIFUnknownAppExtension>;
}

// Extension list.

void TGIFExtensionList::Warning(int severity, const std::string& message) {
  if (frame_ != nullptr) frame_->Warning(severity, message);
}

void TGIFExtensionList::AddItem(std::unique_ptr<TGIFExtension> extension) {
  if (!extension) throw GIFException(sGIFObjectNotSupported);
  if (extension->SubImage() != frame_) extension->Reattach(frame_);
  items_.push_back(std::move(extension));
}

int TGIFExtensionList::IndexOf(const TGIFExtension* extension) const {
  for (std::size_t i = 0; i < items_.size(); ++i)
    if (items_[i].get() == extension) return static_cast<int>(i);
  return -1;
}

void TGIFExtensionList::Delete(int index) { Extract(index).reset(); }

std::unique_ptr<TGIFExtension> TGIFExtensionList::Extract(int index) {
  std::unique_ptr<TGIFExtension> extension = std::move(items_.at(static_cast<std::size_t>(index)));
  items_.erase(items_.begin() + index);
  return extension;
}

void TGIFExtensionList::Clear() {
  std::vector<std::unique_ptr<TGIFExtension>> items = std::move(items_);
  items_.clear();
  for (auto& item : items) item.reset();
}

void TGIFExtensionList::SaveToStream(TGIFStream& stream) const {
  for (const auto& extension : items_) extension->SaveToStream(stream);
}

void TGIFExtensionList::LoadFromStream(TGIFStream& stream) {
  for (;;) {
    const std::uint64_t start = stream.Position();
    std::uint8_t bytes[2];
    const std::size_t got = stream.Read(bytes, 2);
    stream.Seek(static_cast<std::int64_t>(start), soBeginning);
    if (got < 1 || bytes[0] != bsExtensionIntroducer) return;
    if (got < 2) throw GIFException(sGIFPrematureEnd);
    const TGIFExtensionClass create = TExtensionList::Instance().Find(bytes[1]);
    if (create == nullptr) throw GIFException(sGIFUnknownExtension);
    std::unique_ptr<TGIFExtension> extension = create(frame_, stream);
    extension->LoadFromStream(stream);
    items_.push_back(std::move(extension));
  }
}

}  // namespace clipvane
