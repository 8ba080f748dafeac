// os_version.cpp - the system's version on POSIX, from uname(2): the system's own name ("Linux")
// cut to 10 characters, and the first three numbers of its release ("6.1.0-18-amd64" is 6, 1
// and 0) as major, minor and build.  There are no service packs: both numbers are 0, as on a
// Windows system without one.  The platform identifier is NT's, 2.
#include "platform/os_version.h"

#include <sys/utsname.h>

#include <cstdlib>

namespace kav::platform {
namespace {

constexpr std::size_t kLongestName = 10;  // the caller's buffer holds 11 bytes

// The next number of a release text, and the text after it and its separator.
std::uint32_t NextNumber(const char *&text) {
  char *end = nullptr;
  const unsigned long number = std::strtoul(text, &end, 10);
  if (end == text) return 0;
  text = *end == '.' ? end + 1 : end;
  return static_cast<std::uint32_t>(number);
}

}  // namespace

std::optional<OsVersion> os_version() {
  utsname system{};
  if (uname(&system) != 0) return std::nullopt;
  OsVersion version;
  version.platform_id = 2;
  const char *release = system.release;
  version.major = NextNumber(release);
  version.minor = NextNumber(release);
  version.build = NextNumber(release);
  version.extended = true;
  version.own_name = std::string(system.sysname).substr(0, kLongestName);
  return version;
}

}  // namespace kav::platform
