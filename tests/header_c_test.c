/* The public header compiled as strict C: declarations, records and calling
 * conventions must be usable from a C program linked against the library. */
#include <stddef.h>
#include <string.h>

#include "kavutil.h"

static MICR_Line_E13B record;

int main(void) {
  char path[] = "dir/file.txt";
  char id[32] = "12";
  if (strcmp(kav_basename(path), "file.txt") != 0) return 1;
  if (MICR_SetDefaults_E13B(&record) != 0 || MICR_CalculateChecksum("12345678") != 0) return 2;
  if (offsetof(MICR_Line_E13B, client_option) != 2 * MICR_TEXT_SIZE) return 3;
  if (strcmp(spellno(21), "TWENTY ONE") != 0) return 4;
  fill_with_id("Z", id, 5);
  if (strcmp(id, "00012") != 0) return 5;
  return 0;
}
