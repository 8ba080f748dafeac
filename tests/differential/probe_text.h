// probe_text.h - what the differential probes share: corpus lines read with their few markers,
// texts shown on one line, and a random generator that gives the same numbers on every platform.
//
// A probe prints one line per case, "<input> => <result>", the same input on both sides, so that
// tests/differential/compare.py can set the two outputs side by side line by line.
#pragma once

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

namespace probe {

// Standard output as bytes: no CR before each LF on Windows, so both sides print alike.
inline void BinaryOutput() {
#if defined(_WIN32)
  _setmode(_fileno(stdout), _O_BINARY);
#endif
}

// A corpus line as the text it stands for.  Lines are taken as they are, but for these markers:
// <TAB> a tab, <SP> a space (where a blank at the end would not be seen), <EMPTY> the empty
// text, <NUL> a NUL byte, <PAD n> the text so far filled up with 'a' to n characters.  Empty
// lines and lines that start with '#' are not cases.
inline std::string Unmarked(std::string_view line) {
  std::string text;
  for (std::size_t at = 0; at < line.size();) {
    const auto marker = [&](std::string_view name) {
      if (line.substr(at, name.size()) != name) return false;
      at += name.size();
      return true;
    };
    if (marker("<TAB>")) {
      text += '\t';
    } else if (marker("<SP>")) {
      text += ' ';
    } else if (marker("<NUL>")) {
      text += '\0';
    } else if (marker("<EMPTY>")) {
    } else if (marker("<PAD ")) {
      std::size_t length = 0;
      while (at < line.size() && line[at] >= '0' && line[at] <= '9')
        length = length * 10 + static_cast<std::size_t>(line[at++] - '0');
      if (at < line.size() && line[at] == '>') ++at;
      if (text.size() < length) text.resize(length, 'a');
    } else {
      text += line[at++];
    }
  }
  return text;
}

// The cases of a corpus file, in order.
inline std::vector<std::string> ReadCorpus(const char* path) {
  std::vector<std::string> cases;
  std::ifstream file(path, std::ios::binary);
  for (std::string line; std::getline(file, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    cases.push_back(Unmarked(line));
  }
  return cases;
}

// text on one line: tabs as <TAB>, other control bytes and bytes above 0x7E as <xHH>; a text of
// more than 200 characters as its first 40 and its length.
inline std::string Shown(std::string_view text) {
  std::string shown;
  const bool long_text = text.size() > 200;
  for (const char c : long_text ? text.substr(0, 40) : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\t') {
      shown += "<TAB>";
    } else if (byte < 0x20 || byte > 0x7E) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "<x%02X>", byte);
      shown += hex;
    } else {
      shown += c;
    }
  }
  if (long_text) shown += "...(" + std::to_string(text.size()) + " characters)";
  return shown;
}

// xorshift64*: the same sequence from the same seed everywhere (the standard library's
// distributions are not specified that exactly).
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed != 0 ? seed : 0x9E3779B97F4A7C15u) {}
  std::uint64_t Next() {
    state_ ^= state_ >> 12;
    state_ ^= state_ << 25;
    state_ ^= state_ >> 27;
    return state_ * 0x2545F4914F6CDD1Du;
  }
  // A number from 0 to n - 1.
  unsigned Below(unsigned n) { return static_cast<unsigned>((Next() >> 33) % n); }
  template <typename T, std::size_t N>
  const T& Pick(const T (&items)[N]) {
    return items[Below(N)];
  }

 private:
  std::uint64_t state_;
};

}  // namespace probe
