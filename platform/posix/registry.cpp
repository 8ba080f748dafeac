// registry.cpp - the machine-wide registry keys on POSIX, which has no registry.
//
// Two sources make up the keys:
// - The registry file, in INI form, read through our private-profile engine: a section names a
//   key by its full path and holds its values, for example
//       [Software\GPL Ghostscript\9.56]
//       GS_DLL=/opt/gs-9.56/lib/libgs.so.9.56
//   A section makes every key on its path exist.  The file is $KAV_REGISTRY when that is set and
//   not empty, else /etc/kavutil/registry.ini; a missing file holds no keys.
// - The Ghostscript libraries installed in the system's library directories (those the dynamic
//   loader searches by default): each regular file "libgs.so.<version>" there is an installed
//   GPL Ghostscript, the key "Software\GPL Ghostscript\<version>" with the value GS_DLL, the
//   file's path.  The loader's links to it (libgs.so.10, libgs.so) are not counted again.  A
//   section of the registry file with the same path takes the place of such a key.
//
// Key paths compare without regard to ASCII letter case, as Windows' do, and trailing
// backslashes are ignored.  Subkeys come in the order the file names them, then the system's
// libraries.  There is one view: the access masks are not needed.  The program-files folder is
// $PROGRAMFILES when set and not empty, else /opt.  The file and the directories are read through
// the I/O seam (platform/posix/io.h).

#include "platform/registry.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/ascii.h"
#include "platform/platform.h"
#include "platform/posix/file_kit.h"
#include "platform/posix/io.h"

namespace kav::platform {

struct RegistryKey {
  std::vector<std::string> subkeys;    // distinct names, in enumeration order
  std::optional<std::string> section;  // the registry file's section that is this key
  std::optional<std::string> library;  // the system library this key stands for
};

namespace {

constexpr const char* kDefaultRegistryFile = "/etc/kavutil/registry.ini";
constexpr std::string_view kSystemGhostscriptKey = "Software\\GPL Ghostscript\\";
constexpr std::string_view kLibraryPrefix = "libgs.so.";
constexpr const char* kMissing = "\n";  // a default no value can equal: values are single lines

struct Entry {
  std::string path;                    // the key's full path
  std::optional<std::string> library;  // set for an installed system library
};

std::optional<std::string> Variable(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || value[0] == '\0') return std::nullopt;
  return std::string(value);
}

// A name without a separator would mean a file in the Windows directory to the profile engine.
std::string RegistryFile() {
  const std::string file = Variable("KAV_REGISTRY").value_or(kDefaultRegistryFile);
  return file.find('/') == std::string::npos ? "./" + file : file;
}

bool SameText(std::string_view a, std::string_view b) {
  return kav::base::equals_ignoring_case(a, b);
}

std::string WithoutTrailingBackslashes(std::string path) {
  while (!path.empty() && path.back() == '\\') path.pop_back();
  return path;
}

std::vector<std::string> SectionNames(const std::string& file) {
  std::vector<char> buffer(4096);
  for (;;) {
    const uint32_t size = static_cast<uint32_t>(buffer.size());
    const uint32_t length = profile_get_section_names(buffer.data(), size, file.c_str());
    if (length + 2 < size) break;  // not cut short
    buffer.resize(buffer.size() * 2);
  }
  std::vector<std::string> names;
  for (const char* name = buffer.data(); *name != '\0'; name += names.back().size() + 1)
    names.emplace_back(name);
  return names;
}

// "10.00" and the like: a digit, then digits and dots.
bool IsVersion(std::string_view text) {
  return !text.empty() && kav::base::is_digit(text[0]) &&
         std::ranges::all_of(text, [](char c) { return kav::base::is_digit(c) || c == '.'; });
}

std::vector<std::string> LibraryDirectories() {
  std::vector<std::string> directories;
#if defined(KAV_LIBRARY_ARCHITECTURE)
  const std::string arch = KAV_LIBRARY_ARCHITECTURE;
  if (!arch.empty()) directories = {"/usr/local/lib/" + arch, "/usr/lib/" + arch, "/lib/" + arch};
#endif
  for (const char* directory : {"/usr/local/lib", "/usr/lib64", "/lib64", "/usr/lib", "/lib"})
    directories.emplace_back(directory);
  return directories;
}

// Whether the directory was seen before under another name (/lib is often /usr/lib).
bool SeenBefore(const std::string& directory, std::vector<std::pair<dev_t, ino_t>>& seen) {
  struct stat status;
  if (kav::platform::io::stat(directory.c_str(), &status) != 0) return true;
  const std::pair identity{status.st_dev, status.st_ino};
  if (std::ranges::find(seen, identity) != seen.end()) return true;
  seen.push_back(identity);
  return false;
}

bool IsRegularFile(const std::string& path) {
  struct stat status;
  return kav::platform::io::lstat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

// The library files of directory: every one, or only that of version when it is not empty.
std::vector<std::string> LibraryNames(const std::string& directory, const std::string& version) {
  const std::string prefix(kLibraryPrefix);
  if (!version.empty()) {
    if (IsRegularFile(directory + "/" + prefix + version)) return {prefix + version};
    return {};
  }
  std::vector<std::string> names;
  const posix::Listing listing = posix::open_listing(directory.c_str());
  while (const dirent* entry = listing ? kav::platform::io::readdir(listing.get()) : nullptr) {
    const std::string name = entry->d_name;
    if (name.starts_with(prefix) && IsVersion(name.substr(prefix.size())) &&
        IsRegularFile(directory + "/" + name)) {
      names.push_back(name);
    }
  }
  std::ranges::sort(names);
  return names;
}

// Which installed versions a key at path needs to know: all of them (""), for the GPL product
// key and the keys above it; one, for a version key below it; none for any other key, so that
// only those keys cost a look into the library directories.
std::optional<std::string> VersionsNeeded(std::string_view path) {
  const std::string_view product =
      kSystemGhostscriptKey.substr(0, kSystemGhostscriptKey.size() - 1);
  if (path.size() <= product.size()) {
    const bool above = path.size() == product.size() || product[path.size()] == '\\';
    if (above && SameText(product.substr(0, path.size()), path)) return "";
    return std::nullopt;
  }
  if (!SameText(path.substr(0, kSystemGhostscriptKey.size()), kSystemGhostscriptKey))
    return std::nullopt;
  const std::string_view version = path.substr(kSystemGhostscriptKey.size());
  if (!IsVersion(version)) return std::nullopt;
  return std::string(version);
}

std::vector<Entry> SystemLibraries(std::string_view path) {
  std::vector<Entry> entries;
  const std::optional<std::string> versions = VersionsNeeded(path);
  if (!versions) return entries;
  std::vector<std::pair<dev_t, ino_t>> seen;
  for (const auto& directory : LibraryDirectories()) {
    if (SeenBefore(directory, seen)) continue;
    for (const auto& name : LibraryNames(directory, *versions)) {
      std::string key(kSystemGhostscriptKey);
      key += name.substr(kLibraryPrefix.size());
      entries.push_back({std::move(key), directory + "/" + name});
    }
  }
  return entries;
}

// The file's sections first; a system library only where no section has its path.
std::vector<Entry> AllEntries(const std::string& file, std::string_view path) {
  std::vector<Entry> entries;
  for (auto& name : SectionNames(file)) entries.push_back({std::move(name), std::nullopt});
  const std::size_t sections = entries.size();
  for (auto& library : SystemLibraries(path)) {
    const auto same = [&](const Entry& e) { return SameText(e.path, library.path); };
    if (std::none_of(entries.begin(), entries.begin() + sections, same))
      entries.push_back(std::move(library));
  }
  return entries;
}

void AddSubkey(RegistryKey& key, std::string_view below) {
  const std::string name(below.substr(0, below.find('\\')));
  const auto same = [&](const std::string& s) { return SameText(s, name); };
  if (!name.empty() && std::ranges::none_of(key.subkeys, same)) key.subkeys.push_back(name);
}

// Whether entry is the key at path or below it; fills the key from it.
bool Describe(const Entry& entry, const std::string& path, RegistryKey& key) {
  const std::string full = WithoutTrailingBackslashes(entry.path);
  if (SameText(full, path)) {
    (entry.library ? key.library : key.section) = entry.library.value_or(entry.path);
    return true;
  }
  if (full.size() <= path.size() || full[path.size()] != '\\') return false;
  if (!SameText(std::string_view(full).substr(0, path.size()), path)) return false;
  AddSubkey(key, std::string_view(full).substr(path.size() + 1));
  return true;
}

bool Fits(const std::string& text, uint32_t size) { return text.size() < size; }

// A value of the registry file; one byte more than size is read, so that a longer value shows.
std::optional<std::string> SectionValue(const std::string& section, const char* name,
                                        uint32_t size) {
  std::vector<char> buffer(size + 1, '\0');
  profile_get_string(section.c_str(), name, kMissing, buffer.data(), size + 1,
                     RegistryFile().c_str());
  std::string value(buffer.data());
  if (value == kMissing) return std::nullopt;
  return value;
}

}  // namespace

RegistryKey* open_machine_key(const char* path, uint32_t) {
  if (path == nullptr) return nullptr;
  const std::string wanted = WithoutTrailingBackslashes(path);
  if (wanted.empty()) return nullptr;
  auto key = std::make_unique<RegistryKey>();
  bool exists = false;
  for (const auto& entry : AllEntries(RegistryFile(), wanted))
    exists |= Describe(entry, wanted, *key);
  return exists ? key.release() : nullptr;
}

void close_registry_key(RegistryKey* key) { delete key; }

std::optional<uint32_t> registry_subkey_count(RegistryKey* key) {
  return static_cast<uint32_t>(key->subkeys.size());
}

std::optional<std::string> registry_subkey_name(RegistryKey* key, uint32_t index, uint32_t size) {
  if (index >= key->subkeys.size() || !Fits(key->subkeys[index], size)) return std::nullopt;
  return key->subkeys[index];
}

std::optional<std::string> registry_string_value(RegistryKey* key, const char* name,
                                                 uint32_t size) {
  std::optional<std::string> value;
  if (key->section) {
    value = SectionValue(*key->section, name, size);
  } else if (key->library && SameText(name, "GS_DLL")) {
    value = key->library;
  }
  if (!value || !Fits(*value, size)) return std::nullopt;
  return value;
}

std::optional<std::string> program_files_folder() {
  std::string folder = Variable("PROGRAMFILES").value_or("/opt");
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

}  // namespace kav::platform
