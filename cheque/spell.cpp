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
// The result lives in one static buffer of 256 characters, which the longest
// result (about a hundred characters) fits with room to spare; the words are
// copied in with their lengths known, without formatting or measuring the text
// again.  spell_ones and spell_tens are the exported building blocks for one
// digit and a two-digit group.

#include <cstring>
#include <string_view>

#include "kavutil.h"

namespace {

// Words stop at BILLION and the buffer is sized for 32-bit values, so larger
// numbers (possible where long has 64 bits) are refused like negative ones.
constexpr long kLargestSpelled = 2147483647L;

char g_words[256];

constexpr std::string_view kOnes[10] = {"",     "ONE", "TWO",   "THREE", "FOUR",
                                        "FIVE", "SIX", "SEVEN", "EIGHT", "NINE"};
constexpr std::string_view kTens[10] = {"",      "",      "TWENTY",  "THIRTY", "FORTY",
                                        "FIFTY", "SIXTY", "SEVENTY", "EIGHTY", "NINETY"};
constexpr std::string_view kTeens[10] = {"TEN",     "ELEVEN",  "TWELVE",    "THIRTEEN", "FOURTEEN",
                                         "FIFTEEN", "SIXTEEN", "SEVENTEEN", "EIGHTEEN", "NINETEEN"};

enum class Mark { kNone, kHundreds, kTens, kOnes };

// Appends to the result buffer; the longest result fits it several times over.
class Words {
 public:
  explicit Words(char* buffer) : end_(buffer) {}
  char* end() const { return end_; }
  void Add(std::string_view text) {
    std::memcpy(end_, text.data(), text.size());
    end_ += text.size();
  }
  void Add(char c) { *end_++ = c; }

 private:
  char* end_;
};

std::string_view ScaleOf(std::size_t place) {
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

// The decimal digits of number (1 to 10 of them) as values; returns their count.
std::size_t DigitsOf(unsigned long number, int digits[10]) {
  int reversed[10];
  std::size_t length = 0;
  for (; number != 0; number /= 10) reversed[length++] = static_cast<int>(number % 10);
  for (std::size_t i = 0; i < length; ++i) digits[i] = reversed[length - 1 - i];
  return length;
}

int DigitValue(const char* digit) {
  if (digit == nullptr || *digit < '0' || *digit > '9') return 0;
  return *digit - '0';
}

void CopyWord(char* word, std::string_view text) {
  if (word == nullptr) return;
  std::memcpy(word, text.data(), text.size());
  word[text.size()] = '\0';
}

}  // namespace

extern "C" KAV_API const char* KAV_CALL spellno(long number) KAV_NOEXCEPT {
  if (number < 0 || number > kLargestSpelled) return nullptr;
  if (number == 0) return "ZERO";

  int digits[10];
  const std::size_t length = DigitsOf(static_cast<unsigned long>(number), digits);
  Words words(g_words);
  Mark mark = Mark::kNone;
  for (std::size_t i = 0; i < length; ++i) {
    const std::size_t place = length - i;  // digits from this one to the end
    const int digit = digits[i];
    switch (place % 3) {
      case 0:  // hundreds
        if (digit != 0) {
          words.Add(' ');
          words.Add(kOnes[digit]);
          words.Add(" HUNDRED");
          mark = Mark::kHundreds;
        }
        break;
      case 2:  // tens; a teen takes the ones digit with it
        if (digit != 0) {
          words.Add(' ');
          words.Add(digit == 1 ? kTeens[digits[i + 1]] : kTens[digit]);
          mark = Mark::kTens;
        }
        if (digit == 1) digits[i + 1] = 0;
        break;
      default:  // ones, and the group's scale
        if (digit != 0) mark = Mark::kOnes;
        if (mark == Mark::kNone) break;
        words.Add(' ');
        words.Add(kOnes[digit]);
        if (mark == Mark::kOnes) words.Add(' ');
        words.Add(ScaleOf(place));
        mark = Mark::kNone;
        break;
    }
  }

  char* end = words.end();
  if (end[-1] == ' ') --end;
  *end = '\0';
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
