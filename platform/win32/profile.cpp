// The private-profile services on Windows: the system's own INI functions.
#include <windows.h>

#include "platform/platform.h"

namespace kav::platform {

uint32_t profile_get_string(const char *section, const char *key, const char *default_value,
                            char *buffer, uint32_t size, const char *file) {
  return GetPrivateProfileStringA(section, key, default_value, buffer, size, file);
}

uint32_t profile_get_int(const char *section, const char *key, int default_value,
                         const char *file) {
  return GetPrivateProfileIntA(section, key, default_value, file);
}

uint32_t profile_get_section(const char *section, char *buffer, uint32_t size, const char *file) {
  return GetPrivateProfileSectionA(section, buffer, size, file);
}

uint32_t profile_get_section_names(char *buffer, uint32_t size, const char *file) {
  return GetPrivateProfileSectionNamesA(buffer, size, file);
}

bool profile_get_struct(const char *section, const char *key, void *data, uint32_t size,
                        const char *file) {
  return GetPrivateProfileStructA(section, key, data, size, file) != FALSE;
}

bool profile_write_string(const char *section, const char *key, const char *value,
                          const char *file) {
  return WritePrivateProfileStringA(section, key, value, file) != FALSE;
}

bool profile_write_section(const char *section, const char *entries, const char *file) {
  return WritePrivateProfileSectionA(section, entries, file) != FALSE;
}

bool profile_write_struct(const char *section, const char *key, const void *data, uint32_t size,
                          const char *file) {
  // The system's declaration takes a non-const pointer; the data is only read.
  return WritePrivateProfileStructA(section, key, const_cast<void *>(data), size, file) != FALSE;
}

}  // namespace kav::platform
