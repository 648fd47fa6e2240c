// Bounds-checked little- and big-endian field readers and writers for media file headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace rf {

// Reads fields from a block of bytes. A read past the end yields zeros and marks the reader
// failed for good, so a header is read whole and checked once with ok().
class ByteReader {
 public:
  ByteReader(const void* data, size_t size) : data_(static_cast<const uint8_t*>(data)), size_(size) {}

  bool ok() const { return ok_; }
  size_t pos() const { return pos_; }
  size_t size() const { return size_; }
  size_t remaining() const { return size_ - pos_; }

  void seek(size_t pos) {
    if (pos > size_) {
      ok_ = false;
      pos = size_;
    }
    pos_ = pos;
  }
  void skip(size_t n) { seek(n > remaining() ? size_ + 1 : pos_ + n); }

  // The next n bytes in place, or nullptr (and failed) when fewer remain.
  const uint8_t* take(size_t n) {
    if (n > remaining()) {
      ok_ = false;
      pos_ = size_;
      return nullptr;
    }
    const uint8_t* p = data_ + pos_;
    pos_ += n;
    return p;
  }
  bool read(void* out, size_t n) {
    const uint8_t* p = take(n);
    if (p)
      std::memcpy(out, p, n);
    else
      std::memset(out, 0, n);
    return p != nullptr;
  }

  uint8_t u8() { return uint8_t(le(1)); }
  uint16_t u16le() { return uint16_t(le(2)); }
  uint32_t u32le() { return uint32_t(le(4)); }
  uint64_t u64le() { return le(8); }
  uint16_t u16be() { return uint16_t(be(2)); }
  uint32_t u32be() { return uint32_t(be(4)); }
  int8_t i8() { return int8_t(u8()); }
  int16_t i16le() { return int16_t(u16le()); }
  int32_t i32le() { return int32_t(u32le()); }
  int16_t i16be() { return int16_t(u16be()); }
  int32_t i32be() { return int32_t(u32be()); }
  // A four-character code such as "RIFF".
  std::string fourcc() {
    const uint8_t* p = take(4);
    return p ? std::string(reinterpret_cast<const char*>(p), 4) : std::string();
  }

 private:
  uint64_t le(size_t n) {
    const uint8_t* p = take(n);
    uint64_t v = 0;
    for (size_t i = 0; p && i < n; ++i) v |= uint64_t(p[i]) << (8 * i);
    return v;
  }
  uint64_t be(size_t n) {
    const uint8_t* p = take(n);
    uint64_t v = 0;
    for (size_t i = 0; p && i < n; ++i) v = (v << 8) | p[i];
    return v;
  }

  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  bool ok_ = true;
};

// Appends fields to a growing byte block, for headers that are written field by field.
class ByteWriter {
 public:
  std::vector<uint8_t>& bytes() { return bytes_; }
  const std::vector<uint8_t>& bytes() const { return bytes_; }
  size_t size() const { return bytes_.size(); }

  void u8(uint32_t v) { bytes_.push_back(uint8_t(v)); }
  void u16le(uint32_t v) { le(v, 2); }
  void u32le(uint32_t v) { le(v, 4); }
  void u64le(uint64_t v) { le(v, 8); }
  void u16be(uint32_t v) { be(v, 2); }
  void u32be(uint32_t v) { be(v, 4); }
  void write(const void* data, size_t n) {
    const auto* p = static_cast<const uint8_t*>(data);
    bytes_.insert(bytes_.end(), p, p + n);
  }
  void fill(uint8_t value, size_t n) { bytes_.insert(bytes_.end(), n, value); }
  void fourcc(const char* code) { write(code, 4); }
  // Overwrites a 32-bit little-endian field written earlier, such as a chunk size.
  void patch32le(size_t at, uint32_t v) {
    for (size_t i = 0; i < 4 && at + i < bytes_.size(); ++i) bytes_[at + i] = uint8_t(v >> (8 * i));
  }

 private:
  void le(uint64_t v, size_t n) {
    for (size_t i = 0; i < n; ++i) bytes_.push_back(uint8_t(v >> (8 * i)));
  }
  void be(uint64_t v, size_t n) {
    for (size_t i = n; i-- > 0;) bytes_.push_back(uint8_t(v >> (8 * i)));
  }

  std::vector<uint8_t> bytes_;
};

}  // namespace rf
