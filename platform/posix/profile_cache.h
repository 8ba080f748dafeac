// profile_cache.h - the parsed INI files that the POSIX profile engine's reads share.
//
// A read checks the file's stamp with one stat() and reuses the document parsed from it while
// the stamp is the same; a file that changed is read and parsed again, one that is gone is
// dropped.  Every write through kavutil gives the file a new stamp (profile_file.h), and a
// writer in this process also drops the document it replaced.
#pragma once

#include <memory>

#include "platform/posix/ini/document.h"

namespace kav::platform::posix {

// The document of path as the file is now, indexed for lookups; null, with errno set, when the
// file is missing, not a regular file or cannot be read.
std::shared_ptr<const ini::IniDocument> current_document(const char* path);

// Drops the document of path, after a write to it.
void forget_document(const char* path);

}  // namespace kav::platform::posix
