// probe_argv.cpp - the program the command-line probe starts: prints its arguments, argv[0]
// included, as "[word]" each on one line, as its C runtime (Windows) or kavutil's launcher
// (POSIX) gave them.  Copies of it under other names stand for the programs a corpus line names.
#include <cstdio>
#include <string>

#include "probe_text.h"

#if defined(_WIN32)
// No wildcard expansion of the arguments by the mingw-w64 start-up code: Windows programs get
// their words as written.
extern "C" {
int _dowildcard = 0;
}
#endif

int main(int argc, char** argv) {
  probe::BinaryOutput();
  std::string line;
  for (int i = 0; i < argc; ++i) line += "[" + probe::Shown(argv[i]) + "]";
  std::printf("%s\n", line.c_str());
  return std::fflush(stdout) == 0 ? 0 : 1;
}
