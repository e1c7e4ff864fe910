// Byte streams the GIF library reads from and writes to: the abstract stream, a growable
// memory stream, a read-only view over bytes held elsewhere and a write-only stream into the
// temporary file of an atomic save; little-endian helpers and the data sub-block reader
// shared by extensions and image data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace clipvane {

enum TSeekOrigin : std::uint8_t { soBeginning, soCurrent, soEnd };

class TGIFStream {
 public:
  TGIFStream() = default;
  TGIFStream(const TGIFStream&) = delete;
  TGIFStream& operator=(const TGIFStream&) = delete;
  virtual ~TGIFStream() = default;

  // Reads up to count bytes into buffer; returns how many were read (fewer only at the end).
  virtual std::size_t Read(void* buffer, std::size_t count) = 0;
  // Writes all count bytes or throws.
  virtual void Write(const void* data, std::size_t count) = 0;
  // Moves the position and returns the new one. Positions below 0 throw.
  virtual std::uint64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;

  std::uint64_t Position() { return Seek(0, soCurrent); }
  std::uint64_t Size();

  // Reads one byte; -1 at the end of the stream.
  int ReadByte();
  void WriteByte(std::uint8_t value) { Write(&value, 1); }
  void WriteWord(std::uint16_t value);   // little-endian
  void WriteDWord(std::uint32_t value);  // little-endian
};

// Growable bytes in memory; reading, writing and seeking anywhere.
class TGIFMemoryStream : public TGIFStream {
 public:
  TGIFMemoryStream() = default;
  explicit TGIFMemoryStream(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}

  std::size_t Read(void* buffer, std::size_t count) override;
  void Write(const void* data, std::size_t count) override;
  std::uint64_t Seek(std::int64_t offset, TSeekOrigin origin) override;

  const std::vector<std::uint8_t>& Bytes() const { return bytes_; }
  std::vector<std::uint8_t> TakeBytes();

 private:
  std::vector<std::uint8_t> bytes_;
  std::size_t position_ = 0;
};

// A read-only view over bytes the caller keeps alive. Writing throws.
class TGIFSpanStream : public TGIFStream {
 public:
  explicit TGIFSpanStream(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  std::size_t Read(void* buffer, std::size_t count) override;
  void Write(const void* data, std::size_t count) override;
  std::uint64_t Seek(std::int64_t offset, TSeekOrigin origin) override;

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t position_ = 0;
};

class TTemporaryFile;

// Write-only, buffered, into a temporary file that the caller commits (TTemporaryFile). With
// `cancelled`, every write first asks it and throws EClipvaneError "Cancelled" when it says
// so. Reading and seeking throw "Invalid stream operation"; Position() is what was written.
class TGIFFileWriteStream : public TGIFStream {
 public:
  explicit TGIFFileWriteStream(TTemporaryFile& file, std::function<bool()> cancelled = {});

  std::size_t Read(void* buffer, std::size_t count) override;
  void Write(const void* data, std::size_t count) override;
  std::uint64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  // Writes what is buffered; call before committing the file.
  void Flush();

 private:
  TTemporaryFile& file_;
  std::function<bool()> cancelled_;
  std::vector<std::uint8_t> buffer_;
  std::uint64_t written_ = 0;
};

inline constexpr char sGIFSaveCancelled[] = "Cancelled";

// Reads data sub-blocks (a size byte 1..255 and that many bytes) up to and including the
// 0x00 terminator, or up to the end of the stream when the terminator is missing. Calls
// onBlock(data, size) for each block. A block that claims more bytes than are left calls
// onShort once and hands over the bytes that are there.
template <class OnBlock, class OnShort>
void ReadSubBlocks(TGIFStream& stream, OnBlock&& onBlock, OnShort&& onShort) {
  std::uint8_t block[255];
  for (;;) {
    const int size = stream.ReadByte();
    if (size <= 0) return;
    const std::size_t got = stream.Read(block, static_cast<std::size_t>(size));
    if (got > 0) onBlock(static_cast<const std::uint8_t*>(block), got);
    if (got < static_cast<std::size_t>(size)) {
      onShort();
      return;
    }
  }
}

// Writes bytes as data sub-blocks of at most 255 bytes (no terminator).
void WriteSubBlocks(TGIFStream& stream, const std::uint8_t* data, std::size_t size);

}  // namespace clipvane
