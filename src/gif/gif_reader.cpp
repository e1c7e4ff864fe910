// Loading GIF streams: signature and logical screen, frames with their extensions, local
// tables and LZW image data, the trailer. Damaged streams give warnings where the data can
// be used and GIFException where it cannot; a failed load leaves the document as it was.
#include "gif/gif_reader.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "core/bitmap.h"
#include "gif/gif_image.h"

namespace clipvane {

namespace {

constexpr int kMaxCodes = 4096;

// Reads exactly count bytes, or raises "Premature end of data".
void ReadExact(TGIFStream& stream, void* buffer, std::size_t count) {
  if (stream.Read(buffer, count) != count) throw GIFException(sGIFPrematureEnd);
}

// The next byte without taking it; -1 at the end.
int PeekByte(TGIFStream& stream) {
  const int value = stream.ReadByte();
  if (value >= 0) stream.Seek(-1, soCurrent);
  return value;
}

std::uint16_t Word(const std::uint8_t* bytes) { return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8)); }

void ReadColorTable(TGIFStream& stream, TGIFColorMap& table, int sizeField, bool sorted) {
  const int count = 2 << (sizeField & 7);
  std::vector<TGIFColor> colors(static_cast<std::size_t>(count));
  ReadExact(stream, colors.data(), colors.size() * sizeof(TGIFColor));
  table.ImportRGB(colors);
  table.SetSorted(sorted);
}

static_assert(sizeof(TGIFColor) == 3, "colour tables are read as packed triples");

}  // namespace

// LZW decoding.

TLZWDecoder::TResult TLZWDecoder::Decode(int codeSize, const std::uint8_t* data, std::size_t size, std::uint8_t* pixels,
                                         std::size_t count) {
  // The string of code c is the string of prefix[c] followed by suffix[c]; every entry's
  // prefix is an older code, so walking a chain always ends at a literal.
  std::uint16_t prefix[kMaxCodes];
  std::uint8_t suffix[kMaxCodes];
  std::uint8_t first[kMaxCodes];
  std::uint16_t length[kMaxCodes];
  const int clearCode = 1 << codeSize;
  const int endCode = clearCode + 1;
  for (int i = 0; i < clearCode; ++i) {
    prefix[i] = 0;
    suffix[i] = static_cast<std::uint8_t>(i);
    first[i] = static_cast<std::uint8_t>(i);
    length[i] = 1;
  }
  int width = codeSize + 1;
  int nextFree = clearCode + 2;
  int previous = -1;
  std::uint64_t bucket = 0;
  int held = 0;
  const std::uint8_t* in = data;
  const std::uint8_t* const inEnd = data + size;
  std::size_t at = 0;

  while (at < count) {
    if (held < width) {
      while (held <= 56 && in < inEnd) {
        bucket |= static_cast<std::uint64_t>(*in++) << held;
        held += 8;
      }
      if (held < width) return drUnderrun;
    }
    const int code = static_cast<int>(bucket & ((1u << width) - 1));
    bucket >>= width;
    held -= width;

    if (code == clearCode) {
      width = codeSize + 1;
      nextFree = clearCode + 2;
      previous = -1;
      continue;
    }
    if (code == endCode) return drEndCode;
    if (previous < 0) {
      // First code after a clear: only a literal is defined.
      if (code > endCode) throw GIFException(sGIFCircularTable);
      pixels[at++] = static_cast<std::uint8_t>(code);
      previous = code;
      continue;
    }
    if (code > nextFree || (code == nextFree && nextFree >= kMaxCodes)) throw GIFException(sGIFCircularTable);
    if (nextFree < kMaxCodes) {
      // The new entry is the previous string and the first pixel of this one; for a code
      // not yet in the table (it is this very entry) that pixel is the previous string's.
      const std::uint8_t head = code == nextFree ? first[previous] : first[code];
      prefix[nextFree] = static_cast<std::uint16_t>(previous);
      suffix[nextFree] = head;
      first[nextFree] = first[previous];
      length[nextFree] = static_cast<std::uint16_t>(length[previous] + 1);
      ++nextFree;
      if (nextFree == (1 << width) && width < 12) ++width;
    }
    if (code < clearCode) {
      pixels[at++] = static_cast<std::uint8_t>(code);
    } else {
      const std::size_t stringEnd = at + length[code];
      std::size_t i = stringEnd;
      int walk = code;
      // The part past the frame's last pixel is dropped.
      while (i > count) {
        walk = prefix[walk];
        --i;
      }
      while (i > at) {
        pixels[--i] = suffix[walk];
        walk = prefix[walk];
      }
      at = std::min(stringEnd, count);
    }
    previous = code;
  }
  return drEndCode;
}

// Items.

void TGIFHeader::LoadFromStream(TGIFStream& stream) {
  const std::uint64_t start = stream.Position();
  auto readSignature = [&] {
    char signature[6] = {};
    const std::size_t got = stream.Read(signature, 6);
    if (got < 3) return false;
    return std::toupper(static_cast<unsigned char>(signature[0])) == 'G' &&
           std::toupper(static_cast<unsigned char>(signature[1])) == 'I' &&
           std::toupper(static_cast<unsigned char>(signature[2])) == 'F' && got == 6;
  };
  if (!readSignature()) {
    // Some holders put four bytes in front of the signature.
    stream.Seek(static_cast<std::int64_t>(start) + 4, soBeginning);
    if (!readSignature()) throw GIFException(sGIFInvalidSignature);
  }
  std::uint8_t screen[7];
  ReadExact(stream, screen, sizeof screen);
  descriptor_.ScreenWidth = Word(screen);
  descriptor_.ScreenHeight = Word(screen + 2);
  descriptor_.PackedFields = screen[4];
  descriptor_.BackgroundColorIndex = screen[5];
  descriptor_.AspectRatio = screen[6];
  if ((screen[4] & 0x80) != 0) ReadColorTable(stream, colorMap_, screen[4] & 7, (screen[4] & 0x08) != 0);
}

void TGIFTrailer::LoadFromStream(TGIFStream& stream) {
  if (stream.ReadByte() != bsTrailer) Warning(1, sGIFInvalidTrailer);
}

void TGIFSubImage::LoadFromStream(TGIFStream& stream) {
  extensions_.LoadFromStream(stream);
  const int next = PeekByte(stream);
  if (next != bsImageSeparator) {
    // A frame of extensions only; a stray byte here ends it.
    if (next >= 0 && next != bsTrailer && next != 0) Warning(1, sGIFInvalidIntroducer);
    return;
  }
  std::uint8_t bytes[10];
  ReadExact(stream, bytes, sizeof bytes);
  descriptor_.Separator = bytes[0];
  descriptor_.Left = Word(bytes + 1);
  descriptor_.Top = Word(bytes + 3);
  descriptor_.Width = Word(bytes + 5);
  descriptor_.Height = Word(bytes + 7);
  descriptor_.PackedFields = bytes[9];
  if ((descriptor_.Width == 0 || descriptor_.Height == 0) && image_ != nullptr) {
    descriptor_.Width = static_cast<std::uint16_t>(image_->Width());
    descriptor_.Height = static_cast<std::uint16_t>(image_->Height());
    Warning(1, sGIFExceedsScreen);
  }
  if ((descriptor_.PackedFields & 0x80) != 0)
    ReadColorTable(stream, colorMap_, descriptor_.PackedFields & 7, (descriptor_.PackedFields & 0x20) != 0);
  DecodeImageData(stream);
}

void TGIFSubImage::DecodeImageData(TGIFStream& stream) {
  const int codeSize = stream.ReadByte();
  std::vector<std::uint8_t> data;
  bool premature = codeSize < 0;
  if (!premature) {
    ReadSubBlocks(
        stream, [&](const std::uint8_t* block, std::size_t size) { data.insert(data.end(), block, block + size); },
        [&] { premature = true; });
  }
  if (premature) Warning(1, sGIFPrematureEnd);

  const std::uint64_t count = static_cast<std::uint64_t>(Width()) * static_cast<std::uint64_t>(Height());
  if (count == 0) return;
  // Never allocate for pixels the data could not fill, nor beyond the document's limit.
  if (count > kFreeFramePixels && count > kMaxPixelsPerDataByte * (data.size() + 1))
    throw GIFException(sGIFPrematureEnd);
  if (image_ != nullptr) {
    if (count > image_->loadBudget_) throw GIFException(sGIFTooLarge);
    image_->loadBudget_ -= count;
  }
  const std::uint8_t fill = transparent_ && controlExtension_ != nullptr
                                ? static_cast<std::uint8_t>(controlExtension_->TransparentColorIndex())
                                : 0;
  pixels_.assign(static_cast<std::size_t>(count), fill);
  if (codeSize < 0) return;
  if (codeSize < 1 || codeSize > 8) throw GIFException(sGIFInvalidCodeSize);

  TLZWDecoder::TResult result = TLZWDecoder::drEndCode;
  if (!Interlaced()) {
    result = TLZWDecoder::Decode(codeSize, data.data(), data.size(), pixels_.data(), pixels_.size());
  } else {
    // Decoded in pass order, then each row moved to its place.
    std::vector<std::uint8_t> passes(pixels_.size(), fill);
    result = TLZWDecoder::Decode(codeSize, data.data(), data.size(), passes.data(), passes.size());
    const auto width = static_cast<std::size_t>(Width());
    std::size_t source = 0;
    ForEachInterlacedRow(Height(), [&](int row) {
      std::memcpy(pixels_.data() + static_cast<std::size_t>(row) * width, passes.data() + source, width);
      source += width;
    });
  }
  if (result == TLZWDecoder::drUnderrun) Warning(1, sGIFBitBufferUnderrun);
}

// Document.

void TGIFImage::LoadFromStream(TGIFStream& stream) {
  // The document as it was comes back if the stream cannot be read.
  std::vector<std::unique_ptr<TGIFSubImage>> previousFrames;
  while (images_.Count() > 0) previousFrames.push_back(images_.Extract(0));
  const TLogicalScreenDescriptor previousScreen = header_.Descriptor();
  std::vector<TGIFColor> previousGlobal(header_.ColorMap().Entries().begin(), header_.ColorMap().Entries().end());
  const bool previousSorted = header_.ColorMap().Sorted();
  Clear();

  const std::uint64_t start = stream.Position();
  const std::uint64_t size = stream.Size();
  Progress(this, psStarting, 0, sGIFLoading);
  loadBudget_ = kMaxDocumentPixels;
  try {
    header_.LoadFromStream(stream);
    for (;;) {
      int next = stream.ReadByte();
      while (next == 0) next = stream.ReadByte();
      if (next < 0) break;
      stream.Seek(-1, soCurrent);
      if (next == bsTrailer) break;
      if (next != bsExtensionIntroducer && next != bsImageSeparator) {
        Warning(this, 1, sGIFUnknownBlockType);
        break;
      }
      auto frame = std::make_unique<TGIFSubImage>(this);
      frame->LoadFromStream(stream);
      images_.Add(std::move(frame));
      Progress(this, psRunning,
               GIFPercent(static_cast<std::int64_t>(stream.Position()), static_cast<std::int64_t>(size)), sGIFLoading);
    }
    TGIFTrailer trailer(this);
    trailer.LoadFromStream(stream);
  } catch (...) {
    images_.Clear();
    header_.Descriptor() = previousScreen;
    header_.ColorMap().ImportRGB(previousGlobal);
    header_.ColorMap().SetSorted(previousSorted);
    for (auto& frame : previousFrames) images_.Add(std::move(frame));
    try {
      stream.Seek(static_cast<std::int64_t>(start), soBeginning);
    } catch (...) {
      // The load's own error is the one to report.
    }
    Progress(this, psEnding, 0, sGIFLoading);
    throw;
  }
  previousFrames.clear();
  Changed();
  Progress(this, psEnding, 100, sGIFLoading);
}

void TGIFImage::LoadFromFile(const std::string& path) {
  const std::vector<std::uint8_t> bytes = ReadFileBytes(path);
  TGIFSpanStream stream(bytes);
  LoadFromStream(stream);
}

}  // namespace clipvane
