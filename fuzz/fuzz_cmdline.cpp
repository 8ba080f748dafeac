// The Windows command-line splitter (platform/posix/command_line.h) three ways:
// - the input up to its first NUL, as a command line, split by the library and by a reference
//   written character by character from the C runtime's published rules;
// - the words split from it, quoted back into a line and split again, give the same words;
// - the input cut at its NUL bytes, as an argument vector (the program name without quotes,
//   which no line can carry), quoted into a line and split, gives that vector back.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/posix/command_line.h"

namespace {

using Words = std::vector<std::string>;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The rules, one character at a time.  Backslashes are counted and settled when the first
// other character arrives: before a quote, half of them stay (and an odd one escapes it).
Words Reference(std::string_view line) {
  Words words;
  std::size_t i = 0;
  while (i < line.size() && IsBlank(line[i])) ++i;
  if (i == line.size()) return words;
  std::string word;
  for (bool quoted = false; i < line.size() && (quoted || !IsBlank(line[i])); ++i) {
    if (line[i] == '"') quoted = !quoted;
    if (line[i] != '"') word += line[i];
  }
  words.push_back(word);
  for (;;) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i == line.size()) return words;
    word.clear();
    bool quoted = false;
    std::size_t backslashes = 0;
    for (; i < line.size() && (quoted || !IsBlank(line[i])); ++i) {
      const char c = line[i];
      if (c == '\\') {
        ++backslashes;
        continue;
      }
      if (c != '"') {
        word.append(backslashes, '\\') += c;
      } else if (backslashes % 2 == 1) {
        word.append(backslashes / 2, '\\') += '"';
      } else {
        word.append(backslashes / 2, '\\');
        const bool doubled = quoted && i + 1 < line.size() && line[i + 1] == '"';
        if (doubled) word += '"', ++i;
        if (!doubled) quoted = !quoted;
      }
      backslashes = 0;
    }
    words.push_back(word.append(backslashes, '\\'));
  }
}

// An argument as a line must write it: bare when it holds no blank or quote, else in quotes,
// with the backslashes in front of a quote (or of the closing quote) doubled.
std::string Quote(const std::string& word) {
  if (!word.empty() && word.find_first_of(" \t\"") == std::string::npos) return word;
  std::string out = "\"";
  std::size_t backslashes = 0;
  for (const char c : word) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    out.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\') += c;
    backslashes = 0;
  }
  return out.append(2 * backslashes, '\\') + "\"";
}

// The program name is quoted whole when it holds a blank or is empty; it holds no quote.  The
// bytes of `blanks` choose the run of blanks before each argument.
std::string Line(const Words& words, std::string_view blanks) {
  const std::string& program = words[0];
  std::string line = program.empty() || program.find_first_of(" \t") != std::string::npos
                         ? "\"" + program + "\""
                         : program;
  for (std::size_t i = 1; i < words.size(); ++i) {
    static const char* const kRuns[] = {" ", "\t", "  \t "};
    const auto choice = static_cast<unsigned char>(blanks.empty() ? 0 : blanks[i % blanks.size()]);
    line += kRuns[choice % 3] + Quote(words[i]);
  }
  return line;
}

void Check(bool good) {
  if (!good) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::string line = input.substr(0, input.find('\0'));
  const Words words = kav::platform::posix::command_line::split(line);
  Check(words == Reference(line));
  if (!words.empty()) Check(kav::platform::posix::command_line::split(Line(words, input)) == words);

  Words argv;
  for (std::size_t start = 0; start <= input.size();) {
    const std::size_t end = std::min(input.find('\0', start), input.size());
    argv.push_back(input.substr(start, end - start));
    start = end + 1;
  }
  std::erase(argv[0], '"');
  Check(kav::platform::posix::command_line::split(Line(argv, input)) == argv);
  return 0;
}
