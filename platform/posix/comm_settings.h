// comm_settings.h - serial line settings and the device-control text that changes them.
//
// CommSettings holds the members of Windows' device-control block (DCB) that a settings text
// can reach, with the DCB's own numbering, so that a port's settings read the same on every
// platform.  apply_settings_text reads the text with BuildCommDCBA's rules: the new form
// "baud=9600 parity=E data=7 stop=2 ..." and the old form "9600,e,7,2[,x|p]", each optionally
// after a device name ("COM1:", "COM1 ").
#pragma once

#include <cstdint>

namespace kav::platform::posix {

enum Parity : std::uint8_t { kNoParity = 0, kOddParity, kEvenParity, kMarkParity, kSpaceParity };
enum StopBits : std::uint8_t { kOneStopBit = 0, kOneAndHalfStopBits, kTwoStopBits };

// How the DTR and RTS lines are driven (DTR_CONTROL_* and RTS_CONTROL_*).
enum LineControl : std::uint8_t { kLineOff = 0, kLineOn, kLineHandshake, kLineToggle };

struct CommSettings {
  std::uint32_t baud_rate = 0;
  std::uint8_t byte_size = 8;  // data bits, 5 to 8
  std::uint8_t parity = kNoParity;
  std::uint8_t stop_bits = kOneStopBit;
  bool binary = true;            // fBinary: no end-of-file character
  bool parity_check = false;     // fParity: received bytes are checked
  bool out_x = false;            // fOutX: output stops at XOFF, goes on at XON
  bool in_x = false;             // fInX: XOFF and XON sent as the input queue fills and empties
  bool out_cts_flow = false;     // fOutxCtsFlow: output waits for CTS
  bool out_dsr_flow = false;     // fOutxDsrFlow: output waits for DSR
  bool dsr_sensitivity = false;  // fDsrSensitivity: input only while DSR is on
  std::uint8_t dtr_control = kLineOn;
  std::uint8_t rts_control = kLineOn;

  bool operator==(const CommSettings &) const = default;
};

// Which of the two hardware flow-control members a text named: a platform that holds them in one
// flag (termios' CRTSCTS) needs to know which the text meant to change.
enum NamedFlow : unsigned {
  kNamedCtsFlow = 1u << 0,  // octs=, or the old form's flow control
  kNamedRts = 1u << 1,      // rts=, or the old form's flow control
};

// Applies a device-control text over settings, as BuildCommDCBA does: the members the text names
// change, and so do those BuildCommDCBA always sets (the stop bits in the new form, the flow
// control in the old).  False, and settings unchanged, when the text is not in either form.
// When named is not null it receives the NamedFlow bits of the text (0 when it is refused).
bool apply_settings_text(const char *text, CommSettings &settings, unsigned *named = nullptr);

}  // namespace kav::platform::posix
