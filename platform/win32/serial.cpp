// serial.cpp - communications devices on Windows: CreateFileA, then the port's device-control
// block read with GetCommState, changed by BuildCommDCBA and written with SetCommState, queues of
// 1024 bytes each way (SetupComm) and a purge of everything pending (PurgeComm).  The open asks
// the I/O seam's fault plan first (as "open").
#include "platform/serial.h"

#include <windows.h>

#include "platform/io.h"

namespace kav::platform {
namespace {

constexpr DWORD kQueueSize = 1024;
constexpr DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;

HANDLE PortHandle(int handle) { return LongToHandle(handle); }

}  // namespace

int open_port(const char *name) {
  if (kav::platform::io::fault("open")) return -1;
  const HANDLE port =
      CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (port == INVALID_HANDLE_VALUE) return -1;
  return HandleToLong(port);
}

bool condition_port(int handle, const char *settings) {
  const HANDLE port = PortHandle(handle);
  DCB control{};
  if (!GetCommState(port, &control)) return false;
  if (!BuildCommDCBA(settings, &control)) return false;
  control.fBinary = TRUE;
  control.fParity = control.Parity != NOPARITY;
  return SetCommState(port, &control) && SetupComm(port, kQueueSize, kQueueSize) &&
         PurgeComm(port, kPurgeAll);
}

bool close_port(int handle) { return CloseHandle(PortHandle(handle)) != 0; }

}  // namespace kav::platform
