// The kav tool's commands for colon record files, serial ports and the system's version:
// sheaf prints the records of a key, tty conditions a port and shows the line it got, winver
// shows what kav_getwinver reports.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "commands.h"
#include "host.h"
#include "kavutil.h"
#include "line_settings.h"

namespace kav::tool {
namespace {

// Standard input is read as it comes: the record functions read a stream that cannot seek
// (a pipe) line by line.
int sheaf(Args args) {
  const Arguments a(args, 2, 2);
  const bool input = is_standard_input(a[0]);
  std::FILE *stream = input ? stdin : sheaf_open(a[0]);
  if (stream == nullptr)
    throw Failure(std::string("cannot read ") + a[0] + ": " + unreadable_reason(a[0]));
  auto record = std::make_unique<sheaf_record>();
  int found = 0;
  for (int status = sheaf_first(a[1], record.get(), stream); status == 0;
       status = sheaf_next(a[1], record.get(), stream), ++found) {
    for (std::uint32_t i = 0; i < record->count; ++i)
      std::printf("%s%s", i == 0 ? "" : "\t", record->fields[i]);
    std::printf("\n");
  }
  const bool failed = std::ferror(stream) != 0;
  if (!input) sheaf_close(stream);
  if (failed) throw Failure(std::string("cannot read ") + a[0] + " to its end");
  return found > 0 ? 0 : 1;
}

int tty(Args args) {
  const Arguments a(args, 2, 2);
  clear_system_error();
  const int port = tty_open(a[0], a[1]);
  if (port == -1)
    throw Failure(std::string("cannot open ") + a[0] + " with \"" + a[1] +
                  "\": " + system_error("the settings were refused"));
  std::printf("%s\n", describe_line(port).c_str());
  tty_close(port);
  return 0;
}

int winver(Args args) {
  const Arguments none(args, 0, 0);
  char name[32];
  std::memset(name, '\xff', sizeof name);
  std::uint32_t major = 0, minor = 0, build = 0, sp_major = 0, sp_minor = 0;
  if (kav_getwinver(name, &major, &minor, &build, &sp_major, &sp_minor) == 0)
    throw Failure("the system gives no version");
  if (name[0] == '\xff')
    std::printf("name: (none for this version)\n");
  else
    std::printf("name: \"%s\"\n", name);
  std::printf("version: %u.%u.%u\n", major, minor, build);
  if (sp_major == 0xFFFFFFFFu)
    std::printf("service pack: unknown\n");
  else
    std::printf("service pack: %u.%u\n", sp_major, sp_minor);
  return 0;
}

const Command kCommands[] = {
    {"sheaf", "FILE KEY",
     "Prints every record of the colon record file FILE (standard input for -) whose first\n"
     "field is KEY, one a line, its fields separated by tabs (a '|' in a field is shown as\n"
     "':').  The exit status is 1 when there is none.",
     sheaf},
    {"tty", "DEVICE SETTINGS",
     "Opens the serial port DEVICE (COM1, /dev/ttyS0, ...), applies SETTINGS in Windows'\n"
     "device-control syntax (\"baud=9600 parity=E data=7 stop=1\" or \"9600,e,7,1\"), and\n"
     "prints the line settings the port then has.  Settings that SETTINGS does not name keep\n"
     "the port's values.  The port keeps the new settings: name only a port that is free to\n"
     "change, not a terminal or console in use.  On POSIX, COMn names the link com<n> in\n"
     "~/.config/kavutil/dosdevices, else in /etc/kavutil/dosdevices, else /dev/ttyS<n-1>.",
     tty},
    {"winver", "",
     "Prints the system's short version name, as programs put it in their messages, with\n"
     "the version numbers and the service pack.",
     winver},
};

}  // namespace

std::span<const Command> record_commands() { return kCommands; }

}  // namespace kav::tool
