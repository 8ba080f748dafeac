// gs_mysql_test.cpp - Ghostscript location and MySQL client loading with the real components:
// KAVGetGhostScriptPath over version keys written into Wine's registry or the POSIX registry file,
// library files and the fixed place (on POSIX Debian's libgs is found, loaded and asked for its
// revision); kav_mysql_load and kav_mysql_free with the stand-in clients the build makes, and on
// POSIX Debian's MariaDB client against the test run's own server, through the mysql_api_ pointers.

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
#include <sys/stat.h>
#endif

namespace {

namespace fs = std::filesystem;

const char* const kGpl = "Software\\GPL Ghostscript\\";
const char* const kAfpl = "Software\\AFPL Ghostscript\\";
const char* const kGplEdition = "Software\\GPL Ghostscript (KAV Edition)\\";
const char* const kAfplEdition = "Software\\AFPL Ghostscript (KAV Edition)\\";

// What differs by platform: this program's folder (the stand-in clients are in folders in it),
// the Program Files folder, how a version key with its GS_DLL is stored and removed, and how a
// MySQL client is chosen and seen loaded.
#if defined(_WIN32)
const char* const kFixedPlaceLibrary = "gsdll32.dll";
fs::path Bin() {
  char program[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, program, MAX_PATH);
  return fs::path(program).parent_path();
}
fs::path ProgramFiles(const fs::path&) {  // the Wine prefix's own: the test removes its gs folder
  char folder[MAX_PATH] = "";
  SHGetFolderPathA(nullptr, CSIDL_PROGRAM_FILES, nullptr, 0, folder);
  return folder;
}
void UseRegistry(const fs::path&) {}
void Register(const fs::path&, const std::string& key, const std::string& library) {
  RegSetKeyValueA(HKEY_LOCAL_MACHINE, key.c_str(), "GS_DLL", REG_SZ, library.c_str(),
                  DWORD(library.size() + 1));
}
void Unregister(const fs::path& programs) {
  for (std::string key : {kGpl, kAfpl, kGplEdition, kAfplEdition})
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, key.substr(0, key.size() - 1).c_str());
  fs::remove_all(programs / "gs");
}
void Choose(const char* folder) { SetDllDirectoryA((Bin() / folder).string().c_str()); }
bool Loaded(const char*) { return GetModuleHandleA("libmysql.dll") != nullptr; }
#else
const char* const kFixedPlaceLibrary = "libgs.so";
fs::path Bin() { return fs::canonical("/proc/self/exe").parent_path(); }
fs::path ProgramFiles(const fs::path& root) { return root / "programs"; }
void UseRegistry(const fs::path& root) {
  std::ofstream(root / "registry.ini").put('\n');
  setenv("KAV_REGISTRY", (root / "registry.ini").c_str(), 1);
  setenv("PROGRAMFILES", ProgramFiles(root).c_str(), 1);
}
void Register(const fs::path& root, const std::string& key, const std::string& library) {
  std::ofstream(root / "registry.ini", std::ios::app)
      << '[' << key << "]\nGS_DLL=" << library << '\n';
}
void Unregister(const fs::path&) {}
std::string Client(const char* folder) { return (Bin() / folder / "libmysql.so").string(); }
void Choose(const char* folder) { setenv("KAV_MYSQL_CLIENT", Client(folder).c_str(), 1); }
bool Loaded(const char* folder) {
  void* handle = dlopen(Client(folder).c_str(), RTLD_NOW | RTLD_NOLOAD);
  return handle != nullptr && dlclose(handle) == 0;  // RTLD_NOLOAD counts a load too
}
// Why a library of this program's word size does not load, or "" when it does: a 32-bit build on
// a 64-bit system may have no 32-bit Ghostscript or MariaDB client.
std::string Unloadable(const char* library) {
  void* handle = dlopen(library, RTLD_NOW | RTLD_LOCAL);
  if (handle != nullptr) return dlclose(handle), "";
  return std::string(dlerror()) + " (no " + std::to_string(8 * sizeof(void*)) + "-bit copy)";
}
#endif

std::string Found(int edition) {
  const char* directory = KAVGetGhostScriptPath(edition);
  return directory != nullptr ? directory : "(null)";
}

void Set(const std::string& entry) {  // into kavutil's own environment, which owns the copy
  char* copy = static_cast<char*>(std::malloc(entry.size() + 1));
  kav_putenv(std::strcpy(copy, entry.c_str()));
}

class Ghostscript : public ::testing::Test {
 protected:
  void SetUp() override {
    TearDown();
    fs::create_directories(ProgramFiles(root_));
    UseRegistry(root_);
  }
  void TearDown() override {
    Unregister(ProgramFiles(root_));
    fs::remove_all(root_);
    kav_clearenv();
  }
  // The key product\version whose GS_DLL names <scratch>/<folder>/gs.dll, a file made unless
  // missing; the directory that holds it.
  std::string Add(const char* product, const std::string& version, const std::string& folder,
                  bool missing = false) {
    fs::create_directories(root_ / folder);
    if (!missing) std::ofstream(root_ / folder / "gs.dll").put('x');
    Register(root_, product + version, (root_ / folder / "gs.dll").string());
    return (root_ / folder).string();
  }

  const fs::path root_ = Bin() / "gs-test";  // in the build tree, one per build
};

// The version search on one product key, the AFPL one: the general search reaches it first when
// GS_DLL is set but empty.  Names: "-" first for a missing library file.
TEST_F(Ghostscript, HighestVersionWithALibraryWins) {
  const struct {
    std::vector<std::string> versions;
    std::string winner;  // "" none
  } cases[] = {
      {{"8.64", "9.05"}, "9.05"},  {{"9.05", "8.64"}, "9.05"},
      {{"-9.05", "8.64"}, "8.64"}, {{"-9.05"}, ""},
      {{"alpha", "beta"}, "beta"}, {{"alpha", "8.64", "beta"}, "8.64"},
      {{"9.05", "9.050"}, "9.05"},  // equal versions: the first seen
  };
  for (const auto& c : cases) {
    SetUp();
    std::string expected;
    for (const std::string& name : c.versions) {
      const std::string version = name.substr(name[0] == '-');
      const std::string directory = Add(kAfpl, version, version, name[0] == '-');
      if (version == c.winner) expected = directory;
    }
    Set("GS_DLL=");
    EXPECT_EQ(Found(0), expected) << c.versions.size() << c.winner;
  }
}

TEST_F(Ghostscript, EditionAndGeneralOrders) {
  EXPECT_EQ(Found(1), "(null)");  // nothing, not even at the fixed place
  const fs::path fixed = ProgramFiles(root_) / "gs" / "gskav" / "bin";
  fs::create_directories(fixed);
  std::ofstream(fixed / kFixedPlaceLibrary).put('x');
  EXPECT_EQ(Found(1), fixed.string());
  Set("GS_DLL=");  // set but empty: the general search skips the GPL installations
  EXPECT_EQ(Found(0), "");
  const std::string afpl_edition = Add(kAfplEdition, "8.15", "afpl-edition");
  EXPECT_EQ(Found(1), afpl_edition);
  EXPECT_EQ(Found(0), afpl_edition);
  const std::string gpl_edition = Add(kGplEdition, "8.64", "gpl-edition");  // edition only
  EXPECT_EQ(Found(1), gpl_edition);
  EXPECT_EQ(Found(0), afpl_edition);
  Set("KAV_GS=/opt/own gs");
  EXPECT_EQ(KAVGetGhostScriptPath(1), kav_getenv("KAV_GS"));  // the value itself
  EXPECT_EQ(KAVGetGhostScriptPath(0), kav_getenv("KAV_GS"));
  const std::string afpl = Add(kAfpl, "7.04", "afpl");  // before the search, on every compiler
  EXPECT_EQ(Found(0), afpl);
  const std::string gpl = Add(kGpl, "99.0", "gpl");  // newer than any the system may hold
  kav_clearenv();
  EXPECT_EQ(Found(0), gpl);
  Set("GS_DLL=/opt/gs/bin");
  EXPECT_EQ(KAVGetGhostScriptPath(0), kav_getenv("GS_DLL"));
}

#if !defined(_WIN32)
// Debian's libgs10 counts as an installed GPL Ghostscript with no setup.
TEST_F(Ghostscript, SystemLibraryLoads) {
  if (const std::string why = Unloadable("libgs.so.10"); !why.empty()) GTEST_SKIP() << why;
  const std::string directory = Found(0);
  std::string library;
  for (const auto& entry : fs::directory_iterator(directory))
    if (entry.path().filename().string().starts_with("libgs.so.")) library = entry.path();
  void* gs = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(gs, nullptr) << "no Ghostscript library in [" << directory << "]";
  struct {  // gsapi_revision_t
    const char *product, *copyright;
    long revision, revisiondate;
  } revision{};
  auto gsapi_revision = reinterpret_cast<int (*)(void*, int)>(dlsym(gs, "gsapi_revision"));
  ASSERT_NE(gsapi_revision, nullptr);
  EXPECT_EQ(gsapi_revision(&revision, sizeof revision), 0);
  EXPECT_NE(std::strstr(revision.product, "Ghostscript"), nullptr) << revision.product;
  EXPECT_GE(revision.revision, 900);
  dlclose(gs);
}
#endif

// The MySQL client.

// Each load is a user, and a failed load none: after the failed ones, two loads need two frees.
TEST(MysqlLoad, EachLoadIsAUserAndAFailedLoadLeavesNothingLoaded) {
  for (const char* folder : {"mysql-none", "mysql-partial"}) {
    Choose(folder);
    EXPECT_EQ(kav_mysql_load(), 0) << folder;
    EXPECT_FALSE(Loaded(folder)) << folder;
  }
  kav_mysql_free();  // harmless without a load
  Choose("mysql-complete");
  ASSERT_EQ(kav_mysql_load(), 1);
  MYSQL* connection = mysql_api_init(nullptr);  // the pointers lead into the stand-in
  EXPECT_EQ(mysql_api_errno(connection), 2999u);
  EXPECT_EQ(mysql_api_store_result(connection), reinterpret_cast<MYSQL_RES*>(connection));
  ASSERT_EQ(kav_mysql_load(), 1);
  kav_mysql_free();
  EXPECT_TRUE(Loaded("mysql-complete"));
  kav_mysql_free();
  EXPECT_FALSE(Loaded("mysql-complete"));
#if !defined(_WIN32)
  // A FIFO named as the client is not waited on: no library, no load.
  const fs::path fifo = Bin() / "mysql-fifo.so";
  fs::remove(fifo);
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  setenv("KAV_MYSQL_CLIENT", fifo.c_str(), 1);
  EXPECT_EQ(kav_mysql_load(), 0);
  fs::remove(fifo);
#endif
}

#if !defined(_WIN32)
using Rows = std::vector<std::vector<std::optional<std::string>>>;

MYSQL* Connect(const char* init_command) {
  const char* socket = std::getenv("KAV_TEST_MYSQL_SOCKET");
  MYSQL* db = mysql_api_init(nullptr);
  mysql_api_options(db, 3, init_command);  // MYSQL_INIT_COMMAND
  EXPECT_NE(mysql_api_real_connect(db, nullptr, "root", nullptr, nullptr, 0, socket, 0), nullptr)
      << "no test server at [" << (socket ? socket : "") << "]: " << mysql_api_error(db);
  return db;
}

// The rows of a statement, each field with its length; nothing after a failure.
Rows Query(MYSQL* db, const std::string& statement) {
  Rows rows;
  EXPECT_EQ(mysql_api_query(db, statement.c_str()), 0) << statement << ": " << mysql_api_error(db);
  MYSQL_RES* result = mysql_api_store_result(db);
  while (MYSQL_ROW row = result ? mysql_api_fetch_row(result) : nullptr) {
    const unsigned long* lengths = mysql_api_fetch_lengths(result);
    auto& fields = rows.emplace_back();
    for (unsigned i = 0; i < mysql_api_num_fields(result); ++i)
      fields.push_back(row[i] ? std::optional(std::string(row[i], lengths[i])) : std::nullopt);
  }
  if (result) mysql_api_free_result(result);
  return rows;
}

TEST(MariaDB, ThroughThePointers) {
  if (const std::string why = Unloadable("libmariadb.so.3"); !why.empty()) GTEST_SKIP() << why;
  unsetenv("KAV_MYSQL_CLIENT");  // Debian's libmariadb.so.3
  ASSERT_EQ(kav_mysql_load(), 1);
  MYSQL* db = Connect("SET @kav = 42");
  Query(db, "CREATE OR REPLACE DATABASE kavtest");
  Query(db, "CREATE TABLE kavtest.t (id INT AUTO_INCREMENT PRIMARY KEY, name TEXT, data BLOB)");
  EXPECT_EQ(Query(db, "SELECT @kav, NULL"), (Rows{{"42", std::nullopt}}));  // the option applied
  const std::string name = "O'Brien \"x\" \\", data("a\0b'\n", 5);
  char name_sql[64], data_sql[64];
  mysql_api_real_escape_string(db, name_sql, name.c_str(), name.size());
  mysql_api_escape_string(data_sql, data.data(), data.size());
  Query(db, std::string("INSERT INTO kavtest.t (name, data) VALUES ('") + name_sql + "', '" +
                data_sql + "'), ('b', ''), ('c', NULL)");
  EXPECT_EQ(mysql_api_affected_rows(db), 3u);
  EXPECT_EQ(mysql_api_insert_id(db), 1u);  // the statement's first row
  EXPECT_EQ(Query(db, "SELECT id, name, data FROM kavtest.t WHERE id = 1"),
            (Rows{{"1", name, data}}));
  ASSERT_EQ(mysql_api_query(db, "SELECT name AS who FROM kavtest.t"), 0);
  MYSQL_RES* result = mysql_api_store_result(db);  // MYSQL_FIELD begins with the name
  EXPECT_STREQ(*reinterpret_cast<char* const*>(mysql_api_fetch_fields(result)), "who");
  mysql_api_free_result(result);
  EXPECT_NE(mysql_api_query(db, "SELEKT 1"), 0);
  EXPECT_EQ(mysql_api_errno(db), 1064u);  // ER_PARSE_ERROR
  EXPECT_NE(std::strstr(mysql_api_error(db), "syntax"), nullptr);

  MYSQL* other = Connect("SET @kav = 0");
  const std::string count = "SELECT COUNT(*) FROM kavtest.t";
  EXPECT_EQ(mysql_api_autocommit(db, 0), 0);
  Query(db, "DELETE FROM kavtest.t");
  EXPECT_EQ(mysql_api_rollback(db), 0);
  EXPECT_EQ(Query(db, count), (Rows{{"3"}}));
  Query(db, "DELETE FROM kavtest.t WHERE id = 3");
  EXPECT_EQ(Query(other, count), (Rows{{"3"}}));  // not committed yet
  EXPECT_EQ(mysql_api_commit(db), 0);
  EXPECT_EQ(Query(other, count), (Rows{{"2"}}));
  mysql_api_close(other);
  mysql_api_close(db);
  // The client's own end, which none of the pointers reaches, before the last free unloads it.
  void* client = dlopen("libmariadb.so.3", RTLD_NOW | RTLD_NOLOAD);
  reinterpret_cast<void (*)()>(dlsym(client, "mysql_server_end"))();
  dlclose(client);
  kav_mysql_free();
  EXPECT_EQ(dlopen("libmariadb.so.3", RTLD_NOW | RTLD_NOLOAD), nullptr);
}
#endif

}  // namespace
