// checksum.cpp - get_check_sum, the archive programs' 32-bit file checksum.
//
// The sum is defined one byte at a time: the file is read in blocks of 4096 bytes, the bytes of
// each block are taken from the last to the first, and each step rotates the sum left by one
// bit and exclusive-ors in the byte sign-extended to 32 bits.  Rotation, exclusive-or and sign
// extension (bits 8 to 31 copy bit 7) are all linear over the bits, so the steps can be
// regrouped.  Within a block of length L, the byte at index i reaches the sum rotated left by
// i mod 32, and the sum from before the block is rotated by L mod 32, which is 0 for a full
// block.  So the bytes whose indexes agree mod 32 can first be exclusive-ored together, 32 bytes
// at a time with word or vector operations, and sign-extended and rotated once at the end: full
// blocks only exclusive-or into the sum, and only a short block (the file's last) rotates what
// came before it.
//
// The file is read in large pieces, a multiple of 4096 bytes so that the blocks keep their
// places, without a stream buffer in between; a small file gets a buffer of its own size.  Only
// a regular file is summed (a FIFO or a device could block or never end), its reads go through
// the I/O seam, and a read that fails before the end makes the sum unavailable (0).

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "kavutil.h"
#include "platform/io.h"
#include "platform/memory.h"
#include "platform/platform.h"

namespace {

constexpr std::size_t kBlockSize = 4096;
constexpr std::size_t kReadSize = 256 * kBlockSize;
constexpr std::size_t kLanes = 32;  // byte i of a block lands rotated by i mod 32
constexpr std::size_t kStride = 64;

using Fold = unsigned char[kLanes];

// Exclusive-ors data into fold, byte i into fold[i mod 32]; size is a multiple of kStride.
void FoldStrides(const unsigned char* data, std::size_t size, Fold& fold) {
#if defined(__SSE2__)
  auto load = [](const unsigned char* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  };
  __m128i a = load(fold), b = load(fold + 16);
  __m128i c = _mm_setzero_si128(), d = _mm_setzero_si128();
  for (const unsigned char* p = data; p != data + size; p += kStride) {
    a = _mm_xor_si128(a, load(p));
    b = _mm_xor_si128(b, load(p + 16));
    c = _mm_xor_si128(c, load(p + 32));
    d = _mm_xor_si128(d, load(p + 48));
  }
  _mm_storeu_si128(reinterpret_cast<__m128i*>(fold), _mm_xor_si128(a, c));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(fold + 16), _mm_xor_si128(b, d));
#else
  // Exclusive-or works byte by byte, so words loaded with memcpy and read back as bytes keep
  // every byte in its lane whatever the byte order.
  std::uint64_t lanes[kStride / 8] = {};
  for (const unsigned char* p = data; p != data + size; p += kStride) {
    for (std::size_t k = 0; k < kStride / 8; ++k) {
      std::uint64_t word;
      std::memcpy(&word, p + 8 * k, 8);
      lanes[k] ^= word;
    }
  }
  for (std::size_t k = 0; k < kLanes / 8; ++k) lanes[k] ^= lanes[k + kLanes / 8];
  for (std::size_t k = 0; k < kLanes; ++k) {
    fold[k] ^= reinterpret_cast<const unsigned char*>(lanes)[k];
  }
#endif
}

// What the folded bytes add to the sum: each sign-extended and rotated by its lane.
std::uint32_t Spread(const Fold& fold) {
  std::uint32_t sum = 0;
  for (std::size_t lane = 0; lane < kLanes; ++lane) {
    std::uint32_t value = fold[lane];
    if (value & 0x80) value |= 0xFFFFFF00u;
    sum ^= std::rotl(value, static_cast<int>(lane));
  }
  return sum;
}

class CheckSum {
 public:
  // Adds what one read gave: whole blocks, then at most one short block.
  void Add(const unsigned char* data, std::size_t size) {
    const std::size_t whole = size - size % kBlockSize;
    FoldStrides(data, whole, pending_);
    if (whole < size) AddShortBlock(data + whole, size - whole);
  }

  std::uint32_t Value() const {
    const std::uint32_t sum = sum_ ^ Spread(pending_);
    return sum == 0 ? 1 : sum;
  }

 private:
  void AddShortBlock(const unsigned char* data, std::size_t size) {
    Fold fold = {};
    const std::size_t strides = size - size % kStride;
    FoldStrides(data, strides, fold);
    for (std::size_t i = strides; i < size; ++i) fold[i % kLanes] ^= data[i];
    sum_ = std::rotl(sum_ ^ Spread(pending_), static_cast<int>(size % kLanes)) ^ Spread(fold);
    std::memset(pending_, 0, sizeof pending_);
  }

  std::uint32_t sum_ = 0;
  Fold pending_ = {};  // the whole blocks since the last short one, not yet spread
};

// A read size for the file: enough for it as it is now, in whole blocks, and at most kReadSize.
// Leaves the file at its start; 0 when it cannot go back there.
// The read buffer goes back to the heap seam it came from.
struct Releaser {
  void operator()(unsigned char* block) const { kav::platform::memory::release(block); }
};

std::size_t ReadSizeFor(std::FILE* file) {
  if (kav::platform::io::fseek(file, 0, SEEK_END) != 0) return kReadSize;
  const long size = kav::platform::io::ftell(file);
  if (kav::platform::io::fseek(file, 0, SEEK_SET) != 0) return 0;
  if (size < 0 || static_cast<unsigned long>(size) >= kReadSize) return kReadSize;
  return (static_cast<std::size_t>(size) / kBlockSize + 1) * kBlockSize;
}

}  // namespace

extern "C" KAV_API unsigned int KAV_CALL get_check_sum(const char* path) KAV_NOEXCEPT {
  std::FILE* file = kav::platform::open_regular_file(path);
  if (file == nullptr) return 0;
  std::setvbuf(file, nullptr, _IONBF, 0);
  const std::size_t read_size = ReadSizeFor(file);
  const std::unique_ptr<unsigned char, Releaser> buffer(
      read_size > 0 ? static_cast<unsigned char*>(kav::platform::memory::allocate(read_size))
                    : nullptr);
  CheckSum sum;
  bool whole = false;
  while (buffer) {
    const std::size_t read = kav::platform::io::fread(buffer.get(), 1, read_size, file);
    sum.Add(buffer.get(), read);
    if (read < read_size) {
      whole = std::feof(file) != 0 && std::ferror(file) == 0;
      break;
    }
  }
  kav::platform::io::fclose(file);
  return whole ? sum.Value() : 0;
}
