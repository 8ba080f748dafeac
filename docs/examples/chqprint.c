/* chqprint.c - the porting guide's worked example (docs/porting.md): a small cheque printer,
 * moved from its Windows build onto the Linux library.  The same source builds against
 * kavutil.dll and libkavutil.so.1.
 *
 * Usage: chqprint AMOUNT
 * Reads its settings from CHQPRINT.INI (the per-user file over the common one), writes the
 * cheque's two lines (the amount in words and the MICR code line) to chqNNNN.prn in the spool
 * directory, logs what it did, and starts the notifier the profile names with the file's path. */
#include <stdio.h>
#include <stdlib.h>

#include "kavutil.h"

#define INI "CHQPRINT.INI" /* one spelling everywhere: POSIX file names keep their case */

/* One setting, read the way every program of the family reads one. */
static void setting(const char *section, const char *key, const char *def, char *out, int size) {
  QelGetPrivateProfileString(section, key, def, out, size, INI, KAV_LOCATION_SEARCH);
}

int main(int argc, char **argv) {
  static MICR_Line_E13B micr; /* large: not on the stack */
  char spool[260], notify[260], transit[16], account[32], path[300], command[600];
  const long amount = argc > 1 ? strtol(argv[1], NULL, 10) : -1;
  const char *words = amount >= 0 ? spellno(amount) : NULL;
  FILE *out;
  int number, result;

  if (words == NULL) {
    fprintf(stderr, "usage: chqprint AMOUNT (0 to 2147483647)\n");
    return 2;
  }
  setting("Spool", "Directory", ".", spool, sizeof spool);
  setting("Spool", "Notify", "", notify, sizeof notify);
  setting("Bank", "Transit", "", transit, sizeof transit);
  setting("Bank", "Account", "", account, sizeof account);
  kav_logerr_id(QelGetPrivateProfileInt("Log", "Id", 0, INI, KAV_LOCATION_SEARCH));

  /* The next cheque number, kept in the user's own file. */
  number = QelGetPrivateProfileInt("Spool", "Next", 1, INI, KAV_LOCATION_USER);
  snprintf(path, sizeof path, "%s/chq%04d.prn", spool, number); /* '/' serves both systems */
  snprintf(command, sizeof command, "%d", number + 1);
  QelWritePrivateProfileString("Spool", "Next", command, INI, KAV_LOCATION_USER);

  MICR_DecodeFormat_E13B(NULL, &micr);
  snprintf(micr.transit, sizeof micr.transit, "%s%d", transit, MICR_CalculateChecksum(transit));
  snprintf(micr.on_us, sizeof micr.on_us, "%s", account);
  out = fopen(path, "w");
  if (out == NULL || fprintf(out, "%s\n%s\n", words, MICR_BuildLine_E13B(&micr, NULL)) < 0 ||
      fclose(out) != 0) {
    kav_logerrno("cannot write %s", path);
    return 1;
  }
  kav_logerr("cheque %ld written to %s", amount, path);

  /* The launch: the notifier as the profile names it, waited for. */
  if (notify[0] != '\0') {
    snprintf(command, sizeof command, "\"%s\" \"%s\"", notify, path);
    result = kav_winexec(command, 0, 2, NULL, NULL, NULL);
    if (result != 0) kav_logerr("%s gave %d", notify, result);
  }
  printf("%s\n", path);
  return 0;
}
