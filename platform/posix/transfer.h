// transfer.h - moving a file's bytes from one descriptor to another on POSIX, inside the kernel
// where it can, for copy_file and copy_dir (files.cpp, trees.cpp).  Every call goes through the
// I/O seam (platform/posix/io.h), so a test can fail or refuse any of them.
#pragma once

namespace kav::platform::posix {

// Copies everything from in's offset to its end into out, a new file open for writing at its
// start.  The bytes go by copy_file_range first, then by sendfile, then by read and write through
// a buffer of 1 MiB: each way takes over, where the one before left off, when the one before is
// refused (EXDEV, ENOSYS, EINVAL, EOPNOTSUPP) or ends at once without copying anything (as the
// kernel's ways do on some pseudo-files), so nothing is lost or copied twice.  Short transfers are
// continued and calls interrupted by a signal made again.
//
// After each 8 MiB written, and at the end when 1 MiB or more is left, the writing of those bytes
// to disk is started (sync_file_range with SYNC_FILE_RANGE_WRITE, which does not wait for it), so
// that the disk works while the copy goes on and the flush that follows (fsync, syncfs) finds
// little left to do; small files are left to that flush, which writes many in one sweep.  The
// start is only a head start: the caller's flush is what makes the data stored.  A system without
// sync_file_range leaves it all to the flush.
//
// False, errno set by the failing call, when a read, a write, a transfer or a start of writing
// fails for another reason.
bool copy_contents(int in, int out);

}  // namespace kav::platform::posix
