// profile_cache.cpp - the process-wide cache of parsed INI files (see profile_cache.h).
//
// Programs read a handful of profiles, so the cache is a short list searched by path, limited
// to 32 files and emptied when full.  A mutex guards it, so that reads on several threads stay
// safe even where callers do not serialise them; they share documents through shared_ptr and
// never change them.

#include "platform/posix/profile_cache.h"

#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/posix/ini/encoding.h"
#include "platform/posix/profile_file.h"

namespace kav::platform::posix {
namespace {

using ini::IniDocument;

class DocumentCache {
 public:
  std::shared_ptr<const IniDocument> Find(const char* path, const FileStamp& stamp) {
    const std::lock_guard<std::mutex> hold(mutex_);
    const Entry* entry = Lookup(path);
    if (entry == nullptr || !(entry->stamp == stamp)) return nullptr;
    return entry->document;
  }

  void Store(const char* path, const FileStamp& stamp,
             std::shared_ptr<const IniDocument> document) {
    const std::lock_guard<std::mutex> hold(mutex_);
    if (Entry* entry = Lookup(path)) {
      entry->stamp = stamp;
      entry->document = std::move(document);
      return;
    }
    if (files_.size() >= kLimit) files_.clear();
    files_.push_back(Entry{path, stamp, std::move(document)});
  }

  void Forget(const char* path) {
    const std::lock_guard<std::mutex> hold(mutex_);
    if (Entry* entry = Lookup(path)) {
      *entry = std::move(files_.back());
      files_.pop_back();
    }
  }

 private:
  struct Entry {
    std::string path;
    FileStamp stamp;
    std::shared_ptr<const IniDocument> document;
  };
  static constexpr std::size_t kLimit = 32;

  Entry* Lookup(const char* path) {
    const std::size_t length = std::strlen(path);
    for (Entry& entry : files_) {
      if (entry.path.size() == length && std::memcmp(entry.path.data(), path, length) == 0) {
        return &entry;
      }
    }
    return nullptr;
  }

  std::mutex mutex_;
  std::vector<Entry> files_;
};

DocumentCache& Cache() {
  static DocumentCache cache;
  return cache;
}

}  // namespace

std::shared_ptr<const IniDocument> current_document(const char* path) {
  const std::optional<FileStamp> stamp = stamp_of_file(path);
  if (!stamp) {
    Cache().Forget(path);
    return nullptr;
  }
  if (auto cached = Cache().Find(path, *stamp)) return cached;
  std::optional<FileBytes> file = read_whole_file(path);
  if (!file) return nullptr;
  auto document = std::make_shared<IniDocument>(ini::decode_ini(std::move(file->bytes)).text);
  document->BuildIndex();
  Cache().Store(path, file->stamp, document);
  return document;
}

void forget_document(const char* path) { Cache().Forget(path); }

}  // namespace kav::platform::posix
