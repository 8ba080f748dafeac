// serial.h - serial ports and other communications devices, opened by name.
//
// Handles are integers: a descriptor on POSIX, a HANDLE's value on Windows (kernel handles fit
// in 32 bits, also in 64-bit processes); -1 is never a valid one.
#pragma once

namespace kav::platform {

// Opens the device for reading and writing; -1 when it does not exist, cannot be opened or is
// in use.
int open_port(const char *name);

// Reads the port's state, applies the device-control text over it (BuildCommDCBA's syntax),
// turns binary mode on and parity checking on exactly when the parity is not none, writes the
// state back, sets the queue sizes and purges both directions.  False at the first step that
// fails; the port keeps what the earlier steps did.
bool condition_port(int handle, const char *settings);

bool close_port(int handle);

}  // namespace kav::platform
