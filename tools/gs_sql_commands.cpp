// The Ghostscript and MySQL commands of the kav tool: where the Ghostscript
// library is installed, and one SQL statement run through the MySQL client
// library that kavutil loads (every call goes through its mysql_api_
// variables).
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "commands.h"
#include "kavutil.h"

namespace kav::tool {
namespace {

int gs(Args args) {
  static constexpr Option known[] = {{"--edition", false}};
  const Arguments a(args, 0, 0, known);
  const char *directory = KAVGetGhostScriptPath(a.has("--edition") ? 1 : 0);
  if (directory == nullptr || directory[0] == '\0') {
    std::fprintf(stderr, "kav gs: no Ghostscript found\n");
    return 1;
  }
  std::printf("%s\n", directory);
  return 0;
}

// One row, fields separated by tabs; NULL for a null field.
void print_row(MYSQL_ROW row, const unsigned long *lengths, unsigned int fields) {
  for (unsigned int i = 0; i < fields; ++i) {
    if (i > 0) std::fputc('\t', stdout);
    if (row[i] == nullptr)
      std::fputs("NULL", stdout);
    else
      std::fwrite(row[i], 1, lengths[i], stdout);
  }
  std::fputc('\n', stdout);
}

// Runs query on an open connection and prints its rows; 0, or 2 after the server's message.
int run_query(MYSQL *db, const std::string &query) {
  MYSQL_RES *result = nullptr;
  if (mysql_api_query(db, query.c_str()) == 0) result = mysql_api_store_result(db);
  if (result == nullptr) {
    if (mysql_api_errno(db) == 0) return 0;  // a statement without rows
    std::fprintf(stderr, "kav sql: %s\n", mysql_api_error(db));
    return 2;
  }
  const unsigned int fields = mysql_api_num_fields(result);
  while (MYSQL_ROW row = mysql_api_fetch_row(result))
    print_row(row, mysql_api_fetch_lengths(result), fields);
  mysql_api_free_result(result);
  return 0;
}

int connect_and_run(const std::string &socket, const std::string &user,
                    const std::optional<std::string> &database, const std::string &query) {
  MYSQL *db = mysql_api_init(nullptr);
  if (db == nullptr) throw Failure("the client could not start a connection: out of memory");
  int status = 2;
  if (mysql_api_real_connect(db, nullptr, user.c_str(), nullptr,
                             database ? database->c_str() : nullptr, 0, socket.c_str(), 0))
    status = run_query(db, query);
  else
    std::fprintf(stderr, "kav sql: %s\n", mysql_api_error(db));
  mysql_api_close(db);
  return status;
}

int sql(Args args) {
  static constexpr Option known[] = {{"--socket", true}, {"--user", true}, {"--database", true}};
  const Arguments a(args, 1, 1, known);
  const auto socket = a.get("--socket");
  const auto user = a.get("--user");
  if (!socket || !user) throw UsageError("--socket and --user are required");
  if (!kav_mysql_load())
    throw Failure(
        "the MySQL client library does not load (libmariadb.so.3, libmysqlclient.so.24 or .21, "
        "or the library KAV_MYSQL_CLIENT names; libmysql.dll on Windows), or lacks a function "
        "kavutil needs");
  // The client stays loaded until the process ends: unloading it first would drop the
  // process-wide state it set up at its first use (only its mysql_library_end, which none of the
  // twenty entry points reaches, releases that), and gain nothing.
  return connect_and_run(*socket, *user, a.get("--database"), a[0]);
}

const Command kCommands[] = {
    {"gs", "[--edition]",
     "Prints the directory that holds the Ghostscript library: GS_DLL, else the newest\n"
     "installed GPL or AFPL Ghostscript, else KAV_GS, else the product's own edition.  With\n"
     "--edition the product's own edition first: KAV_GS, its installation entries, else its\n"
     "fixed place under the program files.  The exit status is 1 when none is found.",
     gs},
    {"sql", "--socket SOCKET --user USER [--database DATABASE] QUERY",
     "Loads the MySQL client library on demand, connects through the local socket SOCKET as\n"
     "USER (no password; to DATABASE when given), runs QUERY and prints the rows it returns,\n"
     "fields separated by tabs, NULL for a null field.  The exit status is 2, after the\n"
     "client's message, when the client library does not load, the connection fails or the\n"
     "server refuses QUERY.",
     sql},
};

}  // namespace

std::span<const Command> gs_sql_commands() { return kCommands; }

}  // namespace kav::tool
