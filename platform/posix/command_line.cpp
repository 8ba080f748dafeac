// command_line.cpp - splitting a Windows command line into words, as the Microsoft C runtime
// does when a program starts, and the program name CreateProcess looks for (the rules are
// listed in command_line.h).
//
// One pass over the line: the program name by its simple quote-toggling rule, then each
// argument by counting the backslashes in front of every double quote.

#include "platform/posix/command_line.h"

#include <cstddef>

#include "base/ascii.h"

namespace kav::platform::posix::command_line {
namespace {

using kav::base::is_blank;

std::size_t SkipBlanks(std::string_view line, std::size_t at) {
  while (at < line.size() && is_blank(line[at])) ++at;
  return at;
}

// The program name: quotes toggle quoting and are dropped; nothing is escaped.
std::size_t ReadProgramName(std::string_view line, std::size_t at, std::string& word) {
  bool quoted = false;
  for (; at < line.size() && (quoted || !is_blank(line[at])); ++at) {
    if (line[at] == '"')
      quoted = !quoted;
    else
      word += line[at];
  }
  return at;
}

// One argument from at; returns where it ended.
std::size_t ReadArgument(std::string_view line, std::size_t at, std::string& word) {
  bool quoted = false;
  while (at < line.size() && (quoted || !is_blank(line[at]))) {
    std::size_t backslashes = 0;
    while (at < line.size() && line[at] == '\\') ++backslashes, ++at;
    const bool quote = at < line.size() && line[at] == '"';
    word.append(quote ? backslashes / 2 : backslashes, '\\');
    if (!quote) {
      if (backslashes == 0) word += line[at++];  // an ordinary character
      continue;
    }
    if (backslashes % 2 == 1) {
      word += '"';
    } else if (quoted && at + 1 < line.size() && line[at + 1] == '"') {
      word += '"';  // "" inside quotes: a literal quote, and the quoted part goes on
      ++at;
    } else {
      quoted = !quoted;
    }
    ++at;
  }
  return at;
}

}  // namespace

std::vector<std::string> split(std::string_view line) {
  std::vector<std::string> words;
  std::size_t at = SkipBlanks(line, 0);
  if (at == line.size()) return words;
  at = ReadProgramName(line, at, words.emplace_back());
  while ((at = SkipBlanks(line, at)) < line.size())
    at = ReadArgument(line, at, words.emplace_back());
  return words;
}

ProgramName program_name(std::string_view line) {
  if (line.starts_with('"')) {
    const std::size_t closing = line.find('"', 1);
    if (closing != std::string_view::npos) return {std::string(line.substr(1, closing - 1)), true};
  }
  std::size_t end = 0;
  while (end < line.size() && !is_blank(line[end])) ++end;
  return {std::string(line.substr(0, end)), false};
}

}  // namespace kav::platform::posix::command_line
