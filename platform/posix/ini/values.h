// values.h - how Windows' private-profile functions hand values to their callers: strings
// and NUL-separated lists cut to the buffer, quotes, defaults, integers and hex-encoded structs.
// No I/O; the POSIX profile engine applies these to what the document model finds.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kav::platform::posix::ini {

// Copies text, cut to size - 1 bytes, and a NUL; the count copied.  Nothing for size 0.
uint32_t copy_ini_string(char* buffer, uint32_t size, std::string_view text);

// Copies NUL-terminated items and the list's closing NUL.  When that does not fit with a byte
// to spare, Windows keeps the first size - 2 bytes and ends the buffer with two NULs.  An empty
// section reads as two NULs (empty_as_two_nuls), an empty list of names as one.
uint32_t copy_ini_list(char* buffer, uint32_t size, std::string_view items, bool empty_as_two_nuls);

// A text of two or more characters between matching '"' or '\'' loses them.
std::string_view unquoted_ini_value(std::string_view text);

// The default of a string read: null as "", trailing spaces dropped (one stays of a default made
// only of spaces, as in Wine), then unquoted.
std::string_view ini_default_value(const char* given);

// Windows' integer rule (RtlCharToInteger with base 0): blanks, one sign, an optional 0x, 0o or
// 0b, then digits up to the first character that is not one, wrapping modulo 2^32.
uint32_t parse_ini_integer(std::string_view text);

// A struct as stored: two upper-case hex digits per byte and a checksum byte, the sum of the
// bytes modulo 256.
std::string ini_struct_text(const void* data, uint32_t size);

// Decodes a struct value into data, which is written only when the value is valid: exactly
// 2 * size + 2 hex digits (either case) whose last byte is the checksum of the others.  errno
// EINVAL for a wrong length, EILSEQ for a bad digit or checksum.
bool decode_ini_struct(std::string_view text, void* data, uint32_t size);

}  // namespace kav::platform::posix::ini
