// mapped_file.cpp - file-backed memory and free disk space on POSIX.
//
// The backing file is made by mkostemp from "<directory>/<prefix>XXXXXX": created exclusively
// (O_EXCL, mode 0600, close-on-exec), with another random part tried on a collision, so no
// existing file is ever opened or truncated.  ftruncate gives it its size and posix_fallocate
// reserves the blocks, so that a full disk makes CreateMappedBuffer fail (as Windows' mapping
// of a file it cannot extend does) instead of killing the program with SIGBUS on a later
// write; the mapping is shared, so the view's bytes are the file's.  Filling reserved blocks
// also costs less than filling a sparse file (docs/performance.md).  A size beyond the file-size
// limit (RLIMIT_FSIZE) fails there too, with the signal it raises held back (WriteSignalsHeld,
// platform/io.h), so that the caller gets null instead of being ended by SIGXFSZ.  The record's
// file field holds the descriptor; there is no separate mapping object.  Every call on the file
// goes through the I/O seam (platform/posix/io.h).
//
// Free space is the whole free space of the file system that holds the path (f_bfree,
// including blocks reserved for root), as Windows reports a disk's total free bytes.  A path
// that cannot be reached is answered for its nearest existing parent, as Windows answers for the
// drive: one that does not exist, runs through a file, is too long, loops through links or passes
// a directory the caller may not search.  Values beyond 32 bits are held at 0xFFFFFFFE rather than
// cut, so they stay large.
//
// A large page is asked for with madvise(MADV_HUGEPAGE), which the kernel honours when its
// transparent huge pages are enabled "always" or "madvise".

#include "platform/mapped_file.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/posix/child.h"
#include "platform/posix/io.h"

namespace kav::platform {
namespace {

int Descriptor(const MappedBuffer& buffer) {
  return static_cast<int>(reinterpret_cast<intptr_t>(buffer.file));
}

// The parent of path, lexically: nothing for "/" and ".".
std::string Parent(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return path == "." ? "" : ".";
  if (path == "/") return "";
  return path.substr(0, slash == 0 ? 1 : slash);
}

// Whether a path failed for want of a place it names (so that a parent may answer), rather than
// for a fault of the file system.
bool Unreachable(int error) {
  return error == ENOENT || error == ENOTDIR || error == ENAMETOOLONG || error == ELOOP ||
         error == EACCES;
}

}  // namespace

unsigned long current_thread_id() {
#if defined(__linux__)
  return static_cast<unsigned long>(syscall(SYS_gettid));
#else
  return reinterpret_cast<unsigned long>(pthread_self());
#endif
}

// The name is made in the record itself, so that creating the file needs no memory.
bool create_backing_file(MappedBuffer& buffer, const char* directory, const char* prefix) {
  if (directory == nullptr) return false;
  std::size_t length = std::strlen(directory);
  if (length > 1 && directory[length - 1] == '/') --length;
  const int written = std::snprintf(buffer.file_name, sizeof buffer.file_name, "%.*s/%sXXXXXX",
                                    static_cast<int>(length), directory, prefix);
  if (written < 0 || static_cast<std::size_t>(written) >= sizeof buffer.file_name) {
    buffer.file_name[0] = '\0';
    return false;
  }
  const int made = io::mkostemp(buffer.file_name, O_CLOEXEC);
  if (made < 0) {
    buffer.file_name[0] = '\0';
    return false;
  }
  const int fd = posix::keep_above_standard_streams(made);
  if (fd < 0) return false;  // the name stays, so that the file is deleted
  buffer.file = reinterpret_cast<void*>(static_cast<intptr_t>(fd));
  return true;
}

bool map_backing_file(MappedBuffer& buffer) {
  const io::WriteSignalsHeld held;
  const int fd = Descriptor(buffer);
  if (buffer.size == 0 || io::ftruncate(fd, static_cast<off_t>(buffer.size)) != 0) return false;
  int reserved;
  while ((reserved = io::posix_fallocate(fd, 0, static_cast<off_t>(buffer.size))) == EINTR) {
  }
  if (reserved != 0) return false;
  void* view = io::mmap(nullptr, buffer.size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (view == MAP_FAILED) return false;
  buffer.view = view;
  return true;
}

void close_backing_file(MappedBuffer& buffer) {
  if (buffer.view != nullptr) munmap(buffer.view, buffer.size);
  if (buffer.file != nullptr) io::close(Descriptor(buffer));
}

uint32_t free_megabytes(const char* path) {
  struct statvfs status;
  std::string place = path;
  while (io::statvfs(place.c_str(), &status) != 0) {
    if (!Unreachable(errno) || (place = Parent(place)).empty()) return 0xFFFFFFFFu;
  }
  const uint64_t blocks = status.f_bfree;
  const uint64_t size = status.f_frsize != 0 ? status.f_frsize : status.f_bsize;
  const uint64_t megabytes = (blocks >> 20) * size + (((blocks & 0xFFFFF) * size) >> 20);
  return megabytes >= 0xFFFFFFFFu ? 0xFFFFFFFEu : static_cast<uint32_t>(megabytes);
}

void advise_large_page(void* block) {
#if defined(MADV_HUGEPAGE)
  if (kLargePageSize != 0) madvise(block, kLargePageSize, MADV_HUGEPAGE);
#else
  (void)block;
#endif
}

}  // namespace kav::platform
