// cfstore.cpp - the configuration file store: section/key files that programs keep beside their
// profiles, read whole into one process-wide cache.
//
// The first query on a file parses it with cfs_load: lines of at most 1023 characters (longer
// ones are read in pieces), comments and blank lines skipped, "[name]" headers with the name's
// outer spaces trimmed, and "key=value" entries taken as they stand.  Sections keep the order of
// their first header; a repeated header continues its section and the first occurrence of a key
// wins.  Queries on the same file name are answered from the cache without looking at the file;
// a query on another file replaces the cache.  A line without '=' inside a section makes the
// load fail, and every query on that file then returns its default.  So does a read error: a
// cache is never built from part of a file.  Only regular files are read; a device, a FIFO or a
// directory of that name counts as a file that cannot be opened.
//
// The cache holds std::string keys and values that are never touched after the load, so the
// pointers handed out stay valid until the cache is replaced or emptied.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "base/boundary.h"
#include "kavutil.h"
#include "platform/io.h"

namespace {

constexpr int kLineLimit = 1024;
constexpr char kDefaultSection[] = "Site";

struct Section {
  std::string name;
  std::map<std::string, std::string, std::less<>> entries;
};

struct Store {
  std::string file;  // the cached file's name as the caller gave it; empty: nothing cached
  std::vector<Section> sections;
};

Store& TheStore() {
  static Store store;
  return store;
}

class InputFile {
 public:
  explicit InputFile(const char* name) : file_(kav::platform::io::fopen_regular(name, "r")) {}
  ~InputFile() {
    if (file_ != nullptr) kav::platform::io::fclose(file_);
  }
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  std::FILE* get() const { return file_; }

 private:
  std::FILE* file_;
};

bool IsSkipped(const char* line) {
  if (line[0] == '\0' || line[0] == '\n' || line[0] == '\r' || line[0] == ';') return true;
  return line[std::strspn(line, " \r\n")] == '\0';
}

void RemoveLineEnd(char* line) {
  std::size_t length = std::strlen(line);
  if (length > 0 && line[length - 1] == '\n') {
    line[--length] = '\0';
    if (length > 0 && line[length - 1] == '\r') line[--length] = '\0';
  }
}

constexpr std::size_t kNoSection = static_cast<std::size_t>(-1);

// The index of the section called name, or kNoSection.
std::size_t SectionIndex(std::string_view name) {
  const std::vector<Section>& sections = TheStore().sections;
  for (std::size_t i = 0; i < sections.size(); ++i) {
    if (sections[i].name == name) return i;
  }
  return kNoSection;
}

// A header line's section name, or empty when the header has no ']' or names nothing.
std::string HeaderName(char* line) {
  char* close = std::strchr(line, ']');
  if (close == nullptr) return {};
  *close = '\0';
  char* name = line + 1;
  stripblanks_begend(name, static_cast<unsigned int>(std::strlen(name)));
  return name;
}

// The index of the section called name, added at the end when it is new.
std::size_t AddSection(const std::string& name) {
  const std::size_t known = SectionIndex(name);
  if (known != kNoSection) return known;
  TheStore().sections.push_back(Section{name, {}});
  return TheStore().sections.size() - 1;
}

// Adds "key=value" to the section unless the key is there already; false without '='.
bool AddEntry(Section& section, const char* line) {
  const char* equals = std::strchr(line, '=');
  if (equals == nullptr) return false;
  section.entries.emplace(std::string(line, equals), std::string(equals + 1));
  return true;
}

// Parses file into the emptied cache; false when it cannot be opened or read to its end, or
// holds a malformed entry.
bool LoadFile(const char* file) {
  InputFile input(file);
  if (input.get() == nullptr) return false;
  char line[kLineLimit];
  std::size_t current = kNoSection;  // entries before the first header are ignored
  for (;;) {
    // A read that ends before the end of the file fails the load.
    if (kav::platform::io::fgets(line, sizeof line, input.get()) == nullptr) {
      return std::feof(input.get()) != 0;
    }
    if (IsSkipped(line)) continue;
    RemoveLineEnd(line);
    if (line[0] == '[') {
      const std::string name = HeaderName(line);
      if (!name.empty()) current = AddSection(name);
    } else if (current != kNoSection && !AddEntry(TheStore().sections[current], line)) {
      return false;
    }
  }
}

void FreeCache() {
  Store& store = TheStore();
  store.sections.clear();
  store.file.clear();
}

bool CfsLoad(const char* file) {
  FreeCache();
  if (kav::base::guarded(false, [&] { return LoadFile(file); })) return true;
  FreeCache();
  return false;
}

const char* CfsLookup(std::string_view section_name, std::string_view key) {
  const std::size_t index = SectionIndex(section_name);
  if (index == kNoSection) return nullptr;
  const auto& entries = TheStore().sections[index].entries;
  const auto entry = entries.find(key);
  return entry == entries.end() ? nullptr : entry->second.c_str();
}

bool IsEmpty(const char* text) { return text == nullptr || text[0] == '\0'; }

bool IsCached(const char* file) {
  const std::string& cached = TheStore().file;
  return !cached.empty() && cached == file;
}

}  // namespace

extern "C" KAV_API const char* KAV_CALL get_cfsvalue_def(const char* file, const char* section,
                                                         const char* key,
                                                         const char* def) KAV_NOEXCEPT {
  if (IsEmpty(file) || IsEmpty(key)) return def;
  if (IsEmpty(section)) section = kDefaultSection;
  if (!IsCached(file)) {
    if (!CfsLoad(file)) return def;
    // Without room for the name, the cache is answered once and reloaded next time.
    kav::base::guarded([&] { TheStore().file = file; });
  }
  const char* value = CfsLookup(section, key);
  return value != nullptr ? value : def;
}

extern "C" KAV_API const char* KAV_CALL get_cfsvalue(const char* file, const char* section,
                                                     const char* key) KAV_NOEXCEPT {
  return get_cfsvalue_def(file, section, key, nullptr);
}

extern "C" KAV_API int KAV_CALL get_cfsvalue_int(const char* file, const char* section,
                                                 const char* key, int def) KAV_NOEXCEPT {
  const char* value = get_cfsvalue(file, section, key);
  return value != nullptr ? std::atoi(value) : def;
}

extern "C" KAV_API void KAV_CALL cfs_free(void) KAV_NOEXCEPT { FreeCache(); }
