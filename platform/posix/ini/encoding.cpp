// encoding.cpp - byte-order marks and the UTF-16 <-> UTF-8 conversion (see encoding.h).
//
// UTF-16 is converted code unit by code unit: a valid surrogate pair becomes one four-byte
// sequence, an unpaired surrogate a three-byte sequence of its own, so that converting back gives
// the file's code units again.  UTF-8 that is not valid (written by a caller into a UTF-16 file)
// becomes U+FFFD.

#include "platform/posix/ini/encoding.h"

#include <cstddef>
#include <cstdint>
#include <utility>

namespace kav::platform::posix::ini {
namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeMark = "\xFF\xFE";
constexpr std::string_view kUtf16BeMark = "\xFE\xFF";

void AppendUtf8(std::string& out, uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
    return;
  }
  const int continuations = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
  static constexpr unsigned char kLeads[] = {0, 0xC0, 0xE0, 0xF0};
  out += static_cast<char>(kLeads[continuations] | (c >> (6 * continuations)));
  for (int shift = 6 * (continuations - 1); shift >= 0; shift -= 6) {
    out += static_cast<char>(0x80 | ((c >> shift) & 0x3F));
  }
}

// An odd last byte is dropped.
std::string Utf16ToUtf8(std::string_view bytes, bool big_endian) {
  const auto unit = [&](std::size_t at) -> uint32_t {
    const auto first = static_cast<unsigned char>(bytes[at]);
    const auto second = static_cast<unsigned char>(bytes[at + 1]);
    return big_endian ? (first << 8 | second) : (second << 8 | first);
  };
  std::string out;
  out.reserve(bytes.size());
  for (std::size_t at = 0; at + 1 < bytes.size(); at += 2) {
    uint32_t c = unit(at);
    if (c >= 0xD800 && c < 0xDC00 && at + 3 < bytes.size()) {
      const uint32_t low = unit(at + 2);
      if (low >= 0xDC00 && low < 0xE000) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        at += 2;
      }
    }
    AppendUtf8(out, c);
  }
  return out;
}

// The code point at text[at], advancing at; a byte that starts no valid sequence reads as
// U+FFFD.  Surrogates encoded on their own are accepted (see Utf16ToUtf8).
uint32_t NextCodePoint(std::string_view text, std::size_t& at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  const std::size_t length = lead < 0x80   ? 1
                             : lead < 0xC2 ? 0
                             : lead < 0xE0 ? 2
                             : lead < 0xF0 ? 3
                             : lead < 0xF5 ? 4
                                           : 0;
  if (length == 1) return text[at++] & 0x7F;
  if (length == 0 || text.size() - at < length) {
    ++at;
    return 0xFFFD;
  }
  uint32_t c = lead & (0x7F >> length);
  for (std::size_t k = 1; k < length; ++k) {
    const auto next = static_cast<unsigned char>(text[at + k]);
    if ((next & 0xC0) != 0x80) {
      ++at;
      return 0xFFFD;
    }
    c = c << 6 | (next & 0x3F);
  }
  static constexpr uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (c < kSmallest[length] || c > 0x10FFFF) {
    ++at;
    return 0xFFFD;
  }
  at += length;
  return c;
}

std::string Utf8ToUtf16(std::string_view text, bool big_endian) {
  std::string out;
  out.reserve(text.size() * 2);
  const auto put = [&](uint32_t unit) {
    const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
    out += big_endian ? high : low;
    out += big_endian ? low : high;
  };
  for (std::size_t at = 0; at < text.size();) {
    const uint32_t c = NextCodePoint(text, at);
    if (c >= 0x10000) {
      put(0xD800 + ((c - 0x10000) >> 10));
      put(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      put(c);
    }
  }
  return out;
}

}  // namespace

DecodedIni decode_ini(std::string raw) {
  const std::string_view bytes(raw);
  if (bytes.starts_with(kUtf8Mark)) {
    return {IniEncoding::kUtf8Marked, raw.substr(kUtf8Mark.size())};
  }
  if (bytes.starts_with(kUtf16LeMark)) {
    return {IniEncoding::kUtf16Le, Utf16ToUtf8(bytes.substr(kUtf16LeMark.size()), false)};
  }
  if (bytes.starts_with(kUtf16BeMark)) {
    return {IniEncoding::kUtf16Be, Utf16ToUtf8(bytes.substr(kUtf16BeMark.size()), true)};
  }
  return {IniEncoding::kBytes, std::move(raw)};
}

std::string encode_ini(IniEncoding encoding, std::string_view text) {
  switch (encoding) {
    case IniEncoding::kUtf8Marked:
      return std::string(kUtf8Mark) + std::string(text);
    case IniEncoding::kUtf16Le:
      return std::string(kUtf16LeMark) + Utf8ToUtf16(text, false);
    case IniEncoding::kUtf16Be:
      return std::string(kUtf16BeMark) + Utf8ToUtf16(text, true);
    case IniEncoding::kBytes:
      break;
  }
  return std::string(text);
}

}  // namespace kav::platform::posix::ini
