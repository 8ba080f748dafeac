// termios_settings.h - a serial line's settings (the members of Windows' device-control block)
// to and from a POSIX terminal's termios.
#pragma once

#include <termios.h>

#include "platform/posix/comm_settings.h"

namespace kav::platform::posix {

// The settings a terminal's termios holds; dtr_raised and rts_raised are its modem lines.
CommSettings settings_of_terminal(const termios &terminal, bool dtr_raised, bool rts_raised);

// Writes the settings into terminal, in raw mode; false, with terminal unchanged, for a speed
// termios has no constant for or a framing a UART cannot send.
bool set_terminal(const CommSettings &settings, termios &terminal);

// Makes CTS output flow and RTS handshaking agree, as the one flag that holds both (CRTSCTS) will:
// on when the text turned either on, off when it named them and turned neither on, and as it
// was (flow_was_on) when it named neither.  named holds the text's NamedFlow bits.  When
// the handshake ends, an RTS line that was handshaking is raised (rts=on).
void couple_hardware_flow(CommSettings &settings, unsigned named, bool flow_was_on);

// The speed of a terminal as a rate in bits per second; 0 for one that has no number.
std::uint32_t terminal_rate(const termios &terminal);

}  // namespace kav::platform::posix
