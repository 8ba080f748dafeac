// "kav demo": a short walk through the library as a cheque-printing client
// uses it, each step printing the call and what came back.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "commands.h"
#include "kavutil.h"

namespace kav::tool {
namespace {

void heading(const char *text) { std::printf("\n== %s\n", text); }

void strings_walk() {
  heading("Strings: a form file's name, a payee's name, a memo broken into lines");
  char path[] = "forms/cheques/standard.frm";
  std::printf("kav_basename(\"%s\") -> \"%s\"\n", path, kav_basename(path));
  char payee[] = "  ACME \t Office   Supplies  ";
  std::printf("stripblanks_begendmult(\"%s\") -> ", payee);
  stripblanks_begendmult(payee, unsigned(std::strlen(payee)));
  std::printf("\"%s\"\n", payee);
  const char *memo = "Invoice 2024-0457 for toner, paper and two replacement drums";
  std::printf("kav_strbrk at 24 columns on \"%s\":\n", memo);
  char piece[25];
  for (int n = kav_strbrk(piece, memo, 24); n > 0; n = kav_strbrk(piece, nullptr, 24))
    std::printf("  |%-24s| (%d)\n", piece, n);
  std::printf("dround(1234.565, 2) -> %.2f\n", dround(1234.565, 2));
}

void cheque_walk() {
  heading("Cheque: the amount in words and the MICR code line");
  std::printf("spellno(1234) -> \"%s\"\n", spellno(1234));
  std::printf("MICR_CalculateChecksum(\"12345678\") -> %d, so the routing number is 123456780\n",
              MICR_CalculateChecksum("12345678"));
  auto micr = std::make_unique<MICR_Line_E13B>();
  MICR_DecodeFormat_E13B(nullptr, micr.get());
  std::strcpy(micr->transit, "123456780");
  std::strcpy(micr->on_us, "000123456789");
  std::printf("template  \"%s\"\n", micr->format);
  std::printf("code line \"%s\" (A transit, C on-us symbol)\n",
              MICR_BuildLine_E13B(micr.get(), nullptr));
}

void identifier_walk() {
  heading("Identifiers: shaping a cheque number and an archive key");
  char number[64] = " chq 12/34 ";
  std::printf("fill_with_id(\"TSZ\", \"%s\", 10) -> ", number);
  fill_with_id(const_cast<char *>("TSZ"), number, 10);
  std::printf("\"%s\"\n", number);
  char month[64] = "March";
  std::printf("fill_with_id(\"M<\\\"2024-\\\"\", \"%s\", 0) -> ", month);
  fill_with_id(const_cast<char *>("M<\"2024-\""), month, 0);
  std::printf("\"%s\"\n", month);
  char key[64] = "INV000123";
  std::printf("round_down_id(\"%s\", 100) -> ", key);
  round_down_id(key, 100);
  std::printf("\"%s\"\n", key);
}

}  // namespace

int run_demo(Args args) {
  expect_arguments(args, 0, 0);
  std::printf("kavutil demo: what a cheque printer asks of the library\n");
  strings_walk();
  cheque_walk();
  identifier_walk();
  return 0;
}

}  // namespace kav::tool
