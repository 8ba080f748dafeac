// command_line.h - a Windows command line split into its program name and arguments.
//
// Windows passes a program one string; the C runtime of the started program splits it into
// argv.  Where kavutil starts programs without Windows, it splits the line itself with the
// same rules, so a ported program gets the arguments a Windows build would have got.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kav::command_line {

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

}  // namespace kav::command_line
