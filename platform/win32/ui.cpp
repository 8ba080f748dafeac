// ui.cpp - the user interface on Windows: a modal message box owned by the calling thread's
// active window, with one OK button.

#include <windows.h>

#include "platform/platform.h"

namespace kav::platform {

bool message_box_on_active_window(const char* caption, const char* text) {
  HWND owner = GetActiveWindow();
  if (owner == nullptr) return false;
  MessageBoxA(owner, text, caption, MB_OK);
  return true;
}

}  // namespace kav::platform
