// Cost of the per-cheque calls of a cheque print run: the amount in words,
// the MICR code line and an identifier template.  The amount in words has a peer: ICU's
// rule-based spell-out format for US English, its result converted to UTF-8 as a program that
// prints it needs; the code line and the templates have none.
#include <benchmark/benchmark.h>
#include <unicode/locid.h>
#include <unicode/rbnf.h>
#include <unicode/unistr.h>

#include <cstring>
#include <memory>
#include <string>

#include "comparison.h"
#include "kavutil.h"

namespace {

void BM_spellno(benchmark::State &state) {
  long n = 1;
  for (auto _ : state) {
    benchmark::DoNotOptimize(spellno(n));
    n = (n * 7919 + 13) % 2147483647;
  }
}
BENCHMARK(BM_spellno)->Repetitions(5);

void BM_icu_spellout(benchmark::State &state) {
  UErrorCode status = U_ZERO_ERROR;
  icu::RuleBasedNumberFormat format(icu::URBNF_SPELLOUT, icu::Locale::getUS(), status);
  if (U_FAILURE(status)) state.SkipWithError("no spell-out rules");
  long n = 1;
  std::string words;
  for (auto _ : state) {
    icu::UnicodeString text;
    format.format(static_cast<int32_t>(n), text);
    words.clear();
    benchmark::DoNotOptimize(text.toUTF8String(words));
    n = (n * 7919 + 13) % 2147483647;
  }
}
BENCHMARK(BM_icu_spellout)->Repetitions(5);

void BM_micr_build_line(benchmark::State &state) {
  auto record = std::make_unique<MICR_Line_E13B>();
  MICR_DecodeFormat_E13B(nullptr, record.get());
  std::strcpy(record->transit, "123456780");
  std::strcpy(record->on_us, "000123456789");
  for (auto _ : state) benchmark::DoNotOptimize(MICR_BuildLine_E13B(record.get(), nullptr));
}
BENCHMARK(BM_micr_build_line);

void BM_fill_with_id(benchmark::State &state) {
  char tmpl[] = "TUSR-<\"CHQ\"Z";
  char buffer[64];
  for (auto _ : state) {
    std::strcpy(buffer, "  chq 12-34/5 ");
    fill_with_id(tmpl, buffer, 12);
    benchmark::DoNotOptimize(buffer);
  }
}
BENCHMARK(BM_fill_with_id);

}  // namespace

int main(int argc, char **argv) {
  return bench::RunWithComparisons(argc, argv,
                                   {{"spellno, varying 32-bit numbers", "BM_spellno",
                                     "BM_icu_spellout", "ICU spell-out (en_US)", "r1"}},
                                   {.interleave = true});
}
