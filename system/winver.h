// winver.h - the short names of Windows versions that kav_getwinver writes.
#pragma once

#include <cstdint>

namespace kav::system {

// The name for a version as GetVersionEx reports it; null where the name is left as it was.
const char *windows_version_name(std::uint32_t platform_id, std::uint32_t major,
                                 std::uint32_t minor, std::uint32_t suite_mask,
                                 std::uint32_t product_type);

}  // namespace kav::system
