// Bounded random reads over a file or a buffer: a read that does not lie wholly
// inside fails and copies nothing, so a parser given lying offsets and sizes
// never reads past the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace ce::sim {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual uint64_t size() const = 0;
  // False unless [offset, offset + n) lies inside and could be read whole.
  virtual bool Read(uint64_t offset, void* out, size_t n) const = 0;

 protected:
  bool Inside(uint64_t offset, size_t n) const { return offset <= size() && n <= size() - offset; }
};

class MemoryBytes final : public ByteSource {
 public:
  explicit MemoryBytes(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  uint64_t size() const override { return bytes_.size(); }
  bool Read(uint64_t offset, void* out, size_t n) const override;

 private:
  std::span<const uint8_t> bytes_;
};

// Reads with pread at the file's size when made: the descriptor stays the
// caller's. A file that shrinks meanwhile gives failed reads, not short ones.
class FileBytes final : public ByteSource {
 public:
  FileBytes(int fd, uint64_t size) : fd_(fd), size_(size) {}
  uint64_t size() const override { return size_; }
  bool Read(uint64_t offset, void* out, size_t n) const override;

 private:
  int fd_;
  uint64_t size_;
};

}  // namespace ce::sim
