// ghostscript.cpp - where the Ghostscript library is installed: the directory that holds it,
// from the environment (KAV_GS, GS_DLL), from the registry keys that Ghostscript installations
// write, or from the fixed place of the product's own edition under the program-files folder.
// Ghostscript is only located here, never loaded.
//
// The version search reads one product key: every subkey is an installed version, named by its
// number (converted with atof, so a name that is not a number counts 0.0), whose value "GS_DLL"
// is the library's full path.  Of the versions whose library exists the highest wins, the first
// seen among equals; when no version number above 0.0 had a library, the last one found
// (in enumeration order) does.  The search writes its result into one process-wide buffer of
// 512 bytes, which the next search overwrites.  The registry itself, and what stands for it on
// POSIX, is platform/registry.h's business; paths are cut at the platform's own separator.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "base/boundary.h"
#include "kavutil.h"
#include "platform/platform.h"
#include "platform/registry.h"

namespace {

namespace platform = kav::platform;

constexpr std::size_t kResultSize = 512;
constexpr std::size_t kCandidateSize = 260;
constexpr uint32_t kSubkeyNameSize = 256;
constexpr uint32_t kValueSize = 256;

// Product keys below the machine-wide hive; a version's name is appended directly.
constexpr const char* kGplEdition = "Software\\GPL Ghostscript (KAV Edition)\\";
constexpr const char* kAfplEdition = "Software\\AFPL Ghostscript (KAV Edition)\\";
constexpr const char* kGpl = "Software\\GPL Ghostscript\\";
constexpr const char* kAfpl = "Software\\AFPL Ghostscript\\";

char g_result[kResultSize];

struct KeyCloser {
  void operator()(platform::RegistryKey* key) const { platform::close_registry_key(key); }
};
using Key = std::unique_ptr<platform::RegistryKey, KeyCloser>;

// The product key in the caller's registry view, else the 32-bit view, else the 64-bit one.
Key OpenProductKey(const char* product) {
  for (uint32_t access : {platform::kKeyRead, platform::kKeyRead32, platform::kKeyRead64}) {
    if (Key key{platform::open_machine_key(product, access)}) return key;
  }
  return nullptr;
}

// Copies text (which fits) into buffer and cuts it at its last separator: the directory.
void CopyDirectory(const std::string& library, char* buffer) {
  std::memcpy(buffer, library.c_str(), library.size() + 1);
  if (char* last = std::strrchr(buffer, platform::kSeparator)) *last = '\0';
}

// One version subkey: its library's directory becomes the candidate, and the result when its
// number is above the best so far.
void VisitVersion(const char* product, const std::string& name, double& best, char* candidate) {
  const double version = std::atof(name.c_str());
  Key key{platform::open_machine_key((product + name).c_str(), platform::kKeyQueryValue)};
  if (!key) return;
  const auto library = platform::registry_string_value(key.get(), "GS_DLL", kValueSize);
  if (!library || getfiletype(library->c_str()) == 0) return;
  CopyDirectory(*library, candidate);
  if (version > best) {
    best = version;
    std::strcpy(g_result, candidate);
  }
}

char* VersionSearch(const char* product) {
  std::memset(g_result, 0, sizeof g_result);
  char candidate[kCandidateSize] = "";
  double best = 0.0;
  if (Key key = OpenProductKey(product)) {
    const std::optional<uint32_t> count = platform::registry_subkey_count(key.get());
    for (uint32_t index = 0; count && index < *count; ++index) {
      const auto name = platform::registry_subkey_name(key.get(), index, kSubkeyNameSize);
      if (name) VisitVersion(product, *name, best, candidate);
    }
  }
  if (g_result[0] == '\0' && candidate[0] != '\0') std::strcpy(g_result, candidate);
  return g_result;
}

bool IsEmpty(const char* text) { return text == nullptr || text[0] == '\0'; }

// The product's own edition installed at its fixed place, "<program files>/gs/gskav/bin"; null
// when its library is not there.  A folder too long for the result counts as none.
char* FixedPlace() {
  const auto folder = platform::program_files_folder();
  if (!folder) return g_result;
  const char separator = platform::kSeparator;
  std::string directory = *folder;
  for (const char* part : {"gs", "gskav", "bin"}) (directory += separator) += part;
  if (directory.size() >= kResultSize) return g_result;
  std::memcpy(g_result, directory.c_str(), directory.size() + 1);
  const std::string library = directory + separator + platform::kGhostscriptLibraryFile;
  const platform::PathKind kind = platform::path_kind(library.c_str());
  if (kind == platform::PathKind::kMissing || kind == platform::PathKind::kUnknown) return nullptr;
  return g_result;
}

char* EditionSearch() {
  if (char* own = kav_getenv("KAV_GS"); !IsEmpty(own)) return own;
  if (char* found = VersionSearch(kGplEdition); !IsEmpty(found)) return found;
  if (char* found = VersionSearch(kAfplEdition); !IsEmpty(found)) return found;
  return FixedPlace();
}

// A GS_DLL that is set, even empty, stands for the GPL installations.
char* GeneralSearch() {
  char* result = kav_getenv("GS_DLL");
  if (result == nullptr) result = VersionSearch(kGpl);
  if (IsEmpty(result)) result = VersionSearch(kAfpl);
  if (IsEmpty(result)) result = kav_getenv("KAV_GS");
  if (IsEmpty(result)) result = VersionSearch(kAfplEdition);
  return result;
}

}  // namespace

extern "C" KAV_API char* KAV_CALL KAVGetGhostScriptPath(int edition) KAV_NOEXCEPT {
  const auto nothing_found = [] {
    g_result[0] = '\0';
    return g_result;
  };
  return kav::base::guarded_with(nothing_found,
                                 [&] { return edition != 0 ? EditionSearch() : GeneralSearch(); });
}
