// os_version.cpp - the Windows version from GetVersionExA: the extended record first, the basic
// one when the system does not know it (Windows 95 and NT 4 before Service Pack 6).  Without a
// compatibility manifest, Windows 8.1 and later report themselves as 6.2.
#include "platform/os_version.h"

#include <windows.h>

namespace kav::platform {
namespace {

OsVersion FromBasic(const OSVERSIONINFOA &info) {
  OsVersion version;
  version.platform_id = info.dwPlatformId;
  version.major = info.dwMajorVersion;
  version.minor = info.dwMinorVersion;
  version.build = info.dwBuildNumber;
  return version;
}

}  // namespace

std::optional<OsVersion> os_version() {
  OSVERSIONINFOEXA extended{};
  extended.dwOSVersionInfoSize = sizeof extended;
  if (GetVersionExA(reinterpret_cast<OSVERSIONINFOA *>(&extended))) {
    OsVersion version = FromBasic(*reinterpret_cast<OSVERSIONINFOA *>(&extended));
    version.extended = true;
    version.service_pack_major = extended.wServicePackMajor;
    version.service_pack_minor = extended.wServicePackMinor;
    version.suite_mask = extended.wSuiteMask;
    version.product_type = extended.wProductType;
    return version;
  }
  OSVERSIONINFOA basic{};
  basic.dwOSVersionInfoSize = sizeof basic;
  if (!GetVersionExA(&basic)) return std::nullopt;
  return FromBasic(basic);
}

}  // namespace kav::platform
