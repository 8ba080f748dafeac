// encoding.h - the encodings of INI files: the bytes as they are, bytes after a UTF-8
// byte-order mark, or UTF-16 (little or big endian, with its mark) converted to UTF-8 for the
// document model and back again when the file is written.  No I/O.
#pragma once

#include <string>
#include <string_view>

namespace kav::platform::posix::ini {

enum class IniEncoding { kBytes, kUtf8Marked, kUtf16Le, kUtf16Be };

struct DecodedIni {
  IniEncoding encoding;
  std::string text;  // without the byte-order mark; UTF-8 for the UTF-16 encodings
};

// Only the first bytes decide, as on Windows: a mark elsewhere is ordinary text.
DecodedIni decode_ini(std::string raw);

// The file's bytes for text in encoding, mark included.
std::string encode_ini(IniEncoding encoding, std::string_view text);

}  // namespace kav::platform::posix::ini
