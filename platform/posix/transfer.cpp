// transfer.cpp - copy_contents (see transfer.h): the kernel's copy, its fallbacks, and the early
// start of the writing to disk.

#include "platform/posix/transfer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <memory>
#include <string_view>

#include "platform/posix/file_kit.h"
#include "platform/posix/io.h"

namespace kav::platform::posix {
namespace {

using kav::platform::io::Offset64;

constexpr std::size_t kTransferSize = std::size_t{8} << 20;  // per kernel call, per writeback start
constexpr std::size_t kBufferSize = std::size_t{1} << 20;    // per read and write
// Less than this left at the end is not started: the flush that follows writes many small files
// in one sweep, where a start for each made a tree of 10,000 small files slower by a quarter.
constexpr std::size_t kLeastStart = std::size_t{1} << 20;

#if defined(SYNC_FILE_RANGE_WRITE)
constexpr unsigned kStartWriting = SYNC_FILE_RANGE_WRITE;
#else
constexpr unsigned kStartWriting = 2;  // the call itself refuses (ENOSYS) on such systems
#endif

// The ways of moving the bytes, in the order they are tried.
enum class Way { kCopyFileRange, kSendfile, kReadWrite };

// Whether a way's failure with error means only that this way cannot copy these files.
bool Refused(int error) {
  return error == EXDEV || error == ENOSYS || error == EINVAL || error == EOPNOTSUPP ||
         error == ENOTSUP;
}

class Copy {
 public:
  Copy(int in, int out) : in_(in), out_(out) {}

  bool Run() {
    for (;;) {
      const ssize_t moved = Move();
      if (moved > 0) {
        written_ += moved;
        moved_this_way_ = true;
        if (written_ - started_ >= static_cast<Offset64>(kTransferSize) && !StartWriting())
          return false;
        continue;
      }
      if (moved < 0 && errno == EINTR) continue;
      // A way that is refused, or ends before it moved anything, hands over to the next one; the
      // end of the last way is the input's end.
      const bool refused = moved < 0 ? Refused(errno) : !moved_this_way_;
      if (way_ != Way::kReadWrite && refused) {
        way_ = way_ == Way::kCopyFileRange ? Way::kSendfile : Way::kReadWrite;
        moved_this_way_ = false;
        continue;
      }
      return moved == 0 &&
             (written_ - started_ < static_cast<Offset64>(kLeastStart) || StartWriting());
    }
  }

 private:
  // One transfer by the current way: the bytes moved, 0 at the input's end, -1 on failure.
  ssize_t Move() {
    switch (way_) {
      case Way::kCopyFileRange:
        return kav::platform::io::copy_file_range(in_, nullptr, out_, nullptr, kTransferSize, 0);
      case Way::kSendfile:
        return kav::platform::io::sendfile(out_, in_, nullptr, kTransferSize);
      case Way::kReadWrite:
        break;
    }
    if (!buffer_) buffer_.reset(new char[kBufferSize]);
    const ssize_t got = kav::platform::io::read(in_, buffer_.get(), kBufferSize);
    if (got <= 0) return got;
    const std::string_view bytes(buffer_.get(), static_cast<std::size_t>(got));
    return write_all(out_, bytes) ? got : -1;
  }

  // Starts the writing to disk of the bytes written since the last start.  A system or file that
  // cannot do it is left to the caller's flush.
  bool StartWriting() {
    if (!can_start_ || written_ == started_) return true;
    if (kav::platform::io::sync_file_range(out_, started_, written_ - started_, kStartWriting) !=
        0) {
      if (errno != ENOSYS && errno != EINVAL && errno != ESPIPE) return false;
      can_start_ = false;
    }
    started_ = written_;
    return true;
  }

  int in_, out_;
  Way way_ = Way::kCopyFileRange;
  bool moved_this_way_ = false;
  bool can_start_ = true;
  Offset64 written_ = 0;  // bytes written to out
  Offset64 started_ = 0;  // of which the writing to disk was started
  std::unique_ptr<char[]> buffer_;
};

}  // namespace

bool copy_contents(int in, int out) { return Copy(in, out).Run(); }

}  // namespace kav::platform::posix
