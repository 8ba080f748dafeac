// probe_profile.cpp - a script of private-profile reads and writes, run through the platform's
// INI functions: Windows' GetPrivateProfile*A and WritePrivateProfile*A, or kavutil's own engine
// on POSIX (both behind platform/platform.h's profile_* functions).
//
// Usage: probe_profile SCRIPT WORKDIR
//
// A script line is an operation and its fields, separated by blanks.  In a field \s is a space,
// \t \r \n \0 \\ and \xHH what C means by them, a lone - a null pointer and "" the empty string.
//   file NAME BYTES          write the file NAME (in WORKDIR) and make it the current one
//   use NAME                 make NAME the current file (it may not exist)
//   get SECTION KEY DEFAULT SIZE      GetPrivateProfileStringA
//   int SECTION KEY DEFAULT           GetPrivateProfileIntA
//   section SECTION SIZE              GetPrivateProfileSectionA
//   names SIZE                        GetPrivateProfileSectionNamesA
//   struct SECTION KEY SIZE           GetPrivateProfileStructA
//   write SECTION KEY VALUE           WritePrivateProfileStringA
//   wsection SECTION ENTRIES          WritePrivateProfileSectionA
//   wstruct SECTION KEY BYTES         WritePrivateProfileStructA
//   dump TAG                          the current file's bytes
// Each operation prints "<line number>: <line> => <result>": the function's result and, for the
// reads, the buffer up to the last byte the function wrote and the count of bytes after it that
// it left alone (the buffer is filled with 0xFE before the call).
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "probe_text.h"

namespace fs = std::filesystem;
using kav::platform::profile_get_int;
using kav::platform::profile_get_section;
using kav::platform::profile_get_section_names;
using kav::platform::profile_get_string;
using kav::platform::profile_get_struct;
using kav::platform::profile_write_section;
using kav::platform::profile_write_string;
using kav::platform::profile_write_struct;

namespace {

constexpr char kUnwritten = '\xFE';

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A field as the bytes it stands for; nothing for "-".
std::optional<std::string> Field(const std::string& field) {
  if (field == "-") return std::nullopt;
  if (field == "\"\"") return std::string();
  std::string bytes;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] != '\\' || i + 1 == field.size()) {
      bytes += field[i];
      continue;
    }
    const char c = field[++i];
    if (c == 's') {
      bytes += ' ';
    } else if (c == 't') {
      bytes += '\t';
    } else if (c == 'r') {
      bytes += '\r';
    } else if (c == 'n') {
      bytes += '\n';
    } else if (c == '0') {
      bytes += '\0';
    } else if (c == 'x' && i + 2 < field.size() && HexDigit(field[i + 1]) >= 0 &&
               HexDigit(field[i + 2]) >= 0) {
      bytes += static_cast<char>(HexDigit(field[i + 1]) * 16 + HexDigit(field[i + 2]));
      i += 2;
    } else {
      bytes += c;
    }
  }
  return bytes;
}

// Every byte shown, none left out however long the text (files and buffers).
std::string AllShown(const std::string& bytes) {
  std::string shown;
  for (std::size_t at = 0; at < bytes.size(); at += 100)
    shown += probe::Shown(bytes.substr(at, 100));
  return shown;
}

// A buffer after a read: its bytes up to the last one written, and how many after that kept the
// fill byte.
std::string BufferShown(const std::string& buffer) {
  std::size_t written = buffer.size();
  while (written > 0 && buffer[written - 1] == kUnwritten) --written;
  std::string shown = AllShown(buffer.substr(0, written));
  if (written < buffer.size())
    shown += " +" + std::to_string(buffer.size() - written) + " unwritten";
  return shown;
}

class Script {
 public:
  explicit Script(fs::path work) : work_(std::move(work)) {}

  std::string Run(const std::vector<std::string>& words) {
    const std::string& op = words[0];
    std::vector<std::optional<std::string>> f;
    for (std::size_t i = 1; i < words.size(); ++i) f.push_back(Field(words[i]));
    const auto text = [&](std::size_t i) { return i < f.size() && f[i] ? f[i]->c_str() : nullptr; };
    const auto number = [&](std::size_t i) {
      return i < f.size() && f[i] ? static_cast<unsigned>(std::strtoul(f[i]->c_str(), nullptr, 10))
                                  : 0u;
    };
    const auto bytes = [&](std::size_t i) { return i < f.size() && f[i] ? *f[i] : std::string(); };
    if (op == "file") {
      current_ = (work_ / bytes(0)).string();
      std::ofstream(current_, std::ios::binary) << bytes(1);
      return "written";
    }
    if (op == "use") {
      current_ = (work_ / bytes(0)).string();
      return "current";
    }
    const char* file = current_.c_str();
    if (op == "get") {
      std::string buffer(number(3), kUnwritten);
      const uint32_t got = profile_get_string(
          text(0), text(1), text(2), buffer.empty() ? nullptr : buffer.data(), number(3), file);
      return "ret=" + std::to_string(got) + " buf=" + BufferShown(buffer);
    }
    if (op == "int") {
      const int fallback = static_cast<int>(std::strtol(bytes(2).c_str(), nullptr, 10));
      return "ret=" + std::to_string(profile_get_int(text(0), text(1), fallback, file));
    }
    if (op == "section") {
      std::string buffer(number(1), kUnwritten);
      const uint32_t got =
          profile_get_section(text(0), buffer.empty() ? nullptr : buffer.data(), number(1), file);
      return "ret=" + std::to_string(got) + " buf=" + BufferShown(buffer);
    }
    if (op == "names") {
      std::string buffer(number(0), kUnwritten);
      const uint32_t got =
          profile_get_section_names(buffer.empty() ? nullptr : buffer.data(), number(0), file);
      return "ret=" + std::to_string(got) + " buf=" + BufferShown(buffer);
    }
    if (op == "struct") {
      std::string buffer(number(2), kUnwritten);
      const bool got = profile_get_struct(text(0), text(1), buffer.data(), number(2), file);
      return std::string("ret=") + (got ? "1" : "0") + " buf=" + BufferShown(buffer);
    }
    if (op == "write") return Result(profile_write_string(text(0), text(1), text(2), file));
    if (op == "wsection") return Result(profile_write_section(text(0), text(1), file));
    if (op == "wstruct") {
      const std::string data = bytes(2);
      return Result(profile_write_struct(text(0), text(1), data.data(),
                                         static_cast<uint32_t>(data.size()), file));
    }
    if (op == "dump") {
      std::ifstream in(current_, std::ios::binary);
      if (!in) return "no file";
      return AllShown(std::string((std::istreambuf_iterator<char>(in)), {}));
    }
    return "unknown operation";
  }

 private:
  static std::string Result(bool done) { return done ? "ret=1" : "ret=0"; }

  fs::path work_;
  std::string current_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: probe_profile SCRIPT WORKDIR\n");
    return 2;
  }
  probe::BinaryOutput();
  const fs::path work = fs::absolute(argv[2]);
  fs::remove_all(work);
  fs::create_directories(work);
  Script script(work);
  std::ifstream lines(argv[1], std::ios::binary);
  int number = 0;
  for (std::string line; std::getline(lines, line);) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    std::istringstream split(line);
    std::vector<std::string> words{std::istream_iterator<std::string>(split), {}};
    std::printf("%d: %s => %s\n", number, line.c_str(), script.Run(words).c_str());
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}
