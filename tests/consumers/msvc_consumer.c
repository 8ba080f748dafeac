/* msvc_consumer.c - a Windows program linked the way Microsoft's toolchain links one: with
 * kavutil.lib, the import library in Microsoft's format, here by clang for the *-windows-msvc
 * targets and lld-link.  It uses no C runtime (there is none of Microsoft's here): its entry
 * point calls the library, sends the words through the error log (the file LOGFILE names) and
 * returns a check digit as its exit code.  On 32-bit Windows the calls go to the stdcall names
 * (_spellno@4) that the import library binds to the DLL's plain ones. */
#include "kavutil.h"

int mainCRTStartup(void) {
  kav_logerr_id(7);
  kav_logerr("%s", spellno(1234));
  return MICR_CalculateChecksum("87654321"); /* 2 */
}
