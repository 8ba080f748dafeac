// winver.cpp - the running system's version as numbers and a short name.  Not yet implemented.
#include "kavutil.h"

extern "C" {

KAV_API int KAV_CALL kav_getwinver(char*, uint32_t*, uint32_t*, uint32_t*, uint32_t*, uint32_t*) {
  return 0;
}
}
