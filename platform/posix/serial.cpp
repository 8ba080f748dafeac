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
// how the members map; CTS flow and RTS handshaking share one flag there, and the text decides
// it by which of the two it names).  tcsetattr succeeds when the device took any of it, so the
// speed is read back: a device that keeps another speed refuses the state.  Framing bits a device
// cannot carry are the device's business, as with a Windows virtual port: a pseudo-terminal
// keeps 8 data bits and no parity bit whatever it is given.  But a request of which the device
// takes nothing fails (EINVAL): on a pseudo-terminal a text whose only change is the data bits
// ("data=7" on a line that is otherwise as asked) is refused with -1, while the same change
// together with any other (a speed, parity checking, a flow control) succeeds and the line keeps
// its 8 bits.  DTR and RTS "on" or "off" raise or drop the line where
// the device has modem lines (a pseudo-terminal has none); Linux has no DTR handshake and no RTS
// toggle, which keep their line raised.  The kernel sizes a terminal's queues itself, so there
// are no queue sizes to set; the purge discards what is queued both ways (tcflush).  Opening,
// locking and closing go through the I/O seam (platform/posix/io.h).
//
// Windows names ports COM1, COM2 ...; a name of that form ("COM" and a number from 1, in any
// letter case, after an optional "\\.\" and before an optional ':') names a device through a
// table, as the links of a Wine prefix's dosdevices folder do: the entry "com<n>" (a link to the
// device, or the device itself) of the user's table, <per-user application data>/kavutil/
// dosdevices (~/.config/kavutil/dosdevices), else of the system's, /etc/kavutil/dosdevices, else
// /dev/ttyS<n-1>.  The first table that has the entry decides, also when its link leads nowhere.
// Any other name is a path.

#include "platform/serial.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/ascii.h"
#include "base/boundary.h"
#include "platform/platform.h"
#include "platform/posix/comm_settings.h"
#include "platform/posix/io.h"
#include "platform/posix/termios_settings.h"

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

bool DriveModemLines(int fd, const posix::CommSettings &settings) {
  const bool rts_by_hand = settings.rts_control != posix::kLineHandshake;
  return DriveLine(fd, TIOCM_DTR, settings.dtr_control != posix::kLineOff) &&
         (!rts_by_hand || DriveLine(fd, TIOCM_RTS, settings.rts_control != posix::kLineOff));
}

bool Blocking(int fd) {
  const int flags = io::fcntl(fd, F_GETFL);
  return flags != -1 && io::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

int OpenDevice(const char *path) {
  const int fd = io::open(path, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return -1;
  const bool in_use = io::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  if (in_use || !Blocking(fd)) {
    io::close(fd);
    return -1;
  }
  return fd;
}

// The number of a COM port name; 0 for a name that is not one.
unsigned ComPortNumber(std::string_view name) {
  if (name.starts_with("\\\\.\\")) name.remove_prefix(4);
  if (name.ends_with(':')) name.remove_suffix(1);
  if (name.size() < 4 || name.size() > 9 || !base::equals_ignoring_case(name.substr(0, 3), "com") ||
      name[3] == '0')
    return 0;
  unsigned number = 0;
  for (const char digit : name.substr(3)) {
    if (!base::is_digit(digit)) return 0;
    number = number * 10 + static_cast<unsigned>(digit - '0');
  }
  return number;
}

// Opens COM port number: the first table with an entry for it decides, else /dev/ttyS<n-1>.
int OpenComPort(unsigned number) {
  std::string tables[2] = {"", "/etc/kavutil/dosdevices"};
  if (const auto user = special_folder(Folder::kUserAppData))
    tables[0] = *user + "/kavutil/dosdevices";
  const std::string entry = "/com" + std::to_string(number);
  for (const std::string &table : tables) {
    if (table.empty()) continue;
    const std::string path = table + entry;
    const int fd = OpenDevice(path.c_str());
    struct stat status;
    if (fd >= 0 || errno != ENOENT || io::lstat(path.c_str(), &status) == 0) return fd;
  }
  return OpenDevice(("/dev/ttyS" + std::to_string(number - 1)).c_str());
}

}  // namespace

int open_port(const char *name) {
  const unsigned number = ComPortNumber(name);
  if (number == 0) return OpenDevice(name);
  const auto out_of_memory = [] {
    errno = ENOMEM;
    return -1;
  };
  return base::guarded_with(out_of_memory, [&] { return OpenComPort(number); });
}

bool condition_port(int handle, const char *settings) {
  termios terminal{};
  if (tcgetattr(handle, &terminal) != 0) return false;
  posix::CommSettings wanted = posix::settings_of_terminal(terminal, LineRaised(handle, TIOCM_DTR),
                                                           LineRaised(handle, TIOCM_RTS));
  const bool hardware_flow = wanted.out_cts_flow;
  unsigned named = 0;
  if (!posix::apply_settings_text(settings, wanted, &named)) return false;
  posix::couple_hardware_flow(wanted, named, hardware_flow);
  wanted.binary = true;
  wanted.parity_check = wanted.parity != posix::kNoParity;
  if (!posix::set_terminal(wanted, terminal) || !WriteTerminal(handle, terminal)) return false;
  return DriveModemLines(handle, wanted) && tcflush(handle, TCIOFLUSH) == 0;
}

// Linux releases the descriptor even when close reports EINTR.
bool close_port(int handle) { return io::close(handle) == 0 || errno == EINTR; }

}  // namespace kav::platform
