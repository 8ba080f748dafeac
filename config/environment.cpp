// environment.cpp - the library's own environment: an overlay of variables that a program sets
// for itself, lookups that try the overlay before the process environment, $NAME expansion with
// a per-instance base directory, the reverse step from a path back to $NAME, and a line reader
// that drops line ends.
//
// The overlay is a process-wide array of "NAME=value" heap strings that kav_putenv takes over
// and kav_clearenv releases; its names compare case-sensitively, '=' included.  The process
// environment is read with getenv and the platform's entry list and changed only by
// instance2env; on Windows its names compare without regard to case, on POSIX with it.  The
// instance number picks a word of the INSTANCE2BASE list, which takes the place of the
// $QELINSTANCE_BASE token in expanded values.
//
// Every fixed limit (63-character names, instance2path's 1024-character buffer, str2env's 256-,
// 1024- and 10240-character buffers, fill_env_vars' size) cuts a result at the limit; nothing
// is ever written past a buffer.

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "base/ascii.h"
#include "base/boundary.h"
#include "kavutil.h"
#include "platform/memory.h"
#include "platform/platform.h"

namespace {

constexpr std::size_t kNameLimit = 63;           // characters of a name in a $NAME reference
constexpr std::size_t kInstancePathSize = 1024;  // instance2path's work buffer
constexpr std::size_t kBestNameSize = 256;       // str2env's best name
constexpr std::size_t kResultSize = 1024;        // str2env's result
constexpr std::size_t kEntrySize = 10240;        // an entry as str2env examines it
constexpr char kInstanceList[] = "INSTANCE2BASE";
constexpr char kInstanceToken[] = "$QELINSTANCE_BASE";

char** overlay = nullptr;  // "NAME=value" heap strings, owned
std::size_t overlay_count = 0;
int current_instance = -1;  // no instance

bool IsNameChar(char c) { return kav::base::is_letter_or_digit(c) || c == '_'; }

char* OverlayValue(const char* name) {
  const std::size_t length = std::strlen(name);
  for (std::size_t i = 0; i < overlay_count; ++i) {
    if (std::strncmp(overlay[i], name, length) == 0 && overlay[i][length] == '=') {
      return overlay[i] + length + 1;
    }
  }
  return nullptr;
}

// The overlay slot whose entry has the same "NAME=" as entry, or null.
char** OverlaySlot(const char* entry, std::size_t key_length) {
  for (std::size_t i = 0; i < overlay_count; ++i) {
    if (std::strncmp(overlay[i], entry, key_length) == 0) return &overlay[i];
  }
  return nullptr;
}

// Collects at most limit characters into a buffer of limit + 1; the rest is cut.
class Output {
 public:
  Output(char* buffer, std::size_t limit) : buffer_(buffer), limit_(limit) {}

  bool full() const { return used_ == limit_; }

  // Memory ran out on the way: the text is not to be used.
  void Fail() { failed_ = true; }
  bool failed() const { return failed_; }

  void Put(char c) {
    if (used_ < limit_) buffer_[used_++] = c;
  }

  void Put(const char* text, std::size_t length) {
    length = std::min(length, limit_ - used_);
    std::memcpy(buffer_ + used_, text, length);
    used_ += length;
  }

  void Put(const char* text) { Put(text, std::strlen(text)); }

  // Terminates the text and returns its length.
  std::size_t Finish() {
    buffer_[used_] = '\0';
    return used_;
  }

 private:
  char* buffer_;
  std::size_t limit_;
  std::size_t used_ = 0;
  bool failed_ = false;
};

// Produces a value, with the instance's base directory in place of its first instance token
// when the instance number names one.  Values are not expanded themselves.  A base directory
// that cannot be copied for want of memory fails the whole expansion.
void PutValue(Output& out, const char* value) {
  const char* token = std::strstr(value, kInstanceToken);
  const char* list = kav_getenv(kInstanceList);
  const bool has_base =
      token != nullptr && current_instance >= 0 && list != nullptr && list[0] != '\0';
  char* base = has_base ? instance2path(current_instance, list) : nullptr;
  if (has_base && base == nullptr) out.Fail();
  if (base == nullptr) {
    out.Put(value);
    return;
  }
  out.Put(value, token - value);
  out.Put(base);
  out.Put(token + sizeof kInstanceToken - 1);
  kav::platform::memory::release(base);
}

// Expands the reference whose name starts at name and returns where the scan goes on: past the
// character that ended the name, which is copied as it stands (even another '$').  A name longer
// than 63 characters is cut there; the rest of it is copied as ordinary text.
const char* ExpandReference(Output& out, const char* name) {
  char buffer[kNameLimit + 1];
  std::size_t length = 0;
  for (; length < kNameLimit && IsNameChar(name[length]); ++length) buffer[length] = name[length];
  buffer[length] = '\0';
  if (const char* value = kav_getenv(buffer)) PutValue(out, value);
  const char* end = name + length;
  if (*end == '\0') return end;
  out.Put(*end);
  return end + 1;
}

std::string ReplaceFirst(std::string_view text, std::string_view token, std::string_view path) {
  const std::size_t at = text.find(token);
  std::string result(text.substr(0, at));
  result.append(path).append(text.substr(at + token.size()));
  return result;
}

// Entries appended on the way (a token inside a name makes a new name) are not visited again.
void ReplaceInOverlay(const char* token, const char* path) {
  const std::size_t known = overlay_count;
  for (std::size_t i = 0; i < known; ++i) {
    if (std::strstr(overlay[i], token) == nullptr) continue;
    char* entry = kav::platform::memory::duplicate(ReplaceFirst(overlay[i], token, path).c_str());
    if (entry != nullptr && kav_putenv(entry) != 0) kav::platform::memory::release(entry);
  }
}

void ReplaceInProcess(const char* token, const char* path) {
  for (const std::string& entry : kav::platform::environment_entries()) {
    if (entry.find(token) == std::string::npos) continue;
    kav::platform::put_environment(ReplaceFirst(entry, token, path));
  }
}

struct BestMatch {
  char name[kBestNameSize] = "";  // a longer name is cut
  std::size_t length = 0;         // of the path prefix that the name replaces
};

// Offers one "NAME=value" entry as the reference for path's beginning (mode 0: path names a
// directory, else a file).  The longest value wins; on a tie, a later name beginning with "QEL".
void match_env_prefix(std::string_view entry, std::string_view path, int mode, BestMatch& best) {
  entry = entry.substr(0, kEntrySize - 1);
  const std::size_t equals = entry.find('=');
  const std::string_view name = entry.substr(0, equals);
  const std::string_view value =
      equals == std::string_view::npos ? std::string_view() : entry.substr(equals + 1);
  if (name == "PWD" || name == "OLDPWD") return;
  if (value.size() < best.length) return;
  if (value.size() == best.length && !name.starts_with("QEL")) return;
  std::size_t length = value.size();
  if (value != path) {
    if (value.size() <= 1 || !path.starts_with(value)) return;
    const char next = path[value.size()];
    if (mode != 0 && next != '.') return;
    // Both separators end a directory on every platform.
    if (mode == 0 && next != '/' && next != '\\') return;
    if (mode == 0 && value.size() + 1 == path.size()) ++length;  // the trailing separator goes too
  }
  std::snprintf(best.name, sizeof best.name, "%.*s", static_cast<int>(name.size()), name.data());
  best.length = length;
}

}  // namespace

extern "C" KAV_API char* KAV_CALL kav_getenv(const char* name) KAV_NOEXCEPT {
  if (name == nullptr) return nullptr;
  if (char* value = OverlayValue(name)) return value;
  return std::getenv(name);
}

extern "C" KAV_API int KAV_CALL kav_putenv(char* entry) KAV_NOEXCEPT {
  if (entry == nullptr) return -1;
  const char* equals = std::strchr(entry, '=');
  if (equals == nullptr) return -1;
  if (char** slot = OverlaySlot(entry, equals - entry + 1)) {
    *slot = entry;  // the old string is not freed: the program may still use it
    return 0;
  }
  auto* grown = static_cast<char**>(
      kav::platform::memory::reallocate(overlay, (overlay_count + 1) * sizeof *overlay));
  if (grown == nullptr) return -1;
  overlay = grown;
  overlay[overlay_count++] = entry;
  return 0;
}

extern "C" KAV_API int KAV_CALL kav_clearenv(void) KAV_NOEXCEPT {
  for (std::size_t i = 0; i < overlay_count; ++i) kav::platform::memory::release(overlay[i]);
  kav::platform::memory::release(overlay);
  overlay = nullptr;
  overlay_count = 0;
  return 0;
}

// The result holds at most size - 1 characters: a longer expansion is cut there.
extern "C" KAV_API char* KAV_CALL fill_env_vars(char* text, int size) KAV_NOEXCEPT {
  if (text == nullptr || size <= 0) return text;
  auto* work = static_cast<char*>(kav::platform::memory::allocate(size));
  if (work == nullptr) return text;
  Output out(work, size - 1);
  for (const char* in = text; *in != '\0' && !out.full();) {
    if (*in == '$') {
      in = ExpandReference(out, in + 1);
    } else {
      out.Put(*in++);
    }
  }
  if (!out.failed()) std::memcpy(text, work, out.Finish() + 1);
  kav::platform::memory::release(work);
  return text;
}

extern "C" KAV_API void KAV_CALL fill_env_vars_set_instance(int instance) KAV_NOEXCEPT {
  current_instance = instance;
}

// Instance n gets the word after the list's n-th space, or the last word when the list is
// shorter.  A word is cut at 1023 characters.
extern "C" KAV_API char* KAV_CALL instance2path(int instance, const char* list) KAV_NOEXCEPT {
  if (instance < 0 || list == nullptr || list[0] == '\0') return nullptr;
  const char* word = list;
  for (int i = 0; i < instance; ++i) {
    const char* space = std::strchr(word, ' ');
    if (space == nullptr) break;
    word = space + 1;
  }
  const std::size_t length = std::min(std::strcspn(word, " "), kInstancePathSize - 1);
  auto* path = static_cast<char*>(kav::platform::memory::allocate(length + 1));
  if (path == nullptr) return nullptr;
  std::memcpy(path, word, length);
  path[length] = '\0';
  return path;
}

// A null or empty token does nothing: an empty one would match every entry.
extern "C" KAV_API void KAV_CALL instance2env(int instance, const char* list,
                                              const char* token) KAV_NOEXCEPT {
  if (token == nullptr || token[0] == '\0') return;
  char* path = instance2path(instance, list);
  if (path == nullptr) return;
  kav::base::guarded([&] {  // out of memory: the remaining entries stay as they are
    ReplaceInOverlay(token, path);
    ReplaceInProcess(token, path);
  });
  kav::platform::memory::release(path);
}

// The result is cut at 1023 characters.
extern "C" KAV_API void KAV_CALL str2env(char* path, int mode) KAV_NOEXCEPT {
  if (path == nullptr) return;
  kav::base::guarded([&] {  // the process environment could not be listed: nothing changes
    const std::string_view whole(path);
    BestMatch best;
    for (std::size_t i = 0; i < overlay_count; ++i) match_env_prefix(overlay[i], whole, mode, best);
    for (const std::string& entry : kav::platform::environment_entries()) {
      match_env_prefix(entry, whole, mode, best);
    }
    if (best.length == 0) return;
    char result[kResultSize];
    std::snprintf(result, sizeof result, "$%s%s", best.name, path + best.length);
    std::memcpy(path, result, std::strlen(result) + 1);
  });
}
