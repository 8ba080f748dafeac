// sheaf.cpp - colon record files.  Not yet implemented.
#include "kavutil.h"

extern "C" {

KAV_API FILE* KAV_CALL sheaf_open(const char*) { return nullptr; }

KAV_API int KAV_CALL sheaf_close(FILE*) { return -1; }

KAV_API int KAV_CALL sheaf_first(const char*, sheaf_record*, FILE*) { return 1; }

KAV_API int KAV_CALL sheaf_next(const char*, sheaf_record*, FILE*) { return 1; }

KAV_API char* KAV_CALL sheaf_quote(const char*) {
  static char none[1];
  return none;
}
}
