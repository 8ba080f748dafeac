// ghostscript_test.cpp - KAVGetGhostScriptPath against real installations: version keys written
// into Wine's registry (Windows builds) or into the registry file (POSIX), library files that
// exist or not, the fixed place under the program-files folder, and on POSIX the system's own
// Ghostscript library, which the test loads and asks for its revision.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "kavutil.h"

#if defined(_WIN32)
#include <windows.h>
// After windows.h, which it needs.
#include <shlobj.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;

const char* const kGpl = "Software\\GPL Ghostscript\\";
const char* const kAfpl = "Software\\AFPL Ghostscript\\";
const char* const kGplEdition = "Software\\GPL Ghostscript (KAV Edition)\\";
const char* const kAfplEdition = "Software\\AFPL Ghostscript (KAV Edition)\\";

void SetVariable(const std::string& entry) {  // "NAME=value" in kavutil's own environment
  char* copy = static_cast<char*>(std::malloc(entry.size() + 1));
  std::memcpy(copy, entry.c_str(), entry.size() + 1);
  ASSERT_EQ(kav_putenv(copy), 0);
}

void ClearVariables() {
  kav_clearenv();
#if defined(_WIN32)
  _putenv("KAV_GS=");
  _putenv("GS_DLL=");
#else
  unsetenv("KAV_GS");
  unsetenv("GS_DLL");
#endif
}

// Installed Ghostscripts: their version keys, library files in a scratch folder, and the fixed
// place under the program-files folder.  Everything is removed again at the end.
class Installations {
 public:
  Installations() { Reset(); }
  ~Installations() { Clear(); }

  // No installations, no variables.
  void Reset() {
    Clear();
    fs::create_directories(root_);
#if !defined(_WIN32)
    std::ofstream(registry_).put('\n');
    setenv("KAV_REGISTRY", registry_.c_str(), 1);
    setenv("PROGRAMFILES", (root_ / "programs").c_str(), 1);
#endif
  }

  // A library file (or none) at <scratch>/<folder>/bin; the directory that holds it.
  std::string Library(const std::string& folder, bool exists = true) {
    fs::create_directories(root_ / folder / "bin");
    if (exists) std::ofstream(root_ / folder / "bin" / "gsdll.dll").put('x');
    return (root_ / folder / "bin").string();
  }

  // The version key product\version, with GS_DLL naming the library in directory (no value
  // when directory is empty).
  void Add(const char* product, const std::string& version, const std::string& directory) {
    const std::string library =
        directory.empty() ? "" : (fs::path(directory) / "gsdll.dll").string();
#if defined(_WIN32)
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, (product + version).c_str(), 0, nullptr, 0,
                              KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    if (!library.empty())
      RegSetValueExA(key, "GS_DLL", 0, REG_SZ, reinterpret_cast<const BYTE*>(library.c_str()),
                     DWORD(library.size() + 1));
    RegCloseKey(key);
#else
    std::ofstream(registry_, std::ios::app) << "[" << product << version << "]\n"
                                            << (library.empty() ? "" : "GS_DLL=" + library + "\n");
#endif
  }

  // The product edition's fixed place, with its library file.
  std::string FixedPlace() {
    const fs::path directory = ProgramFiles() / "gs" / "gskav" / "bin";
    fs::create_directories(directory);
#if defined(_WIN32)
    std::ofstream(directory / "gsdll32.dll").put('x');
#else
    std::ofstream(directory / "libgs.so").put('x');
#endif
    return directory.string();
  }

 private:
  static fs::path ProgramFiles() {
#if defined(_WIN32)
    char folder[MAX_PATH];
    EXPECT_EQ(SHGetFolderPathA(nullptr, CSIDL_PROGRAM_FILES, nullptr, 0, folder), S_OK);
    return folder;
#else
    return std::getenv("PROGRAMFILES");
#endif
  }

  void Clear() {
    std::error_code ignored;
#if defined(_WIN32)
    for (const char* product : {kGpl, kAfpl, kGplEdition, kAfplEdition}) {
      std::string key = product;
      key.pop_back();
      RegDeleteTreeA(HKEY_LOCAL_MACHINE, key.c_str());
    }
    fs::remove_all(ProgramFiles() / "gs" / "gskav", ignored);
    fs::remove(ProgramFiles() / "gs", ignored);
#endif
    fs::remove_all(root_, ignored);
    ClearVariables();
  }

#if defined(_WIN32)
  const fs::path root_ =
      fs::temp_directory_path() / ("kavgs-" + std::to_string(GetCurrentProcessId()));
#else
  const fs::path root_ = fs::temp_directory_path() / ("kavgs-" + std::to_string(getpid()));
  const fs::path registry_ = root_ / "registry.ini";
#endif
};

class Ghostscript : public ::testing::Test {
 protected:
  Installations installed_;
};

struct VersionCase {
  const char* what;
  std::vector<const char*> versions;  // in the order written; "-" first: no library file,
                                      // "!" first: no GS_DLL value
  const char* winner;                 // the version whose directory is found; "" none
};

// The version search on one product key (the AFPL key, which the general search reaches when
// GS_DLL is set but empty).
TEST_F(Ghostscript, HighestVersionWithALibraryWins) {
  const VersionCase cases[] = {
      {"higher last", {"8.64", "9.05"}, "9.05"},
      {"higher first", {"9.05", "8.64"}, "9.05"},
      {"missing library", {"-9.05", "8.64"}, "8.64"},
      {"no GS_DLL value", {"!9.05", "8.64"}, "8.64"},
      {"only a missing library", {"-9.05"}, ""},
      {"names that are not numbers", {"alpha", "beta"}, "beta"},
      {"a number beats names", {"alpha", "8.64", "beta"}, "8.64"},
      {"equal versions: the first", {"9.05", "9.050"}, "9.05"},
  };
  int row = 0;
  for (const VersionCase& c : cases) {
    SCOPED_TRACE(c.what);
    std::string expected;
    for (std::string version : c.versions) {
      const char mark = version[0];
      if (mark == '-' || mark == '!') version.erase(0, 1);
      const std::string folder = std::to_string(row) + "-" + version;
      const std::string directory = installed_.Library(folder, mark != '-');
      installed_.Add(kAfpl, version, mark == '!' ? "" : directory);
      if (version == c.winner) expected = directory;
    }
    SetVariable("GS_DLL=");
    EXPECT_STREQ(KAVGetGhostScriptPath(0), expected.c_str());
    installed_.Reset();
    ++row;
  }
}

TEST_F(Ghostscript, EditionSearchOrder) {
  EXPECT_EQ(KAVGetGhostScriptPath(1), nullptr);  // nothing, not even the fixed place
  const std::string fixed = installed_.FixedPlace();
  EXPECT_STREQ(KAVGetGhostScriptPath(1), fixed.c_str());
  const std::string afpl = installed_.Library("afpl");
  installed_.Add(kAfplEdition, "8.15", afpl);
  installed_.Add(kGpl, "9.05", installed_.Library("gpl"));  // never the edition's
  EXPECT_STREQ(KAVGetGhostScriptPath(1), afpl.c_str());
  const std::string gpl = installed_.Library("gpl-edition");
  installed_.Add(kGplEdition, "8.64", gpl);
  EXPECT_STREQ(KAVGetGhostScriptPath(1), gpl.c_str());
  SetVariable("KAV_GS=/opt/own gs");
  EXPECT_EQ(KAVGetGhostScriptPath(1), kav_getenv("KAV_GS"));  // unchanged, the value itself
}

TEST_F(Ghostscript, GeneralSearchOrder) {
  SetVariable("GS_DLL=");  // set but empty: the GPL installations are skipped
  EXPECT_STREQ(KAVGetGhostScriptPath(0), "");
  installed_.Add(kGplEdition, "9.05", installed_.Library("gpl-edition"));  // never the general
  EXPECT_STREQ(KAVGetGhostScriptPath(0), "");
  const std::string afpl_edition = installed_.Library("afpl-edition");
  installed_.Add(kAfplEdition, "8.15", afpl_edition);
  EXPECT_STREQ(KAVGetGhostScriptPath(0), afpl_edition.c_str());
  SetVariable("KAV_GS=/opt/own gs");
  EXPECT_STREQ(KAVGetGhostScriptPath(0), "/opt/own gs");
  const std::string afpl = installed_.Library("afpl");
  installed_.Add(kAfpl, "7.04", afpl);
  EXPECT_STREQ(KAVGetGhostScriptPath(0), afpl.c_str());
  const std::string gpl = installed_.Library("gpl");
  installed_.Add(kGpl, "99.0", gpl);  // newer than any library the system may hold
  ClearVariables();
  EXPECT_STREQ(KAVGetGhostScriptPath(0), gpl.c_str());
  SetVariable("GS_DLL=/opt/gs/bin");
  EXPECT_EQ(KAVGetGhostScriptPath(0), kav_getenv("GS_DLL"));
}

#if !defined(_WIN32)
// Debian's libgs10 counts as an installed GPL Ghostscript with no setup: the directory found
// holds a library that loads and answers gsapi_revision.
TEST_F(Ghostscript, SystemLibraryLoads) {
  const std::string directory = KAVGetGhostScriptPath(0);
  ASSERT_FALSE(directory.empty());
  std::optional<fs::path> library;
  for (const auto& entry : fs::directory_iterator(directory)) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with("libgs.so.")) library = entry.path();
  }
  ASSERT_TRUE(library) << "no libgs.so.N in " << directory;
  void* gs = dlopen(library->c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(gs, nullptr) << dlerror();
  struct Revision {  // gsapi_revision_t
    const char* product;
    const char* copyright;
    long revision;
    long revisiondate;
  } revision{};
  using RevisionFunction = int (*)(Revision*, int);
  auto gsapi_revision = reinterpret_cast<RevisionFunction>(dlsym(gs, "gsapi_revision"));
  ASSERT_NE(gsapi_revision, nullptr);
  EXPECT_EQ(gsapi_revision(&revision, sizeof revision), 0);
  EXPECT_NE(std::strstr(revision.product, "Ghostscript"), nullptr) << revision.product;
  EXPECT_GE(revision.revision, 900);
  dlclose(gs);
}
#endif

}  // namespace
