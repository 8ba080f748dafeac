// mysql_client.cpp - the MySQL client library, loaded on demand.  Not yet implemented.
#include "kavutil.h"

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

KAV_API int KAV_CALL kav_mysql_load(void) { return 0; }

KAV_API void KAV_CALL kav_mysql_free(void) {}
}
