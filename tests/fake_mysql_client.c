/* fake_mysql_client.c - a stand-in MySQL client library for the loading tests: the twenty
 * entry points kavutil resolves, exported under their plain names (stdcall on 32-bit Windows, as
 * libmysql.dll has them), doing nothing.  Built twice: complete, and with
 * FAKE_WITHOUT_STORE_RESULT lacking mysql_store_result, the last name resolved. */
#include <stddef.h>

#if defined(_WIN32)
#define FAKE_EXPORT __declspec(dllexport)
#if defined(__i386__)
#define FAKE_CALL __stdcall
#else
#define FAKE_CALL
#endif
#else
#define FAKE_EXPORT __attribute__((visibility("default")))
#define FAKE_CALL
#endif

typedef struct fake_handle fake_handle;
static int fake_connection;

/* mysql_init answers with its own connection and mysql_errno with 2999, so that a test can tell
 * that the variables lead here; the rest answers nothing. */
FAKE_EXPORT fake_handle *FAKE_CALL mysql_init(fake_handle *m) {
  return m ? m : (fake_handle *)&fake_connection;
}
FAKE_EXPORT unsigned int FAKE_CALL mysql_errno(fake_handle *m) { return m ? 2999 : 0; }
FAKE_EXPORT int FAKE_CALL mysql_options(fake_handle *m, int option, const void *arg) {
  (void)m, (void)option, (void)arg;
  return 1;
}
FAKE_EXPORT unsigned long FAKE_CALL mysql_escape_string(char *to, const char *from,
                                                        unsigned long length) {
  (void)to, (void)from, (void)length;
  return 0;
}
FAKE_EXPORT void *FAKE_CALL mysql_fetch_fields(fake_handle *r) { return r; }
FAKE_EXPORT unsigned long *FAKE_CALL mysql_fetch_lengths(fake_handle *r) { return (void *)r; }
FAKE_EXPORT unsigned int FAKE_CALL mysql_num_fields(fake_handle *r) { return r != NULL; }
FAKE_EXPORT char **FAKE_CALL mysql_fetch_row(fake_handle *r) { return (void *)r; }
FAKE_EXPORT unsigned long long FAKE_CALL mysql_affected_rows(fake_handle *m) { return m != NULL; }
FAKE_EXPORT unsigned long long FAKE_CALL mysql_insert_id(fake_handle *m) { return m != NULL; }
FAKE_EXPORT const char *FAKE_CALL mysql_error(fake_handle *m) { return m ? "fake" : ""; }
FAKE_EXPORT int FAKE_CALL mysql_query(fake_handle *m, const char *query) {
  (void)m, (void)query;
  return 1;
}
FAKE_EXPORT fake_handle *FAKE_CALL mysql_real_connect(fake_handle *m, const char *host,
                                                      const char *user, const char *password,
                                                      const char *db, unsigned int port,
                                                      const char *socket, unsigned long flags) {
  (void)m, (void)host, (void)user, (void)password, (void)db, (void)port, (void)socket, (void)flags;
  return NULL;
}
FAKE_EXPORT void FAKE_CALL mysql_close(fake_handle *m) { (void)m; }
FAKE_EXPORT unsigned long FAKE_CALL mysql_real_escape_string(fake_handle *m, char *to,
                                                             const char *from,
                                                             unsigned long length) {
  (void)m, (void)to, (void)from, (void)length;
  return 0;
}
FAKE_EXPORT void FAKE_CALL mysql_free_result(fake_handle *r) { (void)r; }
FAKE_EXPORT char FAKE_CALL mysql_autocommit(fake_handle *m, char mode) { return m && mode; }
FAKE_EXPORT char FAKE_CALL mysql_commit(fake_handle *m) { return m != NULL; }
FAKE_EXPORT char FAKE_CALL mysql_rollback(fake_handle *m) { return m != NULL; }
#if !defined(FAKE_WITHOUT_STORE_RESULT)
FAKE_EXPORT fake_handle *FAKE_CALL mysql_store_result(fake_handle *m) { return m; }
#endif
