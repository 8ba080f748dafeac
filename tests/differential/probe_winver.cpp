// probe_winver.cpp - the Windows version names: what kav_getwinver reports on a running Windows
// against what the name table gives for each version as Microsoft documents it.
//
// Usage: probe_winver documented         every version below, named by the library's table
//        probe_winver running SETTING    this system, through kav_getwinver (Windows: run as a
//                                        copy whose Wine version setting is SETTING)
// Each line is "<setting> => name \"<name>\" <major>.<minor>.<build> sp <major>.<minor>", the
// name "(none)" where kav_getwinver leaves the buffer as it was.
//
// The documented versions: the numbers of each release's last service pack, as Microsoft's
// OSVERSIONINFOEX reference and the releases' own build numbers give them; Windows 9x puts the
// version in the build number's high word.  Windows 8.1 and 10 tell a program without a
// compatibility manifest that they are 6.2.9200, as Windows 8 is.  XP Professional has no
// personal-edition suite bit; the servers' product type is 3.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "kavutil.h"
#include "probe_text.h"
#include "system/winver.h"

namespace {

struct Documented {
  const char* setting;  // Wine's name for the version
  std::uint32_t platform, major, minor, build, sp_major, suite, product;
};

const Documented kDocumented[] = {
    {"win95", 1, 4, 0, 0x040003B6, 0, 0, 0},  {"win98", 1, 4, 10, 0x040A08AE, 0, 0, 0},
    {"winme", 1, 4, 90, 0x045A0BB8, 0, 0, 0}, {"nt40", 2, 4, 0, 1381, 6, 0, 1},
    {"win2k", 2, 5, 0, 2195, 4, 0, 1},        {"winxp", 2, 5, 1, 2600, 3, 0x100, 1},
    {"win2003", 2, 5, 2, 3790, 2, 0, 3},      {"vista", 2, 6, 0, 6002, 2, 0x100, 1},
    {"win2008", 2, 6, 0, 6002, 2, 0, 3},      {"win7", 2, 6, 1, 7601, 1, 0x100, 1},
    {"win2008r2", 2, 6, 1, 7601, 1, 0, 3},    {"win8", 2, 6, 2, 9200, 0, 0x100, 1},
    {"win81", 2, 6, 2, 9200, 0, 0x100, 1},    {"win10", 2, 6, 2, 9200, 0, 0x100, 1},
};

void Print(const char* setting, const char* name, std::uint32_t major, std::uint32_t minor,
           std::uint32_t build, std::uint32_t sp_major, std::uint32_t sp_minor) {
  std::printf("%s => name \"%s\" %u.%u.%u sp %u.%u\n", setting, name != nullptr ? name : "(none)",
              major, minor, build, sp_major, sp_minor);
}

int PrintRunning(const char* setting) {
  char name[32];
  std::memset(name, 0x7F, sizeof name);
  std::uint32_t major = 0, minor = 0, build = 0, sp_major = 0, sp_minor = 0;
  if (kav_getwinver(name, &major, &minor, &build, &sp_major, &sp_minor) == 0) {
    std::printf("%s => no version\n", setting);
    return 0;
  }
  Print(setting, name[0] == 0x7F ? nullptr : name, major, minor, build, sp_major, sp_minor);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  probe::BinaryOutput();
  if (argc == 2 && std::strcmp(argv[1], "documented") == 0) {
    for (const Documented& v : kDocumented)
      Print(v.setting,
            kav::system::windows_version_name(v.platform, v.major, v.minor, v.suite, v.product),
            v.major, v.minor, v.build, v.sp_major, 0);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  if (argc == 3 && std::strcmp(argv[1], "running") == 0) return PrintRunning(argv[2]);
  std::fprintf(stderr, "usage: probe_winver documented | probe_winver running SETTING\n");
  return 2;
}
