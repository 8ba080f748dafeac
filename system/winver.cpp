// winver.cpp - the running system's version as numbers and a short name for messages and logs.
//
// The platform reports the version as GetVersionEx does; the name comes from the table below,
// or on a system that is not Windows from the system itself.  Names are at most 10 characters,
// some end in a blank, and Windows 8 and later (6.2 and up) leave the caller's name as it was.
// Suite mask and product type read as 0 when only the basic version record was available.
#include "system/winver.h"

#include <cstring>
#include <optional>

#include "base/boundary.h"
#include "kavutil.h"
#include "platform/os_version.h"

namespace kav::system {
namespace {

constexpr std::uint32_t kPersonalSuite = 0x200;  // VER_SUITE_PERSONAL: XP Home Edition
constexpr std::uint32_t kWorkstation = 1;        // VER_NT_WORKSTATION

const char *Windows9xName(std::uint32_t major, std::uint32_t minor) {
  if (major != 4) return nullptr;
  switch (minor) {
    case 0:
      return "95";
    case 10:
      return "98";
    case 90:
      return "ME";
    default:
      return nullptr;
  }
}

const char *WindowsNtName(std::uint32_t major, std::uint32_t minor, std::uint32_t suite_mask,
                          std::uint32_t product_type) {
  const bool workstation = product_type == kWorkstation;
  if (major == 5 && minor == 0) return "2K";
  if (major == 5 && minor == 1) return (suite_mask & kPersonalSuite) != 0 ? "XP" : "XPP";
  if (major == 5 && minor == 2) return "2K3";
  if (major == 6 && minor == 0) return workstation ? "Vista " : "2k8 ";
  if (major == 6 && minor == 1) return workstation ? "Windows 7 " : "2008 R2 ";
  if (major == 6) return nullptr;
  return "NT";
}

}  // namespace

const char *windows_version_name(std::uint32_t platform_id, std::uint32_t major,
                                 std::uint32_t minor, std::uint32_t suite_mask,
                                 std::uint32_t product_type) {
  switch (platform_id) {
    case 0:
      return "32";
    case 1:
      return Windows9xName(major, minor);
    case 2:
      return WindowsNtName(major, minor, suite_mask, product_type);
    default:
      return "";
  }
}

}  // namespace kav::system

namespace {

void Store(std::uint32_t *target, std::uint32_t value) {
  if (target != nullptr) *target = value;
}

}  // namespace

extern "C" KAV_API int KAV_CALL kav_getwinver(char *name, uint32_t *major, uint32_t *minor,
                                              uint32_t *build, uint32_t *sp_major,
                                              uint32_t *sp_minor) KAV_NOEXCEPT {
  // Only the system's own name needs memory; without it there is no version.
  const std::optional<kav::platform::OsVersion> version =
      kav::base::guarded(std::nullopt, [] { return kav::platform::os_version(); });
  if (!version) return 0;
  const char *text = version->own_name ? version->own_name->c_str()
                                       : kav::system::windows_version_name(
                                             version->platform_id, version->major, version->minor,
                                             version->suite_mask, version->product_type);
  if (name != nullptr && text != nullptr) std::strcpy(name, text);
  Store(major, version->major);
  Store(minor, version->minor);
  Store(build, version->build);
  Store(sp_major, version->extended ? version->service_pack_major : 0xFFFFFFFFu);
  Store(sp_minor, version->extended ? version->service_pack_minor : 0xFFFFFFFFu);
  return 1;
}
