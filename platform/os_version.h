// os_version.h - the running system's version, as Windows' GetVersionEx reports it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kav::platform {

struct OsVersion {
  std::uint32_t platform_id = 0;  // 0 Win32s, 1 Windows 9x, 2 Windows NT
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  std::uint32_t build = 0;
  bool extended = false;  // the fields below were reported (OSVERSIONINFOEX)
  std::uint32_t service_pack_major = 0;
  std::uint32_t service_pack_minor = 0;
  std::uint32_t suite_mask = 0;
  std::uint32_t product_type = 0;  // 1 workstation, 2 domain controller, 3 server
  // A system that is not Windows names itself; Windows is named from the numbers.
  std::optional<std::string> own_name;
};

// Nothing when the system gives no version.
std::optional<OsVersion> os_version();

}  // namespace kav::platform
