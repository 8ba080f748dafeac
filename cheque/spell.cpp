// spell.cpp - whole amounts in upper-case English words, for cheques.
//
// spellno writes the number's decimal digits and walks them from the most
// significant one.  A digit's distance from the end says its role: the
// hundreds, tens or ones digit of a group of three.  Hundreds and tens words
// are appended as they come; at each ones digit the group is closed with its
// ones word and its scale word (THOUSAND, MILLION, BILLION), unless the whole
// group was zero.  Every append puts a space in front, so the result starts one
// character into the buffer.  A teen spoken at the tens digit zeroes the ones
// digit so that it is not spoken twice.
//
// The result lives in one static buffer of 256 characters; appends stop at its
// end whatever happens.  spell_ones and spell_tens are the exported building
// blocks for one digit and a two-digit group.

#include <cstdio>
#include <cstring>

#include "kavutil.h"

namespace {

constexpr const char* kOnes[10] = {"",     "ONE", "TWO",   "THREE", "FOUR",
                                   "FIVE", "SIX", "SEVEN", "EIGHT", "NINE"};
constexpr const char* kTens[10] = {"",      "",      "TWENTY",  "THIRTY", "FORTY",
                                   "FIFTY", "SIXTY", "SEVENTY", "EIGHTY", "NINETY"};
constexpr const char* kTeens[10] = {"TEN",     "ELEVEN",  "TWELVE",    "THIRTEEN", "FOURTEEN",
                                    "FIFTEEN", "SIXTEEN", "SEVENTEEN", "EIGHTEEN", "NINETEEN"};

// Words stop at BILLION and the buffer is sized for 32-bit values, so larger
// numbers (possible where long has 64 bits) are refused like negative ones.
constexpr long kLargestSpelled = 2147483647L;

constexpr size_t kWordSize = 16;  // SEVENTEEN and its NUL, with room to spare

char g_words[256];

enum class Mark { kNone, kHundreds, kTens, kOnes };

int DigitValue(const char* digit) {
  if (digit == nullptr || *digit < '0' || *digit > '9') return 0;
  return *digit - '0';
}

void CopyWord(char* word, const char* text) {
  if (word != nullptr) std::strcpy(word, text);
}

// Appends text to the result, stopping silently at the end of the buffer.
void Append(const char* text) {
  size_t used = std::strlen(g_words);
  std::snprintf(g_words + used, sizeof g_words - used, "%s", text);
}

const char* ScaleWord(size_t place) {
  switch (place) {
    case 10:
      return "BILLION";
    case 7:
      return "MILLION";
    case 4:
      return "THOUSAND";
    default:
      return "";
  }
}

void SpeakHundreds(const char* digit, Mark* mark) {
  char word[kWordSize];
  spell_ones(digit, word);
  if (word[0] == '\0') return;
  Append(" ");
  Append(word);
  Append(" HUNDRED");
  *mark = Mark::kHundreds;
}

// digit is followed by the ones digit of its group, which a teen sets to 0.
void SpeakTens(char* digit, Mark* mark) {
  char word[kWordSize];
  if (spell_tens(digit, word) != 0) {
    Append(" ");
    Append(word);
    *mark = Mark::kTens;
  }
  if (digit[0] == '1') digit[1] = '0';
}

void SpeakOnesAndScale(const char* digit, size_t place, Mark* mark) {
  char word[kWordSize];
  spell_ones(digit, word);
  if (word[0] != '\0') *mark = Mark::kOnes;
  if (*mark == Mark::kNone) return;
  Append(" ");
  Append(word);
  if (*mark == Mark::kOnes) Append(" ");
  Append(ScaleWord(place));
  *mark = Mark::kNone;
}

}  // namespace

extern "C" KAV_API const char* KAV_CALL spellno(long number) KAV_NOEXCEPT {
  if (number < 0 || number > kLargestSpelled) return nullptr;
  if (number == 0) return "ZERO";

  g_words[0] = '\0';
  char digits[24];
  std::snprintf(digits, sizeof digits, "%ld", number);
  size_t length = std::strlen(digits);

  Mark mark = Mark::kNone;
  for (size_t i = 0; i < length; ++i) {
    size_t place = length - i;  // digits from this one to the end
    switch (place % 3) {
      case 0:
        SpeakHundreds(digits + i, &mark);
        break;
      case 2:
        SpeakTens(digits + i, &mark);
        break;
      default:
        SpeakOnesAndScale(digits + i, place, &mark);
        break;
    }
  }

  size_t used = std::strlen(g_words);
  if (used > 0 && g_words[used - 1] == ' ') g_words[used - 1] = '\0';
  return g_words + 1;  // past the space that the first append put in front
}

extern "C" KAV_API int KAV_CALL spell_ones(const char* digit, char* word) KAV_NOEXCEPT {
  int value = DigitValue(digit);
  CopyWord(word, kOnes[value]);
  return value;
}

extern "C" KAV_API int KAV_CALL spell_tens(const char* digits, char* word) KAV_NOEXCEPT {
  int tens = DigitValue(digits);
  if (tens != 1) {
    CopyWord(word, kTens[tens]);
    return tens;
  }
  CopyWord(word, kTeens[DigitValue(digits + 1)]);
  return 1;
}
