// environment.cpp - the process environment on Windows.
//
// The C runtime's own array (_environ) is what getenv reads and _putenv changes, so the entries
// come from it; a program started through a wide entry point may have no narrow array, and then
// the system's block (GetEnvironmentStringsA) stands in.  _putenv copies its argument.  Names
// compare without regard to case.

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace kav::platform {
namespace {

// The block is a run of NUL-terminated entries ended by an empty one.
std::vector<std::string> SystemBlockEntries() {
  std::vector<std::string> entries;
  char* block = GetEnvironmentStringsA();
  if (block == nullptr) return entries;
  try {
    for (const char* entry = block; *entry != '\0'; entry += std::strlen(entry) + 1) {
      entries.emplace_back(entry);
    }
  } catch (...) {
    FreeEnvironmentStringsA(block);
    throw;
  }
  FreeEnvironmentStringsA(block);
  return entries;
}

}  // namespace

std::vector<std::string> environment_entries() {
  char** runtime = _environ;
  if (runtime == nullptr) return SystemBlockEntries();
  std::vector<std::string> entries;
  for (char** entry = runtime; *entry != nullptr; ++entry) entries.emplace_back(*entry);
  return entries;
}

bool put_environment(const std::string& entry) { return _putenv(entry.c_str()) == 0; }

}  // namespace kav::platform
