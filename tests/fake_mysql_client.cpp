// fake_mysql_client.cpp - a stand-in MySQL client library for the loading tests: the twenty entry
// points kavutil resolves, under their plain names (stdcall on 32-bit Windows, as libmysql.dll
// has them).  mysql_init, mysql_errno and mysql_store_result answer so that a test sees its calls
// arrive; the others are never called.  Built twice: complete, and with FAKE_WITHOUT_STORE_RESULT,
// lacking the last name.
#if defined(_WIN32) && defined(__i386__)
#define FAKE extern "C" __declspec(dllexport) __stdcall
#elif defined(_WIN32)
#define FAKE extern "C" __declspec(dllexport)
#else
#define FAKE extern "C" __attribute__((visibility("default")))
#endif

struct Handle;
static int connection;

FAKE Handle* mysql_init(Handle* m) { return m ? m : reinterpret_cast<Handle*>(&connection); }
FAKE unsigned mysql_errno(Handle*) { return 2999; }
#if !defined(FAKE_WITHOUT_STORE_RESULT)
FAKE Handle* mysql_store_result(Handle* m) { return m; }
#endif

// Never called: only their names matter.
#define NEVER_CALLED(name) \
  FAKE int name() { return 0; }
// clang-format off
NEVER_CALLED(mysql_options); NEVER_CALLED(mysql_escape_string); NEVER_CALLED(mysql_fetch_fields);
NEVER_CALLED(mysql_fetch_lengths); NEVER_CALLED(mysql_num_fields); NEVER_CALLED(mysql_fetch_row);
NEVER_CALLED(mysql_affected_rows); NEVER_CALLED(mysql_insert_id); NEVER_CALLED(mysql_error);
NEVER_CALLED(mysql_query); NEVER_CALLED(mysql_real_connect); NEVER_CALLED(mysql_close);
NEVER_CALLED(mysql_real_escape_string); NEVER_CALLED(mysql_free_result);
NEVER_CALLED(mysql_autocommit); NEVER_CALLED(mysql_commit); NEVER_CALLED(mysql_rollback);
// clang-format on
