// line_settings.cpp - a serial line's settings as the system holds them: the port's DCB from
// GetCommState on Windows, the terminal's termios on POSIX.
#include "line_settings.h"

#include <cstdio>

#if defined(_WIN32)
#include <windows.h>
#else
#include <termios.h>
#endif

namespace kav::tool {
namespace {

struct Line {
  unsigned long baud;
  int data;
  char parity;       // N O E M S
  const char *stop;  // "1", "1.5", "2"
  bool xon, octs, binary, check;
};

std::string Format(const Line &line) {
  char text[160];
  std::snprintf(text, sizeof text,
                "baud=%lu parity=%c data=%d stop=%s xon=%s octs=%s binary=%s check=%s", line.baud,
                line.parity, line.data, line.stop, line.xon ? "on" : "off",
                line.octs ? "on" : "off", line.binary ? "on" : "off", line.check ? "on" : "off");
  return text;
}

#if defined(_WIN32)
bool Read(int handle, Line &line) {
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(LongToHandle(handle), &dcb)) return false;
  static const char *const kStops[] = {"1", "1.5", "2"};
  line = {dcb.BaudRate,   dcb.ByteSize,          "NOEMS"[dcb.Parity % 5], kStops[dcb.StopBits % 3],
          dcb.fOutX != 0, dcb.fOutxCtsFlow != 0, dcb.fBinary != 0,        dcb.fParity != 0};
  return true;
}
#else
unsigned long Rate(speed_t speed) {
  static const struct {
    speed_t code;
    unsigned long rate;
  } kRates[] = {{B50, 50},         {B75, 75},        {B110, 110},     {B134, 134},
                {B150, 150},       {B200, 200},      {B300, 300},     {B600, 600},
                {B1200, 1200},     {B1800, 1800},    {B2400, 2400},   {B4800, 4800},
                {B9600, 9600},     {B19200, 19200},  {B38400, 38400}, {B57600, 57600},
                {B115200, 115200}, {B230400, 230400}};
  for (const auto &known : kRates)
    if (known.code == speed) return known.rate;
  return 0;
}

char Parity(tcflag_t c) {
  if ((c & PARENB) == 0) return 'N';
#if defined(CMSPAR)
  if ((c & CMSPAR) != 0) return (c & PARODD) != 0 ? 'M' : 'S';
#endif
  return (c & PARODD) != 0 ? 'O' : 'E';
}

bool Read(int handle, Line &line) {
  termios t{};
  if (tcgetattr(handle, &t) != 0) return false;
  const tcflag_t size = t.c_cflag & CSIZE;
  const int data = size == CS5 ? 5 : size == CS6 ? 6 : size == CS7 ? 7 : 8;
  const char *stop = (t.c_cflag & CSTOPB) == 0 ? "1" : data == 5 ? "1.5" : "2";
  const bool raw = (t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN)) == 0 && (t.c_oflag & OPOST) == 0;
  line = {Rate(cfgetospeed(&t)),      data, Parity(t.c_cflag),       stop, (t.c_iflag & IXON) != 0,
          (t.c_cflag & CRTSCTS) != 0, raw,  (t.c_iflag & INPCK) != 0};
  return true;
}
#endif

}  // namespace

std::string describe_line(int handle) {
  Line line{};
  return Read(handle, line) ? Format(line) : std::string();
}

}  // namespace kav::tool
