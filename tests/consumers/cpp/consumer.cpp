// consumer.cpp - a C++ program of a CMake project that finds an installed kavutil with
// find_package(kavutil) and links kavutil::kavutil.
#include <kavutil.h>

#include <cstdio>
#include <string>

static_assert(KAVUTIL_VERSION_MAJOR == 1, "written for kavutil 1.x");

int main() {
  char path[] = "spool/in/job.ps";
  const std::string name = kav_basename(path), words = spellno(2007);
  if (name != "job.ps" || words != "TWO THOUSAND SEVEN") return 1;
  std::printf("kavutil %s: %s, %s\n", KAVUTIL_VERSION_STRING, name.c_str(), words.c_str());
  return 0;
}
