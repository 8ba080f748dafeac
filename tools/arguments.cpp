// The kav tool's conventions for arguments: long options parsed by getopt_long (glibc's, or
// mingw-w64's on Windows) wherever they stand until "--", whole-number arguments, and "-" for
// standard input, which commands whose library function takes a file name get as a temporary
// copy.
#include <getopt.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "commands.h"
#include "host.h"
#include "progress.h"

namespace kav::tool {

long long parse_integer(std::string_view text, const char *what, long long low, long long high) {
  long long value = 0;
  const char *first = text.data();
  const char *last = first + text.size();
  if (!text.empty() && text[0] == '+') ++first;
  auto [end, error] = std::from_chars(first, last, value);
  if (text.empty() || error != std::errc() || end != last || value < low || value > high)
    throw UsageError("'" + std::string(text) + "' is not " + what);
  return value;
}

namespace {

bool progress_allowed = false;

constexpr char kMark = '\x01';

// getopt_long reads every word that begins with one dash as short options, of which kav has
// none; such words are arguments.  They are handed to it behind a mark, which no option begins
// with, and the mark comes off every word it gives back.  Words that begin with the mark get
// one more, so the marking can always be undone.
std::string marked(std::string_view word) {
  const bool dash = word.size() > 1 && word[0] == '-' && word[1] != '-';
  if (dash || (!word.empty() && word[0] == kMark)) return kMark + std::string(word);
  return std::string(word);
}

std::string unmarked(const char *word) { return word[0] == kMark ? word + 1 : word; }

// The option word getopt_long stopped at, without a value given with '='.
std::string option_word(const char *word) {
  std::string text = unmarked(word);
  return text.substr(0, text.find('='));
}

// Why getopt_long refused an option: unknown, or an abbreviation of several.
std::string refusal(const std::string &word, std::span<const option> longs) {
  const std::string_view name = std::string_view(word).substr(2);
  const auto matches = std::count_if(longs.begin(), longs.end() - 1, [&](const option &o) {
    return std::string_view(o.name).starts_with(name);
  });
  return (matches > 1 ? "ambiguous option '" : "unknown option '") + word + "'";
}

}  // namespace

void allow_progress_option() { progress_allowed = true; }

Arguments::Arguments(Args args, size_t min, size_t max, std::span<const Option> known,
                     bool options_first) {
  std::vector<Option> all(known.begin(), known.end());
  all.push_back({"--help", false});
  if (progress_allowed) all.push_back({"--progress", false});
  // getopt_long's table; each option returns 256 + its index.
  std::vector<option> longs;
  for (size_t i = 0; i < all.size(); ++i)
    longs.push_back({all[i].name + 2, all[i].takes_value ? required_argument : no_argument, nullptr,
                     int(256 + i)});
  longs.push_back({nullptr, 0, nullptr, 0});
  std::vector<std::string> words{"kav"};
  for (const char *word : args) words.push_back(marked(word));
  std::vector<char *> argv;
  for (std::string &word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  opterr = 0;
  optind = 0;  // starts getopt_long afresh (glibc and mingw-w64 alike)
  const char *const shortopts = options_first ? "+:" : ":";
  for (int code; (code = getopt_long(int(argv.size() - 1), argv.data(), shortopts, longs.data(),
                                     nullptr)) != -1;) {
    if (code >= 256) {
      const Option &o = all[size_t(code - 256)];
      if (std::strcmp(o.name, "--help") == 0) throw HelpRequest();
      options_.emplace_back(o.name, optarg != nullptr ? unmarked(optarg) : "");
      continue;
    }
    // A known option without its value, or with one it does not take (glibc says '?' for
    // that, mingw-w64 ':'); else an unknown or ambiguous one.
    if (optopt >= 256) {
      const Option &o = all[size_t(optopt - 256)];
      throw UsageError(std::string(o.name) +
                       (o.takes_value ? " needs a value" : " takes no value"));
    }
    const std::string word = option_word(argv[optind - 1]);
    throw UsageError(refusal(word, longs));
  }
  for (int i = optind; i < int(argv.size() - 1); ++i) words_.push_back(unmarked(argv[size_t(i)]));
  for (std::string &word : words_) positional_.push_back(word.data());
  if (progress_allowed && has("--progress")) force_progress();
  if (positional_.size() < min) throw UsageError("missing argument (see 'kav help')");
  if (positional_.size() > max) throw UsageError("too many arguments (see 'kav help')");
}

std::optional<std::string> Arguments::get(std::string_view name) const {
  std::optional<std::string> value;
  for (const auto &[option, text] : options_)
    if (option == name) value = text;
  return value;
}

bool is_readable_file(const char *path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return false;
  std::FILE *file = std::fopen(path, "rb");
  if (file != nullptr) std::fclose(file);
  return file != nullptr;
}

std::string unreadable_reason(const char *path) {
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  if (error) return error.message();
  if (std::filesystem::is_directory(status)) return "it is a directory";
  if (!std::filesystem::is_regular_file(status)) return "it is not a regular file";
  std::FILE *file = std::fopen(path, "rb");
  if (file == nullptr) return std::strerror(errno);
  std::fclose(file);
  return "it could not be read to its end";
}

InputPath::InputPath(const char *argument) : path_(argument) {
  if (!is_standard_input(argument)) return;
  path_ = copy_standard_input();
  temporary_ = true;
}

InputPath::~InputPath() {
  if (temporary_) std::remove(path_.c_str());
}

}  // namespace kav::tool
