/* consumer.c - a C program built against kavutil the way its users build one: through
 * pkg-config against an installed copy, or inside a parent project (add_subdirectory). */
#include <kavutil.h>
#include <stdio.h>
#include <string.h>

#if KAVUTIL_VERSION_MAJOR != 1
#error "this program is written for kavutil 1.x"
#endif

int main(void) {
  const char *words = spellno(1234);
  if (strcmp(words, "ONE THOUSAND TWO HUNDRED THIRTY FOUR") != 0) return 1;
  if (MICR_CalculateChecksum("12345678") != 0) return 2;
  printf("kavutil %s: %s\n", KAVUTIL_VERSION_STRING, words);
  return 0;
}
