// ghostscript.cpp - where the Ghostscript library is installed.  Not yet implemented.
#include "kavutil.h"

extern "C" {

KAV_API char* KAV_CALL KAVGetGhostScriptPath(int) {
  static char none[1];
  return none;
}
}
