// mapped_buffer.cpp - file-backed scratch buffers (CreateMappedBuffer, DeleteMappedBuffer) and
// free disk space (GetDiskFreeSpaceInMB).
//
// A buffer's backing file lives in the directory named by QELTMP (read through kav_getenv)
// and its name begins with "~mmft_<thread id>_"; the platform makes the part that keeps the
// name unique, creates the file, gives it the buffer's size and maps it
// (platform/mapped_file.h).  Any failure unwinds through DeleteMappedBuffer, so nothing is left
// behind: the view unmapped, the handles closed, the file deleted, the record freed.  A QELTMP
// that is empty or longer than 255 characters counts as not set (the name could not be made
// from it), so no buffer can be made then.

#include <cstdio>
#include <cstring>

#include "base/boundary.h"
#include "kavutil.h"
#include "platform/mapped_file.h"
#include "platform/memory.h"
#include "platform/platform.h"

namespace {

constexpr std::size_t kDirectoryLimit = 255;

const char* TemporaryDirectory() {
  const char* directory = kav_getenv("QELTMP");
  if (directory == nullptr || directory[0] == '\0') return nullptr;
  return std::strlen(directory) <= kDirectoryLimit ? directory : nullptr;
}

}  // namespace

extern "C" {

KAV_API MappedBuffer* KAV_CALL CreateMappedBuffer(uint32_t size) KAV_NOEXCEPT {
  auto* buffer = static_cast<MappedBuffer*>(kav::platform::memory::allocate(sizeof(MappedBuffer)));
  if (buffer == nullptr) return nullptr;
  std::memset(buffer, 0, sizeof *buffer);
  buffer->size = size;
  char prefix[64];
  std::snprintf(prefix, sizeof prefix, "~%s_%lu_", "mmft", kav::platform::current_thread_id());
  if (!kav::platform::create_backing_file(*buffer, TemporaryDirectory(), prefix) ||
      !kav::platform::map_backing_file(*buffer)) {
    DeleteMappedBuffer(buffer);
    return nullptr;
  }
  return buffer;
}

KAV_API void KAV_CALL DeleteMappedBuffer(MappedBuffer* buffer) KAV_NOEXCEPT {
  if (buffer == nullptr) return;
  kav::platform::close_backing_file(*buffer);
  if (buffer->file_name[0] != '\0') kav::platform::remove_file(buffer->file_name);
  std::memset(buffer, 0, sizeof *buffer);
  kav::platform::memory::release(buffer);
}

// A path whose parents cannot be had for want of memory is a disk the system cannot tell about.
KAV_API uint32_t KAV_CALL GetDiskFreeSpaceInMB(const char* path) KAV_NOEXCEPT {
  if (path == nullptr || path[0] == '\0') return 0xFFFFFFFFu;
  return kav::base::guarded(0xFFFFFFFFu, [&] { return kav::platform::free_megabytes(path); });
}
}
