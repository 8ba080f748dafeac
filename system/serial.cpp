// serial.cpp - serial ports opened by name and conditioned from a settings text.  Not yet
// implemented.
#include "kavutil.h"

extern "C" {

KAV_API int KAV_CALL tty_open(const char*, const char*) { return -1; }

KAV_API int KAV_CALL condition_tty(int, const char*) { return -1; }

KAV_API int KAV_CALL tty_close(int) { return -1; }
}
