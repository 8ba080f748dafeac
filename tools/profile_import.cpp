// profile_import.cpp - "kav profile import": brings the INI files of a profile tree copied from
// Windows across.  Each file goes to its version's directory of a location, in UTF-8 (the
// profile engine passes bytes as they are, and ported programs speak UTF-8), with its own line
// ends, and with the Windows paths that --map names rewritten in its values.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "commands.h"
#include "host.h"
#include "kavutil.h"
#include "platform/posix/ini/encoding.h"

namespace kav::tool {
namespace {

namespace fs = std::filesystem;

// --map FROM=TO.
struct PathMap {
  std::string from;  // a Windows path, without a trailing separator
  std::string to;
};

struct Import {
  int location = KAV_LOCATION_COMMON;
  std::vector<PathMap> maps;
  bool recode = true;  // text that is not UTF-8 is code page 1252
  bool replace = false;
  bool failed = false;
};

// Windows-1252's characters 0x80 to 0x9F (the five it leaves undefined map to the C1 controls,
// as Windows' own conversion does); from 0xA0 on the code page is Latin-1.
constexpr std::uint16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void append_utf8(std::string &out, std::uint32_t c) {
  if (c < 0x80) {
    out += char(c);
  } else if (c < 0x800) {
    out += char(0xC0 | (c >> 6));
    out += char(0x80 | (c & 0x3F));
  } else {
    out += char(0xE0 | (c >> 12));
    out += char(0x80 | ((c >> 6) & 0x3F));
    out += char(0x80 | (c & 0x3F));
  }
}

std::string from_cp1252(std::string_view text) {
  std::string out;
  for (const char byte : text) {
    const auto c = static_cast<unsigned char>(byte);
    append_utf8(out, c >= 0x80 && c < 0xA0 ? kCp1252High[c - 0x80] : c);
  }
  return out;
}

bool is_utf8(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    const size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > text.size()) return false;
    for (size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(text[i + k]) >> 6) != 2) return false;
    if (n == 2 && c < 0xC2) return false;  // an overlong form
    i += n;
  }
  return true;
}

char folded(char c) {
  if (c == '/') return '\\';
  return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

// Whether text at at begins with the Windows path from, letter case and slashes aside, ending
// there or before a separator.
bool starts_with_path(std::string_view text, size_t at, std::string_view from) {
  if (text.size() - at < from.size()) return false;
  for (size_t i = 0; i < from.size(); ++i)
    if (folded(text[at + i]) != folded(from[i])) return false;
  const size_t end = at + from.size();
  return end == text.size() || text[end] == '\\' || text[end] == '/' || from.ends_with(':');
}

bool starts_path_here(std::string_view text, size_t at) {
  return at == 0 || std::string_view(" \t\"'=,;(").find(text[at - 1]) != std::string_view::npos;
}

// Where a path that starts at at ends: at the closing quote when one opened it, else at a
// blank, a comma or a semicolon.
size_t path_end(std::string_view text, size_t at) {
  const char quote = at > 0 && (text[at - 1] == '"' || text[at - 1] == '\'') ? text[at - 1] : 0;
  const std::string_view stops = quote != 0 ? std::string_view(&quote, 1) : " \t,;";
  const size_t end = text.find_first_of(stops, at);
  return end == std::string_view::npos ? text.size() : end;
}

// A drive-letter path (C:\x, C:/x) or a network path (\\server) at at.
bool looks_like_windows_path(std::string_view text, size_t at) {
  const auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  if (text.substr(at, 2) == "\\\\") return true;
  return text.size() - at >= 3 && letter(text[at]) && text[at + 1] == ':' &&
         (text[at + 2] == '\\' || text[at + 2] == '/');
}

// A value with the mapped paths rewritten; the paths no map covers in *unmapped.
std::string mapped_value(std::string_view value, const std::vector<PathMap> &maps,
                         std::vector<std::string> *unmapped) {
  std::string out;
  for (size_t at = 0; at < value.size();) {
    if (!starts_path_here(value, at)) {
      out += value[at++];
      continue;
    }
    const PathMap *best = nullptr;
    for (const PathMap &map : maps)
      if (starts_with_path(value, at, map.from) &&
          (best == nullptr || map.from.size() > best->from.size()))
        best = &map;
    const size_t end = path_end(value, at);
    if (best == nullptr) {
      if (looks_like_windows_path(value, at)) unmapped->emplace_back(value.substr(at, end - at));
      out += value[at++];
      continue;
    }
    std::string rest(value.substr(at + best->from.size(), end - at - best->from.size()));
    std::replace(rest.begin(), rest.end(), '\\', '/');
    out += best->to + rest;
    at = end;
  }
  return out;
}

// The text with the values of its "key=value" lines mapped; each unmapped Windows path is
// named on standard error.
std::string mapped_text(const std::string &text, const Import &import, const std::string &shown) {
  std::string out, section;
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find('\n', at);
    end = end == std::string::npos ? text.size() : end + 1;
    std::string line = text.substr(at, end - at);
    at = end;
    const size_t first = line.find_first_not_of(" \t");
    const size_t equals = line.find('=');
    if (first != std::string::npos && line[first] == '[') {
      section = line.substr(first, line.find(']', first) + 1 - first);
    } else if (first != std::string::npos && line[first] != ';' && equals != std::string::npos) {
      size_t value_end = line.size();
      while (value_end > equals + 1 && (line[value_end - 1] == '\n' || line[value_end - 1] == '\r'))
        --value_end;
      std::vector<std::string> unmapped;
      const std::string value =
          mapped_value(std::string_view(line).substr(equals + 1, value_end - equals - 1),
                       import.maps, &unmapped);
      for (const std::string &path : unmapped)
        std::fprintf(stderr, "kav profile: %s %s %s: %s is a Windows path that no --map covers\n",
                     shown.c_str(), section.c_str(), line.substr(first, equals - first).c_str(),
                     path.c_str());
      line.replace(equals + 1, value_end - equals - 1, value);
    }
    out += line;
  }
  return out;
}

// The file's text as UTF-8 without a byte-order mark.
std::string utf8_text(std::string raw, const Import &import) {
  platform::posix::ini::DecodedIni decoded = platform::posix::ini::decode_ini(std::move(raw));
  if (decoded.encoding == platform::posix::ini::IniEncoding::kBytes && import.recode &&
      !is_utf8(decoded.text))
    return from_cp1252(decoded.text);
  return std::move(decoded.text);
}

bool is_version_name(const std::string &name) {
  int dots = 0;
  bool digit = false;
  for (char c : name) {
    if (c == '.') {
      if (!digit) return false;
      ++dots;
      digit = false;
    } else if (c >= '0' && c <= '9') {
      digit = true;
    } else {
      return false;
    }
  }
  return dots == 2 && digit;
}

bool is_ini_name(const std::string &name) {
  if (name.size() < 5) return false;
  std::string end = name.substr(name.size() - 4);
  for (char &c : end) c = folded(c);
  return end == ".ini";
}

// The directory a version's files go to: the location's profile directory with its version
// component replaced, or the Windows directory, which has none.
std::string target_directory(const Import &import, const std::string &version) {
  const char *current = QelGetINIPath(import.location);
  std::string directory = current != nullptr ? current : "";
  if (directory.empty()) throw Failure("the location's directory is not known");
  if (version.empty() || import.location == KAV_LOCATION_WINDOWS) return directory;
  directory.pop_back();  // the separator after the version
  directory.erase(directory.find_last_of("/\\") + 1);
  return directory + version + path_separator();
}

std::string read_bytes(const fs::path &path, bool *ok) {
  std::string bytes;
  std::FILE *in = std::fopen(path.string().c_str(), "rb");
  *ok = in != nullptr;
  if (in == nullptr) return bytes;
  char block[65536];
  for (size_t n; (n = std::fread(block, 1, sizeof block, in)) > 0;) bytes.append(block, n);
  *ok = std::ferror(in) == 0;
  std::fclose(in);
  return bytes;
}

void import_file(Import &import, const fs::path &source, const std::string &directory) {
  const std::string shown = source.string();
  bool read = false;
  const std::string raw = read_bytes(source, &read);
  if (!read) {
    std::fprintf(stderr, "kav profile: cannot read %s: %s\n", shown.c_str(),
                 unreadable_reason(shown.c_str()).c_str());
    import.failed = true;
    return;
  }
  const std::string text = mapped_text(utf8_text(raw, import), import, shown);
  const std::string target = directory + source.filename().string();
  mkdir_fullpath(directory.c_str());
  std::string why;
  switch (install_file(target, text, import.replace, &why)) {
    case Installed::kWritten:
      std::printf("imported %s -> %s\n", shown.c_str(), target.c_str());
      break;
    case Installed::kExists:
      std::printf("kept %s (it exists; --replace replaces it)\n", target.c_str());
      break;
    case Installed::kFailed:
      std::fprintf(stderr, "kav profile: cannot write %s: %s\n", target.c_str(), why.c_str());
      import.failed = true;
  }
}

// The INI files of a directory, by name.
std::vector<fs::path> ini_files(const fs::path &directory) {
  std::vector<fs::path> files;
  std::error_code error;
  for (fs::directory_iterator it(directory, error), end; !error && it != end; it.increment(error))
    if (it->is_regular_file(error) && is_ini_name(it->path().filename().string()))
      files.push_back(it->path());
  std::sort(files.begin(), files.end());
  return files;
}

std::vector<std::string> version_directories(const fs::path &directory) {
  std::vector<std::string> versions;
  std::error_code error;
  for (fs::directory_iterator it(directory, error), end; !error && it != end; it.increment(error))
    if (it->is_directory(error) && is_version_name(it->path().filename().string()))
      versions.push_back(it->path().filename().string());
  std::sort(versions.begin(), versions.end());
  return versions;
}

Import parse_import(const Arguments &a) {
  Import import;
  if (auto where = a.get("--location")) {
    if (*where == "user")
      import.location = KAV_LOCATION_USER;
    else if (*where == "windows")
      import.location = KAV_LOCATION_WINDOWS;
    else if (*where != "common")
      throw UsageError("import goes to --location common, user or windows, not '" + *where + "'");
  }
  if (auto page = a.get("--codepage")) {
    if (*page == "none")
      import.recode = false;
    else if (*page != "1252")
      throw UsageError("--codepage is 1252 or none, not '" + *page +
                       "' (convert other code "
                       "pages to UTF-8 first, e.g. with iconv)");
  }
  import.replace = a.has("--replace");
  for (const auto &[option, value] : a.options()) {
    if (option != "--map") continue;
    const size_t equals = value.find('=');
    if (equals == std::string::npos || equals == 0)
      throw UsageError("--map takes FROM=TO, such as 'C:\\KAV=/srv/kav', not '" + value + "'");
    std::string from = value.substr(0, equals), to = value.substr(equals + 1);
    while (from.size() > 1 && (from.back() == '\\' || from.back() == '/')) from.pop_back();
    while (to.size() > 1 && to.back() == '/') to.pop_back();
    import.maps.push_back({from, to});
  }
  return import;
}

}  // namespace

int profile_import(Args args) {
  static constexpr Option known[] = {
      {"--location", true}, {"--map", true}, {"--codepage", true}, {"--replace", false}};
  const Arguments a(args, 1, 1, known);
  Import import = parse_import(a);
  const fs::path source = a[0];
  std::error_code error;
  if (!fs::is_directory(source, error))
    throw Failure(std::string("cannot import ") + a[0] + ": " +
                  (error ? error.message() : "it is not a directory"));
  const std::vector<std::string> versions = version_directories(source);
  if (!versions.empty() && import.location == KAV_LOCATION_WINDOWS)
    throw UsageError("the Windows directory keeps no versions; import one version's directory");
  int files = 0;
  for (const fs::path &file : ini_files(source)) {
    import_file(import, file, target_directory(import, ""));
    ++files;
  }
  for (const std::string &version : versions) {
    for (const fs::path &file : ini_files(source / version)) {
      import_file(import, file, target_directory(import, version));
      ++files;
    }
  }
  if (files == 0) throw Failure(std::string("no INI files in ") + a[0]);
  return import.failed ? 2 : 0;
}

}  // namespace kav::tool
