// The kav tool's conventions for arguments: long options wherever they stand
// until "--", whole-number arguments, and "-" for standard input, which
// commands whose library function takes a file name get as a temporary copy.
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "commands.h"
#include "host.h"

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

Arguments::Arguments(Args args, size_t min, size_t max, std::span<const Option> known) {
  bool options_ended = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string_view word = args[i];
    if (options_ended || !word.starts_with("--")) {
      positional_.push_back(args[i]);
      continue;
    }
    if (word == "--") {
      options_ended = true;
      continue;
    }
    const Option *option = nullptr;
    for (const Option &o : known)
      if (word == o.name) option = &o;
    if (option == nullptr) throw UsageError("unknown option '" + std::string(word) + "'");
    if (option->takes_value && i + 1 == args.size())
      throw UsageError(std::string(word) + " needs a value");
    options_.emplace_back(word, option->takes_value ? args[++i] : "");
  }
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
