// regexp.cpp - wildcard translation and the regular-expression matcher (being written: for
// now every expression lets every text through).
#include "kavutil.h"

extern "C" KAV_API int KAV_CALL kav_setup_regexp(const char*, char* regex) {
  if (regex != nullptr) regex[0] = '\0';
  return 1;
}

extern "C" KAV_API int KAV_CALL kav_test_re(const char*, const char*) { return 1; }
