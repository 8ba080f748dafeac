// mysql_client_test.cpp - kav_mysql_load and kav_mysql_free with stand-in client libraries that
// the build makes (one complete, one lacking mysql_store_result), chosen per test: through the
// DLL search path on Windows, through KAV_MYSQL_CLIENT on POSIX.  On POSIX also the system's
// own client (Debian's libmariadb) against the private MariaDB server that the test run starts
// (its socket in KAV_TEST_MYSQL_SOCKET), called only through the exported mysql_api_ pointers.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "kavutil.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace {

// The folder of this program, where the build puts mysql-complete/ and mysql-partial/.
std::string ProgramFolder() {
#if defined(_WIN32)
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string program(path, length);
  return program.substr(0, program.find_last_of('\\'));
#else
  char path[4096];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path);
  std::string program(path, length > 0 ? length : 0);
  return program.substr(0, program.find_last_of('/'));
#endif
}

#if defined(_WIN32)
const char* const kClientFile = "libmysql.dll";

void ChooseClient(const std::string& folder) {
  SetDllDirectoryA((ProgramFolder() + "\\" + folder).c_str());
}

bool ClientLoaded(const std::string&) { return GetModuleHandleA(kClientFile) != nullptr; }
#else
std::string ClientPath(const std::string& folder) {
  return ProgramFolder() + "/" + folder + "/libmysql.so";
}

void ChooseClient(const std::string& folder) {
  setenv("KAV_MYSQL_CLIENT", ClientPath(folder).c_str(), 1);
}

bool ClientLoaded(const std::string& folder) {
  void* handle = dlopen(ClientPath(folder).c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (handle != nullptr) dlclose(handle);  // RTLD_NOLOAD still counts a load
  return handle != nullptr;
}
#endif

TEST(MysqlLoad, MissingOrIncompleteClientLeavesNothingLoaded) {
  for (const char* folder : {"mysql-none", "mysql-partial"}) {
    SCOPED_TRACE(folder);
    ChooseClient(folder);
    EXPECT_EQ(kav_mysql_load(), 0);
    EXPECT_FALSE(ClientLoaded(folder));
    kav_mysql_free();  // harmless without a load
  }
  // A failed load leaves no user behind: one free undoes the next load.
  ChooseClient("mysql-complete");
  ASSERT_EQ(kav_mysql_load(), 1);
  kav_mysql_free();
  EXPECT_FALSE(ClientLoaded("mysql-complete"));
}

TEST(MysqlLoad, UsersKeepTheClientLoaded) {
  ChooseClient("mysql-complete");
  ASSERT_EQ(kav_mysql_load(), 1);
  EXPECT_TRUE(ClientLoaded("mysql-complete"));
  // The variables lead into the stand-in: its mysql_init and mysql_errno answer in their way.
  MYSQL* connection = mysql_api_init(nullptr);
  EXPECT_NE(connection, nullptr);
  EXPECT_EQ(mysql_api_errno(connection), 2999u);
  EXPECT_EQ(mysql_api_store_result(connection), reinterpret_cast<MYSQL_RES*>(connection));
  ASSERT_EQ(kav_mysql_load(), 1);
  kav_mysql_free();
  EXPECT_TRUE(ClientLoaded("mysql-complete"));
  kav_mysql_free();
  EXPECT_FALSE(ClientLoaded("mysql-complete"));
  kav_mysql_free();
  ASSERT_EQ(kav_mysql_load(), 1);  // loads again after the last free
  EXPECT_TRUE(ClientLoaded("mysql-complete"));
  kav_mysql_free();
  EXPECT_FALSE(ClientLoaded("mysql-complete"));
}

#if !defined(_WIN32)
// ---------------------------------------------------------------------------
// The system's client against a real server.
// ---------------------------------------------------------------------------

using Row = std::vector<std::optional<std::string>>;

class MariaDB : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    unsetenv("KAV_MYSQL_CLIENT");  // Debian's libmariadb.so.3, found by its name
    ASSERT_EQ(kav_mysql_load(), 1);
    void* debian = dlopen("libmariadb.so.3", RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(debian, nullptr);
    dlclose(debian);
  }
  static void TearDownTestSuite() { kav_mysql_free(); }

  void SetUp() override {
    db_ = Connect();
    ASSERT_NE(db_, nullptr);
    Run("CREATE DATABASE IF NOT EXISTS kavtest");
    Run("USE kavtest");
    Run("DROP TABLE IF EXISTS t");
    Run("CREATE TABLE t (id INT AUTO_INCREMENT PRIMARY KEY, name VARCHAR(64), data BLOB) "
        "ENGINE=InnoDB");
  }
  void TearDown() override {
    if (db_ != nullptr) mysql_api_close(db_);
  }

  // A connection as root through the test server's socket; null (and a failure) when none.
  static MYSQL* Connect(const char* init_command = nullptr) {
    const char* socket = std::getenv("KAV_TEST_MYSQL_SOCKET");
    EXPECT_NE(socket, nullptr) << "the test server's socket is not given";
    if (socket == nullptr) return nullptr;
    MYSQL* db = mysql_api_init(nullptr);
    const int kInitCommand = 3;  // MYSQL_INIT_COMMAND
    if (init_command != nullptr) {
      EXPECT_EQ(mysql_api_options(db, kInitCommand, init_command), 0);
    }
    if (mysql_api_real_connect(db, nullptr, "root", nullptr, nullptr, 0, socket, 0) == nullptr) {
      ADD_FAILURE() << "connect: " << mysql_api_error(db);
      mysql_api_close(db);
      return nullptr;
    }
    return db;
  }

  void Run(const std::string& statement, MYSQL* db = nullptr) {
    db = db != nullptr ? db : db_;
    ASSERT_EQ(mysql_api_query(db, statement.c_str()), 0)
        << statement << ": " << mysql_api_error(db);
  }

  // The rows of a query, each field with its length (so bytes past a NUL stay).
  std::vector<Row> Select(const std::string& query, MYSQL* db = nullptr) {
    db = db != nullptr ? db : db_;
    std::vector<Row> rows;
    EXPECT_EQ(mysql_api_query(db, query.c_str()), 0) << mysql_api_error(db);
    MYSQL_RES* result = mysql_api_store_result(db);
    if (result == nullptr) return rows;
    const unsigned int fields = mysql_api_num_fields(result);
    while (MYSQL_ROW row = mysql_api_fetch_row(result)) {
      const unsigned long* lengths = mysql_api_fetch_lengths(result);
      Row& values = rows.emplace_back();
      for (unsigned int i = 0; i < fields; ++i) {
        if (row[i] == nullptr)
          values.emplace_back();
        else
          values.emplace_back(std::string(row[i], lengths[i]));
      }
    }
    mysql_api_free_result(result);
    return rows;
  }

  MYSQL* db_ = nullptr;
};

TEST_F(MariaDB, InsertEscapeAndSelect) {
  const std::string name = "O'Brien \"quoted\" \\ back";
  const std::string data("a\0b\nc'", 6);
  std::vector<char> name_escaped(2 * name.size() + 1), data_escaped(2 * data.size() + 1);
  mysql_api_real_escape_string(db_, name_escaped.data(), name.c_str(), name.size());
  mysql_api_escape_string(data_escaped.data(), data.data(), data.size());
  Run("INSERT INTO t (name, data) VALUES ('" + std::string(name_escaped.data()) + "', '" +
      data_escaped.data() + "')");
  EXPECT_EQ(mysql_api_affected_rows(db_), 1u);
  EXPECT_EQ(mysql_api_insert_id(db_), 1u);
  Run("INSERT INTO t (name) VALUES ('second'), ('third')");
  EXPECT_EQ(mysql_api_affected_rows(db_), 2u);
  EXPECT_EQ(mysql_api_insert_id(db_), 2u);  // the first row of the statement
  Run("UPDATE t SET data = 'x' WHERE id > 1");
  EXPECT_EQ(mysql_api_affected_rows(db_), 2u);

  const std::vector<Row> rows = Select("SELECT id, name, data FROM t ORDER BY id");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0], (Row{"1", name, data}));
  EXPECT_EQ(rows[2], (Row{"3", "third", "x"}));
  EXPECT_EQ(Select("SELECT NULL, ''")[0], (Row{std::nullopt, ""}));

  ASSERT_EQ(mysql_api_query(db_, "SELECT id AS number FROM t"), 0);
  MYSQL_RES* result = mysql_api_store_result(db_);
  ASSERT_NE(result, nullptr);
  // MYSQL_FIELD begins with the column's name in every client.
  EXPECT_STREQ(*reinterpret_cast<char* const*>(mysql_api_fetch_fields(result)), "number");
  mysql_api_free_result(result);
}

TEST_F(MariaDB, ErrorsAreReported) {
  EXPECT_NE(mysql_api_query(db_, "SELEKT 1"), 0);
  EXPECT_EQ(mysql_api_errno(db_), 1064u);  // ER_PARSE_ERROR
  EXPECT_NE(std::strstr(mysql_api_error(db_), "syntax"), nullptr);
  EXPECT_NE(mysql_api_query(db_, "SELECT * FROM missing"), 0);
  EXPECT_EQ(mysql_api_errno(db_), 1146u);  // ER_NO_SUCH_TABLE
}

TEST_F(MariaDB, CommitAndRollback) {
  EXPECT_EQ(mysql_api_autocommit(db_, 0), 0);
  Run("INSERT INTO t (name) VALUES ('undone')");
  EXPECT_EQ(mysql_api_rollback(db_), 0);
  EXPECT_TRUE(Select("SELECT name FROM t").empty());
  Run("INSERT INTO t (name) VALUES ('kept')");
  MYSQL* other = Connect();
  ASSERT_NE(other, nullptr);
  EXPECT_TRUE(Select("SELECT name FROM kavtest.t", other).empty());  // not yet committed
  EXPECT_EQ(mysql_api_commit(db_), 0);
  EXPECT_EQ(Select("SELECT name FROM kavtest.t", other), (std::vector<Row>{{"kept"}}));
  mysql_api_close(other);
  EXPECT_EQ(mysql_api_autocommit(db_, 1), 0);
}

TEST_F(MariaDB, OptionsApplyAtConnect) {
  MYSQL* db = Connect("SET @kav = 42");
  ASSERT_NE(db, nullptr);
  EXPECT_EQ(Select("SELECT @kav", db), (std::vector<Row>{{"42"}}));
  mysql_api_close(db);
}
#endif

}  // namespace
