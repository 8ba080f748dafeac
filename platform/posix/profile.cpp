// profile.cpp - the private-profile (INI) functions on POSIX: Windows' GetPrivateProfile*A and
// WritePrivateProfile*A rebuilt over the document model of ini/document.h.
//
// A file name without a separator means that file in the Windows directory, a null name its
// win.ini; any other name is a path as given.  Reads take the parsed document from the read
// cache (profile_cache.h), which checks the file once per read; writes edit the file through
// profile_file.h, the only unit that touches files, decoding it and encoding the result again
// in the file's own encoding (ini/encoding.h).  How values reach the caller follows
// ini/values.h.

#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/boundary.h"
#include "platform/platform.h"
#include "platform/posix/ini/document.h"
#include "platform/posix/ini/encoding.h"
#include "platform/posix/ini/values.h"
#include "platform/posix/profile_cache.h"
#include "platform/posix/profile_file.h"

namespace kav::platform {
namespace {

using posix::ini::IniDocument;

// The path the engine uses for a file name; null, with errno ENOENT, when there is none.
class ProfilePath {
 public:
  explicit ProfilePath(const char* file) {
    const char* name = file == nullptr ? "win.ini" : file;
    if (name[0] == '\0') {
      errno = ENOENT;
    } else if (std::strpbrk(name, "/\\") != nullptr) {
      path_ = name;
    } else if (const auto windows = special_folder(Folder::kWindows)) {
      built_ = *windows + '/' + name;
      path_ = built_.c_str();
    } else {
      errno = ENOENT;
    }
  }
  const char* get() const { return path_; }

 private:
  std::string built_;
  const char* path_ = nullptr;
};

// The parsed file; null, with errno set, when it cannot be read.
std::shared_ptr<const IniDocument> LoadForRead(const char* file) {
  const ProfilePath path(file);
  return path.get() == nullptr ? nullptr : posix::current_document(path.get());
}

// As LoadForRead, with a file that cannot be read taken as empty.
std::shared_ptr<const IniDocument> LoadOrEmpty(const char* file) {
  if (auto document = LoadForRead(file)) return document;
  static const auto empty = std::make_shared<const IniDocument>(std::string());
  return empty;
}

// Applies edit to the file: edit gets the current document and returns its new text, or
// nothing when the file stays as it is.
template <typename Edit>
bool ModifyFile(const char* file, Edit edit) {
  const ProfilePath path(file);
  if (path.get() == nullptr) return false;
  const bool edited =
      posix::edit_file(path.get(), [&](std::string bytes) -> std::optional<std::string> {
        posix::ini::DecodedIni decoded = posix::ini::decode_ini(std::move(bytes));
        const IniDocument document(std::move(decoded.text));
        const std::optional<std::string> text = edit(document);
        if (!text) return std::nullopt;
        return posix::ini::encode_ini(decoded.encoding, *text);
      });
  posix::forget_document(path.get());
  return edited;
}

uint32_t OutOfMemory(char* buffer, uint32_t size) {
  errno = ENOMEM;
  if (size > 0) buffer[0] = '\0';
  return 0;
}

bool NoMemory() {
  errno = ENOMEM;
  return false;
}

}  // namespace

uint32_t profile_get_string(const char* section, const char* key, const char* default_value,
                            char* buffer, uint32_t size, const char* file) {
  if (buffer == nullptr) {
    errno = EINVAL;
    return 0;
  }
  const auto out_of_memory = [&] {  // answered as from a file that cannot be read
    errno = ENOMEM;
    if (section == nullptr) return posix::ini::copy_ini_list(buffer, size, "", false);
    return posix::ini::copy_ini_string(buffer, size, posix::ini::ini_default_value(default_value));
  };
  return base::guarded_with(out_of_memory, [&] {
    const auto document = LoadOrEmpty(file);
    if (section == nullptr) {
      return posix::ini::copy_ini_list(buffer, size, document->SectionNames(), false);
    }
    if (key == nullptr) {
      // Wine gives the default for an empty list, and for one whose first name is empty.
      const std::string names = document->KeyNames(section);
      if (names.empty() || names.front() == '\0') {
        return posix::ini::copy_ini_string(buffer, size,
                                           posix::ini::ini_default_value(default_value));
      }
      return posix::ini::copy_ini_list(buffer, size, names, false);
    }
    const auto value = document->Value(section, key);
    return posix::ini::copy_ini_string(buffer, size,
                                       value ? posix::ini::unquoted_ini_value(*value)
                                             : posix::ini::ini_default_value(default_value));
  });
}

uint32_t profile_get_int(const char* section, const char* key, int default_value,
                         const char* file) {
  // Windows reads the value as a string into 30 characters, so only 29 of them count.
  char text[30];
  profile_get_string(section, key, "", text, sizeof text, file);
  if (text[0] == '\0') return static_cast<uint32_t>(default_value);
  return posix::ini::parse_ini_integer(text);
}

uint32_t profile_get_section(const char* section, char* buffer, uint32_t size, const char* file) {
  if (section == nullptr || buffer == nullptr) {
    errno = EINVAL;
    return 0;
  }
  const auto out_of_memory = [&] { return OutOfMemory(buffer, size); };
  return base::guarded_with(out_of_memory, [&] {
    return posix::ini::copy_ini_list(buffer, size, LoadOrEmpty(file)->SectionLines(section), true);
  });
}

uint32_t profile_get_section_names(char* buffer, uint32_t size, const char* file) {
  if (buffer == nullptr) {
    errno = EINVAL;
    return 0;
  }
  const auto out_of_memory = [&] { return OutOfMemory(buffer, size); };
  return base::guarded_with(out_of_memory, [&] {
    return posix::ini::copy_ini_list(buffer, size, LoadOrEmpty(file)->SectionNames(), false);
  });
}

bool profile_get_struct(const char* section, const char* key, void* data, uint32_t size,
                        const char* file) {
  if (section == nullptr || key == nullptr || (data == nullptr && size > 0)) {
    errno = EINVAL;
    return false;
  }
  return base::guarded_with(NoMemory, [&] {
    const auto document = LoadForRead(file);
    if (!document) return false;
    const auto value = document->Value(section, key);
    if (!value) {
      errno = ENOENT;
      return false;
    }
    return posix::ini::decode_ini_struct(posix::ini::unquoted_ini_value(*value), data, size);
  });
}

bool profile_write_string(const char* section, const char* key, const char* value,
                          const char* file) {
  // Windows' "flush the cache" call: nothing is cached for writing, and Windows returns TRUE.
  if (section == nullptr && key == nullptr && value == nullptr) return true;
  if (section == nullptr) {
    errno = EINVAL;
    return false;
  }
  return base::guarded_with(NoMemory, [&] {
    if (key == nullptr) {
      return ModifyFile(file, [&](const IniDocument& ini) { return ini.DeleteSection(section); });
    }
    if (value == nullptr) {
      return ModifyFile(file, [&](const IniDocument& ini) { return ini.DeleteKey(section, key); });
    }
    return ModifyFile(file,
                      [&](const IniDocument& ini) { return ini.SetValue(section, key, value); });
  });
}

bool profile_write_section(const char* section, const char* entries, const char* file) {
  if (section == nullptr && entries == nullptr) return true;  // the flush call, as above
  if (section == nullptr) {
    errno = EINVAL;
    return false;
  }
  if (entries == nullptr) return profile_write_string(section, nullptr, nullptr, file);
  return base::guarded_with(NoMemory, [&] {
    std::vector<std::string_view> list;
    for (const char* entry = entries; *entry != '\0'; entry += list.back().size() + 1) {
      list.emplace_back(entry);
    }
    return ModifyFile(file,
                      [&](const IniDocument& ini) { return ini.ReplaceSection(section, list); });
  });
}

bool profile_write_struct(const char* section, const char* key, const void* data, uint32_t size,
                          const char* file) {
  if (section == nullptr && key == nullptr && data == nullptr) return true;  // the flush call
  if (section == nullptr) {
    errno = EINVAL;
    return false;
  }
  if (key == nullptr || data == nullptr) return profile_write_string(section, key, nullptr, file);
  return base::guarded_with(NoMemory, [&] {
    return profile_write_string(section, key, posix::ini::ini_struct_text(data, size).c_str(),
                                file);
  });
}

}  // namespace kav::platform
