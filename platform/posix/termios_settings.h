// termios_settings.h - a serial line's settings (the members of Windows' device-control block)
// to and from a POSIX terminal's termios.
#pragma once

#include <termios.h>

#include "system/comm_settings.h"

namespace kav::platform {

// The settings a terminal's termios holds; dtr_raised and rts_raised are its modem lines.
comm::CommSettings settings_of_terminal(const termios &terminal, bool dtr_raised, bool rts_raised);

// Writes the settings into terminal, in raw mode; false, with terminal unchanged, for a speed
// termios has no constant for or a framing a UART cannot send.
bool set_terminal(const comm::CommSettings &settings, termios &terminal);

// The speed of a terminal as a rate in bits per second; 0 for one that has no number.
std::uint32_t terminal_rate(const termios &terminal);

}  // namespace kav::platform
