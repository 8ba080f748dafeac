// command_line.h - a Windows command line split into its program name and arguments.
//
// Windows passes a program one string; CreateProcess finds the program to start in it by a rule
// of its own, and the C runtime of the started program splits it into argv by another.  Where
// kavutil starts programs without Windows, it reads the line itself with both rules, so a
// ported program starts the program and gets the arguments a Windows build would have.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kav::platform::posix::command_line {

// The words of line by the Microsoft C runtime's rules:
// - blanks (space, tab) separate words; leading blanks are skipped;
// - the first word, the program name, ends at the first blank outside double quotes; its
//   quotes are dropped and its backslashes are ordinary characters;
// - in the other words, 2n backslashes before a double quote give n backslashes and the quote
//   opens or closes a quoted part, 2n+1 give n backslashes and a literal quote; other
//   backslashes are literal; inside a quoted part "" gives one literal quote and the part goes
//   on; a quoted part may hold blanks and may be empty ("" is an empty argument).
// An empty or blank line gives no words.
std::vector<std::string> split(std::string_view line);

// The program CreateProcess looks for when it is given no separate program name:
// - a line that opens with a double quote that is closed later names the text between the two
//   quotes; what follows the closing quote is not part of the name (in `"prog"x y` the program
//   is prog, while the C runtime makes progx its argv[0]);
// - any other line names its text up to the first blank (space or tab), quotes kept as
//   characters, so `pr"og" a` names pr"og" and a line that starts with a blank names nothing.
// Windows then tries longer names at each later blank of an unquoted name (for `my dir/prog a`
// it runs my.exe, and without one my dir/prog.exe); this is only the first of them.
struct ProgramName {
  std::string name;
  bool quoted = false;  // named between quotes (Windows refuses an empty quoted name as invalid)
};
ProgramName program_name(std::string_view line);

}  // namespace kav::platform::posix::command_line
