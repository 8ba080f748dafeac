// spell_reference.h - spellno as it was written before it copied words with known lengths: the
// digits from snprintf, every word through spell_ones and spell_tens, every append measured
// with strlen.  spell_test compares spellno with it, byte for byte.
#pragma once

#include <cstdio>
#include <cstring>
#include <string>

#include "kavutil.h"

namespace spell_reference {

enum class Mark { kNone, kHundreds, kTens, kOnes };

inline const char* ScaleWord(std::size_t place) {
  return place == 10 ? "BILLION" : place == 7 ? "MILLION" : place == 4 ? "THOUSAND" : "";
}

// The words for a number from 1 to 2147483647.
inline std::string Spell(long number) {
  std::string text;
  char digits[24];
  std::snprintf(digits, sizeof digits, "%ld", number);
  const std::size_t length = std::strlen(digits);
  Mark mark = Mark::kNone;
  char word[16];
  for (std::size_t i = 0; i < length; ++i) {
    const std::size_t place = length - i;
    if (place % 3 == 0) {
      spell_ones(digits + i, word);
      if (word[0] == '\0') continue;
      text += std::string(" ") + word + " HUNDRED";
      mark = Mark::kHundreds;
    } else if (place % 3 == 2) {
      if (spell_tens(digits + i, word) != 0) {
        text += std::string(" ") + word;
        mark = Mark::kTens;
      }
      if (digits[i] == '1') digits[i + 1] = '0';
    } else {
      spell_ones(digits + i, word);
      if (word[0] != '\0') mark = Mark::kOnes;
      if (mark == Mark::kNone) continue;
      text += std::string(" ") + word;
      if (mark == Mark::kOnes) text += " ";
      text += ScaleWord(place);
      mark = Mark::kNone;
    }
  }
  if (!text.empty() && text.back() == ' ') text.pop_back();
  return text.substr(1);
}

}  // namespace spell_reference
