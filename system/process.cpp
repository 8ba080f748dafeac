// process.cpp - launching other programs (kav_winexec and its variants).  Not yet implemented:
// every launch fails with the system's "not supported" code.
#include "kavutil.h"

extern "C" {

KAV_API int KAV_CALL kav_winexec(char*, unsigned short, int, const char*, const char*,
                                 const char*) {
  return 50;
}

KAV_API int KAV_CALL kav_winexec_as_user(char*, unsigned short, int, const char*, const char*,
                                         const char*, const char*, const char*) {
  return -1;
}

KAV_API int KAV_CALL kav_winexec_console(char*, int, int, const char*, const char*, const char*) {
  return 50;
}
}
