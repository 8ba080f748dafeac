// micr.cpp - the magnetic-ink (E-13B) code line of a cheque.
//
// The caller owns one MICR_Line_E13B record.  It resets the record and installs
// a layout template, fills in the field texts, then builds the line.  Building
// walks the template: each run of a field letter shows that field's text
// right-aligned in the run (cut to the run when longer), any other character is
// copied.  Every position is then mapped to a code of the caller's MICR font:
// the four E-13B symbols, the digits, and one blank code for everything else.
// Leading blanks are dropped.  The routing-number check digit lives here too.
//
// All state is in the caller's record.  Its text arrays are read only up to
// their 1023rd character, so an array filled without a NUL is never overrun.

#include <cstddef>
#include <cstring>

#include "base/ascii.h"
#include "kavutil.h"

namespace {

constexpr size_t kMaxText = MICR_TEXT_SIZE - 1;

constexpr char kDefaultFormat[] =
    "         CaaaaaaaaaaC AtttttttttAooooooooooooooooooC             ";

// Font codes, in the order of the symbol string.
enum SymbolIndex { kTransit, kAmount, kOnUs, kDash, kBlank, kSymbolCount };
constexpr char kDefaultSymbols[kSymbolCount + 1] = "ABCD ";

constexpr double kDefaultSizes[7] = {0.625, 0.25, 0.1875, 0.25, 0.125, 0.0625, 0.013};

// The 54 ints: this head, twenty zeros, the middle part, twenty-one zeros.
constexpr int kDefaultValuesHead[] = {44, 65, 5, 1, 13, 33, 44, 44};
constexpr size_t kDefaultValuesMiddleAt = 8 + 20;
constexpr int kDefaultValuesMiddle[] = {12, 20, 11, 2, -1};
static_assert(kDefaultValuesMiddleAt + 5 + 21 ==
              sizeof(MICR_Line_E13B::client_values) / sizeof(int));

void SetDefaultValues(int* values) {
  std::memset(values, 0, sizeof(MICR_Line_E13B::client_values));
  std::memcpy(values, kDefaultValuesHead, sizeof kDefaultValuesHead);
  std::memcpy(values + kDefaultValuesMiddleAt, kDefaultValuesMiddle, sizeof kDefaultValuesMiddle);
}

void ChooseSymbols(const char* symbols, char* codes) {
  std::memcpy(codes, kDefaultSymbols, kSymbolCount);
  if (symbols == nullptr) return;
  // A symbol string shorter than five characters replaces only the codes it
  // has; the others keep their defaults.
  for (size_t i = 0; i < kSymbolCount && symbols[i] != '\0'; ++i) codes[i] = symbols[i];
}

// The field text that a template letter stands for, or null for other characters.
const char* FieldText(const MICR_Line_E13B& record, char letter) {
  switch (letter) {
    case '$':
      return record.amount;
    case 'a':
      return record.aux_on_us;
    case 'e':
      return record.epc;
    case 'o':
      return record.on_us;
    case 't':
      return record.transit;
    default:
      return nullptr;
  }
}

// Writes text into the width positions at dest as "%*.*s" would with width and
// precision both width: spaces first when shorter, its first width characters
// when longer.  width never exceeds kMaxText.
void PlaceRightAligned(char* dest, size_t width, const char* text) {
  size_t shown = strnlen(text, width);
  size_t padding = width - shown;
  std::memset(dest, ' ', padding);
  std::memcpy(dest + padding, text, shown);
}

// Lays the first length characters of the template out into line; every
// position is written.
void LayOutFields(const MICR_Line_E13B& record, size_t length, char* line) {
  const char* format = record.format;
  size_t at = 0;
  while (at < length) {
    char letter = format[at];
    const char* text = FieldText(record, letter);
    if (text == nullptr) {
      line[at++] = letter;
      continue;
    }
    size_t run = 1;
    while (at + run < length && format[at + run] == letter) ++run;
    PlaceRightAligned(line + at, run, text);
    at += run;
  }
}

char FontCode(char c, const char* codes) {
  switch (c) {
    case 'A':
      return codes[kTransit];
    case 'B':
      return codes[kAmount];
    case 'C':
      return codes[kOnUs];
    case 'D':
    case '-':
      return codes[kDash];
    default:
      return kav::base::is_digit(c) ? c : codes[kBlank];
  }
}

void DropLeadingBlanks(char* line, size_t length, char blank) {
  size_t skip = 0;
  while (skip < length && line[skip] == blank) ++skip;
  std::memmove(line, line + skip, length - skip + 1);
}

// A character other than a digit counts as 0, which keeps the check digit in 0 to 9.
int DigitValue(char c) { return kav::base::is_digit(c) ? c - '0' : 0; }

}  // namespace

extern "C" KAV_API int KAV_CALL MICR_SetDefaults_E13B(MICR_Line_E13B* record) KAV_NOEXCEPT {
  if (record == nullptr) return 1;
  *record = MICR_Line_E13B{};
  record->client_option = 1;
  record->client_offsets[0] = 0.0;
  record->client_offsets[1] = 0.0;
  std::memcpy(record->client_sizes, kDefaultSizes, sizeof kDefaultSizes);
  SetDefaultValues(record->client_values);
  std::memcpy(record->format, kDefaultFormat, sizeof kDefaultFormat);
  return 0;
}

extern "C" KAV_API void KAV_CALL MICR_DecodeFormat_E13B(const char* format,
                                                        MICR_Line_E13B* record) KAV_NOEXCEPT {
  // There is nothing to reset without a record.
  if (record == nullptr) return;
  MICR_SetDefaults_E13B(record);
  if (format == nullptr || format[0] == '\0') return;
  size_t length = strnlen(format, kMaxText);
  std::memcpy(record->format, format, length);
  record->format[length] = '\0';
}

extern "C" KAV_API char* KAV_CALL MICR_BuildLine_E13B(MICR_Line_E13B* record,
                                                      const char* symbols) KAV_NOEXCEPT {
  if (record == nullptr) return nullptr;
  char codes[kSymbolCount];
  ChooseSymbols(symbols, codes);

  char* line = record->line;
  size_t length = strnlen(record->format, kMaxText);
  LayOutFields(*record, length, line);
  line[length] = '\0';
  for (size_t i = 0; i < length; ++i) line[i] = FontCode(line[i], codes);
  // An empty or all-blank template thereby gives an empty line.
  DropLeadingBlanks(line, length, codes[kBlank]);
  return line;
}

extern "C" KAV_API int KAV_CALL MICR_CalculateChecksum(const char* digits) KAV_NOEXCEPT {
  if (digits == nullptr || strnlen(digits, 8) < 8) return -1;
  int d[8];
  for (int i = 0; i < 8; ++i) d[i] = DigitValue(digits[i]);
  int sum = 3 * (d[0] + d[3] + d[6]) + 7 * (d[1] + d[4] + d[7]) + 1 * (d[2] + d[5]);
  return (10 - sum % 10) % 10;
}
