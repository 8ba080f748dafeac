// line_settings.h - how the kav tool shows a serial line's settings.
#pragma once

#include <string>

namespace kav::tool {

// The settings of the port behind a handle from tty_open, in the device-control syntax
// ("baud=9600 parity=E data=7 stop=1 xon=off octs=off") with binary= and check= (parity
// checking) after them; empty when the system cannot tell them.
std::string describe_line(int handle);

}  // namespace kav::tool
