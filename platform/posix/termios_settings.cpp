// termios_settings.cpp - a device-control block's members in termios terms.
//
// - Speed, data bits, parity (mark and space with CMSPAR) and stop bits map directly.  1.5 stop
//   bits are CSTOPB with 5 data bits, the only width a UART gives them, so CSTOPB reads back as
//   1.5 there; as for Windows' serial driver, 5 data bits with 2 stop bits, and 1.5 stop bits
//   with more data bits, cannot be set.  A rate without a termios speed cannot be set either.
// - Binary mode is raw mode: a Windows port has no line discipline, so no echo, no line
//   editing, no signals, no CR and LF translation either way, and a read returns as soon as a
//   byte has arrived (VMIN 1, VTIME 0).  CLOCAL: the carrier line is not watched, as Windows
//   does not watch it.
// - Parity checking is INPCK; XON/XOFF are IXON (output) and IXOFF (input).
// - CTS output flow (octs=) and RTS handshaking (rts=hs) are one flag, CRTSCTS: Linux's termios
//   has no way to keep them apart (the BSDs' CCTS_OFLOW and CRTS_IFLOW do not exist there), and
//   the driver does both or neither.  So they are coupled on purpose, by what the text names
//   (couple_hardware_flow): a text that turns either on turns hardware flow control on; one that
//   names them and turns neither on (octs=off, rts=on, "9600,n,8,1") turns it off, so that a
//   later "octs=off" ends the flow control an earlier "octs=on rts=on" began; one that names
//   neither leaves it as it was.  The flag reads back as both on.
// - DTR and RTS are modem lines, driven by the caller; DSR flow control (odsr=, idsr=) has no
//   termios counterpart and reads back off.

#include "platform/posix/termios_settings.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace kav::platform::posix {
namespace {

struct Speed {
  speed_t code;
  std::uint32_t rate;
};

constexpr Speed kSpeeds[] = {
    {B50, 50},           {B75, 75},           {B110, 110},         {B134, 134},
    {B150, 150},         {B200, 200},         {B300, 300},         {B600, 600},
    {B1200, 1200},       {B1800, 1800},       {B2400, 2400},       {B4800, 4800},
    {B9600, 9600},       {B19200, 19200},     {B38400, 38400},     {B57600, 57600},
    {B115200, 115200},   {B230400, 230400},
#if defined(B460800)
    {B460800, 460800},   {B500000, 500000},   {B576000, 576000},   {B921600, 921600},
    {B1000000, 1000000}, {B1152000, 1152000}, {B1500000, 1500000}, {B2000000, 2000000},
#endif
};

#if defined(CMSPAR)
constexpr tcflag_t kStickParity = CMSPAR;
#else
constexpr tcflag_t kStickParity = 0;
#endif

constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};

std::uint8_t ParityOf(tcflag_t cflag) {
  if ((cflag & PARENB) == 0) return kNoParity;
  const bool odd = (cflag & PARODD) != 0;
  if ((cflag & kStickParity) != 0) return odd ? kMarkParity : kSpaceParity;
  return odd ? kOddParity : kEvenParity;
}

std::uint8_t StopBitsOf(tcflag_t cflag) {
  if ((cflag & CSTOPB) == 0) return kOneStopBit;
  return (cflag & CSIZE) == CS5 ? kOneAndHalfStopBits : kTwoStopBits;
}

std::uint8_t OnOrOff(bool raised) { return raised ? kLineOn : kLineOff; }

// The parity, data and stop bits as control flags; false for what a UART cannot frame.
bool FramingFlags(const CommSettings &settings, tcflag_t &flags) {
  const bool five = settings.byte_size == 5;
  if (settings.byte_size < 5 || settings.byte_size > 8) return false;
  if (settings.stop_bits == kOneAndHalfStopBits && !five) return false;
  if (settings.stop_bits == kTwoStopBits && five) return false;
  flags = kSizes[settings.byte_size - 5];
  if (settings.stop_bits != kOneStopBit) flags |= CSTOPB;
  switch (settings.parity) {
    case kNoParity:
      return true;
    case kOddParity:
      flags |= PARENB | PARODD;
      return true;
    case kEvenParity:
      flags |= PARENB;
      return true;
    default:  // mark is odd and space even, with stick parity
      flags |= PARENB | kStickParity | (settings.parity == kMarkParity ? PARODD : 0);
      return kStickParity != 0;
  }
}

void MakeRaw(termios &terminal) {
  terminal.c_iflag &= ~(IGNBRK | BRKINT | IGNPAR | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXANY |
                        IXON | IXOFF | INPCK);
  terminal.c_oflag &= ~OPOST;
  terminal.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  terminal.c_cc[VMIN] = 1;
  terminal.c_cc[VTIME] = 0;
}

}  // namespace

std::uint32_t terminal_rate(const termios &terminal) {
  const speed_t code = cfgetospeed(&terminal);
  const auto found = std::find_if(std::begin(kSpeeds), std::end(kSpeeds),
                                  [code](const Speed &speed) { return speed.code == code; });
  return found == std::end(kSpeeds) ? 0 : found->rate;
}

CommSettings settings_of_terminal(const termios &terminal, bool dtr_raised, bool rts_raised) {
  const tcflag_t c = terminal.c_cflag;
  const bool hardware_flow = (c & CRTSCTS) != 0;
  CommSettings settings;
  settings.baud_rate = terminal_rate(terminal);
  settings.byte_size = static_cast<std::uint8_t>(
      5 + (std::find(std::begin(kSizes), std::end(kSizes), c & CSIZE) - std::begin(kSizes)));
  settings.parity = ParityOf(c);
  settings.stop_bits = StopBitsOf(c);
  settings.parity_check = (terminal.c_iflag & INPCK) != 0;
  settings.out_x = (terminal.c_iflag & IXON) != 0;
  settings.in_x = (terminal.c_iflag & IXOFF) != 0;
  settings.out_cts_flow = hardware_flow;
  settings.dtr_control = OnOrOff(dtr_raised);
  settings.rts_control = hardware_flow ? std::uint8_t{kLineHandshake} : OnOrOff(rts_raised);
  return settings;
}

void couple_hardware_flow(CommSettings &settings, unsigned named, bool flow_was_on) {
  bool on = flow_was_on;
  if ((named & (kNamedCtsFlow | kNamedRts)) != 0)
    on = ((named & kNamedCtsFlow) != 0 && settings.out_cts_flow) ||
         ((named & kNamedRts) != 0 && settings.rts_control == kLineHandshake);
  settings.out_cts_flow = on;
  if (on)
    settings.rts_control = kLineHandshake;
  else if (settings.rts_control == kLineHandshake)
    settings.rts_control = kLineOn;
}

bool set_terminal(const CommSettings &settings, termios &terminal) {
  const auto speed = std::find_if(std::begin(kSpeeds), std::end(kSpeeds),
                                  [&](const Speed &s) { return s.rate == settings.baud_rate; });
  tcflag_t framing = 0;
  if (speed == std::end(kSpeeds) || !FramingFlags(settings, framing)) return false;
  termios changed = terminal;
  if (cfsetispeed(&changed, speed->code) != 0 || cfsetospeed(&changed, speed->code) != 0)
    return false;
  if (settings.out_cts_flow || settings.rts_control == kLineHandshake) framing |= CRTSCTS;
  const tcflag_t framing_mask = CSIZE | CSTOPB | PARENB | PARODD | kStickParity | CRTSCTS;
  changed.c_cflag = (changed.c_cflag & ~framing_mask) | framing | CREAD | CLOCAL;
  MakeRaw(changed);
  if (settings.parity_check) changed.c_iflag |= INPCK;
  if (settings.out_x) changed.c_iflag |= IXON;
  if (settings.in_x) changed.c_iflag |= IXOFF;
  terminal = changed;
  return true;
}

}  // namespace kav::platform::posix
