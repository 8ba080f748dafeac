// serial.cpp - serial ports on POSIX: terminal devices driven through termios.
//
// The device is opened for reading and writing, never as the controlling terminal, close-on-exec
// and without waiting for the carrier; then it blocks again, as a Windows port handle does.  An
// exclusive flock(2) marks it in use, so a second tty_open of the same device fails while the
// first holds it (picocom and other programs take the same lock).
//
// Conditioning follows the Windows steps.  The terminal's settings are read as a device-control
// block's members, the text is applied over them with BuildCommDCBA's rules, binary mode and
// parity checking are set, and the result is written with tcsetattr (termios_settings.cpp says
// how the members map).  tcsetattr succeeds when the device took any of it, so the speed is read
// back: a device that keeps another speed refuses the state.  Framing bits a device cannot carry
// are the device's business, as with a Windows virtual port: a pseudo-terminal keeps 8 data bits
// and no parity bit whatever it is given.  DTR and RTS "on" or "off" raise or drop the line where
// the device has modem lines (a pseudo-terminal has none); Linux has no DTR handshake and no RTS
// toggle, which keep their line raised.  The kernel sizes a terminal's queues itself, so there
// are no queue sizes to set; the purge discards what is queued both ways (tcflush).  Opening,
// locking and closing go through the I/O seam (platform/posix/io.h).

#include "platform/serial.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "platform/posix/io.h"
#include "platform/posix/termios_settings.h"
#include "system/comm_settings.h"

namespace kav::platform {
namespace {

// The state of one modem line; a device without modem lines counts as having it raised.
bool LineRaised(int fd, int line) {
  int lines = 0;
  return ioctl(fd, TIOCMGET, &lines) != 0 || (lines & line) != 0;
}

// tcsetattr succeeds when any of the change was taken; the speed at least must be.
bool WriteTerminal(int fd, const termios &wanted) {
  termios now{};
  return tcsetattr(fd, TCSANOW, &wanted) == 0 && tcgetattr(fd, &now) == 0 &&
         cfgetospeed(&now) == cfgetospeed(&wanted);
}

// Raises or drops one modem line; nothing to do on a device without modem lines.
bool DriveLine(int fd, int line, bool raise) {
  int lines = 0;
  if (ioctl(fd, TIOCMGET, &lines) != 0) return errno == ENOTTY || errno == EINVAL;
  return ioctl(fd, raise ? TIOCMBIS : TIOCMBIC, &line) == 0;
}

bool DriveModemLines(int fd, const comm::CommSettings &settings) {
  const bool rts_by_hand = settings.rts_control != comm::kLineHandshake;
  return DriveLine(fd, TIOCM_DTR, settings.dtr_control != comm::kLineOff) &&
         (!rts_by_hand || DriveLine(fd, TIOCM_RTS, settings.rts_control != comm::kLineOff));
}

bool Blocking(int fd) {
  const int flags = io::fcntl(fd, F_GETFL);
  return flags != -1 && io::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

}  // namespace

int open_port(const char *name) {
  const int fd = io::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return -1;
  const bool in_use = io::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  if (in_use || !Blocking(fd)) {
    io::close(fd);
    return -1;
  }
  return fd;
}

bool condition_port(int handle, const char *settings) {
  termios terminal{};
  if (tcgetattr(handle, &terminal) != 0) return false;
  comm::CommSettings wanted =
      settings_of_terminal(terminal, LineRaised(handle, TIOCM_DTR), LineRaised(handle, TIOCM_RTS));
  if (!comm::apply_settings_text(settings, wanted)) return false;
  wanted.binary = true;
  wanted.parity_check = wanted.parity != comm::kNoParity;
  if (!set_terminal(wanted, terminal) || !WriteTerminal(handle, terminal)) return false;
  return DriveModemLines(handle, wanted) && tcflush(handle, TCIOFLUSH) == 0;
}

// Linux releases the descriptor even when close reports EINTR.
bool close_port(int handle) { return io::close(handle) == 0 || errno == EINTR; }

}  // namespace kav::platform
