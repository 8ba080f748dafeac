// mysql_client.cpp - the MySQL client library, loaded on demand.  kav_mysql_load loads it on
// first use and resolves its twenty entry points, in a fixed order, into the exported mysql_api_
// variables, through which the product's programs call the database; every load adds one user,
// and kav_mysql_free unloads the library after the last one.  The library itself calls none of
// them.  Which file is the client library is platform/modules.h's business.
//
// The module handle and the use count are process-wide and unlocked, as callers serialise their
// loads.  The count stops at INT32_MAX instead of overflowing.

#include <cstdint>
#include <string>

#include "base/boundary.h"
#include "kavutil.h"
#include "platform/modules.h"

namespace {

namespace platform = kav::platform;

platform::Module* g_client = nullptr;
int32_t g_users = 0;

// The first client library that loads; null when none does.
platform::Module* LoadClient() {
  for (const std::string& name : platform::mysql_client_names()) {
    if (platform::Module* module = platform::load_module(name.c_str())) return module;
  }
  return nullptr;
}

template <typename Function>
bool Resolve(const char* name, Function& variable) {
  const platform::Symbol symbol = platform::module_symbol(g_client, name);
  if (symbol == nullptr) return false;
  variable = reinterpret_cast<Function>(symbol);
  return true;
}

// Stops at the first missing name; the variables set before it keep their values.
bool ResolveEntryPoints() {
  return Resolve("mysql_init", mysql_api_init) && Resolve("mysql_options", mysql_api_options) &&
         Resolve("mysql_escape_string", mysql_api_escape_string) &&
         Resolve("mysql_fetch_fields", mysql_api_fetch_fields) &&
         Resolve("mysql_fetch_lengths", mysql_api_fetch_lengths) &&
         Resolve("mysql_num_fields", mysql_api_num_fields) &&
         Resolve("mysql_fetch_row", mysql_api_fetch_row) &&
         Resolve("mysql_affected_rows", mysql_api_affected_rows) &&
         Resolve("mysql_insert_id", mysql_api_insert_id) &&
         Resolve("mysql_error", mysql_api_error) && Resolve("mysql_errno", mysql_api_errno) &&
         Resolve("mysql_query", mysql_api_query) &&
         Resolve("mysql_real_connect", mysql_api_real_connect) &&
         Resolve("mysql_close", mysql_api_close) &&
         Resolve("mysql_real_escape_string", mysql_api_real_escape_string) &&
         Resolve("mysql_free_result", mysql_api_free_result) &&
         Resolve("mysql_autocommit", mysql_api_autocommit) &&
         Resolve("mysql_commit", mysql_api_commit) &&
         Resolve("mysql_rollback", mysql_api_rollback) &&
         Resolve("mysql_store_result", mysql_api_store_result);
}

void Unload() {
  platform::unload_module(g_client);
  g_client = nullptr;
}

}  // namespace

extern "C" {

kav_mysql_init_fn mysql_api_init;
kav_mysql_options_fn mysql_api_options;
kav_mysql_escape_string_fn mysql_api_escape_string;
kav_mysql_fetch_fields_fn mysql_api_fetch_fields;
kav_mysql_fetch_lengths_fn mysql_api_fetch_lengths;
kav_mysql_num_fields_fn mysql_api_num_fields;
kav_mysql_fetch_row_fn mysql_api_fetch_row;
kav_mysql_affected_rows_fn mysql_api_affected_rows;
kav_mysql_insert_id_fn mysql_api_insert_id;
kav_mysql_error_fn mysql_api_error;
kav_mysql_errno_fn mysql_api_errno;
kav_mysql_query_fn mysql_api_query;
kav_mysql_real_connect_fn mysql_api_real_connect;
kav_mysql_close_fn mysql_api_close;
kav_mysql_real_escape_string_fn mysql_api_real_escape_string;
kav_mysql_free_result_fn mysql_api_free_result;
kav_mysql_autocommit_fn mysql_api_autocommit;
kav_mysql_commit_fn mysql_api_commit;
kav_mysql_rollback_fn mysql_api_rollback;
kav_mysql_store_result_fn mysql_api_store_result;

KAV_API int KAV_CALL kav_mysql_load(void) KAV_NOEXCEPT {
  if (g_users < INT32_MAX) ++g_users;
  if (g_client != nullptr) return 1;
  g_client = kav::base::guarded(nullptr, [] { return LoadClient(); });  // or no client
  if (g_client != nullptr && ResolveEntryPoints()) return 1;
  if (g_client != nullptr) Unload();
  g_users = 0;
  return 0;
}

KAV_API void KAV_CALL kav_mysql_free(void) KAV_NOEXCEPT {
  if (g_client != nullptr && --g_users > 0) return;
  if (g_client != nullptr) Unload();
  g_users = 0;
}
}
