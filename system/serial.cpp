// serial.cpp - serial ports opened by name and conditioned from a settings text in Windows'
// device-control syntax.  The platform opens, conditions and closes the device; a port whose
// settings cannot be applied is not kept open.
#include "platform/serial.h"

#include "kavutil.h"

extern "C" {

// A null settings text is refused like one the syntax rejects.
KAV_API int KAV_CALL condition_tty(int handle, const char *settings) KAV_NOEXCEPT {
  if (settings == nullptr) return -1;
  return kav::platform::condition_port(handle, settings) ? 0 : -1;
}

// -1 is never a handle (on Windows it would name the calling process itself).
KAV_API int KAV_CALL tty_close(int handle) KAV_NOEXCEPT {
  if (handle == -1) return -1;
  return kav::platform::close_port(handle) ? 0 : -1;
}

KAV_API int KAV_CALL tty_open(const char *device, const char *settings) KAV_NOEXCEPT {
  if (device == nullptr) return -1;
  const int handle = kav::platform::open_port(device);
  if (handle == -1) return -1;
  if (condition_tty(handle, settings) != 0) {
    tty_close(handle);
    return -1;
  }
  return handle;
}
}
