// The cheque-output commands of the kav tool: amounts in words, the MICR
// code line, routing check digits and identifier templates.
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "commands.h"
#include "kavutil.h"

namespace kav::tool {
namespace {

int spell(Args args) {
  const Arguments a(args, 1, 1);
  long long number = parse_integer(a[0], "a whole number", LLONG_MIN, LLONG_MAX);
  const char *words = number > LONG_MAX || number < LONG_MIN ? nullptr : spellno(long(number));
  if (words == nullptr)
    throw Failure(std::string(a[0]) + " has no words (0 to 2147483647 are spelled)");
  std::printf("%s\n", words);
  return 0;
}

// What a field of the code line can print: digits, the symbols A (transit), B (amount), C
// (on-us) and D or - (dash), and blanks.  The library prints anything else as a blank, which
// would change the number on the cheque without a word.
constexpr char kPrintable[] = "0123456789ABCD- ";

// Copies an option's value into one of the record's text fields, refusing
// texts the field cannot hold or the line cannot print.
void set_field(char (&field)[MICR_TEXT_SIZE], const Arguments &options, const char *name) {
  std::optional<std::string> value = options.get(name);
  if (!value) return;
  if (value->size() >= MICR_TEXT_SIZE)
    throw UsageError(std::string(name) + " is longer than 1023 characters");
  const size_t bad = value->find_first_not_of(kPrintable);
  if (bad != std::string::npos)
    throw UsageError(std::string(name) + " '" + *value + "' holds '" + (*value)[bad] +
                     "', which a MICR line cannot print (digits, A B C D, - and blanks only)");
  std::strcpy(field, value->c_str());
}

int micr(Args args) {
  static constexpr Option known[] = {{"--transit", true}, {"--on-us", true},     {"--amount", true},
                                     {"--epc", true},     {"--aux-on-us", true}, {"--format", true},
                                     {"--symbols", true}};
  const Arguments options(args, 0, 0, known);
  std::optional<std::string> format = options.get("--format");
  if (format && format->size() >= MICR_TEXT_SIZE)
    throw UsageError("--format is longer than 1023 characters");
  std::optional<std::string> symbols = options.get("--symbols");
  if (symbols && symbols->size() != 5)
    throw UsageError(
        "--symbols needs exactly five characters (transit, amount, on-us, dash, blank)");

  auto record = std::make_unique<MICR_Line_E13B>();
  MICR_DecodeFormat_E13B(format ? format->c_str() : nullptr, record.get());
  set_field(record->transit, options, "--transit");
  set_field(record->on_us, options, "--on-us");
  set_field(record->amount, options, "--amount");
  set_field(record->epc, options, "--epc");
  set_field(record->aux_on_us, options, "--aux-on-us");
  std::printf("%s\n", MICR_BuildLine_E13B(record.get(), symbols ? symbols->c_str() : nullptr));
  return 0;
}

int routing(Args args) {
  const Arguments a(args, 1, 1);
  std::string digits = a[0];
  bool all_digits = digits.find_first_not_of("0123456789") == std::string::npos;
  if (!all_digits || (digits.size() != 8 && digits.size() != 9))
    throw UsageError("'" + digits + "' is not 8 or 9 digits");
  int check = MICR_CalculateChecksum(digits.c_str());
  if (digits.size() == 8) {
    std::printf("%d\n", check);
    return 0;
  }
  if (digits[8] - '0' == check) {
    std::printf("%s: valid routing number\n", digits.c_str());
    return 0;
  }
  std::printf("%s: not valid (the check digit should be %d)\n", digits.c_str(), check);
  return 1;
}

int idfmt(Args args) {
  const Arguments a(args, 2, 3);
  std::string tmpl = a[0];
  long long width = a.size() == 3 ? parse_integer(a[2], "a width from 0 to 100000", 0, 100000) : 0;
  // Room for every literal of the template, the zero-fill width and the year.
  std::vector<char> buffer(std::strlen(a[1]) + tmpl.size() + size_t(width) + 64, '\0');
  std::strcpy(buffer.data(), a[1]);
  fill_with_id(tmpl.data(), buffer.data(), int(width));
  std::printf("%s\n", buffer.data());
  return 0;
}

int idround(Args args) {
  const Arguments a(args, 2, 2);
  int step = int(parse_integer(a[1], "a step (a 32-bit whole number)", INT_MIN, INT_MAX));
  std::string identifier = a[0];
  round_down_id(identifier.data(), step);
  std::printf("%s\n", identifier.c_str());
  return 0;
}

const Command kCommands[] = {
    {"spell", "NUMBER",
     "Prints NUMBER (0 to 2147483647) in upper-case English words, as printed on a cheque;\n"
     "a number outside that range is an error.",
     spell},
    {"micr",
     "[--transit TEXT] [--on-us TEXT] [--amount TEXT] [--epc TEXT] [--aux-on-us TEXT] "
     "[--format TEMPLATE] [--symbols CODES]",
     "Builds a MICR E-13B code line.  TEMPLATE places the fields: runs of t, o, $, e and a\n"
     "are the transit, on-us, amount, external processing code and auxiliary on-us fields\n"
     "(the default has 9 t, 18 o and 10 a); A, B, C and D (or -) are the transit, amount,\n"
     "on-us and dash symbols; digits stay.  A field's TEXT is printed right-aligned in each\n"
     "run of its letter and cut to the run's width; it may hold digits, the symbols A to D,\n"
     "- and blanks, and any other character is refused (the line would show a blank in its\n"
     "place).  CODES gives the font's five codes for the transit, amount, on-us and dash\n"
     "symbols and a blank (by default \"ABCD \", ending with a space).",
     micr},
    {"routing", "DIGITS",
     "With 8 digits, prints the routing number's check digit.  With 9 digits, says whether\n"
     "the routing number is valid; the exit status is 1 when it is not.",
     routing},
    {"idfmt", "TEMPLATE IDENTIFIER [WIDTH]",
     "Applies an identifier template to IDENTIFIER: T trims, U upper-cases, S keeps\n"
     "letters, digits, - and _, Rc removes c, M turns a month name into its number, Y+ and\n"
     "Y- step a year, <\"text\" and >\"text\" add a prefix and a suffix, Z zero-fills to\n"
     "WIDTH (default 0), and - separates.",
     idfmt},
    {"idround", "IDENTIFIER STEP",
     "Rounds the number at the end of IDENTIFIER down to a multiple of STEP, keeping its\n"
     "width.",
     idround},
};

}  // namespace

std::span<const Command> cheque_commands() { return kCommands; }

}  // namespace kav::tool
