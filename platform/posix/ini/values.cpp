// values.cpp - Windows' rules for handing private-profile values to callers (see
// values.h).  Every copy stays within [0, size) of the caller's buffer.

#include "platform/posix/ini/values.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <vector>

namespace kav::platform::posix::ini {
namespace {

uint32_t DigitValue(char c) {
  if (c >= '0' && c <= '9') return static_cast<uint32_t>(c - '0');
  if (c >= 'a' && c <= 'z') return static_cast<uint32_t>(c - 'a' + 10);
  if (c >= 'A' && c <= 'Z') return static_cast<uint32_t>(c - 'A' + 10);
  return 36;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

uint32_t copy_ini_string(char* buffer, uint32_t size, std::string_view text) {
  if (size == 0) return 0;
  const std::size_t length = std::min<std::size_t>(text.size(), size - 1);
  std::memcpy(buffer, text.data(), length);
  buffer[length] = '\0';
  return static_cast<uint32_t>(length);
}

uint32_t copy_ini_list(char* buffer, uint32_t size, std::string_view items,
                       bool empty_as_two_nuls) {
  if (size == 0) return 0;
  if (items.size() + 1 < size) {
    std::memcpy(buffer, items.data(), items.size());
    buffer[items.size()] = '\0';
    if (items.empty() && empty_as_two_nuls) buffer[1] = '\0';
    return static_cast<uint32_t>(items.size());
  }
  if (size == 1) {
    buffer[0] = '\0';
    return 0;
  }
  std::memcpy(buffer, items.data(), size - 2);
  buffer[size - 2] = buffer[size - 1] = '\0';
  return size - 2;
}

std::string_view unquoted_ini_value(std::string_view text) {
  if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') &&
      text.back() == text.front()) {
    return text.substr(1, text.size() - 2);
  }
  return text;
}

std::string_view ini_default_value(const char* given) {
  std::string_view text = given == nullptr ? "" : given;
  while (text.size() > 1 && text.back() == ' ') text.remove_suffix(1);
  return unquoted_ini_value(text);
}

uint32_t parse_ini_integer(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size() && static_cast<unsigned char>(text[at]) <= ' ') ++at;
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
  uint32_t base = 10;
  const std::string_view prefix = text.substr(at, 2);
  if (prefix == "0x" || prefix == "0o" || prefix == "0b") {
    base = prefix[1] == 'x' ? 16 : prefix[1] == 'o' ? 8 : 2;
    at += 2;
  }
  uint32_t value = 0;
  for (; at < text.size() && DigitValue(text[at]) < base; ++at) {
    value = value * base + DigitValue(text[at]);
  }
  return negative ? 0u - value : value;
}

std::string ini_struct_text(const void* data, uint32_t size) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  const auto* bytes = static_cast<const unsigned char*>(data);
  std::string text;
  text.reserve(2 * static_cast<std::size_t>(size) + 2);
  unsigned sum = 0;
  const auto append = [&text](unsigned byte) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0xF];
  };
  for (uint32_t i = 0; i < size; ++i) {
    append(bytes[i]);
    sum += bytes[i];
  }
  append(sum & 0xFF);
  return text;
}

bool decode_ini_struct(std::string_view text, void* data, uint32_t size) {
  if (text.size() != 2 * static_cast<std::size_t>(size) + 2) {
    errno = EINVAL;
    return false;
  }
  std::vector<unsigned char> bytes(size + std::size_t{1});
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const int high = HexDigit(text[2 * i]), low = HexDigit(text[2 * i + 1]);
    if (high < 0 || low < 0) {
      errno = EILSEQ;
      return false;
    }
    bytes[i] = static_cast<unsigned char>(high << 4 | low);
  }
  unsigned sum = 0;
  for (uint32_t i = 0; i < size; ++i) sum += bytes[i];
  if ((sum & 0xFF) != bytes[size]) {
    errno = EILSEQ;
    return false;
  }
  if (size > 0) std::memcpy(data, bytes.data(), size);
  return true;
}

}  // namespace kav::platform::posix::ini
